// Primary-response episodes from series already in memory: detection and per-unit figures over 24 h of
// 10 units at 1 s, the extra cost of one realtime tick with 10 units, and writing a 20-episode PDF.
// Run with QT_QPA_PLATFORM=offscreen; prints figures, asserts nothing.
#include <QApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTextStream>
#include <QTreeWidget>
#include <algorithm>
#include <vector>

#include "analysis/episode_detector.h"
#include "analysis/episode_monitor.h"
#include "analysis/episode_report.h"
#include "bench/figure.h"
#include "synthetic_station.h"
#include "views/episodes_table_widget.h"

namespace {

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

SyntheticStation Day(double seconds, int everySeconds) {
    SyntheticStation s;
    s.seconds = seconds;
    const double deviations[] = {-0.12, 0.09, -0.2, -0.3, 0.15, -0.1};
    int i = 0;
    for (double at = 600; at + 400 < seconds; at += everySeconds, ++i)
        s.steps.append({at, 40.0 + 20 * (i % 4), deviations[i % 6]});
    for (int u = 0; u < 10; ++u)
        s.units.append(
            SyntheticUnit{150.0 + 20 * u, 4.0 + (u % 3), 0.5 + 0.3 * (u % 4), 5.0 + 3 * (u % 5), 100.0 + 10 * u, true});
    return s;
}

} // namespace

int main(int argc, char **argv) {
    QApplication app(argc, argv);
    QTextStream out(stdout);

    // A day with an excursion every half hour.
    const SyntheticStation day = Day(86400, 1800);
    const StationSeries station = day.Make();
    const EpisodeDetector detector{EpisodeSettings()};
    std::vector<double> runs;
    int found = 0;
    for (int i = 0; i < 7; ++i) {
        QElapsedTimer timer;
        timer.start();
        found = detector.Detect(station, false).size();
        runs.push_back(timer.nsecsElapsed() / 1e6);
    }
    out << "episodes found in the day: " << found << " of " << day.steps.size() << "\n";
    out.flush();
    Figure("detection and unit figures, 24 h x 10 units at 1 s", Median(runs), "ms", "< 100 ms");

    // Realtime: a 24-hour span followed second by second through two hours with four excursions.
    const SyntheticStation live = Day(86400 + 7200, 1800);
    const StationSeries all = live.Make();
    StationSeries start = all;
    auto cut = [](SampleSeries &s, double to) {
        for (auto it = s.lowerBound(to); it != s.end();)
            it = s.erase(it);
    };
    const double t1 = live.t0 + 86400;
    cut(start.frequency, t1);
    for (UnitSeries &u : start.units)
        cut(u.power, t1), cut(u.calc, t1);
    EpisodeMonitor monitor;
    monitor.SetSeries({start}, true);
    QTreeWidget tree; // the tab's rows are updated on every tick too
    EpisodesTableWidget tab(&tree);
    StationChannels channels;
    channels.name = start.name;
    start = StationSeries(); // the monitor's copy is its own, as it is when read from the server
    tab.ShowEpisodes(monitor.Episodes(), {channels}); // the tab shown: the day's rows made once
    std::vector<double> ticks;
    for (double t = t1; t < live.t0 + live.seconds; t += 1) {
        auto one = [t](const SampleSeries &from) {
            SampleSeries x;
            x.insert(t, from.value(t));
            return x;
        };
        QVector<SampleSeries> power, calc;
        for (const UnitSeries &u : all.units)
            power << one(u.power), calc << one(u.calc);
        const SampleSeries frequency = one(all.frequency);
        QElapsedTimer timer;
        timer.start();
        monitor.Append(0, frequency, power, calc, t - 86400, t);
        tab.ShowEpisodes(monitor.Episodes(), {channels});
        ticks.push_back(timer.nsecsElapsed() / 1e6);
    }
    Figure("realtime tick with the tab, 10 units, 24 h span (median)", Median(ticks), "ms", "< 2 ms");
    Figure("realtime tick with the tab, 10 units, 24 h span (slowest)", *std::max_element(ticks.begin(), ticks.end()),
           "ms", "< 2 ms");

    // A report of 20 episodes of 10 units: title page, 20 pages with a chart and a table each.
    const SyntheticStation twenty = Day(12500, 600);
    const StationSeries reported = twenty.Make();
    const QVector<Episode> episodes = EpisodeDetector(EpisodeSettings()).Detect(reported, false);
    ReportInfo info;
    info.from = reported.spanFrom;
    info.to = reported.spanTo;
    info.made = QDateTime::currentDateTime();
    QTemporaryDir dir;
    std::vector<double> pdfs;
    for (int i = 0; i < 3; ++i) {
        QElapsedTimer timer;
        timer.start();
        const EpisodeReport report(episodes, {reported}, info, EpisodeSettings());
        QString error;
        if (!report.WritePdf(dir.filePath(QStringLiteral("report.pdf")), &error))
            out << error << "\n";
        pdfs.push_back(timer.nsecsElapsed() / 1e9);
    }
    out << "episodes in the report: " << episodes.size() << ", size "
        << QFileInfo(dir.filePath(QStringLiteral("report.pdf"))).size() / 1024 << " KiB\n";
    out.flush();
    Figure("PDF report of 20 episodes x 10 units", Median(pdfs), "s", "< 5 s");
    return 0;
}
