#include <QApplication>
#include <QDir>
#include <QIcon>
#include <QLocale>
#include <QMessageBox>
#include <cstdio>

#include "app/commandline.h"
#include "app/mainwindow.h"
#include "app/reportcommand.h"
#include "app/translations.h"
#include "app/userfolder.h"
#include "support/local_time_zone.h"
#include "support/process_tuning.h"

int main(int argc, char *argv[]) {
    LocalTimeZone::Pin();
    ProcessTuning::KeepLargeBlocks();
    // The batch report has options of its own and needs no window.
    if (ReportCommand::Requested(argc, argv))
        return ReportCommand::Main(argc, argv);
    const CommandLine line = CommandLine::Parse(argc, argv);
    if (!line.error.isEmpty()) {
        std::fprintf(stderr, "zenta-oprch: %s\n\n%s", qUtf8Printable(line.error),
                     qUtf8Printable(CommandLine::HelpText()));
        return 2;
    }
    if (line.help || line.version) {
        std::fputs(qUtf8Printable(line.help ? CommandLine::HelpText() : CommandLine::VersionText()), stdout);
        return 0;
    }

    QApplication app(argc, argv);
    // Dates and month names in the period fields follow the Russian interface on any system locale.
    QLocale::setDefault(QLocale(QLocale::Russian, QLocale::Russia));
    Translations::Install(&app);
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/icons/zenta-oprch-256.png")));
    QString why;
    if (line.userFolder && !UserFolder::Enter(&why))
        QMessageBox::warning(nullptr, QStringLiteral("ЗЕНТА.ОПРЧ"),
                             why + QStringLiteral("\nНастройки будут прочитаны из папки %1.")
                                       .arg(QDir::toNativeSeparators(QDir::currentPath())));
    MainWindow window(nullptr);
    window.show();
    window.StartSession();
    return app.exec();
}
