#include "analysis/episode_profile.h"

#include "analysis/episode_settings.h"

namespace {

// Practice of general regulation gives steam and gas units minutes for the full amount; stricter
// regulation wants all of it within half a minute.
struct Known {
    const char *name;
    double fullSeconds;
};

const Known Regimes[] = {
    {"НПРЧ", 30},
    {"ОПРЧ, паровой блок", 360},
    {"ОПРЧ, паровой неблочный", 420},
    {"ОПРЧ, ГТУ и ПГУ", 900},
    {"ОПРЧ, газопоршневой", 120},
};

QString Share(double share) {
    return QString::number(share * 100, 'f', 0) + QStringLiteral(" %");
}

} // namespace

const QString EpisodeProfile::DefaultName = QStringLiteral("ОПРЧ");

QString EpisodeProfile::RuleText() const {
    QString text = QStringLiteral("%1 за %2 с, %3").arg(Share(earlyShare)).arg(earlySeconds).arg(Share(fullShare));
    if (tolerance > 0)
        text += QStringLiteral(" (допуск %1)").arg(Share(tolerance));
    text += QStringLiteral(" за %1 с").arg(fullSeconds);
    if (held)
        text += QStringLiteral(", с удержанием");
    return text;
}

EpisodeProfile EpisodeProfile::Default(const EpisodeSettings &settings) {
    EpisodeProfile profile;
    profile.name = DefaultName;
    profile.earlyShare = settings.ratio15;
    profile.fullShare = settings.ratio30;
    return profile;
}

EpisodeProfile EpisodeProfile::Find(const QString &name, const EpisodeSettings &settings) {
    const QString wanted = name.trimmed().isEmpty() ? settings.profile.trimmed() : name.trimmed();
    for (const Known &known : Regimes) {
        if (wanted.compare(QString::fromUtf8(known.name), Qt::CaseInsensitive) != 0)
            continue;
        EpisodeProfile profile;
        profile.name = QString::fromUtf8(known.name);
        profile.fullSeconds = known.fullSeconds;
        profile.fullShare = 1.0;
        profile.tolerance = 0.1;
        return profile;
    }
    return Default(settings);
}

QStringList EpisodeProfile::Names() {
    QStringList names{DefaultName};
    for (const Known &known : Regimes)
        names << QString::fromUtf8(known.name);
    return names;
}
