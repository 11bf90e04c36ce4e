// A day of 1 Hz samples ("MEAS_READ2" of 86,400 records) from zenta-stand over loopback into the sample map:
// end to end, the stand's round trip without decoding, decoding alone, and as baselines the same block's
// bare round trip (a tlx server in this process that answers with it) and a plain copy of it.
#include "bench/figure.h"
#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QTextStream>

#include <algorithm>
#include <string.h>
#include <vector>

#include "server/archive_measures_14.h"
#include "server/db.h"
#include "server/table_dedur_data_14.h"
#include "server/table_dedur_settings_14.h"
#include "stand_process.h"
#include "support/process_tuning.h"
#include "tlx/tlx_server.h"

namespace {

int FrequencyMeasurement(DB &db) {
    for (int row = 0; row < db.tableDedurData->GetRecordCount(); ++row) {
        const int setting = db.tableDedurData->GetFieldValueInt(row, QStringLiteral("DEDUR_DATA_SETTINGS"));
        const int settingRow = db.tableDedurSettings->FindRecordIndexByIntValue("DEDUR_SETTINGS_ID", setting);
        if (db.tableDedurSettings->GetFieldValueString(settingRow, QStringLiteral("DEDUR_SETTINGS_KEY")) ==
            QLatin1String("Freq"))
            return db.tableDedurData->GetFieldValueString(row, QStringLiteral("DEDUR_DATA_VALUE")).toInt();
    }
    return 0;
}

// Answers any request with one fixed block, as fast as the link allows.
class EchoHandler : public tlx::ServerHandler {
public:
    explicit EchoHandler(QByteArray block) : block_(std::move(block)) {}
    bool Authenticate(tlx::ConnId, const std::string &, const std::string &) override { return true; }
    void OnRequest(tlx::ConnId, TLXCliParam *, TLXCliParam *reply) override {
        TLXPrmSetBytes(reply, 0, block_.size(), block_.constData());
    }
    void OnMessage(tlx::ConnId, TLXCliParam *) override {}

private:
    QByteArray block_;
};

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
}

} // namespace

