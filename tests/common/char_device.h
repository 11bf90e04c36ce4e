// Tests that write to /dev/null or /dev/full first make sure the device is there: writing to a
// missing one would leave a plain file in its place.
#pragma once

#include <QFile>
#include <QString>
#include <sys/stat.h>

inline bool IsCharacterDevice(const QString &path) {
    struct stat status;
    return ::stat(QFile::encodeName(path).constData(), &status) == 0 && S_ISCHR(status.st_mode);
}
