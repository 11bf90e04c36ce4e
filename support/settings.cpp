#include "support/settings.h"

#include <QCryptographicHash>
#include <QDir>

namespace Settings {

const Default Defaults[7] = {
    {"SERVER_NAME", ""},
    {"USER_NAME", ""},
    {"USER_PASSWORD", ""},
    {"AUTOLOGIN", "false"},
    {"SUBSCRIBE_EVENT_CATEGORIES", ""},
    {"SUBSCRIBE_EVENT_CODES", "8301,8302,8303,8304,8305,8306,8307,8308"},
    {"ENOBJ_ID", "1"},
};

QString FilePath() {
    return QDir::currentPath() + QStringLiteral("/dedur.ini");
}

std::unique_ptr<QSettings> Open(const QString &path) {
    auto settings = std::make_unique<QSettings>(path, QSettings::IniFormat);
    settings->setIniCodec("UTF-8");
    return settings;
}

QStringList SplitList(const QString &joined) {
    return joined.split(QLatin1Char('|'), Qt::KeepEmptyParts);
}

QString RememberFirst(const QString &joined, const QString &used) {
    QStringList list = SplitList(joined);
    list.removeAll(used);
    list.removeDuplicates();
    list.sort(Qt::CaseSensitive);
    list.prepend(used);
    return list.join(QLatin1Char('|'));
}

QString FirstEntry(const QString &joined) {
    return joined.section(QLatin1Char('|'), 0, 0);
}

namespace {

// Which stored password the user was noted for: a password changed by hand drops the note.
QString PasswordMark(const QString &password) {
    return QString::fromLatin1(
        QCryptographicHash::hash(password.toUtf8(), QCryptographicHash::Sha256).toHex().left(16));
}

} // namespace

QString PasswordUser(QSettings *settings) {
    const QString stored = settings->value(QStringLiteral("USER_PASSWORD")).toString();
    if (stored.isEmpty() || settings->value(QStringLiteral("Login/PASSWORD_MARK")).toString() != PasswordMark(stored))
        return QString();
    return settings->value(QStringLiteral("Login/PASSWORD_USER")).toString();
}

void RememberPasswordUser(QSettings *settings, const QString &user, const QString &password) {
    const QString stored = settings->value(QStringLiteral("USER_PASSWORD")).toString();
    if (stored.isEmpty() || password != stored || PasswordUser(settings) == user)
        return;
    settings->setValue(QStringLiteral("Login/PASSWORD_USER"), user);
    settings->setValue(QStringLiteral("Login/PASSWORD_MARK"), PasswordMark(stored));
}

} // namespace Settings
