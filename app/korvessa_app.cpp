#include "app/korvessa_app.h"

#include <QApplication>
#include <QDir>
#include <QTimer>

#include "app/common/message_service.h"
#include "app/device/device.h"
#include "app/main_frame.h"
#include "devsim/device.h"
#include "maintenance/maintenance_commands.h"

StartOptions ParseCommandLine(const QStringList& args) {
    StartOptions o;
    for (int i = 1; i < args.size(); ++i) {
        const QString& a = args[i];
        if (a == QLatin1String("--demo")) {
            o.demo = true;
        } else if (a == QLatin1String("--screenshot")) {
            if (i + 1 >= args.size()) {
                o.error = QStringLiteral("--screenshot needs a file name");
                return o;
            }
            o.screenshot = args[++i];
        } else if (a == QLatin1String("-h") || a == QLatin1String("--help")) {
            o.help = true;
        } else if (a == QLatin1String("--version")) {
            o.version = true;
        } else if (a == QLatin1String(kServiceOption)) {
            o.service = true;
        } else if (a.startsWith(QLatin1String("-"))) {
            o.error = QStringLiteral("unknown option: %1").arg(a);
            return o;
        } else if (o.projectFile.isEmpty()) {
            o.projectFile = a;
        } else {
            o.error = QStringLiteral("only one project file can be opened");
            return o;
        }
    }
    return o;
}

QString UsageText() {
    return QStringLiteral(
        "usage: korvessa [--demo] [--screenshot FILE.png] [--service] [PROJECT.kvs]\n"
        "       korvessa --help | --version\n"
        "  --demo        start the simulated controller in this process (UDP 127.0.0.1:30001)\n"
        "                and connect to it\n"
        "  --screenshot  save the main window as a PNG once it is connected, then quit\n"
        "  --service     show the firmware dialog's endurance test (service staff)\n"
        "  PROJECT.kvs   a project file to open (downloaded to the connected controller)\n");
}

CKorvessaApp::CKorvessaApp() = default;

CKorvessaApp::~CKorvessaApp() {
    m_frame.reset();  // closes the link before the controller goes away
    m_device.reset();
}

bool CKorvessaApp::StartSimulator(QString* error) {
    m_device = devsim::Device::CreateDemo();
    std::string why;
    if (!m_device || !m_device->StartUdp("127.0.0.1", 30001, &why)) {
        if (error) *error = QString::fromStdString(why);
        m_device.reset();
        return false;
    }
    return true;
}

bool CKorvessaApp::ConnectToSimulator() {
    if (!m_device || !m_frame) return false;
    m_frame->Device().SetKey(QString::fromStdString(m_device->Key()));
    LinkParams p;
    p.way = 2;
    p.address = {127, 0, 0, 1};
    return m_frame->ConnectWith(p);
}

bool CKorvessaApp::Start(const StartOptions& options) {
    CFirmwareCtrl::SetServiceMode(options.service);
    m_frame = std::make_unique<CMainFrame>();
    m_frame->show();

    if (options.demo) {
        QString error;
        if (!StartSimulator(&error)) {
            CMessageService::Get().Inform(m_frame.get(),
                                          QStringLiteral("无法启动模拟下位机: %1").arg(error));
        } else {
            QTimer::singleShot(0, m_frame.get(), [this] { ConnectToSimulator(); });
        }
    }
    if (!options.projectFile.isEmpty()) {
        QString path = options.projectFile;
        // After the demo's connect (queued before it), so the file reaches the controller.
        QTimer::singleShot(0, m_frame.get(), [this, path] { m_frame->OpenDocumentFile(path); });
    }
    if (!options.screenshot.isEmpty()) {
        QString file = options.screenshot;
        QTimer::singleShot(1500, m_frame.get(), [this, file] {
            m_frame->grab().save(file);
            QApplication::quit();
        });
    }
    return true;
}
