#include "dialogs/dialog_about.h"

#include "ui_dialog_about.h"

DialogAbout::DialogAbout(QWidget *parent) : QDialog(parent), ui(new Ui_DialogAbout) {
    ui->setupUi(this);
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);
    ui->label_version->setText(VersionText());
}

DialogAbout::~DialogAbout() {
    delete ui;
}

QString DialogAbout::VersionText() {
    return QStringLiteral("Версия " ZENTA_VERSION);
}
