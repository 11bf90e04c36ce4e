#include "analysis/episode_settings.h"
#include "analysis/episode_profile.h"
#include "support/settings.h"

#include <QSettings>

namespace {

struct Key {
    const char *name;
    double EpisodeSettings::*field;
    double low, high;
};

const Key Keys[] = {
    {"DEAD_BAND_HZ", &EpisodeSettings::deadBandHz, 0.001, 1.0},
    {"RATIO_15S", &EpisodeSettings::ratio15, 0.0, 2.0},
    {"RATIO_30S", &EpisodeSettings::ratio30, 0.0, 2.0},
    {"MIN_REQUIRED_MW", &EpisodeSettings::minRequiredMw, 0.0, 1000.0},
    {"MAX_GAP_S", &EpisodeSettings::maxGapSeconds, 1.0, 60.0},
    {"MIN_REQUIRED_SHARE", &EpisodeSettings::minRequiredShare, 0.0, 0.5},
    {"ONSET_STEP_HZ", &EpisodeSettings::onsetStepHz, 0.005, 1.0},
};

} // namespace

EpisodeSettings EpisodeSettings::Load(const QString &path) {
    EpisodeSettings result;
    const std::unique_ptr<QSettings> ini = Settings::Open(path);
    ini->beginGroup(QStringLiteral("Episodes"));
    bool wrote = false;
    for (const Key &key : Keys) {
        const QString name = QString::fromLatin1(key.name);
        if (!ini->contains(name)) {
            ini->setValue(name, result.*key.field);
            wrote = true;
            continue;
        }
        bool ok = false;
        const double value =
            ini->value(name).toString().trimmed().replace(QLatin1Char(','), QLatin1Char('.')).toDouble(&ok);
        if (ok && value >= key.low && value <= key.high)
            result.*key.field = value;
    }
    const QString profileKey = QStringLiteral("PROFILE");
    if (!ini->contains(profileKey)) {
        ini->setValue(profileKey, result.profile);
        wrote = true;
    } else if (EpisodeProfile::Names().contains(ini->value(profileKey).toString().trimmed(), Qt::CaseInsensitive)) {
        result.profile = ini->value(profileKey).toString().trimmed();
    }
    ini->endGroup();
    if (wrote)
        ini->sync();
    return result;
}
