#include "analysis/episode_register.h"

#include "analysis/episode_profile.h"

#include <QAtomicInt>
#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QLocale>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>
#include <cmath>

namespace {

struct UnitColumn {
    const char *name;
    double UnitEpisode::*field;
};

// The figures of a unit's verdict, as the report shows them; NaN is kept as NULL.
const UnitColumn UnitColumns[] = {
    {"power_before", &UnitEpisode::powerBefore},
    {"required", &UnitEpisode::required},
    {"required15", &UnitEpisode::required15},
    {"actual15", &UnitEpisode::actual15},
    {"ratio15", &UnitEpisode::ratio15},
    {"required30", &UnitEpisode::required30},
    {"actual30", &UnitEpisode::actual30},
    {"ratio30", &UnitEpisode::ratio30},
    {"required_b", &UnitEpisode::requiredB},
    {"actual_b", &UnitEpisode::actualB},
    {"ratio_b", &UnitEpisode::ratioB},
    {"full_seconds", &UnitEpisode::fullSeconds},
    {"required_full", &UnitEpisode::requiredFull},
    {"actual_full", &UnitEpisode::actualFull},
    {"ratio_full", &UnitEpisode::ratioFull},
    {"held_ratio", &UnitEpisode::heldRatio},
    {"reserve", &UnitEpisode::reserve},
    {"ramp", &UnitEpisode::ramp},
    {"achieved_droop", &UnitEpisode::achievedDroop},
    {"set_droop", &UnitEpisode::setDroop},
};

struct EpisodeColumn {
    const char *name;
    double Episode::*field;
};

const EpisodeColumn EpisodeColumns[] = {
    {"deviation_mhz", &Episode::deviationMHz}, {"deviation_time", &Episode::deviationTime},
    {"frequency_a", &Episode::frequencyA},     {"frequency_b", &Episode::frequencyB},
    {"response", &Episode::responseMwPer01Hz}, {"crossing", &Episode::crossing},
    {"baseline_from", &Episode::baselineFrom},
};

QVariant Number(double value) {
    return std::isfinite(value) ? QVariant(value) : QVariant(QVariant::Double);
}

double NumberOf(const QVariant &value) {
    return value.isNull() ? NAN : value.toDouble();
}

// A null text is an empty one: the columns are NOT NULL.
QString Text(const QString &text) {
    return text.isNull() ? QStringLiteral("") : text;
}

qint64 Ms(double seconds) {
    return qint64(std::llround(seconds * 1000.0));
}

QVariant Time(const QDateTime &time) {
    return time.isValid() ? QVariant(time.toMSecsSinceEpoch()) : QVariant(QVariant::LongLong);
}

QDateTime TimeOf(const QVariant &value) {
    return value.isNull() ? QDateTime() : QDateTime::fromMSecsSinceEpoch(value.toLongLong());
}

QString UnitColumnList(const QString &prefix) {
    QStringList names;
    for (const UnitColumn &c : UnitColumns)
        names << prefix + QLatin1String(c.name);
    return names.join(QStringLiteral(", "));
}

QString EpisodeColumnList() {
    QStringList names;
    for (const EpisodeColumn &c : EpisodeColumns)
        names << QLatin1String(c.name);
    return names.join(QStringLiteral(", "));
}

} // namespace

const QStringList &EpisodeRegister::Marks() {
    static const QStringList marks{QStringLiteral("подтверждено"), QStringLiteral("оспорено"),
                                   QStringLiteral("исключено")};
    return marks;
}

namespace {

const struct {
    EpisodeVerdict verdict;
    const char *code;
} VerdictCodes[] = {
    {EpisodeVerdict::Met, "met"},
    {EpisodeVerdict::NotMet, "not_met"},
    {EpisodeVerdict::NoData, "no_data"},
    {EpisodeVerdict::Limited, "limited"},
    {EpisodeVerdict::NotJudged, "not_judged"},
};

} // namespace

QString EpisodeRegister::VerdictCode(EpisodeVerdict verdict) {
    for (const auto &v : VerdictCodes)
        if (v.verdict == verdict)
            return QLatin1String(v.code);
    return QStringLiteral("no_data");
}

bool EpisodeRegister::VerdictOfCode(const QString &code, EpisodeVerdict *verdict) {
    for (const auto &v : VerdictCodes) {
        if (code == QLatin1String(v.code)) {
            *verdict = v.verdict;
            return true;
        }
    }
    return false;
}

