// The project document: new, open, save and the save question, against a scripted device and
// a recording frame (what reaches the device and the files, byte for byte), and in the main
// frame against the simulated controller (UDP on loopback, in a private network namespace):
// the demo project's round trip through a real file and the question at exit.
#include <QDir>
#include <QFile>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <memory>

#include "app/common/commands.h"
#include "app/device/fake_device.h"
#include "app/korvessa_doc.h"
#include "app/main_frame.h"
#include "app/settings_keys.h"
#include "browser/component_tree.h"
#include "devsim/device.h"
#include "test_support.h"

namespace {
using Answer = CMessageService::Answer;

// A scripted device that keeps the texts it was sent and can hold components or none.
class CDocDevice : public CFakeDevice {
  public:
    QList<QByteArray> downloads;
    bool holdsComponents = true;
    CDocDevice() { SetTree(); }
    void SetTree() {
        std::vector<TreeRecord> records = {{1, 0, "定时器"}};
        if (holdsComponents) records.push_back({2, 0, "定时器-5"});
        std::vector<uint8_t> reply = BuildReply(1, records);
        SetRecords(
            1, QString(),
            QByteArray(reinterpret_cast<const char*>(reply.data()), qsizetype(reply.size())));
    }

  protected:
    DeviceStatus DoDownloadConfig(const QByteArray& text) override {
        DeviceStatus s = CFakeDevice::DoDownloadConfig(text);
        if (s.Ok()) downloads << text;
        return s;
    }
};

class CRecordingFrame : public IDocumentFrame {
  public:
    int reloads = 0, clears = 0;
    bool ReloadAfterDownload() override { return ++reloads, true; }
    bool ClearProject() override { return ++clears, true; }
};

QByteArray ReadAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<unreadable>");
}

void Write(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    QCOMPARE(f.write(bytes), bytes.size());
}
}  // namespace

class DocumentTest : public QObject {
    Q_OBJECT
  private slots:
    void init() {
        QSettings(QString::fromUtf8(SettingsKey::kOrganization),
                  QString::fromUtf8(SettingsKey::kApplication))
            .clear();
        service = std::make_unique<CRecordingService>();
        device = std::make_unique<CDocDevice>();
        frame = std::make_unique<CRecordingFrame>();
        doc = std::make_unique<CKorvessaDoc>(*device, *frame, nullptr);
        tmp = std::make_unique<QTemporaryDir>();
        QVERIFY(tmp->isValid());
        dir = QDir(tmp->path());
    }
    void cleanup() {
        doc.reset();
        frame.reset();
        device.reset();
        service.reset();
        tmp.reset();
    }

    void openSendsTheFileCutAtOneMebibyteAndTakesItsName() {
        struct Case {
            const char* name;
            QByteArray bytes;
            QByteArray sent;
        };
        const QByteArray big = QByteArray(1048576, 'a') + "tail";
        const Case cases[] = {
            {"big.kvs", big, big.left(1048576)},
            {"exact.kvs", QByteArray(1048576, 'b'), QByteArray(1048576, 'b')},
            {"empty.kvs", QByteArray(), QByteArray()},
            {"bytes.kvs", QByteArray("[组件管理器]\r\n\x01\xff", 17),
             QByteArray("[组件管理器]\r\n\x01\xff", 17)},
        };
        for (const Case& c : cases) {
            const QString path = dir.filePath(c.name);
            Write(path, c.bytes);
            device->downloads.clear();
            QVERIFY(doc->Open(path));
            QCOMPARE(device->downloads.size(), 1);
            QCOMPARE(device->downloads[0].size(), c.sent.size());
            QVERIFY(device->downloads[0] == c.sent);
            QCOMPARE(doc->Title(), QString(c.name));
            QCOMPARE(doc->RecentFiles().value(0), QFileInfo(path).absoluteFilePath());
        }
        QCOMPARE(frame->reloads, 4);
        QVERIFY(service->informs.isEmpty());
        QCOMPARE(doc->RecentFiles().size(), 4);  // four entries kept
        Write(dir.filePath("fifth.kvs"), "x");
        doc->Open(dir.filePath("fifth.kvs"));
        QCOMPARE(doc->RecentFiles().size(), 4);
        QVERIFY(
            !doc->RecentFiles().contains(QFileInfo(dir.filePath("big.kvs")).absoluteFilePath()));
    }

