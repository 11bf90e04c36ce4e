// The live simulator: a thread that writes one sample per second per measurement and turns ОПРЧ
// episodes of the model into events.
#pragma once

#include "stand/event_hub.h"
#include "stand/grid_model.h"
#include "stand/stand_database.h"

#include <condition_variable>
#include <map>
#include <mutex>
#include <thread>

namespace stand {

class Simulator {
public:
    Simulator(StandDatabase *db, EventHub *events, GridModel *model, double catchUpHours, int eventEverySec);
    ~Simulator();
    Simulator(const Simulator &) = delete;
    Simulator &operator=(const Simulator &) = delete;

    // Fills the gap since the last archived second (at most catchUpHours), then runs live.
    void Start();
    void Stop();

    // CSV lines of one unit's seconds, in the format of the client's CSV files (UTC times).
    static std::string CsvOf(const std::vector<UnitSecond> &seconds);
    // The event that tells about one unit's episode, with the episode's seconds as CSV data.
    StoredEvent EpisodeEvent(const EpisodeReport &report) const;
    // A unit's parameters after its stored settings (key to text); unreadable or absurd values keep *params.
    static void ApplySettings(const std::map<std::string, std::string> &settings, UnitParams *params);
    // Reads the units' stored settings into the model.
    void RefreshUnits();

private:
    void Run();
    void Tick(int64_t t, bool live);
    void EmitPeriodicEvent(int64_t t);
    int ObjectIdOf(int station, int unit) const;

    StandDatabase *db_;
    EventHub *events_;
    GridModel *model_;
    double catchUpHours_;
    int eventEverySec_;
    int periodicCount_ = 0;
    std::thread thread_;
    std::mutex mutex_;
    std::condition_variable wake_;
    bool stop_ = false;
};

} // namespace stand
