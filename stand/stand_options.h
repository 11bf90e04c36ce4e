// Command line of zenta-stand.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace stand {

struct StandOptions {
    std::string dbPath;
    std::string listenAddress = "127.0.0.1";
    int port = 1312;           // 0 = any free port
    double backfillHours = 24; // history written when the database is created
    uint64_t seed = 1;
    int unitsPerStation = 3;
    bool simulate = true;      // live simulator writing one sample a second
    int eventEverySec = 0;     // periodic simulator events; 0 = none
    int disturbEverySec = 0;   // mean interval of random disturbances; 0 = the grid's own noise only
    std::string frequencyFile; // a recorded frequency replayed instead of the model
    size_t compressAbove = 8u << 20;
    size_t archiveCacheMiB = 256; // finished archive hours held for span reads
    int heartbeatMs = 1000;       // heartbeat to idle clients; tests with a short client silence limit lower it
    int maxConnections = 256;
    int maxPerAddress = 128;
    bool testAids = false;     // tests: ADMIN_EVENT, ADMIN_FAULT and the other aids below
    int testStallSelectMs = 0; // tests: every select is answered only after this long
    bool help = false;
    bool version = false;
};

// False with a message for an unknown option or a bad value.
bool ParseOptions(const std::vector<std::string> &args, StandOptions *options, std::string *error);
std::string HelpText();
std::string VersionText();

} // namespace stand
