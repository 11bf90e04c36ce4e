// The episode register against real databases: an SQLite file, and a PostgreSQL server started for the
// run. Each case runs on both.
#include <QComboBox>
#include <QImage>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QSignalSpy>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTreeWidget>
#include <QtTest>
#include <atomic>
#include <cmath>
#include <memory>
#include <thread>

#include "analysis/episode_register.h"
#include "dialogs/dialog_register.h"
#include "postgres_process.h"

namespace {

// Episodes of a station a minute apart, each with two units: the first met, the second not.
QVector<Episode> Episodes(int count, const QString &station = QStringLiteral("ГРЭС-1 «Заречная»")) {
    QVector<Episode> episodes;
    for (int i = 0; i < count; ++i) {
        Episode e;
        e.station = station;
        e.start = 1765000000 + 60.0 * i;
        e.end = e.start + 42;
        e.deviationMHz = -120 - i;
        e.deviationTime = e.start + 5;
        e.frequencyA = 49.998;
        e.frequencyB = NAN;
        e.responseMwPer01Hz = 81.5;
        e.kind = EpisodeKind::Drift;
        e.baseline = QStringLiteral("нечистое начало");
        for (int u = 0; u < 2; ++u) {
            UnitEpisode unit;
            unit.name = QStringLiteral("Энергоблок №%1").arg(u + 1);
            unit.verdict = u == 0 ? EpisodeVerdict::Met : EpisodeVerdict::NotMet;
            unit.reason = u == 0 ? QString() : QStringLiteral("9 % через 30 с");
            unit.powerBefore = 150.25 + u;
            unit.required = 8.5;
            unit.required15 = 4.25;
            unit.actual15 = 4.5 - 4 * u;
            unit.ratio15 = unit.actual15 / unit.required15;
            unit.required30 = 7.65;
            unit.actual30 = NAN;
            unit.ratio30 = NAN;
            unit.violationSeconds = 17 * u;
            unit.profile = QStringLiteral("ОПРЧ, паровой блок");
            unit.achievedDroop = 5.5 + u;
            unit.reserve = u == 0 ? NAN : 3.25;
            e.units.append(unit);
        }
        episodes.append(e);
    }
    return episodes;
}

bool Same(double a, double b) {
    return a == b || (std::isnan(a) && std::isnan(b));
}

} // namespace

class EpisodeRegisterTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void writtenOnce_data();
    void writtenOnce();
    void figuresKept_data();
    void figuresKept();
    void marks_data();
    void marks();
    void filters_data();
    void filters();
    void twoClientsAtOnce_data();
    void twoClientsAtOnce();
    void newerSchemaRefused_data();
    void newerSchemaRefused();
    void dialog_data();
    void dialog();

private:
    void AddDatabases();
    // A register on an empty database of the row's kind.
    std::unique_ptr<EpisodeRegister> Fresh(RegisterConfig *config = nullptr);

    QTemporaryDir work;
    PostgresProcess postgres;
    bool postgresUp = false;
    QString postgresProblem;
    int serial = 0;
};

void EpisodeRegisterTest::initTestCase() {
    QVERIFY(work.isValid());
    if (!PostgresProcess::Available()) {
        postgresProblem = QStringLiteral("PostgreSQL is not installed (package postgresql); its rows are skipped");
    } else if (!(postgresUp = postgres.Start())) {
        QFAIL(qPrintable(QStringLiteral("PostgreSQL did not start: ") + postgres.Error()));
    }
    if (!postgresProblem.isEmpty())
        qWarning("%s", qPrintable(postgresProblem));
}

void EpisodeRegisterTest::AddDatabases() {
    QTest::addColumn<bool>("pg");
    QTest::newRow("sqlite") << false;
    QTest::newRow("postgresql") << true;
}