EpisodeRegister::EpisodeRegister(const RegisterConfig &config) : config(config) {
    static QAtomicInt serial;
    connection = QStringLiteral("zenta-register-%1").arg(serial.fetchAndAddRelaxed(1));
}

EpisodeRegister::~EpisodeRegister() {
    if (QSqlDatabase::contains(connection)) {
        {
            QSqlDatabase db = QSqlDatabase::database(connection, false);
            db.close();
        }
        QSqlDatabase::removeDatabase(connection);
    }
}

bool EpisodeRegister::Fail(const QString &what, const QString &detail) {
    error = detail.isEmpty() ? what : what + QStringLiteral(": ") + detail;
    return false;
}

bool EpisodeRegister::Exec(const QString &sql) {
    QSqlQuery query(QSqlDatabase::database(connection, false));
    if (!query.exec(sql))
        return Fail(QStringLiteral("Ошибка журнала эпизодов"), query.lastError().text());
    return true;
}

bool EpisodeRegister::Open() {
    open = false;
    const QString driver = config.IsPostgres() ? QStringLiteral("QPSQL") : QStringLiteral("QSQLITE");
    if (!QSqlDatabase::isDriverAvailable(driver))
        return Fail(QStringLiteral("Нет драйвера базы данных %1 для журнала эпизодов").arg(driver),
                    config.IsPostgres() ? QStringLiteral("установите пакет libqt5sql5-psql")
                                        : QStringLiteral("установите пакет libqt5sql5-sqlite"));
    QSqlDatabase db = QSqlDatabase::contains(connection) ? QSqlDatabase::database(connection, false)
                                                         : QSqlDatabase::addDatabase(driver, connection);
    if (config.IsPostgres()) {
        db.setHostName(config.host);
        db.setPort(config.port);
        db.setDatabaseName(config.database);
        db.setUserName(config.user);
        db.setPassword(config.password);
        db.setConnectOptions(config.options.isEmpty() ? QStringLiteral("connect_timeout=10") : config.options);
    } else {
        const QFileInfo file(config.path);
        if (!QDir().mkpath(file.absolutePath()))
            return Fail(QStringLiteral("Не удалось создать папку журнала эпизодов %1").arg(file.absolutePath()),
                        QString());
        db.setDatabaseName(config.path);
        // Several clients on one file wait for each other's writes instead of failing.
        db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=15000"));
    }
    if (!db.open())
        return Fail(QStringLiteral("Не удалось открыть журнал эпизодов (%1)").arg(config.Describe()),
                    db.lastError().text());
    if (!Migrate()) {
        db.close();
        return false;
    }
    open = true;
    return true;
}

bool EpisodeRegister::Begin() {
    // SQLite takes the write lock at once, so that a read and the write after it see the same file.
    return Exec(config.IsPostgres() ? QStringLiteral("BEGIN") : QStringLiteral("BEGIN IMMEDIATE"));
}

bool EpisodeRegister::Commit() {
    return Exec(QStringLiteral("COMMIT"));
}

void EpisodeRegister::Rollback() {
    QSqlQuery query(QSqlDatabase::database(connection, false));
    query.exec(QStringLiteral("ROLLBACK"));
}

