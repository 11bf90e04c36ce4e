// The episode register: a month of the demo's episodes (1,500 episodes of 3 units) written into SQLite
// and into a PostgreSQL server started for the run, and the month's summary per unit read from a
// register holding a year of records.
#include <QCoreApplication>
#include <QDate>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <cmath>
#include <cstdio>

#include "analysis/episode_register.h"
#include "bench/figure.h"
#include "postgres_process.h"

namespace {

constexpr int EpisodesPerMonth = 1500;

// A month of episodes from `first`, about one every half hour, alternating between two stations.
QVector<Episode> Month(const QDate &first) {
    QVector<Episode> episodes;
    const double start = double(QDateTime(first, QTime(0, 0)).toSecsSinceEpoch());
    for (int i = 0; i < EpisodesPerMonth; ++i) {
        Episode e;
        e.station = i % 2 ? QStringLiteral("ТЭЦ-2 «Северная»") : QStringLiteral("ГРЭС-1 «Заречная»");
        e.start = start + 1780.0 * i;
        e.end = e.start + 60 + i % 90;
        e.deviationMHz = (i % 3 ? -1 : 1) * (90 + i % 200);
        e.deviationTime = e.start + 6;
        e.frequencyA = 50.0;
        e.frequencyB = 50.0 + e.deviationMHz / 1000.0;
        e.responseMwPer01Hz = 60 + i % 40;
        for (int u = 0; u < 3; ++u) {
            UnitEpisode unit;
            unit.name = QStringLiteral("Энергоблок №%1").arg(u + 1);
            unit.profile = QStringLiteral("ОПРЧ");
            unit.verdict = (i + u) % 5 == 0 ? EpisodeVerdict::NotMet : EpisodeVerdict::Met;
            unit.reason = unit.verdict == EpisodeVerdict::NotMet ? QStringLiteral("через 15 с меньше 50 %") : QString();
            unit.powerBefore = 150 + 20 * u;
            unit.required = 6 + u;
            unit.required15 = 3 + u;
            unit.actual15 = unit.required15 * (0.3 + 0.1 * ((i + u) % 8));
            unit.ratio15 = unit.actual15 / unit.required15;
            unit.required30 = 5 + u;
            unit.actual30 = unit.required30 * (0.6 + 0.05 * ((i + u) % 9));
            unit.ratio30 = unit.actual30 / unit.required30;
            unit.achievedDroop = 4 + 0.1 * (i % 20);
            unit.setDroop = 5;
            unit.violationSeconds = unit.verdict == EpisodeVerdict::NotMet ? 20 : 0;
            e.units.append(unit);
        }
        episodes.append(e);
    }
    return episodes;
}

double WriteMonth(EpisodeRegister *reg, const QVector<Episode> &episodes) {
    QElapsedTimer timer;
    timer.start();
    // In the batches a day's report gives, as the batch command writes them.
    for (int at = 0; at < episodes.size(); at += 48)
        if (reg->Write(episodes.mid(at, 48), QStringLiteral("ОПРЧ: 50 % за 15 с, 90 % за 30 с"),
                       QStringLiteral(ZENTA_VERSION), QStringLiteral("bench")) < 0) {
            std::fprintf(stderr, "register write failed: %s\n", qPrintable(reg->Error()));
            return -1;
        }
    return timer.nsecsElapsed() / 1e9;
}

} // namespace

int main(int argc, char *argv[]) {
    QCoreApplication app(argc, argv);
    QTemporaryDir work;
    const QDate january(2026, 1, 1);

    RegisterConfig sqlite;
    sqlite.path = work.filePath(QStringLiteral("month.sqlite"));
    EpisodeRegister month(sqlite);
    if (!month.Open()) {
        std::fprintf(stderr, "%s\n", qPrintable(month.Error()));
        return 1;
    }
    const double sqliteSeconds = WriteMonth(&month, Month(january));
    if (sqliteSeconds < 0)
        return 1;
    Figure("register: a month (1,500 episodes x 3 units) into SQLite", sqliteSeconds, "s", "", "");

    PostgresProcess postgres;
    if (postgres.Start()) {
        RegisterConfig pg;
        pg.host = QStringLiteral("127.0.0.1");
        pg.port = postgres.Port();
        pg.user = postgres.User();
        pg.database = QStringLiteral("postgres");
        EpisodeRegister shared(pg);
        if (!shared.Open()) {
            std::fprintf(stderr, "%s\n", qPrintable(shared.Error()));
            return 1;
        }
        const double pgSeconds = WriteMonth(&shared, Month(january));
        if (pgSeconds < 0)
            return 1;
        FigureVs("register: a month into PostgreSQL", pgSeconds, "s", "", "SQLite", sqliteSeconds);
    } else {
        std::printf("PostgreSQL not started: %s\n", qPrintable(postgres.Error()));
    }

    // A year of records, then the summary of one month of it, as --summary-month makes it.
    RegisterConfig yearFile;
    yearFile.path = work.filePath(QStringLiteral("year.sqlite"));
    EpisodeRegister year(yearFile);
    if (!year.Open())
        return 1;
    for (int m = 0; m < 12; ++m)
        if (WriteMonth(&year, Month(january.addMonths(m))) < 0)
            return 1;
    QElapsedTimer timer;
    timer.start();
    int records = 0, excluded = 0;
    const std::optional<EpisodeReport> report =
        year.MonthReport(QDate(2026, 6, 1), EpisodeSettings(), &records, &excluded);
    const double summarySeconds = timer.nsecsElapsed() / 1e9;
    if (!report || records < EpisodesPerMonth * 9 / 10) {
        std::fprintf(stderr, "month summary failed: %d records, %s\n", records, qPrintable(year.Error()));
        return 1;
    }
    std::printf("June: %d episodes, %d rows of the summary\n", records, int(report->UnitSummaries().size()));
    Figure("register: the month's summary from a year of records", summarySeconds, "s", "< 1 s", "");
    return 0;
}
