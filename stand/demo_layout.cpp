#include "stand/demo_layout.h"

namespace stand {

const std::vector<SettingDef> &DemoSettings() {
    static const std::vector<SettingDef> settings = {
        {kSetStationShortName, kStationType, "StationShortName", "Краткое наименование станции", "STRING", 1},
        {kSetStationFreq, kStationType, "Freq", "Частота сети", "ARCH", 2},
        {kSetStationPower, kStationType, "Power", "Суммарная активная мощность", "ARCH", 3},
        {kSetGroupDescription, kGroupType, "Description", "Описание группы", "STRING", 1},
        {kSetUnitNumber, kUnitType, "GeneratingEquipmentNumber", "Станционный номер оборудования", "INT", 1},
        {kSetUnitFreq, kUnitType, "Freq", "Частота", "ARCH", 2},
        {kSetUnitPower, kUnitType, "Power", "Активная мощность", "ARCH", 3},
        {kSetUnitCalc, kUnitType, "DedurCalcResult", "Расчётная мощность ОПРЧ", "ARCH", 4},
        {kSetUnitNominal, kUnitType, "NominalPower", "Номинальная мощность, МВт", "DOUBLE", 5},
        {kSetUnitDroop, kUnitType, "Droop", "Статизм, %", "DOUBLE", 6},
        {kSetUnitDeadBand, kUnitType, "DeadBand", "Мёртвая полоса, Гц", "DOUBLE", 7},
        {kSetUnitBreaker, kUnitType, "Breaker", "Выключатель блока", "ARCH", 8},
        {kSetUnitNote, kUnitType, "Note", "Примечание", "STRING", 9},
    };
    return settings;
}

DemoLayout MakeDemoLayout(int unitsPerStation) {
    struct Seed {
        const char *name;
        const char *shortName;
        double nominal[3];
    };
    static const Seed seeds[] = {
        {"ГРЭС-1 «Заречная»", "ГРЭС-1", {200, 300, 330}},
        {"ТЭЦ-2 «Северная»", "ТЭЦ-2", {110, 180, 120}},
    };
    static const double droops[] = {5.0, 4.0, 6.0, 4.5};
    DemoLayout layout;
    int s = 0;
    for (const Seed &seed : seeds) {
        StationSpec station;
        station.name = seed.name;
        station.shortName = seed.shortName;
        const int base = 10000 * (s + 1);
        station.freqId = base + 1;
        station.totalPowerId = base + 2;
        for (int u = 1; u <= unitsPerStation; ++u) {
            UnitSpec unit;
            unit.number = u;
            unit.name = "Энергоблок №" + std::to_string(u);
            unit.nominalMw = seed.nominal[(u - 1) % 3];
            unit.droopPercent = droops[(u - 1 + s) % 4];
            unit.loadShare = 0.72 + 0.04 * ((u + s) % 4);
            // Every third unit answers weakly, so the demo shows violations.
            unit.performance = (u % 3 == 2) ? 0.45 : 1.0;
            unit.powerId = base + 1000 + u;
            unit.calcId = base + 2000 + u;
            unit.breakerId = base + 3000 + u;
            station.units.push_back(unit);
        }
        layout.stations.push_back(station);
        ++s;
    }
    return layout;
}

} // namespace stand