bool EpisodeRegister::Migrate() {
    const bool pg = config.IsPostgres();
    if (!Begin())
        return false;
    // Clients that start together create the schema once: PostgreSQL by a lock of the transaction,
    // SQLite by the write lock taken above.
    if (pg && !Exec(QStringLiteral("SELECT pg_advisory_xact_lock(7351001)"))) {
        Rollback();
        return false;
    }
    QSqlQuery query(QSqlDatabase::database(connection, false));
    const bool exists =
        query.exec(pg ? QStringLiteral("SELECT to_regclass('register_schema') IS NOT NULL")
                      : QStringLiteral(
                            "SELECT COUNT(*) FROM sqlite_master WHERE type = 'table' AND name = 'register_schema'")) &&
        query.next() && query.value(0).toBool();
    if (!exists && !Exec(QStringLiteral("CREATE TABLE register_schema (version INTEGER NOT NULL)"))) {
        Rollback();
        return false;
    }
    int version = 0;
    if (query.exec(QStringLiteral("SELECT MAX(version) FROM register_schema")) && query.next())
        version = query.value(0).toInt();
    if (version > SchemaVersion) {
        Rollback();
        return Fail(QStringLiteral("Журнал эпизодов (%1) создан более новой версией программы (схема %2, "
                                   "эта версия знает схему %3)")
                        .arg(config.Describe())
                        .arg(version)
                        .arg(SchemaVersion),
                    QString());
    }
    if (version < 1) {
        const QString id =
            pg ? QStringLiteral("BIGSERIAL PRIMARY KEY") : QStringLiteral("INTEGER PRIMARY KEY AUTOINCREMENT");
        QStringList episodeNumbers;
        for (const EpisodeColumn &c : EpisodeColumns)
            episodeNumbers << QLatin1String(c.name) + QStringLiteral(" DOUBLE PRECISION");
        QStringList unitNumbers;
        for (const UnitColumn &c : UnitColumns)
            unitNumbers << QLatin1String(c.name) + QStringLiteral(" DOUBLE PRECISION");
        const QStringList steps{
            QStringLiteral("CREATE TABLE register_episodes (id %1, station TEXT NOT NULL, start_ms BIGINT NOT NULL, "
                           "revision INTEGER NOT NULL, end_ms BIGINT, cut INTEGER NOT NULL, kind TEXT NOT NULL, "
                           "baseline TEXT NOT NULL, %2, rule TEXT NOT NULL, "
                           "version TEXT NOT NULL, judged_at BIGINT NOT NULL, judged_by TEXT NOT NULL, "
                           "comment TEXT NOT NULL DEFAULT '', mark TEXT NOT NULL DEFAULT '', "
                           "mark_reason TEXT NOT NULL DEFAULT '', marked_by TEXT NOT NULL DEFAULT '', "
                           "marked_at BIGINT, UNIQUE (station, start_ms, revision))")
                .arg(id, episodeNumbers.join(QStringLiteral(", "))),
            QStringLiteral("CREATE INDEX register_episodes_start ON register_episodes (start_ms)"),
            QStringLiteral("CREATE TABLE register_units (episode_id BIGINT NOT NULL REFERENCES register_episodes (id), "
                           "position INTEGER NOT NULL, unit TEXT NOT NULL, verdict TEXT NOT NULL, "
                           "reason TEXT NOT NULL, profile TEXT NOT NULL, %1, violation_seconds INTEGER NOT NULL, "
                           "PRIMARY KEY (episode_id, position))")
                .arg(unitNumbers.join(QStringLiteral(", "))),
            QStringLiteral("INSERT INTO register_schema (version) VALUES (1)"),
        };
        for (const QString &step : steps) {
            if (!Exec(step)) {
                Rollback();
                return false;
            }
        }
    }
    return Commit();
}

QString EpisodeRegister::AnalysisVersion() {
    return QStringLiteral(ZENTA_VERSION);
}

QString EpisodeRegister::RuleOf(const Episode &episode, const EpisodeSettings &settings) {
    QStringList parts{QStringLiteral("мёртвая полоса %1 Гц").arg(QLocale().toString(settings.deadBandHz, 'g', 6))};
    QStringList seen;
    for (const UnitEpisode &u : episode.units) {
        const EpisodeProfile profile = EpisodeProfile::Find(u.profile, settings);
        if (seen.contains(profile.name))
            continue;
        seen << profile.name;
        parts << profile.name + QStringLiteral(": ") + profile.RuleText();
    }
    return parts.join(QStringLiteral("; "));
}

int EpisodeRegister::Write(const QVector<Episode> &episodes, const QString &rule, const QString &version,
                           const QString &user) {
    return WriteAll(
        episodes, [&rule](const Episode &) { return rule; }, version, user);
}

int EpisodeRegister::Write(const QVector<Episode> &episodes, const EpisodeSettings &settings, const QString &user) {
    return WriteAll(
        episodes, [&settings](const Episode &e) { return RuleOf(e, settings); }, AnalysisVersion(), user);
}

