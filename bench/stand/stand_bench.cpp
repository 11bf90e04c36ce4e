// The stand's simulation: how long a day of backfill of the demo takes, how the default grid's day
// compares with a measured day of Continental Europe, what the demo's units do with a disturbance every
// 10 minutes on average, and how much CPU the live simulator of 2 x 50 units takes. Prints figures only.
#include "bench/figure.h"
#include "stand/frequency_statistics.h"
#include "stand/grid_model.h"
#include "stand/stand_database.h"
#include "stand_process.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>

#include <sqlite3.h>

#include <cstdio>
#include <map>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

std::vector<double> ArchivedFrequency(const std::string &path) {
    std::vector<double> hz;
    sqlite3 *db = nullptr;
    sqlite3_stmt *stmt = nullptr;
    if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK &&
        sqlite3_prepare_v2(db, "SELECT value FROM Archive WHERE meas_id = 10001 ORDER BY time", -1, &stmt, nullptr) ==
            SQLITE_OK) {
        while (sqlite3_step(stmt) == SQLITE_ROW)
            hz.push_back(sqlite3_column_double(stmt, 0));
    }
    sqlite3_finalize(stmt);
    sqlite3_close(db);
    return hz;
}

// User and system CPU of a process in seconds, from /proc.
double ProcessCpuSeconds(qint64 pid) {
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray line = stat.readAll();
    // Fields after the command name, which is in parentheses and may hold spaces.
    const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
    if (fields.size() < 13)
        return -1;
    return (fields[11].toDouble() + fields[12].toDouble()) / double(sysconf(_SC_CLK_TCK));
}

void DayFigures(const char *what, const stand::FrequencyStatistics &s) {
    char name[128];
    auto figure = [&](const char *stat, double value, const char *unit, const char *real) {
        std::snprintf(name, sizeof name, "%s: %s", what, stat);
        Figure(name, value, unit, "real day ±20 %", real);
    };
    figure("mean - 50 Hz", (s.mean - 50.0) * 1000, "mHz", "real 2.5 mHz");
    figure("standard deviation", s.sd * 1000, "mHz", "real 21 mHz");
    figure("1-s change, standard deviation", s.stepSd * 1000, "mHz", "real 1.5 mHz");
    figure("1-s change, largest", s.stepMax * 1000, "mHz", "real 7 mHz");
    figure("autocorrelation at 1 s", s.acf1, "", "real 0.998");
    figure("autocorrelation at 60 s", s.acf60, "", "real 0.75");
    figure("autocorrelation at 300 s", s.acf300, "", "real 0.28");
    std::snprintf(name, sizeof name, "%s: share beyond ±75 mHz", what);
    Figure(name, s.beyond75 * 100, "%", "0.1-1 %", "real 0.28 % (244 s)");
    std::snprintf(name, sizeof name, "%s: share beyond ±50 mHz", what);
    Figure(name, s.beyond50 * 100, "%", "", "real 2.8 %");
}

} // namespace

int main(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;

    // 1. The demo station's day of backfill, as the stand makes it on first start.
    {
        const std::string path = dir.filePath(QStringLiteral("day.sqlite")).toStdString();
        stand::GridModel model(stand::MakeDemoLayout(3), 1, 0);
        stand::StandDatabase db;
        bool created = false;
        std::string error;
        QElapsedTimer timer;
        timer.start();
        // The day of 10.12.2024 (UTC), so the figures are the same on every run.
        if (!db.Open(path, model.Layout(), &model, 24, &created, &error, 1733788799)) {
            std::printf("backfill failed: %s\n", error.c_str());
            return 1;
        }
        Figure("24 h backfill of the demo (2 stations x 3 units)", timer.nsecsElapsed() / 1e9, "s", "< 3 s");
        db.Close();
        DayFigures("default grid, 24 h backfill, seed 1, 10.12.2024",
                   stand::ComputeFrequencyStatistics(ArchivedFrequency(path)));
    }

    // 2. The demo's day: a disturbance every 10 minutes on average.
    {
        stand::GridModel model(stand::MakeDemoLayout(3), 1, 600);
        const int64_t t0 = 1733702400; // a midnight UTC
        model.Reset(t0 - 600);
        std::vector<stand::Sample> out;
        for (int64_t t = t0 - 600; t < t0; ++t) {
            out.clear();
            model.Step(t, &out);
        }
        std::vector<double> hz;
        int episodes = 0;
        std::map<std::pair<int, int>, int> shortEpisodes;
        std::map<std::pair<int, int>, int> shortAtPeak;
        for (int64_t t = t0; t < t0 + 86400; ++t) {
            out.clear();
            model.Step(t, &out);
            hz.push_back(model.Frequency());
            for (const stand::EpisodeReport &r : model.EndedEpisodes()) {
                if (r.station == 0 && r.unit == 0)
                    ++episodes;
                if (r.violationSeconds > 0) {
                    ++shortEpisodes[{r.station, r.unit}];
                    if (stand::GridModel::DailyLoad(r.start) > 0.9)
                        ++shortAtPeak[{r.station, r.unit}];
                }
            }
        }
        const auto disturbances = model.DisturbancesBetween(t0, t0 + 86400);
        Figure("demo day (--disturb-every 600): disturbances", double(disturbances.size()), "", "about 144");
        Figure("demo day: episodes beyond the dead band", double(episodes), "");
        DayFigures("demo day", stand::ComputeFrequencyStatistics(hz));
        const stand::DemoLayout &layout = model.Layout();
        for (size_t s = 0; s < layout.stations.size(); ++s) {
            for (size_t u = 0; u < layout.stations[s].units.size(); ++u) {
                char name[160];
                std::snprintf(name, sizeof name, "demo day: %s %s, episodes short (at the evening peak)",
                              layout.stations[s].shortName.c_str(), layout.stations[s].units[u].name.c_str());
                char peak[32];
                std::snprintf(peak, sizeof peak, "%d at peak", shortAtPeak[{int(s), int(u)}]);
                Figure(name, shortEpisodes[{int(s), int(u)}], "", "", peak);
            }
        }
    }

    // 3. The live simulator of 2 stations x 50 units: CPU of the whole server process.
    {
        StandProcess stand;
        if (!stand.Start({QStringLiteral("--units"), QStringLiteral("50"), QStringLiteral("--backfill-hours"),
                          QStringLiteral("0"), QStringLiteral("--disturb-every"), QStringLiteral("600")})) {
            std::printf("stand did not start: %s\n", qPrintable(stand.Error()));
            return 1;
        }
        QThread::sleep(3);
        const double cpu0 = ProcessCpuSeconds(stand.Pid());
        QElapsedTimer wall;
        wall.start();
        QThread::sleep(30);
        const double cpu1 = ProcessCpuSeconds(stand.Pid());
        const double share = (cpu1 - cpu0) / (wall.nsecsElapsed() / 1e9) * 100;
        Figure("live simulation, --units 50 (300 samples/s): CPU of one core", share, "%", "< 5 %");
    }
    return 0;
}
