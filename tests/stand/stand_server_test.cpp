// zenta-stand against its clients: logins, selects, ОПРЧ writes and archive blocks.
#include "stand_client.h"
#include "stand_process.h"

#include <QElapsedTimer>
#include <QtTest>

#include <cstring>

namespace {

struct FieldValue {
    QByteArray name;
    QVariant value;
    bool user = true;
};
struct UpdateRecord {
    int flags = 0;
    QVector<FieldValue> fields;
};

const QVector<QPair<QByteArray, int>> kObjLayout = {
    {"KeyLink", TL_TEXT},         {"DEDUR_OBJ_ID", TL_INT32},     {"DEDUR_OBJ_NAME", TL_TEXT},
    {"DEDUR_OBJ_TYPE", TL_INT32}, {"DEDUR_OBJ_PARENT", TL_INT32}, {"DEDUR_OBJ_IN_REGULATION", TL_BOOL},
    {"DEDUR_OBJ_ORDER", TL_INT32}};
const QVector<QPair<QByteArray, int>> kDataLayout = {{"KeyLink", TL_TEXT},          {"DEDUR_DATA_ID", TL_INT32},
                                                     {"DEDUR_DATA_OBJ", TL_INT32},  {"DEDUR_DATA_SETTINGS", TL_INT32},
                                                     {"DEDUR_DATA_VALUE", TL_TEXT}, {"DEDUR_DATA_ARCH", TL_INT32}};
const QVector<QPair<QByteArray, int>> kUsersLayout = {{"KeyLink", TL_TEXT}, {"login_", TL_TEXT}, {"canEdit", TL_BOOL}};

const QByteArray kDemoObject1 = "{0B1E0000-5A3E-4D1C-8E07-000000000001}";
const QByteArray kDemoObject2 = "{0B1E0000-5A3E-4D1C-8E07-000000000002}";
const QByteArray kDemoObject3 = "{0B1E0000-5A3E-4D1C-8E07-000000000003}";
const QByteArray kDemoData1 = "{DA7A0000-5A3E-4D1C-8E07-000000000001}";

int SendUpdate(StandClient &client, const QByteArray &table, const QVector<UpdateRecord> &records,
               QByteArray *reason = nullptr) {
    const auto &layout = table == "T_DEDUR_DATA" ? kDataLayout : (table == "Users" ? kUsersLayout : kObjLayout);
    TLArray *array = nullptr;
    TLACreate(&array, 0);
    for (const auto &f : layout)
        TLAFldAdd(array, f.first.constData(), f.second);
    for (const UpdateRecord &r : records) {
        TLRecord *record = TLARecNew(array);
        for (const FieldValue &v : r.fields) {
            TLField *field = TLRFldByName(array, v.name.constData());
            if (!field)
                continue;
            if (v.value.type() == QVariant::String) {
                const QByteArray bytes = ToCp1251(v.value.toString());
                TLRSetAsText(field, record, bytes.size(), bytes.constData());
            } else if (v.value.type() == QVariant::Bool) {
                TLRSetAsBool(field, record, v.value.toBool());
            } else {
                TLRSetAsInt32(field, record, v.value.toInt());
            }
            TLRSetUser(field, record, v.user ? 1 : 0);
        }
        TLRSetFlags(record, r.flags);
        TLARecPost(array, record);
    }
    Param reply = client.Request("SQL_UPDATE", [&](TLXCliParam *p) {
        TLXPrmSetText(p, 0, table.size(), table.constData());
        TLXCliSetArr(p, "_ARR", array, 1);
    });
    TLADestroy(array);
    if (reason)
        *reason = FieldBytes(reply.get(), 1);
    return reply ? FieldInt(reply.get(), 0) : -100;
}

UpdateRecord NewObject(const QByteArray &key, QVariant id, const QString &name) {
    return {TLR_NEW,
            {{"KeyLink", QString::fromLatin1(key)},
             {"DEDUR_OBJ_ID", id},
             {"DEDUR_OBJ_NAME", name},
             {"DEDUR_OBJ_TYPE", 7},
             {"DEDUR_OBJ_PARENT", 1},
             {"DEDUR_OBJ_ORDER", 9},
             {"DEDUR_OBJ_IN_REGULATION", true}}};
}

QString Scalar(StandClient &client, const QByteArray &sql) {
    const SelectResult r = Select(client, sql);
    if (r.status != 0 || r.rows.isEmpty() || r.rows[0].isEmpty())
        return QStringLiteral("<status %1>").arg(r.status);
    return r.rows[0][0].toString();
}

struct ArchiveRecord {
    int type;
    int id;
    int zero;
    int state;
    double time;
    double value;
};

// Walks a block per the documented layout; false when a record runs past the end.
bool DecodeArchive(const QByteArray &block, int header, QVector<ArchiveRecord> *out) {
    int p = header;
    while (p < block.size()) {
        if (p + 29 > block.size())
            return false;
        ArchiveRecord r;
        r.type = uint8_t(block[p]);
        std::memcpy(&r.id, block.constData() + p + 1, 4);
        std::memcpy(&r.zero, block.constData() + p + 5, 4);
        std::memcpy(&r.state, block.constData() + p + 9, 4);
        std::memcpy(&r.time, block.constData() + p + 13, 8);
        std::memcpy(&r.value, block.constData() + p + 21, 8);
        out->append(r);
        p += 29;
    }
    return true;
}

} // namespace

