#include "support/local_time_zone.h"

#include <QFileInfo>
#include <QtGlobal>
#include <ctime>

bool LocalTimeZone::Pin() {
    if (qEnvironmentVariableIsSet("TZ") || !QFileInfo::exists(QStringLiteral("/etc/localtime")))
        return false;
    qputenv("TZ", ":/etc/localtime");
    tzset();
    return true;
}
