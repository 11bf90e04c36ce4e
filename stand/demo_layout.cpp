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
        {kSetUnitDeadTime, kUnitType, "DeadTime", "Запаздывание регулятора, с", "DOUBLE", 10},
        {kSetUnitTimeConstant, kUnitType, "TimeConstant", "Постоянная времени регулятора, с", "DOUBLE", 11},
        {kSetUnitRampLimit, kUnitType, "RampLimit", "Предельная скорость набора мощности, МВт/с (0 — без предела)",
         "DOUBLE", 12},
        {kSetUnitMinPower, kUnitType, "MinPower", "Технический минимум, МВт", "DOUBLE", 13},
        {kSetUnitMaxPower, kUnitType, "MaxPower", "Максимальная мощность, МВт", "DOUBLE", 14},
        {kSetUnitGovernor, kUnitType, "Governor", "Регулятор ОПРЧ включён (1 — да, 0 — нет)", "INT", 15},
        {kSetUnitProfile, kUnitType, "RegimeProfile",
         "Профиль оценки (ОПРЧ; НПРЧ; ОПРЧ, паровой блок; ОПРЧ, паровой неблочный; ОПРЧ, ГТУ и ПГУ; ОПРЧ, "
         "газопоршневой)",
         "STRING", 16},
    };
    return settings;
}

DemoLayout MakeDemoLayout(int unitsPerStation) {
    // The first units of each station as a trainer would set them up: most answer soundly, one has a slow,
    // rate-limited governor (short in every disturbance), one is loaded close to its maximum at the
    // evening peak (short on under-frequency then). Further units are sound ones.
    struct Template {
        double nominal, droop, nightShare, peakShare, deadTime, timeConstant, rampShare, minShare, maxShare;
    };
    struct Seed {
        const char *name;
        const char *shortName;
        Template units[3];
    };
    static const Seed seeds[] = {
        {"ГРЭС-1 «Заречная»",
         "ГРЭС-1",
         {{200, 5.0, 0.62, 0.995, 0.8, 7, 0.02, 0.45, 1.0},
          {300, 4.0, 0.55, 0.82, 0.6, 6, 0.02, 0.40, 1.0},
          {330, 6.0, 0.60, 0.80, 2.5, 20, 0.0015, 0.40, 1.0}}},
        {"ТЭЦ-2 «Северная»",
         "ТЭЦ-2",
         {{110, 4.5, 0.60, 0.80, 3.0, 18, 0.002, 0.45, 1.0},
          {180, 5.0, 0.58, 0.84, 0.7, 8, 0.02, 0.40, 1.0},
          {120, 5.0, 0.65, 0.995, 1.0, 6, 0.02, 0.50, 1.0}}},
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
            Template t = seed.units[(u - 1) % 3];
            if (u > 3) {
                // Sound units of the same sizes with their own governors.
                t.droop = droops[(u - 1 + s) % 4];
                t.nightShare = 0.55 + 0.02 * (u % 4);
                t.peakShare = 0.78 + 0.02 * (u % 4);
                t.deadTime = 0.5 + 0.1 * (u % 6);
                t.timeConstant = 5 + (u % 5);
                t.rampShare = 0.02;
                t.minShare = 0.4;
                t.maxShare = 1.0;
            }
            UnitSpec unit;
            unit.number = u;
            unit.name = "Энергоблок №" + std::to_string(u);
            unit.nominalMw = t.nominal;
            unit.droopPercent = t.droop;
            unit.nightShare = t.nightShare;
            unit.peakShare = t.peakShare;
            unit.physics.deadTimeSec = t.deadTime;
            unit.physics.timeConstantSec = t.timeConstant;
            unit.physics.rampMwPerSec = t.rampShare * t.nominal;
            unit.physics.minMw = t.minShare * t.nominal;
            unit.physics.maxMw = t.maxShare * t.nominal;
            unit.powerId = base + 1000 + u;
            unit.calcId = base + 2000 + u;
            unit.breakerId = base + 3000 + u;
            // ТЭЦ-2 unit 2 is a combined-cycle unit, judged on the full amount by 900 s.
            if (s == 1 && u == 2)
                unit.profile = "ОПРЧ, ГТУ и ПГУ";
            station.units.push_back(unit);
        }
        layout.stations.push_back(station);
        ++s;
    }
    return layout;
}

} // namespace stand
