// The demo power system: stations, their units and the measurement ids that carry their samples.
#pragma once

#include <string>
#include <vector>

namespace stand {

constexpr int kAnalogArchive = 201;
constexpr int kDiscreteArchive = 202;

struct UnitSpec {
    int number = 0;   // equipment number within the station
    std::string name; // UTF-8
    double nominalMw = 0;
    double droopPercent = 5;
    double deadBandHz = 0.075;
    double loadShare = 0.8;   // base load as a share of nominal power
    double performance = 1.0; // share of the required answer the unit really gives
    int powerId = 0;
    int calcId = 0;
    int breakerId = 0; // discrete: unit on line
};

struct StationSpec {
    std::string name;
    std::string shortName;
    int freqId = 0;
    int totalPowerId = 0;
    std::vector<UnitSpec> units;
};

struct DemoLayout {
    std::vector<StationSpec> stations;
};

DemoLayout MakeDemoLayout(int unitsPerStation);

// Object types of the demo: stations at the top; groups and generating units under a station.
enum DemoType { kStationType = 1, kGroupType = 3, kUnitType = 7 };

enum DemoSetting {
    kSetStationShortName = 1,
    kSetStationFreq = 2,
    kSetStationPower = 3,
    kSetGroupDescription = 5,
    kSetUnitNumber = 10,
    kSetUnitFreq = 11,
    kSetUnitPower = 12,
    kSetUnitCalc = 13,
    kSetUnitNominal = 14,
    kSetUnitDroop = 15,
    kSetUnitDeadBand = 16,
    kSetUnitBreaker = 17,
    kSetUnitNote = 18,
};

struct SettingDef {
    int id;
    int type;
    const char *key;
    const char *description;
    const char *datatype;
    int order;
};

const std::vector<SettingDef> &DemoSettings();

} // namespace stand
