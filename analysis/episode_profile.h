// A regime's rule for a unit's answer: the share due by an early check, the full amount by its own time,
// the tolerance on that amount, and whether it must be held while the deviation lasts.
#pragma once

#include <QString>
#include <QStringList>

struct EpisodeSettings;

struct EpisodeProfile {
    QString name;
    double earlySeconds = 15;
    double earlyShare = 0.5;
    double fullSeconds = 30;
    double fullShare = 0.9;
    double tolerance = 0; // the full amount counts as given at fullShare - tolerance
    bool held = true;     // falling back while the deviation lasts is a failure

    double FullNeeded() const { return fullShare - tolerance; }
    // "50 % за 15 с, 100 % (допуск 10 %) за 360 с, с удержанием"
    QString RuleText() const;

    // The rule the settings' 15 s / 30 s shares give, which older settings meant.
    static EpisodeProfile Default(const EpisodeSettings &settings);
    // The profile of that name; the default one for an empty or unknown name.
    static EpisodeProfile Find(const QString &name, const EpisodeSettings &settings);
    static QStringList Names();
    static const QString DefaultName;
};
