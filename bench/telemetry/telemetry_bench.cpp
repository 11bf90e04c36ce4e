// Figures of the telemetry view against a real zenta-stand with ten units (two stations of five):
// login to every channel drawn, one realtime tick, a 24-hour period, the samples table, CSV reading.
// Run with QT_QPA_PLATFORM=offscreen; prints figures, asserts nothing.
#include "bench/figure.h"
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTextStream>
#include <QTimer>
#include <QTreeWidget>
#include <QTreeWidgetItemIterator>
#include <algorithm>
#include <vector>

#include "csv/csvfile.h"
#include "qcustomplot.h"
#include "server/db.h"
#include "stand_process.h"
#include "support/local_time_zone.h"
#include "support/process_tuning.h"
#include "views/objects_tree_widget.h"
#include "views/telemetry_plot_widget.h"
#include "views/telemetry_table_widget.h"

namespace {

QTextStream out(stdout);

double Ms(const QElapsedTimer &timer) {
    return timer.nsecsElapsed() / 1e6;
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
}

long ResidentMiB() {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').first().toLong() / 1024;
    }
    return -1;
}

void Wait(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

QList<QTreeWidgetItem *> ArchiveChannels(QTreeWidget *tree) {
    QList<QTreeWidgetItem *> channels;
    for (QTreeWidgetItemIterator it(tree); *it; ++it) {
        if (IsObjectChannel((*it)->type()))
            channels << *it;
    }
    return channels;
}

qint64 PlottedSamples(QCustomPlot *plot) {
    qint64 n = 0;
    for (int i = 0; i < plot->graphCount(); ++i)
        n += plot->graph(i)->dataCount();
    return n;
}

// The same archive requests as drawing a span, made by a bare client: request and reply, no decoding.
double BareRequests(const StandProcess &stand, const QList<QTreeWidgetItem *> &channels, double from, double to) {
    TLXService client;
    if (!client.Open("127.0.0.1", "operator", "operator", stand.Port()))
        return -1;
    QElapsedTimer timer;
    timer.start();
    for (QTreeWidgetItem *item : channels) {
        const int id = item->data(TreeDataColumn, MeasureIdRole).toInt();
        for (int kind = 0; kind < 2; ++kind) {
            TLXCliParam *reply = nullptr;
            if (kind == 0)
                client.MeasRead(id, from - 0.01, &reply);
            else
                client.MeasRead(id, from, to, &reply);
            if (client.WaitResult(&reply))
                client.FreeReply(reply);
        }
    }
    const double ms = Ms(timer);
    client.Close();
    return ms;
}

int CsvFigures(const QTemporaryDir &work) {
    QElapsedTimer timer;
    // 5. CsvFile::LoadFile of a day at 1 Hz, beside awk summing the same columns.
    QString path = work.filePath(QStringLiteral("day.csv"));
    {
        QString text;
        QDateTime t(QDate(2025, 6, 1), QTime(0, 0), Qt::LocalTime);
        for (int i = 0; i < 86400; ++i, t = t.addSecs(1))
            text += t.toString(QStringLiteral("dd.MM.yyyy hh:mm:ss")) + ';' +
                    QString::number(50 + (i % 200 - 100) / 1000.0, 'g', 6) + ';' +
                    QString::number(200 + (i % 97) * 0.37, 'g', 6) + '\n';
        CsvFile::WriteTextToFile(path, text);
    }
    std::vector<double> loads;
    int rows = 0;
    for (int i = 0; i < 5; ++i) {
        timer.restart();
        rows = CsvFile::LoadFile(path).size();
        loads.push_back(Ms(timer));
    }
    const double loadMs = Median(loads);
    std::vector<double> awks;
    for (int i = 0; i < 5; ++i) {
        QProcess awk;
        timer.restart();
        awk.start(QStringLiteral("awk"),
                  {QStringLiteral("-F;"), QStringLiteral("{f += $2; p += $3} END {print f, p}"), path});
        awk.waitForFinished(-1);
        awks.push_back(Ms(timer));
    }
    const double awkMs = Median(awks);
    out << "CsvFile::LoadFile, " << rows << " lines: " << QString::number(loadMs, 'f', 1) << " ms, "
        << qRound64(rows / (loadMs / 1000.0))
        << " rows/s; awk -F';' summing the same columns: " << QString::number(awkMs, 'f', 1) << " ms, "
        << qRound64(86400 / (awkMs / 1000.0)) << " rows/s; ratio " << QString::number(loadMs / awkMs, 'f', 2) << "\n"
        << Qt::flush;
    FigureVs("CsvFile::LoadFile, 86,400 lines", loadMs, "ms", "<= 4 x awk", "awk", awkMs);
    return 0;
}

} // namespace

