// The demo power system: stations, their units and the measurement ids that carry their samples.
#pragma once

#include <string>
#include <vector>

namespace stand {

constexpr int kAnalogArchive = 201;
constexpr int kDiscreteArchive = 202;

// How a unit's governor and turbine answer; stored as the unit's settings, so a trainer may change them
// while the stand runs.
struct UnitPhysics {
    double deadTimeSec = 1;     // before the governor sees a change of frequency
    double timeConstantSec = 8; // of the governor and turbine, first order
    double rampMwPerSec = 0;    // fastest change of power; 0 = no limit
    double minMw = 0;           // technical minimum
    double maxMw = 0;           // largest power the unit can give
    bool governorOn = true;     // primary regulation switched on
};

struct UnitSpec {
    int number = 0;   // equipment number within the station
    std::string name; // UTF-8
    double nominalMw = 0;
    double droopPercent = 5;
    double deadBandHz = 0.075;
    // Set point as a share of nominal power at the night minimum and at the evening peak of the daily load.
    double nightShare = 0.6;
    double peakShare = 0.85;
    UnitPhysics physics;
    int powerId = 0;
    int calcId = 0;
    int breakerId = 0;            // discrete: unit on line
    std::string profile = "ОПРЧ"; // the regime profile its answers are judged by (the client's names)
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
    kSetUnitDeadTime = 19,
    kSetUnitTimeConstant = 20,
    kSetUnitRampLimit = 21,
    kSetUnitMinPower = 22,
    kSetUnitMaxPower = 23,
    kSetUnitGovernor = 24,
    kSetUnitProfile = 25,
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