std::unique_ptr<EpisodeRegister> EpisodeRegisterTest::Fresh(RegisterConfig *out) {
    QFETCH(bool, pg);
    RegisterConfig config;
    const QString name = QStringLiteral("register%1").arg(++serial);
    if (!pg) {
        config.path = work.filePath(name + QStringLiteral(".sqlite"));
    } else {
        if (!postgresUp)
            return nullptr;
        // A database of its own for each case.
        {
            QSqlDatabase admin = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), QStringLiteral("admin"));
            admin.setHostName(QStringLiteral("127.0.0.1"));
            admin.setPort(postgres.Port());
            admin.setUserName(postgres.User());
            admin.setDatabaseName(QStringLiteral("postgres"));
            if (admin.open())
                QSqlQuery(admin).exec(QStringLiteral("CREATE DATABASE ") + name);
            admin.close();
        }
        QSqlDatabase::removeDatabase(QStringLiteral("admin"));
        config.host = QStringLiteral("127.0.0.1");
        config.port = postgres.Port();
        config.user = postgres.User();
        config.database = name;
    }
    if (out)
        *out = config;
    return std::make_unique<EpisodeRegister>(config);
}

#define FRESH(name, config)                                                                                            \
    auto name = Fresh(config);                                                                                         \
    if (!name)                                                                                                         \
        QSKIP(qPrintable(postgresProblem));                                                                            \
    QVERIFY2(name->Open(), qPrintable(name->Error()))

void EpisodeRegisterTest::writtenOnce_data() {
    AddDatabases();
}

// An episode judged twice is one record; under another rule it is a revision and the old one stays.
void EpisodeRegisterTest::writtenOnce() {
    FRESH(reg, nullptr);
    const QVector<Episode> episodes = Episodes(5);
    QCOMPARE(reg->Write(episodes, QStringLiteral("50 % за 15 с, 90 % за 30 с"), QStringLiteral("1.7.4"), "engineer"),
             5);
    QCOMPARE(reg->Write(episodes, QStringLiteral("50 % за 15 с, 90 % за 30 с"), QStringLiteral("1.7.4"), "engineer"),
             0);
    QCOMPARE(reg->Find({}).size(), 5);
    QCOMPARE(
        reg->Write(episodes, QStringLiteral("НПРЧ: 50 % за 15 с, 100 % за 30 с"), QStringLiteral("1.7.4"), "engineer"),
        5);
    // The same as the first judgement again: it is there already, as revision 1.
    QCOMPARE(reg->Write(episodes, QStringLiteral("50 % за 15 с, 90 % за 30 с"), QStringLiteral("1.7.4"), "engineer"),
             0);
    QCOMPARE(reg->Write(episodes.mid(0, 2), QStringLiteral("50 % за 15 с, 90 % за 30 с"), QStringLiteral("1.8.0"),
                        "engineer"),
             2);
    const QVector<EpisodeRegister::Record> latest = reg->Find({});
    QCOMPARE(latest.size(), 5);
    QCOMPARE(latest[0].revision, 3);
    QCOMPARE(latest[4].revision, 2);
    EpisodeRegister::Filter all;
    all.allRevisions = true;
    QCOMPARE(reg->Find(all).size(), 12);
    // An ongoing episode has nothing to keep yet.
    QVector<Episode> ongoing = Episodes(1);
    ongoing[0].start += 3600;
    ongoing[0].ongoing = true;
    QCOMPARE(reg->Write(ongoing, QStringLiteral("r"), QStringLiteral("v"), "engineer"), 0);
}

void EpisodeRegisterTest::figuresKept_data() {
    AddDatabases();
}

void EpisodeRegisterTest::figuresKept() {
    FRESH(reg, nullptr);
    const Episode sent = Episodes(1).first();
    QCOMPARE(reg->Write({sent}, QStringLiteral("правило"), QStringLiteral("1.7.4"), QStringLiteral("Иванов")), 1);
    const QVector<EpisodeRegister::Record> records = reg->Find({});
    QCOMPARE(records.size(), 1);
    const EpisodeRegister::Record &r = records.first();
    QCOMPARE(r.rule, QStringLiteral("правило"));
    QCOMPARE(r.judgedBy, QStringLiteral("Иванов"));
    QVERIFY(qAbs(r.judgedAt.secsTo(QDateTime::currentDateTime())) < 60);
    const Episode &e = r.episode;
    QCOMPARE(e.station, sent.station);
    QCOMPARE(e.start, sent.start);
    QCOMPARE(e.end, sent.end);
    QVERIFY(Same(e.frequencyB, sent.frequencyB));
    QCOMPARE(e.deviationMHz, sent.deviationMHz);
    QCOMPARE(e.kind, sent.kind);
    QCOMPARE(e.baseline, sent.baseline);
    QCOMPARE(e.units.size(), 2);
    for (int i = 0; i < 2; ++i) {
        const UnitEpisode &got = e.units[i], &want = sent.units[i];
        QCOMPARE(got.name, want.name);
        QCOMPARE(got.verdict, want.verdict);
        QCOMPARE(got.reason, want.reason);
        QCOMPARE(got.violationSeconds, want.violationSeconds);
        QCOMPARE(got.profile, want.profile);
        for (auto field :
             {&UnitEpisode::powerBefore, &UnitEpisode::required15, &UnitEpisode::actual15, &UnitEpisode::ratio15,
              &UnitEpisode::actual30, &UnitEpisode::requiredB, &UnitEpisode::achievedDroop, &UnitEpisode::reserve})
            QVERIFY2(Same(got.*field, want.*field), qPrintable(QString::number(got.*field)));
    }
}