int EpisodeRegister::WriteAll(const QVector<Episode> &episodes, const std::function<QString(const Episode &)> &ruleOf,
                              const QString &version, const QString &user) {
    if (!open && !Open())
        return -1;
    if (!Begin())
        return -1;
    int written = 0;
    for (const Episode &episode : episodes) {
        // An episode still going on has no figures to keep yet; it is written once it has ended.
        if (episode.ongoing || !std::isfinite(episode.start))
            continue;
        bool one = false;
        if (!WriteOne(episode, ruleOf(episode), version, user, &one)) {
            const QString reason = error;
            Rollback();
            error = reason;
            return -1;
        }
        written += one;
    }
    return Commit() ? written : -1;
}

bool EpisodeRegister::WriteOne(const Episode &episode, const QString &rule, const QString &version, const QString &user,
                               bool *written) {
    *written = false;
    QSqlDatabase db = QSqlDatabase::database(connection, false);
    const qint64 start = Ms(episode.start);
    // Another client may write the same episode meanwhile: its revision is taken as it stands and
    // ours goes after it, or is not written at all when it is the same judgement.
    for (int attempt = 0; attempt < 8; ++attempt) {
        QSqlQuery existing(db);
        existing.prepare(QStringLiteral("SELECT revision, rule, version FROM register_episodes "
                                        "WHERE station = ? AND start_ms = ? ORDER BY revision"));
        existing.addBindValue(episode.station);
        existing.addBindValue(start);
        if (!existing.exec())
            return Fail(QStringLiteral("Ошибка чтения журнала эпизодов"), existing.lastError().text());
        int last = 0;
        while (existing.next()) {
            if (existing.value(1).toString() == rule && existing.value(2).toString() == version)
                return true;
            last = existing.value(0).toInt();
        }
        const int revision = last + 1;

        QSqlQuery insert(db);
        insert.prepare(QStringLiteral("INSERT INTO register_episodes (station, start_ms, revision, end_ms, cut, kind, "
                                      "baseline, %1, rule, version, judged_at, judged_by) "
                                      "VALUES (?, ?, ?, ?, ?, ?, ?, %2?, ?, ?, ?) "
                                      "ON CONFLICT (station, start_ms, revision) DO NOTHING")
                           .arg(EpisodeColumnList(), QStringLiteral("?, ").repeated(std::size(EpisodeColumns))));
        insert.addBindValue(episode.station);
        insert.addBindValue(start);
        insert.addBindValue(revision);
        insert.addBindValue(std::isfinite(episode.end) ? QVariant(Ms(episode.end)) : QVariant(QVariant::LongLong));
        insert.addBindValue(episode.cut ? 1 : 0);
        insert.addBindValue(episode.kind == EpisodeKind::Drift ? QStringLiteral("drift") : QStringLiteral("step"));
        insert.addBindValue(Text(episode.baseline));
        for (const EpisodeColumn &c : EpisodeColumns)
            insert.addBindValue(Number(episode.*c.field));
        insert.addBindValue(Text(rule));
        insert.addBindValue(Text(version));
        insert.addBindValue(QDateTime::currentMSecsSinceEpoch());
        insert.addBindValue(Text(user));
        if (!insert.exec())
            return Fail(QStringLiteral("Ошибка записи в журнал эпизодов"), insert.lastError().text());
        if (insert.numRowsAffected() != 1)
            continue; // taken by another client just now: look again

        QSqlQuery id(db);
        id.prepare(
            QStringLiteral("SELECT id FROM register_episodes WHERE station = ? AND start_ms = ? AND revision = ?"));
        id.addBindValue(episode.station);
        id.addBindValue(start);
        id.addBindValue(revision);
        if (!id.exec() || !id.next())
            return Fail(QStringLiteral("Ошибка чтения журнала эпизодов"), id.lastError().text());
        const qint64 episodeId = id.value(0).toLongLong();

        QSqlQuery unit(db);
        unit.prepare(QStringLiteral("INSERT INTO register_units (episode_id, position, unit, verdict, reason, profile, "
                                    "%1, violation_seconds) VALUES (?, ?, ?, ?, ?, ?, %2?)")
                         .arg(UnitColumnList(QString()), QStringLiteral("?, ").repeated(std::size(UnitColumns))));
        for (int i = 0; i < episode.units.size(); ++i) {
            const UnitEpisode &u = episode.units[i];
            unit.addBindValue(episodeId);
            unit.addBindValue(i);
            unit.addBindValue(Text(u.name));
            unit.addBindValue(VerdictCode(u.verdict));
            unit.addBindValue(Text(u.reason));
            unit.addBindValue(Text(u.profile));
            for (const UnitColumn &c : UnitColumns)
                unit.addBindValue(Number(u.*c.field));
            unit.addBindValue(u.violationSeconds);
            if (!unit.exec())
                return Fail(QStringLiteral("Ошибка записи в журнал эпизодов"), unit.lastError().text());
        }
        *written = true;
        return true;
    }
    return Fail(QStringLiteral("Журнал эпизодов занят другими клиентами"),
                QStringLiteral("эпизод %1 не записан").arg(episode.station));
}