Q_DECLARE_METATYPE(QVector<UpdateRecord>)

class StandServerTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void login_data();
    void login();
    void selectTable_data();
    void selectTable();
    void keyLinkOrder_data();
    void keyLinkOrder();
    void measurementJoin();
    void demoModel_data();
    void demoModel();
    void refusedSelect_data();
    void refusedSelect();
    void update_data();
    void update();
    void measRead2_data();
    void measRead2();
    void measRead1_data();
    void measRead1();
    void badRequest_data();
    void badRequest();
    void srvVersion();
    void helpText_data();
    void helpText();
    void dayReadTiming();

private:
    StandProcess stand;
    StandClient engineer;
    double first = 0;
    double last = 0;
};

void StandServerTest::initTestCase() {
    StartTlx();
    QVERIFY2(stand.Start({"--no-sim", "--backfill-hours", "1", "--seed", "7", "--test-aids"}),
             qPrintable(stand.Error()));
    QCOMPARE(engineer.Open(stand.Port(), "engineer", "engineer"), 0);
    first = Scalar(engineer, "select min(time) from Archive where meas_id = 10001").toDouble();
    last = Scalar(engineer, "select max(time) from Archive where meas_id = 10001").toDouble();
    QVERIFY(first > 1.6e9);
    QCOMPARE(last - first, 3599.0);
}

void StandServerTest::login_data() {
    QTest::addColumn<QByteArray>("user");
    QTest::addColumn<QByteArray>("password");
    QTest::addColumn<bool>("accepted");
    QTest::newRow("operator") << QByteArray("operator") << QByteArray("operator") << true;
    QTest::newRow("engineer") << QByteArray("engineer") << QByteArray("engineer") << true;
    QTest::newRow("wrong-password") << QByteArray("operator") << QByteArray("engineer") << false;
    QTest::newRow("empty-password") << QByteArray("operator") << QByteArray("") << false;
    QTest::newRow("password-case") << QByteArray("operator") << QByteArray("Operator") << false;
    QTest::newRow("unknown-user") << QByteArray("nobody") << QByteArray("operator") << false;
    QTest::newRow("login-case") << QByteArray("Operator") << QByteArray("operator") << false;
    QTest::newRow("quote-and-cyrillic") << QString::fromUtf8("оператор' or '1'='1").toUtf8() << QByteArray("x")
                                        << false;
}

void StandServerTest::login() {
    QFETCH(QByteArray, user);
    QFETCH(QByteArray, password);
    QFETCH(bool, accepted);
    StandClient client;
    const int rc = client.Open(stand.Port(), user, password);
    QCOMPARE(rc == 0, accepted);
    QCOMPARE(client.Connected(), accepted);
    if (!accepted)
        QCOMPARE(rc, int(TLX_ERR_AUTH));
}

void StandServerTest::selectTable_data() {
    QTest::addColumn<QByteArray>("sql");
    QTest::addColumn<QString>("column");
    QTest::addColumn<int>("type");
    QTest::addColumn<int>("minRows");
    QTest::newRow("Tables") << QByteArray("select * from Tables") << "nameLat" << int(TL_TEXT) << 10;
    QTest::newRow("Users") << QByteArray("select * from Users") << "login_" << int(TL_TEXT) << 2;
    QTest::newRow("IdentifiedObject") << QByteArray("select * from IdentifiedObject") << "ClassName" << int(TL_TEXT)
                                      << 20;
    QTest::newRow("Measurement") << QByteArray("select * from Measurement") << "locId" << int(TL_INT32) << 20;
    QTest::newRow("T_DEDUR_OBJ") << QByteArray("select * from T_DEDUR_OBJ") << "DEDUR_OBJ_IN_REGULATION" << int(TL_BOOL)
                                 << 8;
    QTest::newRow("T_DEDUR_TYPE") << QByteArray("select * from T_DEDUR_TYPE") << "DEDUR_TYPE_PARENT" << int(TL_INT32)
                                  << 3;
    QTest::newRow("T_DEDUR_SETTINGS") << QByteArray("select * from T_DEDUR_SETTINGS") << "DEDUR_SETTINGS_DATATYPE"
                                      << int(TL_TEXT) << 10;
    QTest::newRow("T_DEDUR_DATA") << QByteArray("select * from T_DEDUR_DATA") << "DEDUR_DATA_ARCH" << int(TL_INT32)
                                  << 30;
    QTest::newRow("EventCat") << QByteArray("select * from EventCat") << "EV_CAT_ID" << int(TL_INT32) << 2;
    QTest::newRow("EventCod") << QByteArray("select * from EventCod") << "EventCatKey" << int(TL_TEXT) << 12;
    QTest::newRow("EvDedur") << QByteArray("select * from EvDedur") << "comment" << int(TL_TEXT) << 0;
    QTest::newRow("T_EV_KWIT") << QByteArray("select * from T_EV_KWIT") << "KeyLink" << int(TL_TEXT) << 0;
    QTest::newRow("T_THIS") << QByteArray("select * from T_THIS") << "USRS_ID" << int(TL_INT32) << 1;
    QTest::newRow("archive") << QByteArray("select * from Archive where meas_id = 10001 limit 5") << "value"
                             << int(TL_DOUBLE) << 5;
    QTest::newRow("users-filter") << QByteArray("select * from Users where login_='operator'") << "name_"
                                  << int(TL_TEXT) << 1;
    QTest::newRow("trailing-semicolon") << QByteArray("select * from T_THIS;  ") << "USRS_ID" << int(TL_INT32) << 1;
}

