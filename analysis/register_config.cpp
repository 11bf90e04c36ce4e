#include "analysis/register_config.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "support/settings.h"

QString RegisterConfig::Describe() const {
    if (!IsPostgres())
        return QStringLiteral("SQLite %1").arg(path);
    return QStringLiteral("PostgreSQL %1@%2:%3/%4").arg(user, host).arg(port).arg(database);
}

bool RegisterConfig::Load(const QString &iniPath, RegisterConfig *config, QString *error) {
    const QString defaultPath = QFileInfo(iniPath).dir().filePath(QStringLiteral("episodes.sqlite"));
    RegisterConfig result;
    const std::unique_ptr<QSettings> ini = Settings::Open(iniPath);
    ini->beginGroup(QStringLiteral("Register"));
    result.path = ini->value(QStringLiteral("SQLITE_FILE"), defaultPath).toString().trimmed();
    if (result.path.isEmpty())
        result.path = defaultPath;
    result.host = ini->value(QStringLiteral("HOST")).toString().trimmed();
    if (ini->contains(QStringLiteral("PORT"))) {
        bool ok = false;
        result.port = ini->value(QStringLiteral("PORT")).toString().trimmed().toInt(&ok);
        if (!ok || result.port < 1 || result.port > 65535) {
            *error = QStringLiteral("Неверный порт сервера журнала эпизодов: «%1» (PORT в разделе [Register]).")
                         .arg(ini->value(QStringLiteral("PORT")).toString());
            return false;
        }
    }
    result.database = ini->value(QStringLiteral("DATABASE"), result.database).toString().trimmed();
    result.user = ini->value(QStringLiteral("USER"), result.user).toString().trimmed();
    result.options = ini->value(QStringLiteral("OPTIONS")).toString().trimmed();
    const QString passwordFile = ini->value(QStringLiteral("PASSWORD_FILE")).toString().trimmed();
    ini->endGroup();

    // The password is never kept in the INI file, which every user of the machine may read.
    if (qEnvironmentVariableIsSet("ZENTA_REGISTER_PASSWORD")) {
        result.password = qEnvironmentVariable("ZENTA_REGISTER_PASSWORD");
    } else if (!passwordFile.isEmpty()) {
        QFile file(passwordFile);
        if (!file.open(QIODevice::ReadOnly)) {
            *error = QStringLiteral("Не удалось прочитать файл пароля журнала эпизодов «%1».").arg(passwordFile);
            return false;
        }
        result.password = QString::fromUtf8(file.readLine()).remove(QLatin1Char('\n')).remove(QLatin1Char('\r'));
    }
    *config = result;
    return true;
}