int main(int argc, char **argv) {
    ProcessTuning::KeepLargeBlocks(); // as the program does at start
    QCoreApplication app(argc, argv);
    QTextStream out(stdout);
    const int rounds = 7;

    StandProcess stand;
    QElapsedTimer startup;
    startup.start();
    if (!stand.Start({QStringLiteral("--backfill-hours"), QStringLiteral("25"), QStringLiteral("--no-sim"),
                      QStringLiteral("--units"), QStringLiteral("1")})) {
        out << "stand server did not start: " << stand.Error() << "\n";
        return 1;
    }
    out << "stand with 25 h of history ready in " << startup.elapsed() << " ms\n";

    DB db;
    if (!db.OpenSession(stand.Address(), QStringLiteral("operator"), QStringLiteral("operator"))) {
        out << "login failed\n";
        return 1;
    }
    const int id = FrequencyMeasurement(db);
    const QDateTime to = QDateTime::currentDateTimeUtc().addSecs(-600);
    const QDateTime from = to.addSecs(-86399);

    std::vector<double> endToEnd, standTrip, decode, decodeSamples, plotRead, copy;
    QByteArray lastBlock;
    int records = 0;
    for (int round = 0; round < rounds; ++round) {
        QElapsedTimer timer;
        timer.start();
        const QMap<double, MeasurePoint> points =
            db.archiveMeasures->ReadMeasuresVectorForPeriod(id, from, to, false, -1);
        endToEnd.push_back(timer.nsecsElapsed() / 1e6);
        records = points.size();
        timer.restart();
        const QVector<MeasurePoint> drawn = db.archiveMeasures->ReadSamplesForPeriod(id, from, to, false);
        plotRead.push_back(timer.nsecsElapsed() / 1e6);

        // The same reply, fetched again, to time its decoding and a bare copy on their own.
        TLXCliParam *reply = nullptr;
        timer.restart();
        db.client.MeasRead(id, double(from.toSecsSinceEpoch()), double(to.toSecsSinceEpoch()), &reply);
        if (!db.client.WaitResult(&reply)) {
            out << "request failed\n";
            return 1;
        }
        standTrip.push_back(timer.nsecsElapsed() / 1e6);
        int length = 0;
        const char *block = nullptr;
        TLXService::ReplyBytes(reply, 0, &length, &block);
        timer.restart();
        const QMap<double, MeasurePoint> decoded = Archive_Measures::DecodePeriodBlock(block, length, false);
        decode.push_back(timer.nsecsElapsed() / 1e6);
        timer.restart();
        const QVector<MeasurePoint> samples = Archive_Measures::DecodePeriodSamples(block, length, false);
        decodeSamples.push_back(timer.nsecsElapsed() / 1e6);
        if (samples.size() != decoded.size())
            out << "warning: the two decodings differ\n";
        std::vector<char> target(size_t(length) + 1);
        timer.restart();
        memcpy(target.data(), block, size_t(length));
        copy.push_back(timer.nsecsElapsed() / 1e6);
        if (decoded.size() != records || target[size_t(length) / 2] != block[length / 2])
            out << "warning: second read differs\n";
        lastBlock = QByteArray(block, length);
        db.client.FreeReply(reply);
    }

    // The same block from a server that does nothing but send it.
    EchoHandler echo(lastBlock);
    tlx::ServerOptions options;
    options.port = 0;
    options.compressAbove = 0;
    tlx::Server server(options, &echo);
    std::string error;
    if (!server.Start(&error)) {
        out << "echo server: " << error.c_str() << "\n";
        return 1;
    }
    TLXService bare;
    if (!bare.Open("127.0.0.1", "bench", "bench", server.Port())) {
        out << "cannot reach the echo server\n";
        return 1;
    }
    std::vector<double> bareTrip;
    for (int round = 0; round < rounds; ++round) {
        QElapsedTimer timer;
        timer.start();
        TLXCliParam *reply = nullptr;
        bare.MeasRead(id, 0, 1, &reply);
        if (bare.WaitResult(&reply))
            bare.FreeReply(reply);
        bareTrip.push_back(timer.nsecsElapsed() / 1e6);
    }
    bare.Close();
    server.Stop();

    const double e2e = Median(endToEnd);
    const double dec = Median(decode);
    const double decVector = Median(decodeSamples);
    const double plotE2e = Median(plotRead);
    const double trip = Median(standTrip);
    const double bareMs = Median(bareTrip);
    out << "MEAS_READ2 of 24 h at 1 Hz: " << records << " records, block " << (21 + 29 * qint64(records)) / 1024
        << " KiB, median of " << rounds << " rounds\n";
    out << "  end to end (request, transfer, decode into QMap): " << QString::number(e2e, 'f', 2) << " ms"
        << " (target < 50 ms)\n";
    out << "  decode alone:                                      " << QString::number(dec, 'f', 2) << " ms, "
        << QString::number(records / (dec / 1000.0) / 1e6, 'f', 2) << " M records/s\n";
    out << "  the same read into a vector, as the plot reads:    " << QString::number(plotE2e, 'f', 2) << " ms\n";
    out << "  decode into a vector alone:                        " << QString::number(decVector, 'f', 2) << " ms\n";
    out << "  end to end rate:                                   "
        << QString::number(records / (e2e / 1000.0) / 1e6, 'f', 2) << " M records/s\n";
    out << "  the stand's round trip, not decoded:               " << QString::number(trip, 'f', 2) << " ms\n";
    out << "  the same block's bare round trip (baseline):       " << QString::number(bareMs, 'f', 2) << " ms\n";
    out << "  the stand's own share (query and packing):         " << QString::number(trip - bareMs, 'f', 2) << " ms\n";
    out << "  memcpy of the same block (limit):                  " << QString::number(Median(copy), 'f', 3) << " ms\n";
    out.flush();
    FigureVs("MEAS_READ2 of 86,400 samples into the QMap, end to end", e2e, "ms", "<= 6 x bare round trip",
             "bare round trip", bareMs);
    FigureVs("the same read as the plot makes it (into a vector)", plotE2e, "ms", "<= 6 x bare round trip",
             "bare round trip", bareMs);
    FigureVs("archive block decode into the QMap", dec, "ms", "<= 20 x memcpy", "memcpy", Median(copy));
    FigureVs("archive block decode into the plot's vector", decVector, "ms", "<= 20 x memcpy", "memcpy", Median(copy));
    Figure("the stand's share of the day read (its round trip less the bare one)", trip - bareMs, "ms");
    Figure("archive decode rate", records / (dec / 1000.0) / 1e6, "M records/s");
    return 0;
}
