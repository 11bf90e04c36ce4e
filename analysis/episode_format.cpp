#include "analysis/episode_format.h"

#include <QDateTime>
#include <QStringList>

namespace EpisodeFormat {

QString Number(double value, int decimals) {
    return std::isfinite(value) ? QString::number(value, 'f', decimals) : QStringLiteral("—");
}

QString Time(double seconds) {
    return std::isfinite(seconds) ? QDateTime::fromSecsSinceEpoch(qint64(std::floor(seconds)))
                                        .toString(QStringLiteral("dd.MM.yyyy hh:mm:ss"))
                                  : QStringLiteral("—");
}

QString Clock(double seconds) {
    return std::isfinite(seconds)
               ? QDateTime::fromSecsSinceEpoch(qint64(std::floor(seconds))).toString(QStringLiteral("hh:mm:ss"))
               : QStringLiteral("—");
}

QString Percent(double ratio) {
    return std::isfinite(ratio) ? QString::number(ratio * 100, 'f', 0) + QStringLiteral(" %") : QStringLiteral("—");
}

QString Change(double actual, double ratio) {
    if (!std::isfinite(actual))
        return QStringLiteral("—");
    QString text = (actual >= 0 ? QStringLiteral("+") : QString()) + QString::number(actual, 'f', 2);
    if (std::isfinite(ratio))
        text += QStringLiteral(" (") + Percent(ratio) + QLatin1Char(')');
    return text;
}

QString End(const Episode &episode) {
    return episode.ongoing && !episode.cut ? QStringLiteral("идёт") : Time(episode.end);
}

EpisodeVerdict Overall(const Episode &episode) {
    // The worst first: a failure, then a unit left unjudged for want of data, then a limited one.
    const EpisodeVerdict order[] = {EpisodeVerdict::NotMet, EpisodeVerdict::NoData, EpisodeVerdict::Limited,
                                    EpisodeVerdict::Met, EpisodeVerdict::NotJudged};
    for (EpisodeVerdict verdict : order)
        for (const UnitEpisode &u : episode.units)
            if (u.verdict == verdict)
                return verdict;
    return EpisodeVerdict::NoData;
}

QString Summary(const Episode &episode) {
    // Out of the units asked for something; the failing ones named, so that a row says who.
    int met = 0, judged = 0;
    QStringList failed;
    for (const UnitEpisode &u : episode.units) {
        met += u.verdict == EpisodeVerdict::Met;
        judged += u.verdict != EpisodeVerdict::NotJudged;
        if (u.verdict == EpisodeVerdict::NotMet)
            failed << u.name;
    }
    QString text = QStringLiteral("выполнено %1 из %2").arg(met).arg(judged);
    if (!failed.isEmpty())
        text += QStringLiteral("; не выполнено: ") + failed.join(QStringLiteral(", "));
    return text;
}

QColor VerdictColor(EpisodeVerdict verdict) {
    switch (verdict) {
    case EpisodeVerdict::Met:
        return QColor(0xc6, 0xef, 0xc6);
    case EpisodeVerdict::NotMet:
        return QColor(0xf6, 0xc0, 0xc0);
    case EpisodeVerdict::Limited:
        return QColor(0xc8, 0xd8, 0xf0);
    case EpisodeVerdict::NotJudged:
        return QColor(0xe4, 0xe4, 0xe4);
    default:
        return QColor(0xf2, 0xe6, 0xb0);
    }
}

} // namespace EpisodeFormat
