#include <QApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>
#include <cstdio>

#include "app/korvessa_app.h"
#include "app/main_frame.h"
#include "kvs_version.h"

int main(int argc, char** argv) {
    // The command line is read before the application object exists: --help and --version
    // need no display.
    QStringList args;
    for (int i = 0; i < argc; ++i) args << QString::fromLocal8Bit(argv[i]);
    StartOptions options = ParseCommandLine(args);
    if (options.version) {
        std::printf("korvessa %s\n", KVS_VERSION_TEXT);
        return 0;
    }
    if (options.help || !options.error.isEmpty()) {
        if (!options.error.isEmpty())
            std::fprintf(stderr, "korvessa: %s\n", qPrintable(options.error));
        std::fputs(qPrintable(UsageText()), options.help ? stdout : stderr);
        return options.help ? 0 : 2;
    }

    QApplication app(argc, argv);
    QApplication::setOrganizationName(QString::fromUtf8(SettingsKey::kOrganization));
    QApplication::setApplicationName(QString::fromUtf8(SettingsKey::kApplication));
    QApplication::setApplicationVersion(QStringLiteral(KVS_VERSION_TEXT));
    // The toolkit's own texts (dialog buttons, file dialogs) in the program's language.
    QTranslator qtTexts;
    if (qtTexts.load(QLocale(QLocale::Chinese, QLocale::China), QStringLiteral("qtbase"),
                     QStringLiteral("_"), QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QApplication::installTranslator(&qtTexts);

    CKorvessaApp korvessa;
    if (!korvessa.Start(options)) return 1;
    return app.exec();
}
