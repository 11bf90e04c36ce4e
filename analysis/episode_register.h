// The register of judged episodes: every episode once with its figures, the rule and analysis version
// that judged it and the engineer's word on it, kept for months and years in SQLite or a shared
// PostgreSQL server. A re-judgement under another rule or version is a revision of its own; the old
// one stays.
#pragma once

#include <QDateTime>
#include <QString>
#include <QStringList>
#include <QVector>

#include <functional>
#include <optional>

#include "analysis/episode.h"
#include "analysis/episode_report.h"
#include "analysis/episode_settings.h"
#include "analysis/register_config.h"

class EpisodeRegister {
public:
    static constexpr int SchemaVersion = 1;
    // The engineer's marks; an empty mark is none.
    static const QStringList &Marks();
    static QString Excluded() { return QStringLiteral("исключено"); }

    struct Record {
        qint64 id = 0;
        int revision = 0;
        Episode episode;
        QString rule;
        QString version;
        QDateTime judgedAt;
        QString judgedBy;
        QString comment;
        QString mark;
        QString markReason;
        QString markedBy;
        QDateTime markedAt;
    };

    struct Filter {
        QString station;  // empty: all
        QString unit;     // empty: all; otherwise episodes with this unit, and only its verdict
        int verdict = -1; // an EpisodeVerdict; -1: all
        QString mark;     // "-" : episodes without a mark; empty: all
        double from = 0;  // starts in [from, to); 0: open
        double to = 0;
        bool allRevisions = false; // otherwise the latest revision of each episode
    };

    explicit EpisodeRegister(const RegisterConfig &config);
    ~EpisodeRegister();
    EpisodeRegister(const EpisodeRegister &) = delete;
    EpisodeRegister &operator=(const EpisodeRegister &) = delete;

    // Connects, and creates or brings up to date the schema; false with the reason in Error().
    bool Open();
    bool IsOpen() const { return open; }
    QString Error() const { return error; }
    const RegisterConfig &Config() const { return config; }

    // Keeps the finished episodes, judged under `rule` by analysis `version`, for `user`. An episode
    // already kept under the same rule and version is left as it is, so writing twice keeps one record,
    // also when another client writes the same episodes at the same moment. The number of records
    // written; -1 on failure.
    int Write(const QVector<Episode> &episodes, const QString &rule, const QString &version, const QString &user);
    // The same with each episode's rule from the settings and the profiles of its units, under this
    // program's analysis version.
    int Write(const QVector<Episode> &episodes, const EpisodeSettings &settings, const QString &user);
    // "мёртвая полоса 0,075 Гц; ОПРЧ: 50 % за 15 с, 90 % за 30 с, с удержанием; ..."
    static QString RuleOf(const Episode &episode, const EpisodeSettings &settings);
    static QString AnalysisVersion();
    QVector<Record> Find(const Filter &filter);
    // The month's report from the register alone: its episodes (the latest revision of each) without
    // what the engineer excluded, with the summary per unit; nothing when the register cannot be read.
    std::optional<EpisodeReport> MonthReport(const QDate &month, const EpisodeSettings &settings, int *records,
                                             int *excluded);
    // The engineer's comment and mark on a record; "исключено" needs a reason.
    bool SetMark(qint64 id, const QString &mark, const QString &reason, const QString &comment, const QString &user);

    // Verdicts as the register stores them, apart from the enum's order.
    static QString VerdictCode(EpisodeVerdict verdict);
    static bool VerdictOfCode(const QString &code, EpisodeVerdict *verdict);

private:
    bool Fail(const QString &what, const QString &detail);
    bool Exec(const QString &sql);
    bool Migrate();
    bool Begin();
    bool Commit();
    void Rollback();
    // One episode inside the open transaction: true when a record was written.
    bool WriteOne(const Episode &episode, const QString &rule, const QString &version, const QString &user,
                  bool *written);
    int WriteAll(const QVector<Episode> &episodes, const std::function<QString(const Episode &)> &ruleOf,
                 const QString &version, const QString &user);

    RegisterConfig config;
    QString connection; // the Qt SQL connection's name, one per register
    bool open = false;
    QString error;
};