QVector<EpisodeRegister::Record> EpisodeRegister::Find(const Filter &filter) {
    QVector<Record> records;
    if (!open && !Open())
        return records;
    QSqlDatabase db = QSqlDatabase::database(connection, false);
    QStringList where;
    QVariantList values;
    if (!filter.station.isEmpty()) {
        where << QStringLiteral("e.station = ?");
        values << filter.station;
    }
    if (filter.from > 0) {
        where << QStringLiteral("e.start_ms >= ?");
        values << Ms(filter.from);
    }
    if (filter.to > 0) {
        where << QStringLiteral("e.start_ms < ?");
        values << Ms(filter.to);
    }
    if (filter.mark == QLatin1String("-")) {
        where << QStringLiteral("e.mark = ''");
    } else if (!filter.mark.isEmpty()) {
        where << QStringLiteral("e.mark = ?");
        values << filter.mark;
    }
    if (!filter.allRevisions)
        where << QStringLiteral("e.revision = (SELECT MAX(r.revision) FROM register_episodes r "
                                "WHERE r.station = e.station AND r.start_ms = e.start_ms)");
    QSqlQuery query(db);
    query.setForwardOnly(true);
    query.prepare(
        QStringLiteral(
            "SELECT e.id, e.station, e.start_ms, e.revision, e.end_ms, e.cut, e.kind, e.baseline, %1, e.rule, "
            "e.version, e.judged_at, e.judged_by, e.comment, e.mark, e.mark_reason, e.marked_by, "
            "e.marked_at FROM register_episodes e%2 ORDER BY e.start_ms, e.station, e.revision")
            .arg(EpisodeColumnList().replace(QStringLiteral(", "), QStringLiteral(", e.")).prepend("e."),
                 where.isEmpty() ? QString() : QStringLiteral(" WHERE ") + where.join(QStringLiteral(" AND "))));
    for (const QVariant &value : values)
        query.addBindValue(value);
    if (!query.exec()) {
        Fail(QStringLiteral("Ошибка чтения журнала эпизодов"), query.lastError().text());
        return records;
    }
    QHash<qint64, int> indexOf;
    while (query.next()) {
        Record r;
        int c = 0;
        r.id = query.value(c++).toLongLong();
        r.episode.station = query.value(c++).toString();
        r.episode.start = query.value(c++).toLongLong() / 1000.0;
        r.revision = query.value(c++).toInt();
        const QVariant end = query.value(c++);
        r.episode.end = end.isNull() ? NAN : end.toLongLong() / 1000.0;
        r.episode.cut = query.value(c++).toInt() != 0;
        r.episode.kind = query.value(c++).toString() == QLatin1String("drift") ? EpisodeKind::Drift : EpisodeKind::Step;
        r.episode.baseline = query.value(c++).toString();
        for (const EpisodeColumn &column : EpisodeColumns)
            r.episode.*column.field = NumberOf(query.value(c++));
        r.rule = query.value(c++).toString();
        r.version = query.value(c++).toString();
        r.judgedAt = TimeOf(query.value(c++));
        r.judgedBy = query.value(c++).toString();
        r.comment = query.value(c++).toString();
        r.mark = query.value(c++).toString();
        r.markReason = query.value(c++).toString();
        r.markedBy = query.value(c++).toString();
        r.markedAt = TimeOf(query.value(c++));
        indexOf.insert(r.id, records.size());
        records.append(r);
    }
    if (records.isEmpty())
        return records;

    // The units of the records found, in one read.
    QSqlQuery units(db);
    units.setForwardOnly(true);
    const qint64 first = records.first().id;
    qint64 low = first, high = first;
    for (const Record &r : qAsConst(records)) {
        low = qMin(low, r.id);
        high = qMax(high, r.id);
    }
    units.prepare(
        QStringLiteral("SELECT episode_id, unit, verdict, reason, profile, %1, violation_seconds FROM register_units "
                       "WHERE episode_id BETWEEN ? AND ? ORDER BY episode_id, position")
            .arg(UnitColumnList(QString())));
    units.addBindValue(low);
    units.addBindValue(high);
    if (!units.exec()) {
        Fail(QStringLiteral("Ошибка чтения журнала эпизодов"), units.lastError().text());
        return {};
    }
    while (units.next()) {
        const auto at = indexOf.constFind(units.value(0).toLongLong());
        if (at == indexOf.constEnd())
            continue;
        UnitEpisode u;
        int c = 1;
        u.name = units.value(c++).toString();
        VerdictOfCode(units.value(c++).toString(), &u.verdict);
        u.reason = units.value(c++).toString();
        u.profile = units.value(c++).toString();
        for (const UnitColumn &column : UnitColumns)
            u.*column.field = NumberOf(units.value(c++));
        u.violationSeconds = units.value(c++).toInt();
        records[*at].episode.units.append(u);
    }
    // A unit or verdict filter keeps the episodes of that unit with its verdict only.
    if (!filter.unit.isEmpty() || filter.verdict >= 0) {
        QVector<Record> kept;
        for (Record &r : records) {
            QVector<UnitEpisode> units;
            for (const UnitEpisode &u : qAsConst(r.episode.units))
                if ((filter.unit.isEmpty() || u.name == filter.unit) &&
                    (filter.verdict < 0 || int(u.verdict) == filter.verdict))
                    units.append(u);
            if (units.isEmpty())
                continue;
            r.episode.units = units;
            kept.append(r);
        }
        records = kept;
    }
    return records;
}