void StandServerTest::selectTable() {
    QFETCH(QByteArray, sql);
    QFETCH(QString, column);
    QFETCH(int, type);
    QFETCH(int, minRows);
    const SelectResult r = Select(engineer, sql);
    QCOMPARE(r.status, 0);
    const int c = r.Column(column);
    QVERIFY2(c >= 0, qPrintable(r.names.join(',')));
    QCOMPARE(r.types[c], type);
    QVERIFY(r.rows.size() >= minRows);
    QCOMPARE(r.rowCount, r.rows.size());
    // No secret ever leaves the server.
    for (const QString &name : r.names) {
        QVERIFY(!name.contains("hash", Qt::CaseInsensitive));
        QVERIFY(!name.contains("salt", Qt::CaseInsensitive));
    }
}

void StandServerTest::keyLinkOrder_data() {
    QTest::addColumn<QByteArray>("sql");
    QTest::addColumn<bool>("sortedByKey");
    QTest::newRow("data-desc") << QByteArray("select * from T_DEDUR_DATA order by DEDUR_DATA_ID desc") << true;
    QTest::newRow("names") << QByteArray("select KeyLink, name_ from IdentifiedObject order by name_ desc") << true;
    QTest::newRow("lower-case-name") << QByteArray("select KeyLink as keylink from T_DEDUR_OBJ order by 1 desc")
                                     << true;
    QTest::newRow("key-not-first") << QByteArray("select DEDUR_DATA_ID, KeyLink from T_DEDUR_DATA order by 1 desc")
                                   << false;
}

void StandServerTest::keyLinkOrder() {
    QFETCH(QByteArray, sql);
    QFETCH(bool, sortedByKey);
    const SelectResult r = Select(engineer, sql);
    QCOMPARE(r.status, 0);
    QVERIFY(r.rows.size() > 3);
    if (sortedByKey) {
        for (int i = 1; i < r.rows.size(); ++i)
            QVERIFY2(r.rows[i - 1][0].toString() < r.rows[i][0].toString(), qPrintable(r.rows[i][0].toString()));
    } else {
        for (int i = 1; i < r.rows.size(); ++i)
            QVERIFY(r.rows[i - 1][0].toInt() > r.rows[i][0].toInt());
    }
}

void StandServerTest::measurementJoin() {
    const QByteArray ti = "select Measurement.KeyLink, Measurement.locId, IdentifiedObject.name_ from Measurement "
                          "inner join IdentifiedObject on Measurement.KeyLink = IdentifiedObject.KeyLink where "
                          "IdentifiedObject.ClassName = 'Analog'";
    const SelectResult r = Select(engineer, ti);
    QCOMPARE(r.status, 0);
    QCOMPARE(r.names, QStringList({"KeyLink", "locId", "name_"}));
    QCOMPARE(r.types, QVector<int>({TL_TEXT, TL_INT32, TL_TEXT}));
    QHash<int, QString> names;
    for (const auto &row : r.rows)
        names.insert(row[1].toInt(), row[2].toString());
    QCOMPARE(names.value(10001), QString::fromUtf8("ГРЭС-1: частота сети"));
    QCOMPARE(names.value(20001), QString::fromUtf8("ТЭЦ-2: частота сети"));
    QVERIFY(!names.contains(13001)); // the breakers are discrete

    QByteArray ts = ti;
    ts.replace("'Analog'", "'Discrete'");
    const SelectResult d = Select(engineer, ts);
    QCOMPARE(d.status, 0);
    bool breaker = false;
    for (const auto &row : d.rows)
        breaker = breaker || row[1].toInt() == 13001;
    QVERIFY(breaker);
}

