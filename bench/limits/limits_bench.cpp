// Objects tree build time for 10,000 objects side by side and in one parent chain, how many wrong
// passwords a guesser gets through in a few seconds, and a 200 MB CSV file read with its peak
// memory; how long a window waits on a server that stops answering, the memory of the largest reply,
// how fast SIGTERM stops a stand busy with an endless select, and what an events request with two
// million codes does to the archive and to another client. Run with QT_QPA_PLATFORM=offscreen.
#include "bench/figure.h"
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QThread>
#include <QTreeWidget>

#include <atomic>
#include <numeric>
#include <thread>

#include "csv/csvfile.h"
#include "qcustomplot.h"
#include "server/db.h"
#include "stand_client.h"
#include "stand_process.h"
#include "stand_sql.h"
#include "views/objects_tree_widget.h"
#include "views/telemetry_plot_widget.h"
#include "views/telemetry_table_widget.h"

namespace {

QString Objects(int count, bool chain, int firstId) {
    QString sql = QStringLiteral("BEGIN;");
    for (int i = 0; i < count; ++i) {
        const int id = firstId + i;
        const int parent = chain && i > 0 ? id - 1 : 0;
        sql += QStringLiteral("INSERT INTO T_DEDUR_OBJ VALUES ('{b0000000-0000-0000-0000-%1}', %2, 'Объект %2', 3, "
                              "%3, 0, %4);")
                   .arg(id, 12, 10, QLatin1Char('0'))
                   .arg(id)
                   .arg(parent)
                   .arg(i);
    }
    return sql + QStringLiteral("COMMIT;");
}

double TreeMs(const QString &sql) {
    StandProcess stand;
    if (!stand.Start({"--backfill-hours", "0", "--no-sim"}))
        return -1;
    stand.Stop();
    QString error;
    if (!RunSql(stand.DatabasePath(), sql, &error) || !stand.Restart())
        return -1;
    DB db;
    if (!db.OpenSession(stand.Address(), QStringLiteral("operator"), QStringLiteral("operator")))
        return -1;
    QTreeWidget treeWidget;
    treeWidget.setColumnCount(2);
    QTableWidget tableWidget;
    QCustomPlot customPlot;
    TelemetryTableWidget table(&tableWidget);
    TelemetryPlotWidget plot(&customPlot, &db, &table, false);
    ObjectsTreeWidget tree(&treeWidget, &db, &plot, &table);
    QElapsedTimer timer;
    timer.start();
    tree.ReadObjectsTree(true);
    return timer.elapsed();
}

// Resident memory of a process (this one by default) in MiB: its peak since the last ResetPeak, or
// now.
double MemoryMiB(const QString &pid = QStringLiteral("self"), const QByteArray &key = "VmHWM:") {
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n'))
        if (line.startsWith(key))
            return line.mid(key.size()).trimmed().split(' ').first().toDouble() / 1024;
    return -1;
}

double PeakMiB(const QString &pid = QStringLiteral("self")) {
    return MemoryMiB(pid);
}

// Sets the peak back to the present, so that each figure sees only its own growth; the present
// size in MiB.
double ResetPeak(const QString &pid = QStringLiteral("self")) {
    QFile clear(QStringLiteral("/proc/%1/clear_refs").arg(pid));
    if (clear.open(QIODevice::WriteOnly))
        clear.write("5");
    return MemoryMiB(pid, "VmRSS:");
}

// A day at one second repeated to 200 MB, read as File > Open reads it.
void CsvFigures(const QTemporaryDir &work) {
    const QString path = work.filePath(QStringLiteral("big.csv"));
    {
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly))
            return;
        QByteArray day;
        const QDateTime start(QDate(2024, 3, 5), QTime(0, 0), Qt::UTC);
        for (int i = 0; i < 86400; ++i)
            day += start.addSecs(i).toString(QStringLiteral("dd.MM.yyyy hh:mm:ss")).toLatin1() + ";50.012;123.5\n";
        while (file.size() < (qint64(200) << 20))
            file.write(day);
    }
    const double before = ResetPeak();
    QElapsedTimer timer;
    timer.start();
    CsvFile::LoadReport report;
    int progressCalls = 0;
    const QVector<CsvFile::CsvRow> rows = CsvFile::LoadFile(path, Qt::LocalTime, &report, [&](qint64, qint64) {
        ++progressCalls;
        return true;
    });
    const double ms = timer.elapsed();
    Figure("csv_200mb_open_ms", ms, "ms");
    Figure("csv_200mb_rows", rows.size(), "");
    Figure("csv_200mb_peak_memory_growth_mib", PeakMiB() - before, "MiB");
    Figure("csv_200mb_progress_updates", progressCalls, "");
    QFile::remove(path);
}

