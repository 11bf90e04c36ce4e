#include "dialogs/dialog_view_csv.h"

#include "ui_dialog_view_csv.h"

DialogViewCSV::DialogViewCSV(QWidget *parent) : QDialog(parent), ui(new Ui::DialogViewCSV) {
    ui->setupUi(this);
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);
}

DialogViewCSV::~DialogViewCSV() {
    delete ui;
}

void DialogViewCSV::SetText(QString text) {
    ui->plainTextEdit->setPlainText(text);
}
