#include "dialogs/dialog_login.h"

#include <QSettings>

#include "support/settings.h"
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
    const std::unique_ptr<QSettings> settings = Settings::Open();
    ui->combo_server->clear();
    ui->combo_server->addItems(Settings::SplitList(settings->value("SERVER_NAME", "").toString()));
    ui->combo_login->clear();
    ui->combo_login->addItems(Settings::SplitList(settings->value("USER_NAME", "").toString()));
    // The stored password is offered only with the user it belongs to.
    const QString owner = Settings::PasswordUser(settings.get());
    const bool own = owner.isEmpty() || owner == ui->combo_login->currentText();
    ui->lineEdit_password->setText(own ? settings->value("USER_PASSWORD", "").toString() : QString());
}

void DialogLogin::on_buttonBox_accepted() {
    emit login(ui->combo_server->currentText(), ui->combo_login->currentText(), ui->lineEdit_password->text());
}

void DialogLogin::on_buttonBox_rejected() {
    close();
}
