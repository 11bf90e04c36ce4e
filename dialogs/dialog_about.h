#pragma once

#include <QDialog>

class Ui_DialogAbout;

// Name, purpose, version and developer of the program.
class DialogAbout : public QDialog {
    Q_OBJECT

public:
    explicit DialogAbout(QWidget *parent = nullptr);
    ~DialogAbout() override;

    DialogAbout(const DialogAbout &) = delete;
    DialogAbout &operator=(const DialogAbout &) = delete;

    static QString VersionText();

private:
    Ui_DialogAbout *ui;
};