void StandServerTest::demoModel_data() {
    QTest::addColumn<int>("type");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("datatype");
    QTest::addColumn<int>("arch");
    QTest::newRow("station-short-name") << 1 << "StationShortName"
                                        << "STRING" << 0;
    QTest::newRow("station-freq") << 1 << "Freq"
                                  << "ARCH" << 201;
    QTest::newRow("unit-number") << 7 << "GeneratingEquipmentNumber"
                                 << "INT" << 0;
    QTest::newRow("unit-freq") << 7 << "Freq"
                               << "ARCH" << 201;
    QTest::newRow("unit-power") << 7 << "Power"
                                << "ARCH" << 201;
    QTest::newRow("unit-calc") << 7 << "DedurCalcResult"
                               << "ARCH" << 201;
    QTest::newRow("unit-nominal") << 7 << "NominalPower"
                                  << "DOUBLE" << 0;
    QTest::newRow("unit-droop") << 7 << "Droop"
                                << "DOUBLE" << 0;
    QTest::newRow("unit-breaker") << 7 << "Breaker"
                                  << "ARCH" << 202;
}

// Every object of the type has a value for the setting; measurement values point at archived measurements.
void StandServerTest::demoModel() {
    QFETCH(int, type);
    QFETCH(QString, key);
    QFETCH(QString, datatype);
    QFETCH(int, arch);
    const SelectResult types = Select(engineer, "select DEDUR_TYPE_ID from T_DEDUR_TYPE where DEDUR_TYPE_PARENT = 1");
    QCOMPARE(types.rows.size(), 2); // groups (3) and units (7) under a station
    const QString settingId = Scalar(engineer, QStringLiteral("select DEDUR_SETTINGS_ID from T_DEDUR_SETTINGS where "
                                                              "DEDUR_SETTINGS_TYPE=%1 and DEDUR_SETTINGS_KEY='%2' and "
                                                              "DEDUR_SETTINGS_DATATYPE='%3'")
                                                   .arg(type)
                                                   .arg(key, datatype)
                                                   .toUtf8());
    QVERIFY2(settingId.toInt() > 0, qPrintable(settingId));
    const SelectResult objects = Select(
        engineer, QStringLiteral("select DEDUR_OBJ_ID from T_DEDUR_OBJ where DEDUR_OBJ_TYPE=%1").arg(type).toUtf8());
    QVERIFY(objects.rows.size() >= 2);
    for (const auto &row : objects.rows) {
        const SelectResult value =
            Select(engineer, QStringLiteral("select DEDUR_DATA_VALUE, DEDUR_DATA_ARCH from T_DEDUR_DATA where "
                                            "DEDUR_DATA_OBJ=%1 and DEDUR_DATA_SETTINGS=%2")
                                 .arg(row[0].toInt())
                                 .arg(settingId)
                                 .toUtf8());
        QCOMPARE(value.rows.size(), 1);
        QCOMPARE(value.rows[0][1].toInt(), arch);
        QVERIFY(!value.rows[0][0].toString().isEmpty());
        if (arch != 0) {
            const QString samples = Scalar(engineer, QStringLiteral("select count(*) from Archive where meas_id=%1")
                                                         .arg(value.rows[0][0].toString())
                                                         .toUtf8());
            QVERIFY2(samples.toInt() > 0, qPrintable(value.rows[0][0].toString()));
        }
    }
}

void StandServerTest::refusedSelect_data() {
    QTest::addColumn<QByteArray>("sql");
    QTest::newRow("insert") << QByteArray("insert into T_THIS values('{x}', 5)");
    QTest::newRow("delete") << QByteArray("delete from T_DEDUR_OBJ");
    QTest::newRow("update") << QByteArray("update Users set canEdit = 1");
    QTest::newRow("drop") << QByteArray("drop table T_DEDUR_DATA");
    QTest::newRow("create") << QByteArray("create table x(a)");
    QTest::newRow("second-statement") << QByteArray("select 1; select 2");
    QTest::newRow("second-statement-write") << QByteArray("select 1; delete from T_DEDUR_OBJ");
    QTest::newRow("attach") << QByteArray("attach database '/tmp/zenta-stand-attack.db' as x");
    QTest::newRow("pragma-write") << QByteArray("pragma journal_mode=delete");
    QTest::newRow("pragma-read") << QByteArray("pragma table_info(Credentials)");
    QTest::newRow("credentials") << QByteArray("select * from Credentials");
    QTest::newRow("credentials-subquery") << QByteArray("select * from Users where login_ in (select login_ from "
                                                        "Credentials)");
    QTest::newRow("credentials-cte") << QByteArray("with c as (select hash from Credentials) select * from c");
    QTest::newRow("pragma-function") << QByteArray("select * from pragma_table_info('Credentials')");
    QTest::newRow("schema-of-credentials") << QByteArray("select sql from sqlite_master where name = 'Credentials' "
                                                         "union all select hash from Credentials");
    QTest::newRow("unknown-table") << QByteArray("select * from NoSuchTable");
    QTest::newRow("syntax") << QByteArray("selec * from Users");
    QTest::newRow("empty") << QByteArray("");
    QTest::newRow("comment-only") << QByteArray("-- nothing");
    QTest::newRow("vacuum-into") << QByteArray("vacuum into '/tmp/zenta-stand-copy.db'");
}