// A login against a stand that keeps its link alive but never answers a select, with the default
// request time limit.
void FrozenServerFigure() {
    StandProcess stalled;
    if (!stalled.Start({"--backfill-hours", "0", "--no-sim", "--test-aids", "--test-stall-select", "600000"}))
        return;
    DB db;
    QElapsedTimer timer;
    timer.start();
    const bool opened = db.OpenSession(stalled.Address(), QStringLiteral("operator"), QStringLiteral("operator"));
    Figure("frozen_server_login_gives_up_ms", opened ? -1 : double(timer.elapsed()), "ms");
}

// The largest select the byte cap lets through, read by the client as the window reads a table.
void LargestReplyFigures() {
    StandProcess stand;
    if (!stand.Start({"--backfill-hours", "0", "--no-sim"}))
        return;
    const QString pid = QString::number(stand.Pid());
    const double standBefore = ResetPeak(pid);
    const double before = ResetPeak();
    StandClient client;
    if (client.Open(stand.Port(), "operator", "operator") != 0)
        return;
    QElapsedTimer timer;
    timer.start();
    // Just under the 64 MiB frame once the reply's own fields are counted.
    const SelectResult result = Select(client, "select zeroblob(64 * 1024 * 1024 - 4096) as b");
    Figure("largest_reply_ms", result.status == 0 ? double(timer.elapsed()) : -1, "ms");
    Figure("largest_reply_client_peak_growth_mib", PeakMiB() - before, "MiB");
    Figure("largest_reply_stand_peak_growth_mib", PeakMiB(pid) - standBefore, "MiB");
    timer.restart();
    const SelectResult refused = Select(client, "select zeroblob(1000000000) as b");
    Figure("reply_past_cap_refused_ms", refused.status != 0 ? double(timer.elapsed()) : -1, "ms");
}

// SIGTERM while a select runs for ever inside one SQLite step.
void StopFigure() {
    StandProcess busy;
    if (!busy.Start({"--backfill-hours", "0", "--no-sim"}))
        return;
    const quint16 port = busy.Port();
    std::atomic<bool> started{false};
    std::thread worker([port, &started] {
        StandClient client;
        if (client.Open(port, "operator", "operator") != 0)
            return;
        started = true;
        Select(client, "with recursive r(i) as (select 1 union all select i + 1 from r) select count(*) from r");
    });
    QElapsedTimer wait;
    wait.start();
    while (!started && wait.elapsed() < 10000)
        QThread::msleep(10);
    QThread::msleep(500);
    qint64 took = -1;
    const bool stopped = busy.Terminate(10000, &took);
    Figure("sigterm_stop_during_endless_select_ms", stopped ? double(took) : -1, "ms");
    worker.join();
}

