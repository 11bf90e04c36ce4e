// The batch report of the demo over 7 days beside the same over 1 day, in the same run: wall time and
// peak resident memory of the command, which reads and judges the period a day at a time.
// Starts its own zenta-stand with a week of history (2 stations x 3 units, a disturbance every 30 min).
#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <cstdio>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <vector>

#include "bench/figure.h"
#include "stand_process.h"

extern char **environ;

namespace {

struct Run {
    double seconds = 0;
    double peakMb = 0;
    int code = -1;
};

// The command as cron runs it, measured on its own (wait4 gives this child's peak resident size).
Run Report(const QString &server, const QDateTime &from, const QDateTime &to, const QString &dir) {
    const QString csv = dir + QStringLiteral("/r.csv"), summary = dir + QStringLiteral("/s.csv");
    const QStringList arguments{QStringLiteral(ZENTA_OPRCH_PATH), QStringLiteral("--report"),
                                QStringLiteral("--server"),       server,
                                QStringLiteral("--user"),         QStringLiteral("operator"),
                                QStringLiteral("--from"),         from.toString(Qt::ISODate),
                                QStringLiteral("--to"),           to.toString(Qt::ISODate),
                                QStringLiteral("--csv"),          csv,
                                QStringLiteral("--summary"),      summary};
    std::vector<QByteArray> bytes;
    for (const QString &a : arguments)
        bytes.push_back(a.toLocal8Bit());
    std::vector<char *> argv;
    for (QByteArray &b : bytes)
        argv.push_back(b.data());
    argv.push_back(nullptr);
    qputenv("ZENTA_PASSWORD", "operator");
    QElapsedTimer timer;
    timer.start();
    pid_t pid = 0;
    Run run;
    if (posix_spawn(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0)
        return run;
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    run.seconds = timer.nsecsElapsed() / 1e9;
    run.peakMb = usage.ru_maxrss / 1024.0;
    run.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    QFile lines(csv);
    if (lines.open(QIODevice::ReadOnly))
        std::printf("  %s .. %s: exit %d, %.2f s, %.1f MB, %lld CSV lines\n", qPrintable(from.toString(Qt::ISODate)),
                    qPrintable(to.toString(Qt::ISODate)), run.code, run.seconds, run.peakMb,
                    static_cast<long long>(lines.readAll().count('\n')));
    QFile sums(summary);
    if (sums.open(QIODevice::ReadOnly))
        std::printf("%s", sums.readAll().constData());
    std::fflush(stdout);
    return run;
}

} // namespace

int main(int argc, char *argv[]) {
    QCoreApplication app(argc, argv);
    QTemporaryDir work;
    QDir::setCurrent(work.path());
    StandProcess stand;
    std::printf("starting zenta-stand with 7 days of history...\n");
    std::fflush(stdout);
    if (!stand.Start(
            {"--no-sim", "--backfill-hours", "170", "--units", "3", "--seed", "1", "--disturb-every", "1800"})) {
        std::fprintf(stderr, "stand server failed: %s\n", qPrintable(stand.Error()));
        return 1;
    }
    QDateTime to = QDateTime::currentDateTime().addSecs(-600);
    to.setTime(QTime(to.time().hour(), 0));
    const Run day = Report(stand.Address(), to.addDays(-1), to, work.path());
    const Run week = Report(stand.Address(), to.addDays(-7), to, work.path());
    if (day.code != 0 || week.code != 0) {
        std::fprintf(stderr, "the report failed\n");
        return 1;
    }
    Figure("batch report, demo, 1 day: wall time", day.seconds, "s");
    Figure("batch report, demo, 1 day: peak resident memory", day.peakMb, "MB");
    FigureVs("batch report, demo, 7 days: wall time", week.seconds, "s", "< 8 x the day's", "1 day", day.seconds);
    FigureVs("batch report, demo, 7 days: peak resident memory", week.peakMb, "MB", "< 1.3 x the day's, < 300 MB",
             "1 day", day.peakMb);
    return 0;
}
