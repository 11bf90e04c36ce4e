// How the episodes' figures read, alike in the tab, the CSV file and the PDF report.
#pragma once

#include <QColor>
#include <QString>

#include "analysis/episode.h"

namespace EpisodeFormat {

// "—" for a figure that is not known.
QString Number(double value, int decimals);
// "dd.MM.yyyy hh:mm:ss", local time.
QString Time(double seconds);
QString Clock(double seconds); // "hh:mm:ss"
QString Percent(double ratio); // "87 %"
// A change and its share of the requirement: "+8.71 (87 %)".
QString Change(double actual, double ratio);
QString End(const Episode &episode); // end time, or "идёт"
// The episode's verdict: the worst of its units.
EpisodeVerdict Overall(const Episode &episode);
QString Summary(const Episode &episode); // "выполнено 4 из 6"
QColor VerdictColor(EpisodeVerdict verdict);

} // namespace EpisodeFormat
