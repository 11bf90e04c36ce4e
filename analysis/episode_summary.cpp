#include "analysis/episode_summary.h"

#include <QHash>
#include <algorithm>

#include "analysis/episode_format.h"

namespace {

double Median(QVector<double> values) {
    values.erase(std::remove_if(values.begin(), values.end(), [](double v) { return !std::isfinite(v); }),
                 values.end());
    if (values.isEmpty())
        return NAN;
    std::sort(values.begin(), values.end());
    const int n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

QString Field(QString text) {
    if (text.contains(QLatin1Char(';')) || text.contains(QLatin1Char('"'))) {
        text.replace(QLatin1String("\""), QLatin1String("\"\""));
        return QLatin1Char('"') + text + QLatin1Char('"');
    }
    return text;
}

QString Figure(double value, int decimals) {
    return std::isfinite(value) ? QString::number(value, 'f', decimals) : QString();
}

// The smallest share of the checks that decided, the full one first.
double WorstShare(const UnitEpisode &u) {
    double worst = NAN;
    for (double r : {u.ratio15, u.ratio30, u.ratioFull, u.heldRatio})
        if (std::isfinite(r) && (std::isnan(worst) || r < worst))
            worst = r;
    return worst;
}

} // namespace

QVector<UnitSummary> EpisodeSummary::Of(const QVector<Episode> &episodes) {
    QVector<UnitSummary> rows;
    QHash<QString, int> index;
    struct Shares {
        QVector<double> at15, at30, full, droop;
        QHash<QString, int> reasons;
    };
    QVector<Shares> shares;
    for (const Episode &e : episodes) {
        for (const UnitEpisode &u : e.units) {
            const QString key = e.station + QLatin1Char('/') + u.name;
            auto found = index.find(key);
            if (found == index.end()) {
                found = index.insert(key, rows.size());
                UnitSummary row;
                row.station = e.station;
                row.unit = u.name;
                rows.append(row);
                shares.append(Shares());
            }
            UnitSummary &row = rows[*found];
            Shares &s = shares[*found];
            row.profile = u.profile;
            row.setDroop = u.setDroop;
            ++row.episodes;
            switch (u.verdict) {
            case EpisodeVerdict::Met:
                ++row.met;
                break;
            case EpisodeVerdict::NotMet:
                ++row.notMet;
                ++s.reasons[u.reason];
                break;
            case EpisodeVerdict::Limited:
                ++row.limited;
                break;
            case EpisodeVerdict::NotJudged:
                ++row.notJudged;
                break;
            default:
                ++row.noData;
            }
            const bool judged = u.verdict == EpisodeVerdict::Met || u.verdict == EpisodeVerdict::NotMet ||
                                u.verdict == EpisodeVerdict::Limited;
            if (!judged)
                continue;
            ++row.judged;
            s.at15 << u.ratio15;
            s.at30 << u.ratio30;
            s.full << u.ratioFull;
            s.droop << u.achievedDroop;
            if (std::isfinite(u.fullSeconds))
                row.fullSeconds = u.fullSeconds;
            // The worst: a failure before anything else, then the smallest share.
            const double share = WorstShare(u);
            const bool failed = u.verdict == EpisodeVerdict::NotMet;
            const bool worstFailed = row.worstReason.size() > 0;
            if ((failed && !worstFailed) ||
                (failed == worstFailed && std::isfinite(share) &&
                 (std::isnan(row.worstRatio) || share < row.worstRatio)) ||
                std::isnan(row.worstStart)) {
                row.worstStart = e.start;
                row.worstRatio = share;
                row.worstReason = failed ? u.reason : QString();
            }
        }
    }
    for (int i = 0; i < rows.size(); ++i) {
        rows[i].median15 = Median(shares[i].at15);
        rows[i].median30 = Median(shares[i].at30);
        rows[i].medianFull = Median(shares[i].full);
        rows[i].medianDroop = Median(shares[i].droop);
        int most = 0;
        for (auto it = shares[i].reasons.constBegin(); it != shares[i].reasons.constEnd(); ++it)
            if (it.value() > most || (it.value() == most && it.key() < rows[i].commonReason)) {
                most = it.value();
                rows[i].commonReason = it.key();
            }
    }
    return rows;
}

QStringList EpisodeSummary::CsvHeader() {
    return {QStringLiteral("Станция"),
            QStringLiteral("Блок"),
            QStringLiteral("Профиль"),
            QStringLiteral("Эпизодов"),
            QStringLiteral("Оценено"),
            QStringLiteral("Выполнено"),
            QStringLiteral("Не выполнено"),
            QStringLiteral("Ограничено"),
            QStringLiteral("Не оценивается"),
            QStringLiteral("Недостаточно данных"),
            QStringLiteral("Медиана доли 15 с, %"),
            QStringLiteral("Медиана доли 30 с, %"),
            QStringLiteral("Полный объём, с"),
            QStringLiteral("Медиана доли полного объёма, %"),
            QStringLiteral("Статизм заданный, %"),
            QStringLiteral("Медиана статизма фактического, %"),
            QStringLiteral("Худший эпизод"),
            QStringLiteral("Доля в худшем, %"),
            QStringLiteral("Частая причина")};
}

QString EpisodeSummary::CsvText(const QVector<UnitSummary> &rows) {
    QString text = CsvHeader().join(QLatin1Char(';')) + QLatin1Char('\n');
    for (const UnitSummary &r : rows) {
        const QStringList line{Field(r.station),
                               Field(r.unit),
                               Field(r.profile),
                               QString::number(r.episodes),
                               QString::number(r.judged),
                               QString::number(r.met),
                               QString::number(r.notMet),
                               QString::number(r.limited),
                               QString::number(r.notJudged),
                               QString::number(r.noData),
                               Figure(r.median15 * 100, 1),
                               Figure(r.median30 * 100, 1),
                               Figure(r.fullSeconds, 0),
                               Figure(r.medianFull * 100, 1),
                               Figure(r.setDroop, 2),
                               Figure(r.medianDroop, 2),
                               std::isfinite(r.worstStart) ? EpisodeFormat::Time(r.worstStart) : QString(),
                               Figure(r.worstRatio * 100, 1),
                               Field(r.commonReason)};
        text += line.join(QLatin1Char(';')) + QLatin1Char('\n');
    }
    return text;
}

QString EpisodeSummary::Line(const UnitSummary &r) {
    QString text = QStringLiteral("оценено %1 из %2: выполнено %3, не выполнено %4, ограничено %5; не оценивается %6, "
                                  "недостаточно данных %7")
                       .arg(r.judged)
                       .arg(r.episodes)
                       .arg(r.met)
                       .arg(r.notMet)
                       .arg(r.limited)
                       .arg(r.notJudged)
                       .arg(r.noData);
    if (!r.commonReason.isEmpty())
        text += QStringLiteral(" (чаще всего: %1)").arg(r.commonReason);
    return text;
}