void EpisodeRegisterTest::marks_data() {
    AddDatabases();
}

// The engineer's word: a comment and a mark with who set it and when; no exclusion without a reason.
void EpisodeRegisterTest::marks() {
    FRESH(reg, nullptr);
    QCOMPARE(reg->Write(Episodes(3), QStringLiteral("r"), QStringLiteral("v"), QStringLiteral("engineer")), 3);
    const QVector<EpisodeRegister::Record> records = reg->Find({});
    QVERIFY(!reg->SetMark(records[0].id, EpisodeRegister::Excluded(), QStringLiteral("  "), QString(), "engineer"));
    QVERIFY(reg->Error().contains(QStringLiteral("причины")));
    QVERIFY(!reg->SetMark(records[0].id, QStringLiteral("как-нибудь"), QString(), QString(), "engineer"));
    QVERIFY(reg->SetMark(records[0].id, EpisodeRegister::Excluded(), QStringLiteral("ремонт ЦВД"),
                         QStringLiteral("блок выведен в ремонт"), QStringLiteral("Петров")));
    QVERIFY(reg->SetMark(records[1].id, QStringLiteral("оспорено"), QString(), QStringLiteral("датчик"), "engineer"));
    QVERIFY(!reg->SetMark(999999, QStringLiteral("оспорено"), QString(), QString(), "engineer"));

    EpisodeRegister::Filter excluded;
    excluded.mark = EpisodeRegister::Excluded();
    const QVector<EpisodeRegister::Record> found = reg->Find(excluded);
    QCOMPARE(found.size(), 1);
    QCOMPARE(found[0].markReason, QStringLiteral("ремонт ЦВД"));
    QCOMPARE(found[0].comment, QStringLiteral("блок выведен в ремонт"));
    QCOMPARE(found[0].markedBy, QStringLiteral("Петров"));
    QVERIFY(found[0].markedAt.isValid());
    EpisodeRegister::Filter unmarked;
    unmarked.mark = QStringLiteral("-");
    QCOMPARE(reg->Find(unmarked).size(), 1);
}

void EpisodeRegisterTest::filters_data() {
    AddDatabases();
}

void EpisodeRegisterTest::filters() {
    FRESH(reg, nullptr);
    QCOMPARE(reg->Write(Episodes(4) + Episodes(2, QStringLiteral("ТЭЦ-2")), QStringLiteral("r"), QStringLiteral("v"),
                        "engineer"),
             6);
    EpisodeRegister::Filter station;
    station.station = QStringLiteral("ТЭЦ-2");
    QCOMPARE(reg->Find(station).size(), 2);
    EpisodeRegister::Filter period;
    period.from = 1765000000 + 60;
    period.to = 1765000000 + 180;
    QCOMPARE(reg->Find(period).size(), 3); // the second and third of one station, the second of the other
    EpisodeRegister::Filter failed;
    failed.verdict = int(EpisodeVerdict::NotMet);
    failed.unit = QStringLiteral("Энергоблок №2");
    const QVector<EpisodeRegister::Record> notMet = reg->Find(failed);
    QCOMPARE(notMet.size(), 6);
    QCOMPARE(notMet[0].episode.units.size(), 1);
    QCOMPARE(notMet[0].episode.units[0].name, QStringLiteral("Энергоблок №2"));
    failed.unit = QStringLiteral("Энергоблок №1");
    QCOMPARE(reg->Find(failed).size(), 0);
}

