// The report of the episodes listed: a CSV file (a line per unit per episode) and a PDF (a title page,
// then a page per episode with its chart and table).
#pragma once

#include <QDateTime>
#include <QString>
#include <QVector>
#include <functional>

#include "analysis/episode.h"
#include "analysis/episode_settings.h"
#include "analysis/episode_summary.h"

class QPainter;
class QRectF;

struct ReportInfo {
    QString server;
    QString user;
    double from = NAN; // the span, seconds since the epoch
    double to = NAN;
    QDateTime made;
    // A summary of a longer span from the register: the title page only, with where it comes from.
    bool summaryOnly = false;
    QString source;
};

class EpisodeReport {
public:
    EpisodeReport(const QVector<Episode> &episodes, const QVector<StationSeries> &stations, const ReportInfo &info,
                  const EpisodeSettings &settings);

    static QStringList CsvHeader();
    QString CsvText() const;
    // False with a reason in Russian when the file cannot be written.
    bool WriteCsv(const QString &path, QString *error) const;
    bool WritePdf(const QString &path, QString *error) const;
    // The summary per unit, a line per unit.
    bool WriteSummaryCsv(const QString &path, QString *error) const;
    const QVector<UnitSummary> &UnitSummaries() const { return summary; }
    // Where a long period's series are not all kept: the series of the station of episode `index`
    // around it, asked for page by page in order.
    void SetSeriesSource(std::function<const StationSeries *(int index)> source) { seriesSource = std::move(source); }

    int PageCount() const { return info.summaryOnly ? 1 : episodes.size() + 1; }
    // Paints page `index` (0 = title page) into `page`, the printable area of a landscape A4 sheet.
    void PaintPage(QPainter *painter, const QRectF &page, int index) const;

private:
    void PaintTitle(QPainter *painter, const QRectF &page) const;
    void PaintEpisode(QPainter *painter, const QRectF &page, int index) const;
    const StationSeries *SeriesOf(const QString &station) const;
    QString Stations() const;

    bool WriteText(const QString &path, const QString &text, QString *error) const;

    QVector<Episode> episodes;
    QVector<StationSeries> stations;
    QVector<UnitSummary> summary;
    std::function<const StationSeries *(int index)> seriesSource;
    ReportInfo info;
    EpisodeSettings settings;
};
