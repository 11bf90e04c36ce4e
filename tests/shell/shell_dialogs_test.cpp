// The login and about dialogs on their own, in a temporary working directory (dedur.ini there).
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTextDocument>

#include "dialogs/dialog_about.h"
#include "dialogs/dialog_login.h"
#include "support/settings.h"

namespace {

// Keeps a picture of a dialog for a person to look at, when the test run asks for pictures.
void SaveScreenshot(QWidget *widget, const QString &name) {
    const QString folder = qEnvironmentVariable("ZENTA_SCREENSHOTS");
    if (folder.isEmpty() || !QDir().mkpath(folder))
        return;
    widget->grab().save(folder + "/" + name + ".png");
}

QStringList Items(const QComboBox *combo) {
    QStringList items;
    for (int i = 0; i < combo->count(); ++i)
        items << combo->itemText(i);
    return items;
}

// A null value leaves the key out of the file.
void WriteSettings(const QString &server, const QString &user, const QString &password) {
    QSettings settings(Settings::FilePath(), QSettings::IniFormat);
    const std::pair<const char *, QString> values[] = {
        {"SERVER_NAME", server}, {"USER_NAME", user}, {"USER_PASSWORD", password}};
    for (const auto &value : values) {
        if (!value.second.isNull())
            settings.setValue(value.first, value.second);
    }
}

} // namespace

class ShellDialogsTest : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void loginDialogFillsFromSettings_data();
    void loginDialogFillsFromSettings();
    void setupSettingsReplacesLists_data();
    void setupSettingsReplacesLists();
    void loginSignalCarriesTypedTexts_data();
    void loginSignalCarriesTypedTexts();
    void aboutDialogTexts_data();
    void aboutDialogTexts();

private:
    QTemporaryDir *work = nullptr;
    QString startDir;
};

void ShellDialogsTest::init() {
    startDir = QDir::currentPath();
    work = new QTemporaryDir;
    QVERIFY(work->isValid());
    QVERIFY(QDir::setCurrent(work->path()));
}

void ShellDialogsTest::cleanup() {
    QDir::setCurrent(startDir);
    delete work;
    work = nullptr;
}

void ShellDialogsTest::loginDialogFillsFromSettings_data() {
    QTest::addColumn<QString>("servers");
    QTest::addColumn<QString>("users");
    QTest::addColumn<QString>("password");
    QTest::addColumn<QStringList>("serverItems");
    QTest::addColumn<QStringList>("userItems");
    QTest::addColumn<QString>("owner"); // the user the stored password belongs to

    QTest::newRow("no-file") << QString() << QString() << QString() << QStringList{""} << QStringList{""} << QString();
    QTest::newRow("empty-lists") << ""
                                 << ""
                                 << "" << QStringList{""} << QStringList{""} << QString();
    QTest::newRow("two-servers-most-recent-shown")
        << "srv-b|srv-a"
        << "operator"
        << "" << QStringList{"srv-b", "srv-a"} << QStringList{"operator"} << QString();
    QTest::newRow("empty-part-kept") << "a||b"
                                     << "u1|u2"
                                     << "" << QStringList{"a", "", "b"} << QStringList{"u1", "u2"} << QString();
    QTest::newRow("hand-stored-password")
        << "10.0.0.5:2000"
        << "engineer"
        << "Secret|1" << QStringList{"10.0.0.5:2000"} << QStringList{"engineer"} << QString();
    QTest::newRow("cyrillic-user") << "srv"
                                   << "оператор|operator"
                                   << "" << QStringList{"srv"} << QStringList{"оператор", "operator"} << QString();
    // The stored password is not offered with another user's name.
    QTest::newRow("password-of-another-user-not-offered")
        << "srv"
        << "engineer|operator"
        << "operator" << QStringList{"srv"} << QStringList{"engineer", "operator"} << "operator";
    QTest::newRow("password-of-this-user-offered")
        << "srv"
        << "operator|engineer"
        << "operator" << QStringList{"srv"} << QStringList{"operator", "engineer"} << "operator";
}

void ShellDialogsTest::loginDialogFillsFromSettings() {
    QFETCH(QString, servers);
    QFETCH(QString, users);
    QFETCH(QString, password);
    QFETCH(QStringList, serverItems);
    QFETCH(QStringList, userItems);
    QFETCH(QString, owner);

    WriteSettings(servers, users, password);
    if (!owner.isEmpty())
        Settings::RememberPasswordUser(Settings::Open().get(), owner, password);
    DialogLogin dialog(nullptr);
    auto *server = dialog.findChild<QComboBox *>("combo_server");
    auto *user = dialog.findChild<QComboBox *>("combo_login");
    auto *secret = dialog.findChild<QLineEdit *>("lineEdit_password");
    QVERIFY(server && user && secret);

    QCOMPARE(Items(server), serverItems);
    QCOMPARE(server->currentText(), serverItems.first());
    QCOMPARE(Items(user), userItems);
    QCOMPARE(user->currentText(), userItems.first());
    const bool offered = owner.isEmpty() || owner == userItems.first();
    QCOMPARE(secret->text(), password.isNull() || !offered ? QString("") : password);
    QCOMPARE(secret->echoMode(), QLineEdit::Password);
}

