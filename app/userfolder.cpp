#include "app/userfolder.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

QString UserFolder::Path() {
    return QDir(QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation))
        .filePath(QStringLiteral("zenta-oprch"));
}

QString UserFolder::InstalledAlarm() {
    const QString beside =
        QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral(ZENTA_DATA_FROM_BIN "/Alarm.wav"));
    if (QFileInfo(beside).isFile())
        return QDir::cleanPath(beside);
    return QStandardPaths::locate(QStandardPaths::GenericDataLocation, QStringLiteral("zenta-oprch/Alarm.wav"));
}

bool UserFolder::Enter(QString *error) {
    const QString path = Path();
    if (!QDir().mkpath(path)) {
        *error = QStringLiteral("Не удалось создать папку настроек %1.").arg(QDir::toNativeSeparators(path));
        return false;
    }
    if (!QDir::setCurrent(path)) {
        *error = QStringLiteral("Не удалось перейти в папку настроек %1.").arg(QDir::toNativeSeparators(path));
        return false;
    }
    // An operator's own sound is kept; a missing one is only a silent alarm, not a reason to stop.
    const QString alarm = QDir(path).filePath(QStringLiteral("Alarm.wav"));
    const QString installed = InstalledAlarm();
    if (!QFileInfo::exists(alarm) && !installed.isEmpty())
        QFile::copy(installed, alarm);
    return true;
}
