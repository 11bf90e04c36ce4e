#include "server/archive_measures_14.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <string.h>
#include <vector>

#include "server/tlxservice.h"
#include "tlx/archive_layout.h"

namespace {

using archive_layout::LastHeaderSize;
using archive_layout::OffsetFlags;
using archive_layout::OffsetTime;
using archive_layout::OffsetValue;
using archive_layout::PeriodHeaderSize;
using archive_layout::RecordSize;
using archive_layout::TypeWithVariablePart;

template <typename T> T Read(const char *at) {
    T value;
    memcpy(&value, at, sizeof value);
    return value;
}

double ZeroRule(double value, bool zeroAsNaN) {
    if (zeroAsNaN && value >= -0.000001 && value <= 0.000001)
        return std::numeric_limits<double>::quiet_NaN();
    return value;
}

// Frees the reply on every way out.
class ReplyGuard {
public:
    ReplyGuard(TLXService *service, TLXCliParam *reply) : service(service), reply(reply) {}
    ~ReplyGuard() { service->FreeReply(reply); }
    ReplyGuard(const ReplyGuard &) = delete;
    ReplyGuard &operator=(const ReplyGuard &) = delete;

private:
    TLXService *service;
    TLXCliParam *reply;
};

// Waits for the reply of a posted request, hands its block to `decode` and frees it; false when no
// reply came.
template <typename Decode> bool TakeReply(TLXService *service, TLXCliParam **slot, Decode decode) {
    if (!service->WaitResult(slot))
        return false;
    ReplyGuard guard(service, *slot);
    int length = 0;
    const char *block = nullptr;
    TLXService::ReplyBytes(*slot, 0, &length, &block);
    decode(block, length);
    return true;
}

// Samples in time order append with a hint at the end, which saves the tree search; anything else is
// inserted where it goes. A later sample of one time replaces the earlier, as a map insert does.
void InsertInOrder(QMap<double, MeasurePoint> *series, double *last, const MeasurePoint &point) {
    if (series->isEmpty() || point.time > *last)
        series->insert(series->cend(), point.time, point);
    else
        series->insert(point.time, point);
    *last = qMax(*last, point.time);
}

// Every sample of a MEAS_READ2 block with a time above zero, in block order. A record whose fixed part
// does not lie wholly inside the block, or whose variable part has a negative length, ends the walk.
template <typename Visit> void WalkPeriodRecords(const char *block, int length, bool zeroAsNaN, Visit visit) {
    if (!block)
        return;
    qint64 p = PeriodHeaderSize;
    while (p + RecordSize <= length) {
        const char *record = block + p;
        qint64 next = p + RecordSize;
        if (uint8_t(record[0]) == TypeWithVariablePart) {
            const int32_t variable = Read<int32_t>(record + OffsetValue);
            if (variable < 0)
                break;
            next += variable;
        }
        const double time = Read<double>(record + OffsetTime);
        if (time > 0)
            visit(MeasurePoint{time, ZeroRule(Read<double>(record + OffsetValue), zeroAsNaN),
                               Read<int32_t>(record + OffsetFlags)});
        p = next;
    }
}

} // namespace

Archive_Measures::Archive_Measures(TLXService *service) : service(service) {}

bool Archive_Measures::DecodeLastBlock(const char *block, int length, MeasurePoint *point, bool zeroAsNaN) {
    if (!block || length < LastHeaderSize + RecordSize)
        return false;
    const char *record = block + LastHeaderSize;
    const double time = Read<double>(record + OffsetTime);
    // Truncated toward zero through a 32-bit second count; a time outside it is not a sample.
    if (!(time > double(std::numeric_limits<int32_t>::min()) - 1.0 &&
          time < double(std::numeric_limits<int32_t>::max()) + 1.0))
        return false;
    if (point) {
        point->time = double(int32_t(time));
        point->value = ZeroRule(Read<double>(record + OffsetValue), zeroAsNaN);
        point->flags = Read<int32_t>(record + OffsetFlags);
    }
    return true;
}

QMap<double, MeasurePoint> Archive_Measures::DecodePeriodBlock(const char *block, int length, bool zeroAsNaN) {
    QMap<double, MeasurePoint> points;
    double lastTime = 0;
    // Built directly: going through the vector below and then the map measured twice as slow.
    WalkPeriodRecords(block, length, zeroAsNaN,
                      [&](const MeasurePoint &point) { InsertInOrder(&points, &lastTime, point); });
    return points;
}

