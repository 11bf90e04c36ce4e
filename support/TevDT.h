#pragma once

#include <QMutex>
#include <cstdint>

// Calendar fields of a server time; dayOfWeek runs 1 = Monday ... 7 = Sunday.
struct rdxSystemTime {
    int32_t year;
    int32_t month;
    int32_t day;
    int32_t hour;
    int32_t minute;
    int32_t second;
    int32_t millisecond;
    int32_t dayOfWeek;
};

// Guards and counts changes of the system clock made through CTevDT.
extern QMutex LOCAL_TIME_MUTEX;
extern int32_t LOCAL_TIME_CHANGED;

// Server time is a double count of seconds since 1970-01-01 UTC with milliseconds in the fraction.
class CTevDT {
public:
    CTevDT() = default;
    virtual ~CTevDT() = default;

    double TevTimeNow();
    double TevTimeMake(rdxSystemTime *t, bool utc);
    void TevTimeLocal(double time, rdxSystemTime *out);
    void TevTimeUtc(double time, rdxSystemTime *out);
    int OffsetFromUtc(double time);
    int OffsetFromUtc(rdxSystemTime *t);
    int TevGetDst(double time);
    uint32_t _GetTicks();
    uint32_t TevClockNow();
    bool _SetSystemTime(double time);
    bool TevTimeSet(double time);
    // CPU time consumed by the calling thread, in milliseconds; 0 when the clock cannot be read.
    int64_t ThreadTimeToMSec();

    // Server time of a wall-clock reading in milliseconds since the epoch.
    static double MSecToTevTime(int64_t msecs);
};
