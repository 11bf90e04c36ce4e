#include "support/TevDT.h"

#include <QDateTime>
#include <QTimeZone>

#include <cerrno>
#include <cmath>
#include <pthread.h>
#include <time.h>

QMutex LOCAL_TIME_MUTEX;
int32_t LOCAL_TIME_CHANGED = 0;

namespace {

// Truncates toward zero, as the server side does when it splits a time into fields.
qint64 ToMSecs(double time) {
    if (!std::isfinite(time))
        return 0;
    return static_cast<qint64>(time * 1000.0);
}

void SplitDateTime(const QDateTime &dt, rdxSystemTime *out) {
    const QDate d = dt.date();
    const QTime t = dt.time();
    out->year = d.year();
    out->month = d.month();
    out->day = d.day();
    out->hour = t.hour();
    out->minute = t.minute();
    out->second = t.second();
    out->millisecond = t.msec();
    out->dayOfWeek = d.dayOfWeek();
}

QDateTime ComposeDateTime(const rdxSystemTime *t, Qt::TimeSpec spec) {
    return QDateTime(QDate(t->year, t->month, t->day), QTime(t->hour, t->minute, t->second, t->millisecond), spec);
}

uint32_t RealtimeMSecs() {
    timespec ts{};
    if (clock_gettime(CLOCK_REALTIME, &ts) != 0)
        return 0;
    return static_cast<uint32_t>(static_cast<uint64_t>(ts.tv_sec) * 1000u +
                                 static_cast<uint64_t>(ts.tv_nsec) / 1000000u);
}

} // namespace

double CTevDT::MSecToTevTime(int64_t msecs) {
    const int64_t seconds = msecs / 1000;
    return static_cast<double>(seconds) + static_cast<double>(msecs % 1000) / 1000.0;
}

double CTevDT::TevTimeNow() {
    return MSecToTevTime(QDateTime::currentMSecsSinceEpoch());
}

double CTevDT::TevTimeMake(rdxSystemTime *t, bool utc) {
    if (!t)
        return 0;
    const QDateTime dt = ComposeDateTime(t, utc ? Qt::UTC : Qt::LocalTime);
    if (!dt.isValid())
        return 0;
    return MSecToTevTime(dt.toMSecsSinceEpoch());
}

void CTevDT::TevTimeLocal(double time, rdxSystemTime *out) {
    if (out)
        SplitDateTime(QDateTime::fromMSecsSinceEpoch(ToMSecs(time), Qt::LocalTime), out);
}

void CTevDT::TevTimeUtc(double time, rdxSystemTime *out) {
    if (out)
        SplitDateTime(QDateTime::fromMSecsSinceEpoch(ToMSecs(time), Qt::UTC), out);
}

int CTevDT::OffsetFromUtc(double time) {
    return QDateTime::fromMSecsSinceEpoch(ToMSecs(time), Qt::LocalTime).offsetFromUtc();
}

int CTevDT::OffsetFromUtc(rdxSystemTime *t) {
    if (!t)
        return 0;
    const QDateTime dt = ComposeDateTime(t, Qt::LocalTime);
    return dt.isValid() ? dt.offsetFromUtc() : 0;
}

int CTevDT::TevGetDst(double) {
    return -1;
}

uint32_t CTevDT::_GetTicks() {
    return RealtimeMSecs();
}

uint32_t CTevDT::TevClockNow() {
    return RealtimeMSecs();
}

bool CTevDT::_SetSystemTime(double time) {
    if (!std::isfinite(time))
        return false;
    // Floor, not truncation: a negative fraction would give an invalid nanosecond field.
    const double seconds = std::floor(time);
    timespec ts{};
    ts.tv_sec = static_cast<time_t>(seconds);
    ts.tv_nsec = static_cast<long>((time - seconds) * 1e9);
    if (ts.tv_nsec > 999999999)
        ts.tv_nsec = 999999999;
    QMutexLocker locker(&LOCAL_TIME_MUTEX);
    ++LOCAL_TIME_CHANGED;
    return clock_settime(CLOCK_REALTIME, &ts) == 0;
}

bool CTevDT::TevTimeSet(double time) {
    return _SetSystemTime(time);
}

int64_t CTevDT::ThreadTimeToMSec() {
    clockid_t clock;
    if (pthread_getcpuclockid(pthread_self(), &clock) != 0)
        return 0;
    timespec ts{};
    if (clock_gettime(clock, &ts) != 0)
        return 0;
    return static_cast<int64_t>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}
