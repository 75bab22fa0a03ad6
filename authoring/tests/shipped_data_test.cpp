// The catalogue and the manual that ship with the program: every prototype is a formula the
// controller computes, with its inputs, description and picture; every component type of the
// controller has a manual page, and every index entry and link leads to a page.
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QImage>
#include <QRegularExpression>
#include <QSet>
#include <QTest>

#include "authoring/expression_catalog.h"
#include "authoring/xml/xml_doc.h"
#include "devsim/device.h"

namespace {
QString Source() { return QStringLiteral(KVS_SOURCE_DIR); }

bool HasChinese(const QString& s) {
    for (QChar c : s)
        if (c.unicode() >= 0x4E00 && c.unicode() <= 0x9FFF) return true;
    return false;
}
}  // namespace

class ShippedDataTest : public QObject {
    Q_OBJECT
  private slots:
    void everyPrototypeIsAFormulaTheControllerCompilesWithItsPicture() {
        CXmlDoc xml;
        QVERIFY(xml.LoadFile(Source() + "/expression/expcfg.xml"));
        devsim::Options options;
        options.work_thread = false;
        auto device = devsim::Device::CreateEmpty(options);
        const std::string comp = device->AddComponent("表达式运算");
        QVERIFY(!comp.empty());

        int categories = 0;
        QStringList names;
        while (xml.NextElement()) {
            ++categories;
            while (xml.NextChild()) {
                QVERIFY2(!names.contains(xml.ChildName()), qPrintable(xml.ChildName()));
                names << xml.ChildName();  // a name selects exactly one prototype
            }
        }
        for (const QString& name : names) {
            std::optional<CExpressionPrototype> p = FindExpressionPrototype(xml, name);
            QVERIFY(p);
            bool ok = false;
            int inputs = p->inputs.toInt(&ok);
            QVERIFY2(ok && inputs >= 1 && inputs <= 16, qPrintable(name));
            QVERIFY2(HasChinese(p->description) && p->description != p->expression,
                     qPrintable(name));
            QImage picture(Source() + p->picture, "BMP");
            QVERIFY2(!picture.isNull() && picture.width() <= 440 && picture.height() <= 380,
                     qPrintable(name));
            QVERIFY(device->SetValue(comp, "输入槽位个数", p->inputs.toStdString()));
            QVERIFY(device->SetValue(comp, "运算表达式", p->expression.toStdString()));
            std::string status;
            QVERIFY(device->GetValue(comp, "运算状态", &status));
            QVERIFY2(status.empty(), qPrintable(name + ": " + QString::fromStdString(status)));
        }
        const int prototypes = int(names.size());
        QVERIFY(categories >= 4);
        QVERIFY(prototypes >= 12);
        // the demo's expression component opens on its prototype
        QVERIFY(!MatchExpressionPrototype(xml, "x1*2+x2").isEmpty());
    }

    void everyComponentTypeHasAPageAndEveryEntryAndLinkLeadsToOne() {
        const QString help = Source() + "/help";
        CXmlDoc index;
        QVERIFY(index.LoadFile(help + "/help.xml"));
        QSet<QString> topics;
        while (index.NextElement()) {
            topics << index.ElementName();
            const QString page = index.AttributeValue("目录地址").section('#', 0, 0);
            QVERIFY2(QFile::exists(help + "/manual/" + page), qPrintable(page));
        }
        QVERIFY(topics.contains("帮助主页面"));
        for (const std::string& type : devsim::Device::CreateEmpty()->ListTypes())
            QVERIFY2(topics.contains(QString::fromStdString(type)), type.c_str());

        const QRegularExpression href("href=\"([^\"#]*)[^\"]*\"");
        int pages = 0;
        for (QDirIterator it(help + "/manual", {"*.html"}); it.hasNext();) {
            const QString path = it.next();
            ++pages;
            QFile f(path);
            QVERIFY(f.open(QIODevice::ReadOnly));
            const QString text = QString::fromUtf8(f.readAll());
            QVERIFY2(HasChinese(text), qPrintable(path));
            for (auto m = href.globalMatch(text); m.hasNext();) {
                const QString target = m.next().captured(1);
                if (target.isEmpty() || target.startsWith("http")) continue;
                QVERIFY2(QFile::exists(help + "/manual/" + target),
                         qPrintable(path + " -> " + target));
            }
        }
        QVERIFY(pages >= int(topics.size()));
    }
};

QTEST_MAIN(ShippedDataTest)
#include "shipped_data_test.moc"