void StandServerTest::refusedSelect() {
    QFETCH(QByteArray, sql);
    const QString before = Scalar(engineer, "select count(*) from T_DEDUR_OBJ");
    const SelectResult r = Select(engineer, sql);
    QVERIFY(r.status != 0);
    QVERIFY(r.status != -1); // a reply came
    QCOMPARE(Scalar(engineer, "select count(*) from T_DEDUR_OBJ"), before);
    QCOMPARE(Scalar(engineer, "select canEdit from Users where login_='operator'"), QString("false"));
    QVERIFY(!QFile::exists("/tmp/zenta-stand-copy.db"));
}

void StandServerTest::update_data() {
    QTest::addColumn<QByteArray>("login");
    QTest::addColumn<QByteArray>("table");
    QTest::addColumn<QVector<UpdateRecord>>("records");
    QTest::addColumn<bool>("accepted");
    QTest::addColumn<QByteArray>("check");
    QTest::addColumn<QString>("expected");
    const QString block = QString::fromUtf8("Блок ");
    QTest::newRow("operator-refused") << QByteArray("operator") << QByteArray("T_DEDUR_OBJ")
                                      << QVector<UpdateRecord>{NewObject("{K-5001}", 5001, block + "5001")} << false
                                      << QByteArray("select count(*) from T_DEDUR_OBJ where DEDUR_OBJ_ID=5001") << "0";
    QTest::newRow("engineer-insert") << QByteArray("engineer") << QByteArray("T_DEDUR_OBJ")
                                     << QVector<UpdateRecord>{NewObject("{K-5002}", 5002, block + "«5002»")} << true
                                     << QByteArray("select DEDUR_OBJ_NAME from T_DEDUR_OBJ where DEDUR_OBJ_ID=5002")
                                     << block + "«5002»";
    QTest::newRow("duplicate-id") << QByteArray("engineer") << QByteArray("T_DEDUR_OBJ")
                                  << QVector<UpdateRecord>{NewObject("{K-5003}", 1, "dup")} << false
                                  << QByteArray("select count(*) from T_DEDUR_OBJ where KeyLink='{K-5003}'") << "0";
    QTest::newRow("duplicate-keylink") << QByteArray("engineer") << QByteArray("T_DEDUR_OBJ")
                                       << QVector<UpdateRecord>{NewObject(kDemoObject1, 5004, "dup")} << false
                                       << QByteArray("select count(*) from T_DEDUR_OBJ where DEDUR_OBJ_ID=5004") << "0";
    QTest::newRow("text-into-id") << QByteArray("engineer") << QByteArray("T_DEDUR_OBJ")
                                  << QVector<UpdateRecord>{NewObject("{K-5005}", QString("abc"), "x")} << false
                                  << QByteArray("select count(*) from T_DEDUR_OBJ where KeyLink='{K-5005}'") << "0";
    QTest::newRow("one-transaction") << QByteArray("engineer") << QByteArray("T_DEDUR_OBJ")
                                     << QVector<UpdateRecord>{NewObject("{K-5006}", 5006, "first"),
                                                              NewObject("{K-5007}", 2, "clash")}
                                     << false << QByteArray("select count(*) from T_DEDUR_OBJ where DEDUR_OBJ_ID=5006")
                                     << "0";
    QTest::newRow("update-by-keylink") << QByteArray("engineer") << QByteArray("T_DEDUR_OBJ")
                                       << QVector<UpdateRecord>{{TLR_CHANGED,
                                                                 {{"KeyLink", QString(kDemoObject2)},
                                                                  {"DEDUR_OBJ_NAME",
                                                                   QString::fromUtf8("Блок №1 (ремонт)")}}}}
                                       << true
                                       << QByteArray("select DEDUR_OBJ_NAME from T_DEDUR_OBJ where DEDUR_OBJ_ID=2")
                                       << QString::fromUtf8("Блок №1 (ремонт)");
    QTest::newRow("unmarked-not-written")
        << QByteArray("engineer") << QByteArray("T_DEDUR_OBJ")
        << QVector<UpdateRecord>{{TLR_CHANGED,
                                  {{"KeyLink", QString(kDemoObject3)},
                                   {"DEDUR_OBJ_NAME", QString("ignored"), false},
                                   {"DEDUR_OBJ_ORDER", 42}}}}
        << true << QByteArray("select DEDUR_OBJ_NAME || '/' || DEDUR_OBJ_ORDER from T_DEDUR_OBJ where DEDUR_OBJ_ID=3")
        << QString::fromUtf8("Энергоблок №2/42");
    QTest::newRow("update-unknown-keylink")
        << QByteArray("engineer") << QByteArray("T_DEDUR_OBJ")
        << QVector<UpdateRecord>{{TLR_CHANGED, {{"KeyLink", QString("{missing}")}, {"DEDUR_OBJ_ORDER", 1}}}} << false
        << QByteArray("select count(*) from T_DEDUR_OBJ where KeyLink='{missing}'") << "0";
    QTest::newRow("update-to-taken-id")
        << QByteArray("engineer") << QByteArray("T_DEDUR_OBJ")
        << QVector<UpdateRecord>{{TLR_CHANGED, {{"KeyLink", QString(kDemoObject3)}, {"DEDUR_OBJ_ID", 1}}}} << false
        << QByteArray("select DEDUR_OBJ_ID from T_DEDUR_OBJ where KeyLink='" + kDemoObject3 + "'") << "3";
    QTest::newRow("delete-data") << QByteArray("engineer") << QByteArray("T_DEDUR_DATA")
                                 << QVector<UpdateRecord>{{TLR_DELETED, {{"KeyLink", QString(kDemoData1)}}}} << true
                                 << QByteArray("select count(*) from T_DEDUR_DATA where DEDUR_DATA_ID=1") << "0";
    QTest::newRow("delete-unknown") << QByteArray("engineer") << QByteArray("T_DEDUR_DATA")
                                    << QVector<UpdateRecord>{{TLR_DELETED, {{"KeyLink", QString("{gone}")}}}} << false
                                    << QByteArray("select count(*) from T_DEDUR_DATA where KeyLink='{gone}'") << "0";
    QTest::newRow("insert-setting-value")
        << QByteArray("engineer") << QByteArray("T_DEDUR_DATA")
        << QVector<UpdateRecord>{{TLR_NEW,
                                  {{"KeyLink", QString("{D-9001}")},
                                   {"DEDUR_DATA_ID", 9001},
                                   {"DEDUR_DATA_OBJ", 5002},
                                   {"DEDUR_DATA_SETTINGS", 11},
                                   {"DEDUR_DATA_VALUE", QString("17")},
                                   {"DEDUR_DATA_ARCH", 201}}}}
        << true
        << QByteArray("select DEDUR_DATA_VALUE || ':' || DEDUR_DATA_ARCH from T_DEDUR_DATA where DEDUR_DATA_ID=9001")
        << "17:201";
    QTest::newRow("duplicate-data-id") << QByteArray("engineer") << QByteArray("T_DEDUR_DATA")
                                       << QVector<UpdateRecord>{{TLR_NEW,
                                                                 {{"KeyLink", QString("{D-9002}")},
                                                                  {"DEDUR_DATA_ID", 9001},
                                                                  {"DEDUR_DATA_VALUE", QString("1")}}}}
                                       << false
                                       << QByteArray("select count(*) from T_DEDUR_DATA where KeyLink='{D-9002}'")
                                       << "0";
    QTest::newRow("users-table-refused")
        << QByteArray("engineer") << QByteArray("Users")
        << QVector<UpdateRecord>{{TLR_CHANGED,
                                  {{"KeyLink", QString("{05E40000-5A3E-4D1C-8E07-000000000001}")}, {"canEdit", true}}}}
        << false << QByteArray("select canEdit from Users where login_='operator'") << "false";
}