    void openingWhileDisconnectedFailsButTheDocumentTakesTheName() {
        const QString path = dir.filePath("offline.kvs");
        Write(path, "text");
        device->m_open = false;
        QVERIFY(!doc->Open(path));
        QCOMPARE(service->informs, QStringList({"下位机装载配置出错!"}));
        QCOMPARE(doc->Title(), QString("offline.kvs"));
        QCOMPARE(doc->RecentFiles().value(0), QFileInfo(path).absoluteFilePath());
        QCOMPARE(frame->reloads, 0);
        // Something that is not a regular file is not read at all.
        service->informs.clear();
        QVERIFY(!doc->Open(dir.path()));
        QCOMPARE(service->informs.size(), 1);
        QVERIFY(service->informs[0].startsWith("打开文件失败"));
    }

    void saveWritesExactlyTheDevicesText() {
        const QByteArray text("[组件管理器]\r\n属性监控表=\n\x01 no final line end", 52);
        device->SetUpload(text);
        service->fileToSave = dir.filePath("project");  // no suffix: ".kvs" is added
        QVERIFY(doc->SaveAs());
        const QString path = dir.filePath("project.kvs");
        QVERIFY(ReadAll(path) == text);
        QCOMPARE(service->informs, QStringList({"保存当前下位机配置成功！"}));
        QCOMPARE(doc->Path(), path);
        QCOMPARE(dir.entryList(QDir::Files | QDir::Hidden), QStringList({"project.kvs"}));
    }

    void aFailedSaveLeavesTheOldFileByteForByte() {
        const QString path = dir.filePath("kept.kvs");
        const QByteArray old("old content\0with a NUL", 22);
        Write(path, old);
        doc->SetModified(true);
        device->FallSilentAfter(0);  // the upload gets no answer
        QVERIFY(!doc->SaveTo(path));
        QVERIFY(ReadAll(path) == old);
        QCOMPARE(service->informs, QStringList({"获取下位机配置出错，保存失败"}));
        QVERIFY(!doc->IsModified());  // the save was carried out, as far as the document goes
        QCOMPARE(dir.entryList(QDir::Files | QDir::Hidden), QStringList({"kept.kvs"}));

        // A text that cannot be written (the name is a folder) is reported as such.
        device->FallSilentAfter(-1);
        device->SetUpload("new");
        service->informs.clear();
        QVERIFY(QDir(dir.path()).mkdir("folder.kvs"));
        QVERIFY(!doc->SaveTo(dir.filePath("folder.kvs")));
        QCOMPARE(service->informs.size(), 1);
        QVERIFY(service->informs[0].startsWith("写入文件出错"));
        QVERIFY(QFileInfo(dir.filePath("folder.kvs")).isDir());
    }

    void theSaveQuestionsThreeAnswers() {
        struct Case {
            Answer answer;
            bool goesOn;
            bool saved;
        };
        const Case cases[] = {
            {Answer::Yes, true, true}, {Answer::No, true, false}, {Answer::Cancel, false, false}};
        const QString saved = dir.filePath("saved.kvs");
        const QString other = dir.filePath("other.kvs");
        Write(other, "other");
        device->SetUpload("device text");
        device->holdsComponents = false;  // no clearing question in between
        device->SetTree();
        for (const Case& c : cases) {
            QFile::remove(saved);
            doc->New();  // (the first is the start-up one)
            doc->SetModified(true);
            service->asks.clear();
            service->threeWay = {c.answer};
            service->fileToSave = saved;
            device->downloads.clear();
            QCOMPARE(doc->Open(other), c.goesOn);
            QCOMPARE(service->asks, QStringList({"是否保存对 无标题 的更改?"}));
            QCOMPARE(QFile::exists(saved), c.saved);
            QCOMPARE(device->downloads.size(), c.goesOn ? 1 : 0);
            QCOMPARE(doc->IsModified(), !c.goesOn);
        }
        // A Yes whose file dialog is cancelled stops the command too.
        doc->SetModified(true);
        service->threeWay = {Answer::Yes};
        service->fileToSave.clear();
        QVERIFY(!doc->SaveModified());
        // Not modified: no question at all.
        doc->SetModified(false);
        service->asks.clear();
        QVERIFY(doc->SaveModified());
        QVERIFY(service->asks.isEmpty());
        // The question names the open file.
        QVERIFY(doc->Open(other));
        service->asks.clear();
        doc->SetModified(true);
        service->threeWay = {Answer::Cancel};
        QVERIFY(!doc->New());
        QCOMPARE(service->asks, QStringList({"是否保存对 other.kvs 的更改?"}));
    }

