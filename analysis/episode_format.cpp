#include "analysis/episode_format.h"

#include <QDateTime>

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
    EpisodeVerdict worst = EpisodeVerdict::Met;
    for (const UnitEpisode &u : episode.units) {
        if (u.verdict == EpisodeVerdict::NotMet)
            return EpisodeVerdict::NotMet;
        if (u.verdict == EpisodeVerdict::NoData)
            worst = EpisodeVerdict::NoData;
    }
    return episode.units.isEmpty() ? EpisodeVerdict::NoData : worst;
}

QString Summary(const Episode &episode) {
    int met = 0;
    for (const UnitEpisode &u : episode.units)
        met += u.verdict == EpisodeVerdict::Met;
    return QStringLiteral("выполнено %1 из %2").arg(met).arg(episode.units.size());
}

QColor VerdictColor(EpisodeVerdict verdict) {
    switch (verdict) {
    case EpisodeVerdict::Met:
        return QColor(0xc6, 0xef, 0xc6);
    case EpisodeVerdict::NotMet:
        return QColor(0xf6, 0xc0, 0xc0);
    default:
        return QColor(0xf2, 0xe6, 0xb0);
    }
}

} // namespace EpisodeFormat