void StandServerTest::update() {
    QFETCH(QByteArray, login);
    QFETCH(QByteArray, table);
    QFETCH(QVector<UpdateRecord>, records);
    QFETCH(bool, accepted);
    QFETCH(QByteArray, check);
    QFETCH(QString, expected);
    StandClient client;
    QCOMPARE(client.Open(stand.Port(), login, login), 0);
    // A refused array changes nothing at all; the table's content is compared whole.
    const QByteArray whole = "select * from " + table + " order by KeyLink";
    const SelectResult before = Select(engineer, whole);
    QCOMPARE(before.status, 0);
    QByteArray reason;
    const int status = SendUpdate(client, table, records, &reason);
    QVERIFY(status != -100);
    QVERIFY2((status == 0) == accepted, reason.constData());
    if (!accepted) {
        QVERIFY(!reason.isEmpty());
        QCOMPARE(Select(engineer, whole).rows, before.rows);
    }
    QCOMPARE(Scalar(engineer, check), expected);
}

void StandServerTest::measRead2_data() {
    QTest::addColumn<int>("id");
    QTest::addColumn<double>("from"); // relative to the first archived second
    QTest::addColumn<double>("to");
    QTest::addColumn<int>("count");
    QTest::newRow("whole-hour") << 10001 << 0.0 << 3599.0 << 3600;
    QTest::newRow("ten-seconds") << 10001 << 100.0 << 109.0 << 10;
    QTest::newRow("fraction-bounds") << 11001 << 99.5 << 109.5 << 10;
    QTest::newRow("one-second") << 12001 << 5.0 << 5.0 << 1;
    QTest::newRow("inverted") << 10001 << 200.0 << 100.0 << 0;
    QTest::newRow("before-archive") << 10001 << -1000.0 << -1.0 << 0;
    QTest::newRow("unknown-measurement") << 999999 << 0.0 << 3599.0 << 0;
}