std::optional<EpisodeReport> EpisodeRegister::MonthReport(const QDate &month, const EpisodeSettings &settings,
                                                          int *records, int *excluded) {
    const QDate first(month.year(), month.month(), 1);
    Filter filter;
    filter.from = double(QDateTime(first, QTime(0, 0)).toSecsSinceEpoch());
    filter.to = double(QDateTime(first.addMonths(1), QTime(0, 0)).toSecsSinceEpoch());
    error.clear();
    const QVector<Record> found = Find(filter);
    if (!error.isEmpty())
        return std::nullopt;
    // What the engineer excluded is no evidence either way.
    QVector<Episode> episodes;
    *excluded = 0;
    for (const Record &r : found) {
        if (r.mark == Excluded())
            ++*excluded;
        else
            episodes.append(r.episode);
    }
    *records = found.size();
    ReportInfo info;
    info.from = filter.from;
    info.to = filter.to;
    info.made = QDateTime::currentDateTime();
    info.summaryOnly = true;
    info.source =
        QStringLiteral("По журналу эпизодов (%1); исключено инженером: %2").arg(config.Describe()).arg(*excluded);
    return EpisodeReport(episodes, {}, info, settings);
}

bool EpisodeRegister::SetMark(qint64 id, const QString &mark, const QString &reason, const QString &comment,
                              const QString &user) {
    if (!mark.isEmpty() && !Marks().contains(mark))
        return Fail(QStringLiteral("Неизвестная отметка «%1»").arg(mark), QString());
    if (mark == Excluded() && reason.trimmed().isEmpty())
        return Fail(QStringLiteral("Исключить эпизод можно только с указанием причины"), QString());
    if (!open && !Open())
        return false;
    QSqlQuery query(QSqlDatabase::database(connection, false));
    query.prepare(QStringLiteral("UPDATE register_episodes SET comment = ?, mark = ?, mark_reason = ?, marked_by = ?, "
                                 "marked_at = ? WHERE id = ?"));
    query.addBindValue(Text(comment));
    query.addBindValue(Text(mark));
    query.addBindValue(Text(mark == Excluded() ? reason.trimmed() : reason));
    query.addBindValue(Text(user));
    query.addBindValue(Time(QDateTime::currentDateTime()));
    query.addBindValue(id);
    if (!query.exec())
        return Fail(QStringLiteral("Ошибка записи в журнал эпизодов"), query.lastError().text());
    if (query.numRowsAffected() != 1)
        return Fail(QStringLiteral("В журнале эпизодов нет записи %1").arg(id), QString());
    return true;
}
