#include "stand/demo_content.h"

#include "stand/password_hash.h"
#include "stand/sql_inserter.h"

#include <cstdio>
#include <string>

namespace stand {
namespace {

std::string Key(uint32_t kind, uint64_t n) {
    char text[64];
    std::snprintf(text, sizeof text, "{%08X-5A3E-4D1C-8E07-%012llX}", kind, static_cast<unsigned long long>(n));
    return text;
}

std::string Number(double v) {
    char text[32];
    std::snprintf(text, sizeof text, "%g", v);
    return text;
}

bool WriteTableList(sqlite3 *db) {
    SqlInserter tables(db, "INSERT INTO Tables VALUES(?,?,?,?)");
    struct TableRow {
        const char *lat;
        const char *loc;
        int id;
    };
    static const TableRow tableRows[] = {
        {"Tables", "Таблицы", 1},
        {"Users", "Пользователи", 2},
        {"IdentifiedObject", "Объекты", 3},
        {"Measurement", "Измерения", 4},
        {"T_DEDUR_OBJ", "Объекты ОПРЧ", 10},
        {"T_DEDUR_TYPE", "Типы объектов ОПРЧ", 11},
        {"T_DEDUR_SETTINGS", "Параметры типов ОПРЧ", 12},
        {"T_DEDUR_DATA", "Значения параметров ОПРЧ", 13},
        {"EventCat", "Категории событий", 20},
        {"EventCod", "Коды событий", 21},
        {"EvDedur", "События ОПРЧ", 22},
        {"T_EV_KWIT", "Квитирование событий", 23},
        {"T_THIS", "Текущий объект", 30},
        {"Analog", "Аналоговые измерения", kAnalogArchive},
        {"Discrete", "Дискретные измерения", kDiscreteArchive},
    };
    for (const TableRow &row : tableRows)
        tables.Text(Key(0x7AB1E000, uint64_t(row.id))).Text(row.lat).Text(row.loc).Int(row.id).Run();
    return tables.Ok();
}

bool WriteUsers(sqlite3 *db) {
    SqlInserter users(db, "INSERT INTO Users VALUES(?,?,?,?,?)");
    SqlInserter credentials(db, "INSERT INTO Credentials VALUES(?,?,?,?)");
    struct UserRow {
        const char *login;
        const char *fullName;
        bool canEdit;
    };
    static const UserRow userRows[] = {{"operator", "Оператор смены", false}, {"engineer", "Инженер по режимам", true}};
    int n = 0;
    for (const UserRow &row : userRows) {
        users.Text(Key(0x05E40000, uint64_t(++n)))
            .Text(row.login)
            .Text(row.login)
            .Text(row.fullName)
            .Int(row.canEdit)
            .Run();
        // Demo credentials: the password equals the login.
        const PasswordHash hash = MakePasswordHash(row.login);
        credentials.Text(row.login).Blob(hash.salt).Blob(hash.hash).Int(hash.iterations).Run();
    }
    SqlInserter thisRow(db, "INSERT INTO T_THIS VALUES(?,?)");
    thisRow.Text(Key(0x7415, 1)).Int(1).Run();
    return users.Ok() && credentials.Ok() && thisRow.Ok();
}

bool WriteEventCodes(sqlite3 *db) {
    SqlInserter categories(db, "INSERT INTO EventCat VALUES(?,?,?)");
    const std::string systemCat = Key(0xEC000000, 1), dedurCat = Key(0xEC000000, 2), kwitCat = Key(0xEC000000, 3);
    categories.Text(systemCat).Int(1).Text("Системные события").Run();
    categories.Text(dedurCat).Int(2).Text("ОПРЧ").Run();
    categories.Text(kwitCat).Int(3).Text("Квитирование").Run();
    SqlInserter codes(db, "INSERT INTO EventCod VALUES(?,?,?,?)");
    struct CodeRow {
        int code;
        const char *name;
        const std::string *category;
    };
    const CodeRow codeRows[] = {
        {501, "Событие квитировано", &kwitCat},
        {601, "Контроль связи с сервером", &systemCat},
        {602, "Синхронизация времени", &systemCat},
        {603, "Обновление конфигурации сервера", &systemCat},
        {8301, "ОПРЧ: выход частоты за мёртвую полосу", &dedurCat},
        {8302, "ОПРЧ: возврат частоты в мёртвую полосу", &dedurCat},
        {8303, "ОПРЧ: недостаточное участие в регулировании", &dedurCat},
        {8304, "ОПРЧ: первичное регулирование выполнено", &dedurCat},
        {8305, "ОПРЧ: превышено время реакции", &dedurCat},
        {8306, "ОПРЧ: блок выведен из регулирования", &dedurCat},
        {8307, "ОПРЧ: блок введён в регулирование", &dedurCat},
        {8308, "ОПРЧ: нет данных телеизмерений", &dedurCat},
    };
    for (const CodeRow &row : codeRows)
        codes.Text(Key(0xC0DE0000, uint64_t(row.code))).Int(row.code).Text(row.name).Text(*row.category).Run();
    return categories.Ok() && codes.Ok();
}

bool WriteTypes(sqlite3 *db) {
    SqlInserter types(db, "INSERT INTO T_DEDUR_TYPE VALUES(?,?,?,?)");
    types.Text(Key(0x7E000000, 1)).Int(kStationType).Text("Электростанция").Int(0).Run();
    types.Text(Key(0x7E000000, 3)).Int(kGroupType).Text("Группа оборудования").Int(kStationType).Run();
    types.Text(Key(0x7E000000, 7)).Int(kUnitType).Text("Генерирующее оборудование").Int(kStationType).Run();
    SqlInserter settings(db, "INSERT INTO T_DEDUR_SETTINGS VALUES(?,?,?,?,?,?,?)");
    for (const SettingDef &def : DemoSettings())
        settings.Text(Key(0x5E770000, uint64_t(def.id)))
            .Int(def.id)
            .Int(def.type)
            .Text(def.key)
            .Text(def.description)
            .Text(def.datatype)
            .Int(def.order)
            .Run();
    return types.Ok() && settings.Ok();
}

// The writes of the stations' objects, with the running numbers of objects and setting values.
struct ObjectRows {
    explicit ObjectRows(sqlite3 *db)
        : meas(db, "INSERT INTO Measurement VALUES(?,?,?,?)"),
          identified(db, "INSERT INTO IdentifiedObject VALUES(?,?,?)"),
          objects(db, "INSERT INTO T_DEDUR_OBJ VALUES(?,?,?,?,?,?,?)"),
          data(db, "INSERT INTO T_DEDUR_DATA VALUES(?,?,?,?,?,?)") {}
    SqlInserter meas, identified, objects, data;
    int objectId = 0;
    int dataId = 0;
};

void AddMeasurement(ObjectRows *rows, int locId, const std::string &name, const char *unit, bool analog) {
    const std::string key = Key(0x3EA50000, uint64_t(locId));
    rows->meas.Text(key).Int(locId).Text(unit).Int(analog ? kAnalogArchive : kDiscreteArchive).Run();
    rows->identified.Text(key).Text(name).Text(analog ? "Analog" : "Discrete").Run();
}

int AddObject(ObjectRows *rows, const std::string &name, int type, int parent, int order) {
    const int id = ++rows->objectId;
    rows->objects.Text(Key(0x0B1E0000, uint64_t(id))).Int(id).Text(name).Int(type).Int(parent).Int(1).Int(order).Run();
    return id;
}

void SetValue(ObjectRows *rows, int object, int setting, const std::string &value, int arch) {
    const int id = ++rows->dataId;
    rows->data.Text(Key(0xDA7A0000, uint64_t(id))).Int(id).Int(object).Int(setting).Text(value).Int(arch).Run();
}

void WriteUnit(ObjectRows *rows, const StationSpec &station, const UnitSpec &unit, int stationId, int order) {
    const std::string prefix = station.shortName + " " + unit.name;
    AddMeasurement(rows, unit.powerId, prefix + ": активная мощность", "МВт", true);
    AddMeasurement(rows, unit.calcId, prefix + ": расчётная мощность ОПРЧ", "МВт", true);
    AddMeasurement(rows, unit.breakerId, prefix + ": выключатель", "", false);
    const int unitId = AddObject(rows, unit.name, kUnitType, stationId, order);
    SetValue(rows, unitId, kSetUnitNumber, std::to_string(unit.number), 0);
    SetValue(rows, unitId, kSetUnitFreq, std::to_string(station.freqId), kAnalogArchive);
    SetValue(rows, unitId, kSetUnitPower, std::to_string(unit.powerId), kAnalogArchive);
    SetValue(rows, unitId, kSetUnitCalc, std::to_string(unit.calcId), kAnalogArchive);
    SetValue(rows, unitId, kSetUnitNominal, Number(unit.nominalMw), 0);
    SetValue(rows, unitId, kSetUnitDroop, Number(unit.droopPercent), 0);
    SetValue(rows, unitId, kSetUnitDeadBand, Number(unit.deadBandHz), 0);
    SetValue(rows, unitId, kSetUnitBreaker, std::to_string(unit.breakerId), kDiscreteArchive);
    SetValue(rows, unitId, kSetUnitDeadTime, Number(unit.physics.deadTimeSec), 0);
    SetValue(rows, unitId, kSetUnitTimeConstant, Number(unit.physics.timeConstantSec), 0);
    SetValue(rows, unitId, kSetUnitRampLimit, Number(unit.physics.rampMwPerSec), 0);
    SetValue(rows, unitId, kSetUnitMinPower, Number(unit.physics.minMw), 0);
    SetValue(rows, unitId, kSetUnitMaxPower, Number(unit.physics.maxMw), 0);
    SetValue(rows, unitId, kSetUnitGovernor, unit.physics.governorOn ? "1" : "0", 0);
    SetValue(rows, unitId, kSetUnitProfile, unit.profile, 0);
}

void WriteStation(ObjectRows *rows, const StationSpec &station, int order) {
    AddMeasurement(rows, station.freqId, station.shortName + ": частота сети", "Гц", true);
    AddMeasurement(rows, station.totalPowerId, station.shortName + ": суммарная активная мощность", "МВт", true);
    const int stationId = AddObject(rows, station.name, kStationType, 0, order);
    SetValue(rows, stationId, kSetStationShortName, station.shortName, 0);
    SetValue(rows, stationId, kSetStationFreq, std::to_string(station.freqId), kAnalogArchive);
    SetValue(rows, stationId, kSetStationPower, std::to_string(station.totalPowerId), kAnalogArchive);
    int unitOrder = 0;
    for (const UnitSpec &unit : station.units)
        WriteUnit(rows, station, unit, stationId, ++unitOrder);
    // A few measurements that no object uses, as a real station has them.
    const int base = station.freqId - 1;
    AddMeasurement(rows, base + 11, station.shortName + ": напряжение шин 220 кВ", "кВ", true);
    AddMeasurement(rows, base + 12, station.shortName + ": реактивная мощность", "Мвар", true);
    AddMeasurement(rows, base + 13, station.shortName + ": РУ 220 кВ в работе", "", false);
}

bool WriteObjects(sqlite3 *db, const DemoLayout &layout) {
    ObjectRows rows(db);
    int order = 0;
    for (const StationSpec &station : layout.stations)
        WriteStation(&rows, station, ++order);
    return rows.meas.Ok() && rows.identified.Ok() && rows.objects.Ok() && rows.data.Ok();
}

} // namespace

bool WriteDemoContent(sqlite3 *db, const DemoLayout &layout) {
    bool ok = WriteTableList(db);
    ok = WriteUsers(db) && ok;
    ok = WriteEventCodes(db) && ok;
    ok = WriteTypes(db) && ok;
    return WriteObjects(db, layout) && ok;
}

} // namespace stand
