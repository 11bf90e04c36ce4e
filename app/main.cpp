#include <QApplication>
#include <QLocale>

#include "app/mainwindow.h"
#include "app/reportcommand.h"

int main(int argc, char *argv[]) {
    if (ReportCommand::Requested(argc, argv))
        return ReportCommand::Main(argc, argv);
    QApplication app(argc, argv);
    // Dates and month names in the period fields follow the Russian interface on any system locale.
    QLocale::setDefault(QLocale(QLocale::Russian, QLocale::Russia));
    MainWindow window(nullptr);
    window.show();
    return app.exec();
}
