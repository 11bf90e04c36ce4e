#include "server/archive_measures_14.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <string.h>
#include <vector>

#include "server/tlxservice.h"

namespace {

constexpr int RecordSize = 29;
constexpr int LastHeaderSize = 13;
constexpr int PeriodHeaderSize = 21;
constexpr int OffsetFlags = 9;
constexpr int OffsetTime = 13;
constexpr int OffsetValue = 21;
constexpr uint8_t TypeWithVariablePart = 4;

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
    WalkPeriodRecords(block, length, zeroAsNaN, [&](const MeasurePoint &point) {
        // Records come in time order: appending with a hint at the end saves the tree search. (Going
        // through the vector below and then the map measured twice as slow.)
        if (points.isEmpty() || point.time > lastTime)
            points.insert(points.cend(), point.time, point);
        else
            points.insert(point.time, point);
        lastTime = qMax(lastTime, point.time);
    });
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
    if (!service->MeasRead(id, double(time.toSecsSinceEpoch()), &reply) || !service->WaitResult(&reply))
        return false;
    ReplyGuard guard(service, reply);
    int length = 0;
    const char *block = nullptr;
    TLXService::ReplyBytes(reply, 0, &length, &block);
    if (!point)
        return true;
    return DecodeLastBlock(block, length, point, zeroAsNaN);
}

template <typename Decode>
auto Archive_Measures::ReadPeriod(int id, QDateTime from, QDateTime to, Decode decode) -> decltype(decode(nullptr, 0)) {
    if (!service || !service->IsConnected())
        return {};
    TLXCliParam *reply = nullptr;
    if (!service->MeasRead(id, double(from.toSecsSinceEpoch()), double(to.toSecsSinceEpoch()), &reply) ||
        !service->WaitResult(&reply))
        return {};
    ReplyGuard guard(service, reply);
    int length = 0;
    const char *block = nullptr;
    TLXService::ReplyBytes(reply, 0, &length, &block);
    return decode(block, length);
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
    // A block of a posted request's reply handed to `decode`; false without one.
    auto take = [this](TLXCliParam **slot, auto decode) {
        if (!service->WaitResult(slot))
            return false;
        ReplyGuard guard(service, *slot);
        int length = 0;
        const char *block = nullptr;
        TLXService::ReplyBytes(*slot, 0, &length, &block);
        decode(block, length);
        return true;
    };

    int posted = 0;
    for (; posted < std::min(n, SpansInFlight + 1); ++posted)
        post(posted);
    for (int i = 0; i < n; ++i) {
        const SpanRequest &r = requests[i];
        MeasurePoint last;
        bool haveLast = false;
        if (lastPosted[size_t(i)])
            take(&lastReplies[size_t(i)],
                 [&](const char *block, int length) { haveLast = DecodeLastBlock(block, length, &last, r.zeroAsNaN); });
        QVector<MeasurePoint> samples;
        if (spanPosted[size_t(i)])
            take(&spanReplies[size_t(i)],
                 [&](const char *block, int length) { samples = DecodePeriodSamples(block, length, r.zeroAsNaN); });
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
    for (const MeasurePoint &p : samples) {
        // Ascending times append at the end without a search; anything else is inserted where it goes.
        if (series.isEmpty() || p.time > last)
            series.insert(series.cend(), p.time, p);
        else
            series.insert(p.time, p);
        last = series.isEmpty() ? p.time : qMax(last, p.time);
    }
    return series;
}