    void newClearsTheDeviceOnlyAfterTheFirstAndOnlyOnYes() {
        QVERIFY(doc->New());  // start-up: nothing asked, nothing cleared
        QCOMPARE(frame->clears, 0);
        QVERIFY(device->m_log.isEmpty());
        QCOMPARE(doc->Title(), QString("无标题"));

        const QString path = dir.filePath("named.kvs");
        Write(path, "x");
        doc->Open(path);
        service->answers = {false};
        QVERIFY(!doc->New());
        QCOMPARE(service->asks, QStringList({CKorvessaDoc::ClearQuestion()}));
        QCOMPARE(frame->clears, 0);
        QCOMPARE(doc->Title(), QString("named.kvs"));
        service->answers = {true};
        QVERIFY(doc->New());
        QCOMPARE(frame->clears, 1);
        QCOMPARE(doc->Title(), QString("无标题"));
        // A device without components is cleared without a question.
        device->holdsComponents = false;
        device->SetTree();
        service->asks.clear();
        QVERIFY(doc->New());
        QVERIFY(service->asks.isEmpty());
        QCOMPARE(frame->clears, 2);
    }

    // --- in the frame, against the simulated controller -----------------------------------

    void theDemoProjectRoundTripsThroughARealFile() {
        auto dev = devsim::Device::CreateDemo();
        std::string error;
        QVERIFY2(dev->StartUdp("127.0.0.1", 30001, &error), error.c_str());
        KVSGetKey(dev->Key().c_str());
        CMainFrame main;
        main.SetSettleDelay(0);
        LinkParams udp;
        QVERIFY(main.ConnectWith(udp));
        QCOMPARE(main.windowTitle(), QString("无标题 - Korvessa"));

        const QString path = dir.filePath("demo.kvs");
        service->fileToSave = path;
        main.Execute(ID_FILE_SAVE);
        QCOMPARE(service->informs, QStringList({"保存当前下位机配置成功！"}));
        // The file holds the device's text as it came (GBK), nothing added.
        const QByteArray saved = ReadAll(path);
        QVERIFY(saved == ToGbk(QString::fromStdString(dev->ExportConfig())));
        QVERIFY(!saved.endsWith('\0'));
        QCOMPARE(main.windowTitle(), QString("demo.kvs - Korvessa"));

        // The device changes; opening the file brings the project back.
        const std::string before = dev->ExportConfig();
        QVERIFY(dev->DeleteComponent("计数器-1"));
        service->informs.clear();
        service->fileToOpen = path;
        main.Execute(ID_FILE_OPEN);
        QCOMPARE(service->informs, QStringList({"下位机载新的配置成功!"}));
        QCOMPARE(dev->ExportConfig(), before);
        QVERIFY(main.Tree()->InstanceList().contains("计数器-1;"));

        // After a press on a diagram item, exit asks; Cancel keeps the window open.
        main.show();
        main.Document()->SetModifiedFlag();
        service->threeWay = {Answer::Cancel};
        QVERIFY(!main.close());
        QVERIFY(main.isVisible());
        service->threeWay = {Answer::No};
        QVERIFY(main.close());
        QCOMPARE(service->asks.filter("是否保存对").size(), 2);
    }

  private:
    std::unique_ptr<QTemporaryDir> tmp;
    QDir dir;
    std::unique_ptr<CRecordingService> service;
    std::unique_ptr<CDocDevice> device;
    std::unique_ptr<CRecordingFrame> frame;
    std::unique_ptr<CKorvessaDoc> doc;
};

QTEST_MAIN(DocumentTest)
#include "document_test.moc"