QVector<MeasurePoint> Archive_Measures::DecodePeriodSamples(const char *block, int length, bool zeroAsNaN) {
    QVector<MeasurePoint> points;
    if (block && length > PeriodHeaderSize)
        points.reserve((length - PeriodHeaderSize) / RecordSize);
    bool ordered = true;
    WalkPeriodRecords(block, length, zeroAsNaN, [&](const MeasurePoint &point) {
        ordered = ordered && (points.isEmpty() || point.time > points.constLast().time);
        points.append(point);
    });
    if (!ordered) {
        // Rare: put in time order, and of records with one time keep the last, as a map would.
        std::stable_sort(points.begin(), points.end(),
                         [](const MeasurePoint &a, const MeasurePoint &b) { return a.time < b.time; });
        int kept = 0;
        for (int i = 0; i < points.size(); ++i) {
            if (i + 1 < points.size() && points[i + 1].time == points[i].time)
                continue;
            points[kept++] = points[i];
        }
        points.resize(kept);
    }
    return points;
}

bool Archive_Measures::ReadLastMeasure(int id, QDateTime time, MeasurePoint *point, bool zeroAsNaN) {
    if (!service || !service->IsConnected())
        return false;
    TLXCliParam *reply = nullptr;
    // A request that was never posted has no reply to wait for.
    if (!service->MeasRead(id, double(time.toSecsSinceEpoch()), &reply))
        return false;
    bool found = false;
    return TakeReply(service, &reply,
                     [&](const char *block, int length) {
                         found = !point || DecodeLastBlock(block, length, point, zeroAsNaN);
                     }) &&
           found;
}

template <typename Decode>
auto Archive_Measures::ReadPeriod(int id, QDateTime from, QDateTime to, Decode decode) -> decltype(decode(nullptr, 0)) {
    if (!service || !service->IsConnected())
        return {};
    TLXCliParam *reply = nullptr;
    decltype(decode(nullptr, 0)) result{};
    if (service->MeasRead(id, double(from.toSecsSinceEpoch()), double(to.toSecsSinceEpoch()), &reply))
        TakeReply(service, &reply, [&](const char *block, int length) { result = decode(block, length); });
    return result;
}

QVector<MeasurePoint> Archive_Measures::ReadSamplesForPeriod(int id, QDateTime from, QDateTime to, bool zeroAsNaN) {
    return ReadPeriod(id, from, to, [zeroAsNaN](const char *block, int length) {
        return DecodePeriodSamples(block, length, zeroAsNaN);
    });
}

void Archive_Measures::ReadSpans(const QVector<SpanRequest> &requests, const SpanConsumer &consume) {
    const int n = requests.size();
    // The library knows a request by its reply slot: the slots stay put until their replies are taken.
    std::vector<TLXCliParam *> lastReplies(size_t(n), nullptr), spanReplies(size_t(n), nullptr);
    std::vector<char> lastPosted(size_t(n), 0), spanPosted(size_t(n), 0);
    auto post = [&](int i) {
        if (!service || !service->IsConnected())
            return;
        const SpanRequest &r = requests[i];
        if (r.lastBefore.isValid())
            lastPosted[size_t(i)] =
                service->MeasRead(r.id, double(r.lastBefore.toSecsSinceEpoch()), &lastReplies[size_t(i)]);
        spanPosted[size_t(i)] = service->MeasRead(r.id, double(r.from.toSecsSinceEpoch()),
                                                  double(r.to.toSecsSinceEpoch()), &spanReplies[size_t(i)]);
    };

    int posted = 0;
    for (; posted < std::min(n, SpansInFlight + 1); ++posted)
        post(posted);
    for (int i = 0; i < n; ++i) {
        const SpanRequest &r = requests[i];
        MeasurePoint last;
        bool haveLast = false;
        if (lastPosted[size_t(i)])
            TakeReply(service, &lastReplies[size_t(i)], [&](const char *block, int length) {
                haveLast = DecodeLastBlock(block, length, &last, r.zeroAsNaN);
            });
        QVector<MeasurePoint> samples;
        if (spanPosted[size_t(i)])
            TakeReply(service, &spanReplies[size_t(i)], [&](const char *block, int length) {
                samples = DecodePeriodSamples(block, length, r.zeroAsNaN);
            });
        // The next request goes out before this one is handled.
        if (posted < n)
            post(posted++);
        consume(i, haveLast ? &last : nullptr, samples);
    }
}

QMap<double, MeasurePoint> Archive_Measures::ReadMeasuresVectorForPeriod(int id, QDateTime from, QDateTime to,
                                                                         bool zeroAsNaN, int) {
    return ReadPeriod(id, from, to, [zeroAsNaN](const char *block, int length) {
        return DecodePeriodBlock(block, length, zeroAsNaN);
    });
}

QVector<MeasurePoint> Archive_Measures::SamplesOf(const QMap<double, MeasurePoint> &series) {
    QVector<MeasurePoint> samples;
    samples.reserve(series.size());
    for (auto it = series.constBegin(); it != series.constEnd(); ++it) {
        MeasurePoint p = it.value();
        p.time = it.key();
        samples.append(p);
    }
    return samples;
}

QMap<double, MeasurePoint> Archive_Measures::SeriesOf(const QVector<MeasurePoint> &samples) {
    QMap<double, MeasurePoint> series;
    double last = 0;
    for (const MeasurePoint &p : samples)
        InsertInOrder(&series, &last, p);
    return series;
}
