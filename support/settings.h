#pragma once

#include <QSettings>
#include <QString>
#include <QStringList>
#include <memory>

// dedur.ini in the current working directory: every reader opens it afresh.
namespace Settings {

struct Default {
    const char *key;
    const char *value;
};

// Keys in the order they are checked and written on first start.
extern const Default Defaults[7];

QString FilePath();

// The settings file opened as an INI store read and written in UTF-8: operators type Cyrillic names
// into it, which Qt 5 would otherwise read as Latin-1.
std::unique_ptr<QSettings> Open(const QString &path = FilePath());

// Remembered lists are joined by "|"; empty parts are kept as they are stored.
QStringList SplitList(const QString &joined);

// The list after a successful use of `used`: the others deduplicated and sorted, `used` once in front.
QString RememberFirst(const QString &joined, const QString &used);

// First entry of a remembered list (text up to the first "|").
QString FirstEntry(const QString &joined);

// The user a password stored by hand in USER_PASSWORD belongs to ([Login] PASSWORD_USER, kept by the
// program once a login with that password has worked, with a mark of the password it was kept for):
// it follows its user, whoever logs in last; empty when unknown or the password has been changed since.
QString PasswordUser(QSettings *settings);
void RememberPasswordUser(QSettings *settings, const QString &user, const QString &password);

} // namespace Settings
