#pragma once

#include <QDialog>
#include <QString>

class Ui_DialogLogin;

// Asks for server, user and password; the remembered lists come from dedur.ini.
class DialogLogin : public QDialog {
    Q_OBJECT

public:
    explicit DialogLogin(QWidget *parent = nullptr);
    ~DialogLogin() override;

    DialogLogin(const DialogLogin &) = delete;
    DialogLogin &operator=(const DialogLogin &) = delete;

    // Refills the server and user lists and the password from dedur.ini.
    void setupSettings();

signals:
    void login(QString server, QString user, QString password);

private slots:
    void on_buttonBox_accepted();
    void on_buttonBox_rejected();

private:
    Ui_DialogLogin *ui;
};