// An events request with two million codes over a million stored events (one in a hundred of a
// wanted code), while the simulator writes the archive each second and another client runs short
// selects.
void EventsRequestFigures() {
    StandProcess stand;
    if (!stand.Start({"--backfill-hours", "0.05"}))
        return;
    stand.Stop();
    QString error;
    if (!RunSql(stand.DatabasePath(),
                QStringLiteral("WITH RECURSIVE r(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM r WHERE i < 1000000) "
                               "INSERT INTO EvDedur SELECT printf('{E%07d}', i), "
                               "CASE WHEN i % 100 = 0 THEN 8305 ELSE -5000 END, 1e9 + i, 1e9 + i, '', "
                               "'Событие ' || i, '', '', '', 1, '', 0 FROM r;"),
                &error) ||
        !stand.Restart()) {
        std::fprintf(stderr, "events figures: %s\n", qPrintable(error + stand.Error()));
        return;
    }
    const quint16 port = stand.Port();
    StandClient other;
    if (other.Open(port, "operator", "operator") != 0)
        return;
    const auto lastArchive = [&other] {
        const SelectResult r = Select(other, "select max(time) from Archive");
        return r.status == 0 && !r.rows.isEmpty() ? r.rows[0][0].toDouble() : -1.0;
    };
    const double archiveBefore = lastArchive();
    std::atomic<bool> done{false};
    qint64 requestMs = -1;
    int found = -1;
    std::thread worker([port, &done, &requestMs, &found] {
        StandClient client;
        if (client.Open(port, "operator", "operator") == 0) {
            QVector<int> codes(2000000);
            std::iota(codes.begin(), codes.end(), -1000);
            QElapsedTimer timer;
            timer.start();
            Param reply = client.Request("EVENT_CODE", [&](TLXCliParam *p) {
                TLXPrmSetBytes(p, 0, codes.size() * 4, codes.constData());
                TLXPrmSetDouble(p, 1, 0);
                TLXPrmSetDouble(p, 2, 4e9);
                TLXPrmSetBool(p, 3, false);
            });
            requestMs = timer.elapsed();
            if (reply && FieldInt(reply.get(), 0) == 0)
                found = FieldInt(reply.get(), 1);
        }
        done = true;
    });
    qint64 worstSelectMs = 0;
    int selects = 0;
    QElapsedTimer timer;
    while (!done) {
        timer.restart();
        if (Select(other, "select count(*) from Tables").status == 0)
            ++selects;
        worstSelectMs = std::max(worstSelectMs, timer.elapsed());
    }
    worker.join();
    // The simulator writes once a second: wait for its next second to see the archive still moves.
    QElapsedTimer wait;
    wait.start();
    double archiveAfter = lastArchive();
    while (archiveAfter <= archiveBefore && wait.elapsed() < 5000) {
        QThread::msleep(100);
        archiveAfter = lastArchive();
    }
    Figure("events_2m_codes_request_ms", double(requestMs), "ms");
    Figure("events_2m_codes_rows", found, "");
    Figure("other_client_selects_during_events_request", selects, "");
    Figure("other_client_worst_select_during_events_request_ms", double(worstSelectMs), "ms");
    Figure("archive_seconds_written_across_events_request", archiveAfter - archiveBefore, "s");
}

} // namespace

int main(int argc, char **argv) {
    QApplication app(argc, argv);
    QTemporaryDir work;
    QDir::setCurrent(work.path());
    LargestReplyFigures();
    CsvFigures(work);
    StopFigure();
    EventsRequestFigures();
    FrozenServerFigure();
    Figure("tree_100_flat_ms", TreeMs(Objects(100, false, 100000)), "ms");
    Figure("tree_10000_flat_ms", TreeMs(Objects(10000, false, 100000)), "ms");
    Figure("tree_10000_chain_ms", TreeMs(Objects(10000, true, 100000)), "ms");

    StandProcess stand;
    if (!stand.Start({"--backfill-hours", "0", "--no-sim"}))
        return 1;
    QElapsedTimer timer;
    timer.start();
    int guesses = 0;
    while (timer.elapsed() < 8000) {
        StandClient guesser;
        guesser.Open(stand.Port(), "operator", QByteArray("guess") + QByteArray::number(guesses));
        ++guesses;
    }
    Figure("guesses_per_second_one_user", guesses * 1000.0 / timer.elapsed(), "1/s");
    timer.restart();
    StandClient other;
    const int status = other.Open(stand.Port(), "engineer", "engineer");
    Figure("other_user_login_during_guessing_ms", status == 0 ? double(timer.elapsed()) : -1, "ms");
    return 0;
}