int main(int argc, char **argv) {
    // As the program does first thing: local-time conversions then cost what they cost with TZ set, and
    // large blocks reuse freed memory.
    LocalTimeZone::Pin();
    ProcessTuning::KeepLargeBlocks();
    QApplication app(argc, argv);
    QTemporaryDir work;
    QDir::setCurrent(work.path());
    if (qEnvironmentVariableIsSet("BENCH_CSV_ONLY"))
        return CsvFigures(work);

    StandProcess stand;
    QElapsedTimer timer;
    timer.start();
    if (!stand.Start({QStringLiteral("--units"), QStringLiteral("5"), QStringLiteral("--backfill-hours"),
                      QStringLiteral("25"), QStringLiteral("--seed"), QStringLiteral("3")})) {
        out << "stand server did not start: " << stand.Error() << "\n" << Qt::flush;
        return 1;
    }
#ifdef NDEBUG
    out << "optimised build\n" << Qt::flush;
#else
    out << "debug build of the client code: figures are on the slow side\n" << Qt::flush;
#endif
    out << "stand: 2 stations x 5 units, 25 h of history, ready in " << qRound(Ms(timer)) << " ms\n" << Qt::flush;

    QTreeWidget treeWidget;
    treeWidget.setColumnCount(2);
    QTableWidget tableWidget;
    QCustomPlot customPlot;
    customPlot.resize(1200, 700);
    DB db;
    TelemetryTableWidget table(&tableWidget);
    TelemetryPlotWidget plot(&customPlot, &db, &table, false);
    ObjectsTreeWidget tree(&treeWidget, &db, &plot, &table);
    plot.SetPloRealtimeMode(true, QDateTime::currentDateTime(), 600);

    // 1. Login to every channel drawn, 10-minute span.
    timer.restart();
    if (!db.OpenSession(stand.Address(), QStringLiteral("operator"), QStringLiteral("operator"))) {
        out << "login failed\n" << Qt::flush;
        return 1;
    }
    const double sessionMs = Ms(timer);
    tree.ReadObjectsTree(true);
    treeWidget.expandToDepth(0);
    tree.CheckAll();
    plot.RescalePlotRealtimeAuto();
    customPlot.replot(QCustomPlot::rpImmediateRefresh);
    const double loginMs = Ms(timer);
    const QList<QTreeWidgetItem *> channels = ArchiveChannels(&treeWidget);
    const double now = QDateTime::currentMSecsSinceEpoch() / 1000.0;
    const double bareMs = BareRequests(stand, channels, now - 600, now);
    out << "login to every channel drawn (" << channels.size() << " channels, 10 min): " << qRound(loginMs)
        << " ms (session and tables " << qRound(sessionMs) << " ms; target < 1000 ms)\n"
        << Qt::flush;
    out << "  the same archive requests by a bare client: " << QString::number(bareMs, 'f', 1) << " ms; ratio "
        << QString::number((loginMs - sessionMs) / bareMs, 'f', 1) << " (drawing part / bare requests)\n"
        << Qt::flush;
    Figure("login to every channel drawn, 10 min span", loginMs, "ms", "< 1000 ms",
           qPrintable(QString("bare tlx client %1 ms").arg(bareMs, 0, 'f', 1)));

    // 2. Realtime ticks: GUI-thread time of one tick.
    auto ticks = [&](int count) {
        std::vector<double> times;
        for (int i = 0; i < count; ++i) {
            Wait(1000);
            QElapsedTimer tick;
            tick.start();
            plot.DrawRealtimePlots();
            const double draw = Ms(tick);
            plot.MoveCurrentTimeLine();
            plot.RescalePlotRealtimeAuto();
            QCoreApplication::processEvents(); // the queued replot belongs to the tick
            times.push_back(Ms(tick));
            if (qEnvironmentVariableIsSet("BENCH_DETAIL")) {
                QElapsedTimer part;
                part.start();
                customPlot.yAxis->rescale(true);
                customPlot.yAxis2->rescale(true);
                const double rescale = Ms(part);
                part.restart();
                customPlot.replot(QCustomPlot::rpImmediateRefresh);
                out << "    draw step " << draw << " ms, tick " << times.back() << " ms, rescale " << rescale
                    << " ms, one replot " << Ms(part) << " ms\n"
                    << Qt::flush;
            }
        }
        return times;
    };
    std::vector<double> t10 = ticks(5);
    out << "realtime tick, " << channels.size() << " channels, 10 min span: median "
        << QString::number(Median(t10), 'f', 1) << " ms, max "
        << QString::number(*std::max_element(t10.begin(), t10.end()), 'f', 1) << " ms (target < 20 ms)\n"
        << Qt::flush;
    Figure("realtime tick, 10 min span, median", Median(t10), "ms", "< 20 ms");

    tree.CheckNone();
    plot.DeleteDefferedGraphs();
    plot.SetPloRealtimeMode(true, QDateTime::currentDateTime(), 86400);
    timer.restart();
    tree.CheckAll();
    plot.RescalePlotRealtimeAuto();
    customPlot.replot(QCustomPlot::rpImmediateRefresh);
    out << "24 h realtime span loaded and drawn: " << qRound(Ms(timer)) << " ms, " << PlottedSamples(&customPlot)
        << " points\n"
        << Qt::flush;
    std::vector<double> t24 = ticks(5);
    out << "realtime tick, " << channels.size() << " channels, 24 h span: median "
        << QString::number(Median(t24), 'f', 1) << " ms, max "
        << QString::number(*std::max_element(t24.begin(), t24.end()), 'f', 1) << " ms (target < 50 ms)\n"
        << Qt::flush;
    FigureVs("realtime tick, 24 h span, median", Median(t24), "ms", "<= 2 x the 10 min tick", "10 min tick",
             Median(t10));

    // 3. A 24-hour period loaded and drawn.
    plot.SetPloRealtimeMode(false, QDateTime::currentDateTime().addSecs(-120), 86400);
    plot.RemoveCurrentTimeLine();
    const QDateTime end = QDateTime::currentDateTime().addSecs(-120);
    timer.restart();
    plot.LoadPlotForPeriodMaually(end.addSecs(-86400), end);
    customPlot.replot(QCustomPlot::rpImmediateRefresh);
    const double periodMs = Ms(timer);
    // Baseline: each channel's day read end to end into the sample map, one after another.
    double dayReads = 0;
    for (QTreeWidgetItem *item : channels) {
        QElapsedTimer read;
        read.start();
        db.archiveMeasures->ReadMeasuresVectorForPeriod(item->data(TreeDataColumn, MeasureIdRole).toInt(),
                                                        end.addSecs(-86400), end, false, -1);
        dayReads += Ms(read);
    }
    out << "  " << channels.size() << " day reads end to end, one after another: " << qRound(dayReads) << " ms\n"
        << Qt::flush;
    FigureVs("24 h period loaded and drawn", periodMs, "ms", "<= 1.2 x day reads, < 1000 ms", "34 day reads end to end",
             dayReads);
    Figure("24 h period resident memory", ResidentMiB(), "MiB", "< 400 MiB");
    out << "24 h period, " << channels.size() << " channels: loaded and drawn in " << qRound(periodMs) << " ms, "
        << PlottedSamples(&customPlot) << " points, resident " << ResidentMiB()
        << " MiB (targets < 3000 ms, < 400 MiB)\n"
        << Qt::flush;

    // 4. The samples table.
    double tableHourMs = 0;
    for (int hours : {1, 24}) {
        const QDateTime tableEnd = QDateTime::currentDateTime().addSecs(-120);
        plot.SetPloRealtimeMode(false, tableEnd, hours * 3600);
        table.ClearTableWidget();
        table.SetVisible(true);
        timer.restart();
        plot.DrawAllPlots(tableEnd.addSecs(-hours * 3600), tableEnd);
        const double tableMs = Ms(timer);
        if (hours == 1) {
            tableHourMs = tableMs;
            Figure("samples table, 1 h", tableMs, "ms", "< 1000 ms");
        } else {
            FigureVs("samples table, 24 h", tableMs, "ms", "<= 24 x the 1 h table", "1 h table", tableHourMs);
        }
        if (hours == 24)
            Figure("samples table, 24 h, resident memory", ResidentMiB(), "MiB", "< 1024 MiB");
        out << "samples table, " << hours << " h x " << channels.size() << " channels: " << qRound(tableMs)
            << " ms for " << tableWidget.rowCount() << " rows, resident " << ResidentMiB() << " MiB"
            << (hours == 1 ? " (target < 1000 ms)\n" : " (target: no freeze > 5000 ms, < 1024 MiB)\n");
        table.SetVisible(false);
        table.ClearTableWidget();
    }

    return CsvFigures(work);
}
