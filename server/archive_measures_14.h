// The server's measurement archive: the value in force at a moment and the samples of a span.
#pragma once

#include <QDateTime>
#include <QMap>
#include <QMetaType>
#include <QObject>
#include <QVector>
#include <functional>

class TLXService;

struct MeasurePoint {
    double time = 0;  // seconds since the epoch
    double value = 0; // quiet NaN = missing
    int flags = 0;    // state word; 0x10000000 = violation
};
Q_DECLARE_METATYPE(MeasurePoint)

class Archive_Measures : public QObject {
    Q_OBJECT
public:
    static constexpr int ViolationFlag = 0x10000000;

    explicit Archive_Measures(TLXService *service);

    bool ReadLastMeasure(int id, QDateTime time, MeasurePoint *point, bool zeroAsNaN);
    QMap<double, MeasurePoint> ReadMeasuresVectorForPeriod(int id, QDateTime from, QDateTime to, bool zeroAsNaN,
                                                           int reserved);
    // The same samples as ReadMeasuresVectorForPeriod, ascending by time with one per distinct time,
    // in a vector: what the plot draws, without a tree node per sample.
    QVector<MeasurePoint> ReadSamplesForPeriod(int id, QDateTime from, QDateTime to, bool zeroAsNaN);

    // The spans of several measurements, as ReadLastMeasure (at lastBefore, when valid) and
    // ReadSamplesForPeriod would read them one after another, but with the next requests already on
    // their way while the caller handles one: the server reads while the caller draws. `consume` gets
    // every request in order, with null and an empty vector for what could not be read.
    struct SpanRequest {
        int id = 0;
        QDateTime from, to, lastBefore;
        bool zeroAsNaN = false;
    };
    using SpanConsumer =
        std::function<void(int request, const MeasurePoint *last, const QVector<MeasurePoint> &samples)>;
    void ReadSpans(const QVector<SpanRequest> &requests, const SpanConsumer &consume);
    // Requests in flight ahead of the one being handled: enough to keep the server busy, few enough
    // that the replies waiting to be handled stay small.
    static constexpr int SpansInFlight = 4;

    // Decoding of reply blocks, separate so it can be checked on hand-made buffers. Neither reads
    // outside [block, block + length).
    // A MEAS_READ2 block: a 21-byte header, then records back to back.
    static QMap<double, MeasurePoint> DecodePeriodBlock(const char *block, int length, bool zeroAsNaN);
    // The same block as a sorted vector; a later record with the time of an earlier one replaces it.
    static QVector<MeasurePoint> DecodePeriodSamples(const char *block, int length, bool zeroAsNaN);
    // A series as a vector ascending by time, and back.
    static QVector<MeasurePoint> SamplesOf(const QMap<double, MeasurePoint> &series);
    static QMap<double, MeasurePoint> SeriesOf(const QVector<MeasurePoint> &samples);
    // A MEAS_READ1 block: a 13-byte header and one record; false when the record is not whole.
    static bool DecodeLastBlock(const char *block, int length, MeasurePoint *point, bool zeroAsNaN);

private:
    // One MEAS_READ2 request, its reply block handed to `decode`; an empty result without a reply.
    template <typename Decode>
    auto ReadPeriod(int id, QDateTime from, QDateTime to, Decode decode) -> decltype(decode(nullptr, 0));

    TLXService *service;
};