void StandServerTest::measRead2() {
    QFETCH(int, id);
    QFETCH(double, from);
    QFETCH(double, to);
    QFETCH(int, count);
    Param reply = engineer.Request("MEAS_READ2", [&](TLXCliParam *p) {
        TLXPrmSetInt32(p, 0, id);
        TLXPrmSetDouble(p, 1, first + from);
        TLXPrmSetDouble(p, 2, first + to);
    });
    QVERIFY(reply);
    const QByteArray block = FieldBytes(reply.get(), 0);
    QCOMPARE(block.size(), 21 + 29 * count);
    QCOMPARE(int(uint8_t(block[0])), 2);
    int headerId = 0, headerCount = 0;
    std::memcpy(&headerId, block.constData() + 1, 4);
    std::memcpy(&headerCount, block.constData() + 5, 4);
    QCOMPARE(headerId, id);
    QCOMPARE(headerCount, count);
    QVector<ArchiveRecord> records;
    QVERIFY(DecodeArchive(block, 21, &records));
    for (int i = 0; i < records.size(); ++i) {
        QCOMPARE(records[i].type, 1);
        QCOMPARE(records[i].id, id);
        QCOMPARE(records[i].zero, 0);
        QVERIFY(records[i].time >= first + from && records[i].time <= first + to);
        if (i > 0)
            QCOMPARE(records[i].time - records[i - 1].time, 1.0);
    }
    if (count > 0) {
        const double stored = Scalar(engineer, QStringLiteral("select value from Archive where meas_id=%1 and time=%2")
                                                   .arg(id)
                                                   .arg(qint64(records[0].time))
                                                   .toUtf8())
                                  .toDouble();
        QCOMPARE(records[0].value, stored);
    }
}

void StandServerTest::measRead1_data() {
    QTest::addColumn<double>("at"); // relative to the first archived second
    QTest::addColumn<int>("count");
    QTest::addColumn<double>("expected");
    QTest::newRow("on-a-sample") << 50.0 << 1 << 50.0;
    QTest::newRow("between-samples") << 50.75 << 1 << 50.0;
    QTest::newRow("first-sample") << 0.0 << 1 << 0.0;
    QTest::newRow("after-the-end") << 100000.0 << 1 << 3599.0;
    QTest::newRow("before-the-start") << -0.5 << 0 << 0.0;
}

void StandServerTest::measRead1() {
    QFETCH(double, at);
    QFETCH(int, count);
    QFETCH(double, expected);
    Param reply = engineer.Request("MEAS_READ1", [&](TLXCliParam *p) {
        TLXPrmSetInt32(p, 0, 10001);
        TLXPrmSetDouble(p, 1, first + at);
    });
    QVERIFY(reply);
    const QByteArray block = FieldBytes(reply.get(), 0);
    QCOMPARE(block.size(), 13 + 29 * count);
    QCOMPARE(int(uint8_t(block[0])), 1);
    int headerCount = -1;
    std::memcpy(&headerCount, block.constData() + 5, 4);
    QCOMPARE(headerCount, count);
    if (count) {
        QVector<ArchiveRecord> records;
        QVERIFY(DecodeArchive(block, 13, &records));
        QCOMPARE(records[0].time, first + expected);
        QVERIFY(records[0].value > 49.5 && records[0].value < 50.5);
    }
}

void StandServerTest::badRequest_data() {
    QTest::addColumn<QByteArray>("command");
    QTest::addColumn<int>("shape");
    QTest::newRow("meas2-text-id") << QByteArray("MEAS_READ2") << 0;
    QTest::newRow("meas2-missing-to") << QByteArray("MEAS_READ2") << 1;
    QTest::newRow("meas1-no-fields") << QByteArray("MEAS_READ1") << 2;
    QTest::newRow("sql-int-field") << QByteArray("SQL_REQUEST") << 3;
    QTest::newRow("sql-no-field") << QByteArray("SQL_REQUEST") << 2;
    QTest::newRow("update-no-array") << QByteArray("SQL_UPDATE") << 4;
    QTest::newRow("update-no-table") << QByteArray("SQL_UPDATE") << 2;
    QTest::newRow("event-code-no-fields") << QByteArray("EVENT_CODE") << 2;
    QTest::newRow("unknown-command") << QByteArray("TBL_DELETE") << 4;
    QTest::newRow("admin-no-code") << QByteArray("ADMIN_EVENT") << 4;
    QTest::newRow("admin-bad-count") << QByteArray("ADMIN_EVENT") << 5;
}