void ShellDialogsTest::setupSettingsReplacesLists_data() {
    QTest::addColumn<QString>("before");
    QTest::addColumn<QString>("after");
    QTest::addColumn<QStringList>("items");

    QTest::newRow("list-replaced") << "a|b"
                                   << "c" << QStringList{"c"};
    QTest::newRow("list-emptied") << "a|b"
                                  << "" << QStringList{""};
    QTest::newRow("list-grown") << "a"
                                << "d|a|b" << QStringList{"d", "a", "b"};
}

void ShellDialogsTest::setupSettingsReplacesLists() {
    QFETCH(QString, before);
    QFETCH(QString, after);
    QFETCH(QStringList, items);

    WriteSettings(before, before, "one");
    DialogLogin dialog(nullptr);
    WriteSettings(after, after, "two");
    dialog.setupSettings();
    QCOMPARE(Items(dialog.findChild<QComboBox *>("combo_server")), items);
    QCOMPARE(Items(dialog.findChild<QComboBox *>("combo_login")), items);
    QCOMPARE(dialog.findChild<QLineEdit *>("lineEdit_password")->text(), QString("two"));
}

void ShellDialogsTest::loginSignalCarriesTypedTexts_data() {
    QTest::addColumn<QString>("server");
    QTest::addColumn<QString>("user");
    QTest::addColumn<QString>("password");
    QTest::addColumn<bool>("accept");

    QTest::newRow("typed-and-accepted") << "127.0.0.1:2000"
                                        << "operator"
                                        << "pw" << true;
    QTest::newRow("empty-fields-are-passed-on") << ""
                                                << ""
                                                << "" << true;
    QTest::newRow("cancel-emits-nothing") << "srv"
                                          << "operator"
                                          << "pw" << false;
}

void ShellDialogsTest::loginSignalCarriesTypedTexts() {
    QFETCH(QString, server);
    QFETCH(QString, user);
    QFETCH(QString, password);
    QFETCH(bool, accept);

    WriteSettings("remembered|other", "someone", "stored");
    DialogLogin dialog(nullptr);
    QSignalSpy spy(&dialog, &DialogLogin::login);
    dialog.show();
    auto *serverCombo = dialog.findChild<QComboBox *>("combo_server");
    auto *userCombo = dialog.findChild<QComboBox *>("combo_login");
    auto *secret = dialog.findChild<QLineEdit *>("lineEdit_password");
    serverCombo->lineEdit()->clear();
    QTest::keyClicks(serverCombo->lineEdit(), server);
    userCombo->lineEdit()->clear();
    QTest::keyClicks(userCombo->lineEdit(), user);
    secret->clear();
    QTest::keyClicks(secret, password);

    SaveScreenshot(&dialog, "shell_login_dialog");
    auto *buttons = dialog.findChild<QDialogButtonBox *>("buttonBox");
    buttons->button(accept ? QDialogButtonBox::Ok : QDialogButtonBox::Cancel)->click();

    QVERIFY(!dialog.isVisible());
    if (!accept) {
        QCOMPARE(spy.count(), 0);
        return;
    }
    QCOMPARE(spy.count(), 1);
    QCOMPARE(spy.at(0).at(0).toString(), server);
    QCOMPARE(spy.at(0).at(1).toString(), user);
    QCOMPARE(spy.at(0).at(2).toString(), password);
}

void ShellDialogsTest::aboutDialogTexts_data() {
    QTest::addColumn<QString>("label");
    QTest::addColumn<QString>("plainText");

    QTest::newRow("version-on-one-line") << "label_version"
                                         << "Версия 1.7.4";
    QTest::newRow("caption") << "label_caption"
                             << "ОПРЧ.ЗЕНТА.Клиент";
    QTest::newRow("purpose") << "label_desription"
                             << "Модуль ЗЕНТА.ОПРЧ предназначен для мониторинга участия генерирующего "
                                "оборудования в общем первичном регулировании частоты и мощности (ОПРЧ).";
}

void ShellDialogsTest::aboutDialogTexts() {
    QFETCH(QString, label);
    QFETCH(QString, plainText);

    DialogAbout dialog(nullptr);
    dialog.show();
    SaveScreenshot(&dialog, "shell_about_dialog");
    QCOMPARE(dialog.windowTitle(), QString("О программе"));
    auto *widget = dialog.findChild<QLabel *>(label);
    QVERIFY(widget);
    QTextDocument document;
    document.setHtml(widget->text());
    QCOMPARE(document.toPlainText().trimmed(), plainText);
}

QTEST_MAIN(ShellDialogsTest)
#include "shell_dialogs_test.moc"
