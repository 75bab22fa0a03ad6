#include <QApplication>
#include <cstdio>

#include "app/korvessa_app.h"
#include "app/main_frame.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setOrganizationName(QString::fromUtf8(SettingsKey::kOrganization));
    QApplication::setApplicationName(QString::fromUtf8(SettingsKey::kApplication));
    QApplication::setApplicationVersion(QStringLiteral("1.2.0"));

    StartOptions options = ParseCommandLine(QApplication::arguments());
    if (options.help || !options.error.isEmpty()) {
        if (!options.error.isEmpty())
            std::fprintf(stderr, "korvessa: %s\n", qPrintable(options.error));
        std::fputs(qPrintable(UsageText()), options.help ? stdout : stderr);
        return options.help ? 0 : 2;
    }
    CKorvessaApp korvessa;
    if (!korvessa.Start(options)) return 1;
    return app.exec();
}