void StandServerTest::badRequest() {
    QFETCH(QByteArray, command);
    QFETCH(int, shape);
    Param reply = engineer.Request(command.constData(), [&](TLXCliParam *p) {
        switch (shape) {
        case 0:
            TLXPrmSetText(p, 0, 3, "abc");
            TLXPrmSetDouble(p, 1, first);
            TLXPrmSetDouble(p, 2, last);
            break;
        case 1:
            TLXPrmSetInt32(p, 0, 10001);
            TLXPrmSetDouble(p, 1, first);
            break;
        case 3:
            TLXPrmSetInt32(p, 0, 5);
            break;
        case 4:
            TLXPrmSetText(p, 0, 11, "T_DEDUR_OBJ");
            break;
        case 5:
            TLXPrmSetInt32(p, 0, 8301);
            TLXPrmSetInt32(p, 5, -3);
            break;
        default:
            break;
        }
    });
    QVERIFY(reply);
    QCOMPARE(TLXPrmFieldType(reply.get(), 0), int(TL_INT32));
    QVERIFY(FieldInt(reply.get(), 0) != 0);
    // The connection goes on serving.
    QCOMPARE(Scalar(engineer, "select USRS_ID from T_THIS"), QString("1"));
}

void StandServerTest::srvVersion() {
    Param reply = engineer.Request("SRV_VERSION");
    QVERIFY(reply);
    QCOMPARE(FieldInt(reply.get(), 0), 0);
    QByteArray text = FieldBytes(reply.get(), 2);
    if (TLXDataIsCompress(text.size(), text.constData()) == 1) {
        void *plain = nullptr;
        int length = 0;
        QCOMPARE(TLXDataDeCompress(text.size(), text.constData(), &length, &plain), 0);
        text = QByteArray(static_cast<const char *>(plain), length);
        TLMemFree(plain);
    }
    QVERIFY(text.contains("MAJOR="));
    QVERIFY(text.contains("\r\nMINOR="));
    QVERIFY(text.contains("\r\nRELEASE="));
}

void StandServerTest::helpText_data() {
    QTest::addColumn<QString>("mention");
    for (const char *option : {"--db", "--port", "--listen", "--backfill-hours", "--seed", "--units", "--no-sim",
                               "--event-every", "--disturb-every", "--frequency-file", "--help", "operator / operator",
                               "engineer / engineer", "listening on"})
        QTest::newRow(option) << QString::fromLatin1(option);
}

void StandServerTest::helpText() {
    QFETCH(QString, mention);
    QProcess help;
    help.start(QStringLiteral(ZENTA_STAND_PATH), {"--help"});
    QVERIFY(help.waitForFinished(10000));
    QCOMPARE(help.exitCode(), 0);
    QVERIFY(QString::fromUtf8(help.readAllStandardOutput()).contains(mention));

    QProcess bad;
    bad.start(QStringLiteral(ZENTA_STAND_PATH),
              {"--db", "/tmp/x.db", mention == "--port" ? "--port" : "--bogus", "notanumber"});
    QVERIFY(bad.waitForFinished(10000));
    QVERIFY(bad.exitCode() != 0);
    QVERIFY(!bad.readAllStandardError().isEmpty());
}

// Prints how long a day of samples takes to come over loopback; figures only, no limits asserted.
void StandServerTest::dayReadTiming() {
    StandProcess day;
    QElapsedTimer startup;
    startup.start();
    QVERIFY2(day.Start({"--no-sim", "--backfill-hours", "24", "--units", "1"}), qPrintable(day.Error()));
    qInfo("24 h backfill (2 stations x 1 unit) and start: %lld ms", startup.elapsed());
    StandClient client;
    QCOMPARE(client.Open(day.Port(), "operator", "operator"), 0);
    const double end = Scalar(client, "select max(time) from Archive where meas_id = 10001").toDouble();
    qint64 best = -1;
    int records = 0;
    for (int run = 0; run < 3; ++run) {
        QElapsedTimer timer;
        timer.start();
        Param reply = client.Request("MEAS_READ2", [&](TLXCliParam *p) {
            TLXPrmSetInt32(p, 0, 10001);
            TLXPrmSetDouble(p, 1, end - 86399);
            TLXPrmSetDouble(p, 2, end);
        });
        const qint64 elapsed = timer.nsecsElapsed() / 1000;
        QVERIFY(reply);
        records = (FieldBytes(reply.get(), 0).size() - 21) / 29;
        best = best < 0 ? elapsed : qMin(best, elapsed);
    }
    QCOMPARE(records, 86400);
    qInfo("MEAS_READ2 of %d samples over loopback: best of 3 %.1f ms", records, best / 1000.0);
}

QTEST_GUILESS_MAIN(StandServerTest)
#include "stand_server_test.moc"
