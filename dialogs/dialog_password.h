#pragma once

#include <QDialog>
#include <QString>

class QAbstractButton;
class Ui_DialogPassword;

// Asks for the edit-mode password; the caller sets the title and checks the answer.
class DialogPassword : public QDialog {
    Q_OBJECT

public:
    explicit DialogPassword(QWidget *parent = nullptr);
    ~DialogPassword() override;

    DialogPassword(const DialogPassword &) = delete;
    DialogPassword &operator=(const DialogPassword &) = delete;

    QString GetPassword() const;
    void SetPassword(const QString &password);

private slots:
    void on_buttonBox_accepted();
    void on_buttonBox_clicked(QAbstractButton *button);

private:
    Ui_DialogPassword *ui;
};
