#include "dialogs/dialog_login.h"

#include <QSettings>

#include "app/settings.h"
#include "ui_dialog_login.h"

DialogLogin::DialogLogin(QWidget *parent) : QDialog(parent), ui(new Ui_DialogLogin) {
    ui->setupUi(this);
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);
    setupSettings();
}

DialogLogin::~DialogLogin() {
    delete ui;
}

void DialogLogin::setupSettings() {
    QSettings settings(Settings::FilePath(), QSettings::IniFormat);
    // Operators type Cyrillic names into the file in UTF-8; Qt 5 would read it as Latin-1.
    settings.setIniCodec("UTF-8");
    ui->combo_server->clear();
    ui->combo_server->addItems(Settings::SplitList(settings.value("SERVER_NAME", "").toString()));
    ui->combo_login->clear();
    ui->combo_login->addItems(Settings::SplitList(settings.value("USER_NAME", "").toString()));
    ui->lineEdit_password->setText(settings.value("USER_PASSWORD", "").toString());
}

void DialogLogin::on_buttonBox_accepted() {
    emit login(ui->combo_server->currentText(), ui->combo_login->currentText(), ui->lineEdit_password->text());
}

void DialogLogin::on_buttonBox_rejected() {
    close();
}
