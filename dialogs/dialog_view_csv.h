#pragma once

#include <QDialog>
#include <QString>

namespace Ui {
class DialogViewCSV;
}

// Plain-text viewer for the CSV data an event carries.
class DialogViewCSV : public QDialog {
    Q_OBJECT

public:
    explicit DialogViewCSV(QWidget *parent = nullptr);
    ~DialogViewCSV() override;

    DialogViewCSV(const DialogViewCSV &) = delete;
    DialogViewCSV &operator=(const DialogViewCSV &) = delete;

    void SetText(QString text);

private:
    Ui::DialogViewCSV *ui;
};