void EpisodeRegisterTest::twoClientsAtOnce_data() {
    AddDatabases();
}

// Two clients write the same episodes at the same moment: one record each, no error for either.
void EpisodeRegisterTest::twoClientsAtOnce() {
    RegisterConfig config;
    FRESH(first, &config);
    const QVector<Episode> episodes = Episodes(200);
    std::atomic<int> written{0};
    std::atomic<int> failed{0};
    QStringList errors{QString(), QString()};
    auto client = [&](int which) {
        EpisodeRegister reg(config);
        for (int batch = 0; batch < episodes.size(); batch += 20) {
            const int n = reg.Write(episodes.mid(batch, 20), QStringLiteral("r"), QStringLiteral("v"),
                                    QStringLiteral("client%1").arg(which));
            if (n < 0) {
                ++failed;
                errors[which] = reg.Error();
                return;
            }
            written += n;
        }
    };
    std::thread a(client, 0), b(client, 1);
    a.join();
    b.join();
    QVERIFY2(failed == 0, qPrintable(errors.join(QStringLiteral("; "))));
    QCOMPARE(written.load(), 200);
    EpisodeRegister::Filter all;
    all.allRevisions = true;
    const QVector<EpisodeRegister::Record> records = first->Find(all);
    QCOMPARE(records.size(), 200);
    for (const EpisodeRegister::Record &r : records)
        QCOMPARE(r.episode.units.size(), 2);
}

void EpisodeRegisterTest::newerSchemaRefused_data() {
    AddDatabases();
}

void EpisodeRegisterTest::newerSchemaRefused() {
    RegisterConfig config;
    FRESH(reg, &config);
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(config.IsPostgres() ? "QPSQL" : "QSQLITE", "newer");
        db.setDatabaseName(config.IsPostgres() ? config.database : config.path);
        db.setHostName(config.host);
        db.setPort(config.port);
        db.setUserName(config.user);
        QVERIFY(db.open());
        QVERIFY(QSqlQuery(db).exec(QStringLiteral("INSERT INTO register_schema (version) VALUES (99)")));
        db.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("newer"));
    EpisodeRegister later(config);
    QVERIFY(!later.Open());
    QVERIFY2(later.Error().contains(QStringLiteral("более новой версией")), qPrintable(later.Error()));
}

void EpisodeRegisterTest::dialog_data() {
    QTest::addColumn<bool>("pg");
    QTest::addColumn<QString>("user"); // who marks; empty outside edit mode
    QTest::newRow("engineer-marks") << false << "engineer";
    QTest::newRow("operator-reads-only") << false << QString();
}

