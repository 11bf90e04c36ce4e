#include "dialogs/dialog_password.h"

#include "ui_dialog_password.h"

DialogPassword::DialogPassword(QWidget *parent) : QDialog(parent), ui(new Ui_DialogPassword) {
    ui->setupUi(this);
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);
}

DialogPassword::~DialogPassword() {
    delete ui;
}

QString DialogPassword::GetPassword() const {
    return ui->password->text();
}

void DialogPassword::SetPassword(const QString &password) {
    ui->password->setText(password);
}

// The form's own connections accept and reject; the caller reads the password afterwards.
void DialogPassword::on_buttonBox_accepted() {}

void DialogPassword::on_buttonBox_clicked(QAbstractButton *) {}