// The register's window: filters, the engineer's mark set through it, the episode's span asked for.
void EpisodeRegisterTest::dialog() {
    QFETCH(QString, user);
    FRESH(reg, nullptr);
    QVector<Episode> episodes = Episodes(3) + Episodes(2, QStringLiteral("ТЭЦ-2"));
    // Within this month, as the window's period opens, whatever the hour.
    const QDate today = QDate::currentDate();
    const double monthStart = double(QDateTime(QDate(today.year(), today.month(), 1), QTime(0, 0)).toSecsSinceEpoch());
    const double first = std::max(double(QDateTime::currentSecsSinceEpoch()) - 3600, monthStart + 60);
    for (int i = 0; i < episodes.size(); ++i) {
        episodes[i].start = first + 60 * i;
        episodes[i].end = episodes[i].start + 42;
    }
    QCOMPARE(reg->Write(episodes, QStringLiteral("r"), QStringLiteral("v"), "engineer"), 5);

    DialogRegister window;
    window.SetRegister(reg.get(), user);
    window.Reload();
    auto *tree = window.findChild<QTreeWidget *>(QStringLiteral("tree_records"));
    QCOMPARE(tree->topLevelItemCount(), 5);
    QCOMPARE(tree->topLevelItem(0)->childCount(), 2);
    auto *station = window.findChild<QComboBox *>(QStringLiteral("combo_station"));
    station->setCurrentIndex(station->findText(QStringLiteral("ТЭЦ-2")));
    window.Reload();
    QCOMPARE(tree->topLevelItemCount(), 2);

    tree->setCurrentItem(tree->topLevelItem(1)->child(0));
    auto *save = window.findChild<QPushButton *>(QStringLiteral("button_save_mark"));
    QCOMPARE(save->isEnabled(), !user.isEmpty());
    if (!user.isEmpty()) {
        auto *mark = window.findChild<QComboBox *>(QStringLiteral("combo_set_mark"));
        mark->setCurrentIndex(mark->findData(QStringLiteral("оспорено")));
        window.findChild<QLineEdit *>(QStringLiteral("lineEdit_comment"))->setText(QStringLiteral("датчик мощности"));
        save->click();
        EpisodeRegister::Filter disputed;
        disputed.mark = QStringLiteral("оспорено");
        const QVector<EpisodeRegister::Record> marked = reg->Find(disputed);
        QCOMPARE(marked.size(), 1);
        QCOMPARE(marked[0].episode.start, episodes[4].start);
        QCOMPARE(marked[0].markedBy, user);
        QCOMPARE(marked[0].comment, QStringLiteral("датчик мощности"));
        QCOMPARE(tree->topLevelItem(1)->text(4), QStringLiteral("оспорено"));
    }

    const QString folder = qEnvironmentVariable("ZENTA_SCREENSHOTS");
    if (!folder.isEmpty() && !user.isEmpty()) {
        station->setCurrentIndex(0);
        window.Reload();
        tree->expandAll();
        tree->setCurrentItem(tree->topLevelItem(4));
        window.resize(1100, 560);
        window.show();
        QTest::qWait(50);
        QDir().mkpath(folder);
        window.grab().save(QDir(folder).filePath(QStringLiteral("register_dialog.png")));
        station->setCurrentIndex(station->findText(QStringLiteral("ТЭЦ-2")));
        window.Reload();
    }

    // The month's summary per unit leaves out what the engineer excluded.
    if (!user.isEmpty()) {
        const QVector<EpisodeRegister::Record> all = reg->Find({});
        QVERIFY(reg->SetMark(all[0].id, EpisodeRegister::Excluded(), QStringLiteral("ремонт"), QString(), user));
        const QString csv = work.filePath(QStringLiteral("month%1.csv").arg(serial));
        QString error;
        QVERIFY2(window.WriteMonthSummary(QDate::currentDate(), csv, &error), qPrintable(error));
        QFile written(csv);
        QVERIFY(written.open(QIODevice::ReadOnly));
        const QString text = QString::fromUtf8(written.readAll());
        QVERIFY2(text.contains(QStringLiteral("ГРЭС-1 «Заречная»")), qPrintable(text));
        QCOMPARE(text.count(QLatin1Char('\n')), 1 + 4); // a row per unit of the two stations
        const QString pdf = work.filePath(QStringLiteral("month%1.pdf").arg(serial));
        QVERIFY2(window.WriteMonthSummary(QDate::currentDate(), pdf, &error), qPrintable(error));
        QVERIFY(QFileInfo(pdf).size() > 1000);
        const QString folder = qEnvironmentVariable("ZENTA_SCREENSHOTS");
        int records = 0, excluded = 0;
        const std::optional<EpisodeReport> report =
            reg->MonthReport(QDate::currentDate(), EpisodeSettings(), &records, &excluded);
        QVERIFY(report && report->PageCount() == 1 && excluded == 1);
        if (!folder.isEmpty()) {
            QImage page(1754, 1240, QImage::Format_RGB32);
            page.fill(Qt::white);
            QPainter painter(&page);
            report->PaintPage(&painter, QRectF(60, 40, 1634, 1160), 0);
            painter.end();
            QDir().mkpath(folder);
            page.save(QDir(folder).filePath(QStringLiteral("register_month_summary.png")));
        }
    }

    QSignalSpy opened(&window, &DialogRegister::OpenPeriod);
    emit tree->itemDoubleClicked(tree->topLevelItem(0)->child(1), 1);
    QCOMPARE(opened.size(), 1);
    QVERIFY(opened[0][0].toDouble() < episodes[3].start && opened[0][1].toDouble() > episodes[3].end);
}

QTEST_MAIN(EpisodeRegisterTest)
#include "episode_register_test.moc"
