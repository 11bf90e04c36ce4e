#include "stand/stand_options.h"

#include <cerrno>
#include <cstdlib>

namespace stand {
namespace {

bool ToLong(const std::string &text, long long low, long long high, long long *out) {
    if (text.empty())
        return false;
    errno = 0;
    char *end = nullptr;
    const long long value = std::strtoll(text.c_str(), &end, 10);
    if (errno != 0 || *end != '\0' || value < low || value > high)
        return false;
    *out = value;
    return true;
}

bool ToDouble(const std::string &text, double low, double high, double *out) {
    if (text.empty())
        return false;
    errno = 0;
    char *end = nullptr;
    const double value = std::strtod(text.c_str(), &end);
    if (errno != 0 || *end != '\0' || !(value >= low && value <= high))
        return false;
    *out = value;
    return true;
}

} // namespace

bool ParseOptions(const std::vector<std::string> &args, StandOptions *options, std::string *error) {
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string &arg = args[i];
        auto value = [&](std::string *out) {
            if (i + 1 >= args.size()) {
                *error = "option " + arg + " needs a value";
                return false;
            }
            *out = args[++i];
            return true;
        };
        std::string v;
        long long n = 0;
        if (arg == "--help" || arg == "-h") {
            options->help = true;
        } else if (arg == "--version") {
            options->version = true;
        } else if (arg == "--no-sim") {
            options->simulate = false;
        } else if (arg == "--db") {
            if (!value(&v))
                return false;
            options->dbPath = v;
        } else if (arg == "--listen") {
            if (!value(&v))
                return false;
            options->listenAddress = v;
        } else if (arg == "--port") {
            if (!value(&v))
                return false;
            if (!ToLong(v, 0, 65535, &n)) {
                *error = "bad port: " + v;
                return false;
            }
            options->port = int(n);
        } else if (arg == "--backfill-hours") {
            if (!value(&v))
                return false;
            if (!ToDouble(v, 0, 24 * 366, &options->backfillHours)) {
                *error = "bad number of hours: " + v;
                return false;
            }
        } else if (arg == "--seed") {
            if (!value(&v))
                return false;
            if (!ToLong(v, 0, (1LL << 62), &n)) {
                *error = "bad seed: " + v;
                return false;
            }
            options->seed = uint64_t(n);
        } else if (arg == "--units") {
            if (!value(&v))
                return false;
            if (!ToLong(v, 1, 999, &n)) {
                *error = "bad number of units (1..999): " + v;
                return false;
            }
            options->unitsPerStation = int(n);
        } else if (arg == "--event-every") {
            if (!value(&v))
                return false;
            if (!ToLong(v, 0, 86400 * 365, &n)) {
                *error = "bad event period: " + v;
                return false;
            }
            options->eventEverySec = int(n);
        } else if (arg == "--disturb-every") {
            // The grid's behaviour: random disturbances and a recorded frequency.
            if (!value(&v))
                return false;
            if (!ToLong(v, 0, 86400 * 365, &n) || (n > 0 && n < 60)) {
                *error = "bad mean disturbance interval (0 or 60..31536000 s): " + v;
                return false;
            }
            options->disturbEverySec = int(n);
        } else if (arg == "--frequency-file") {
            if (!value(&v))
                return false;
            if (v.empty()) {
                *error = "--frequency-file needs a file name";
                return false;
            }
            options->frequencyFile = v;
        } else if (arg == "--compress-above") {
            if (!value(&v))
                return false;
            if (!ToLong(v, 0, 1LL << 40, &n)) {
                *error = "bad byte count: " + v;
                return false;
            }
            options->compressAbove = size_t(n);
        } else if (arg == "--archive-cache-mib") {
            if (!value(&v))
                return false;
            if (!ToLong(v, 0, 1 << 20, &n)) {
                *error = "bad cache size (0..1048576 MiB): " + v;
                return false;
            }
            options->archiveCacheMiB = size_t(n);
        } else if (arg == "--heartbeat-ms") {
            if (!value(&v))
                return false;
            if (!ToLong(v, 50, 60000, &n)) {
                *error = "bad heartbeat interval (50..60000 ms): " + v;
                return false;
            }
            options->heartbeatMs = int(n);
            // Resource limits against hostile or runaway clients.
        } else if (arg == "--max-connections" || arg == "--max-per-address") {
            if (!value(&v))
                return false;
            if (!ToLong(v, 1, 100000, &n)) {
                *error = "bad connection limit (1..100000): " + v;
                return false;
            }
            (arg == "--max-connections" ? options->maxConnections : options->maxPerAddress) = int(n);
        } else if (arg == "--test-aids") {
            options->testAids = true;
        } else if (arg == "--test-stall-select") {
            if (!value(&v))
                return false;
            if (!ToLong(v, 0, 600000, &n)) {
                *error = "bad stall (0..600000 ms): " + v;
                return false;
            }
            options->testStallSelectMs = int(n);
        } else {
            *error = "unknown option: " + arg;
            return false;
        }
    }
    if (options->testStallSelectMs > 0 && !options->testAids) {
        *error = "--test-stall-select is a test aid: it needs --test-aids";
        return false;
    }
    if (!options->help && !options->version && options->dbPath.empty()) {
        *error = "--db FILE is required";
        return false;
    }
    return true;
}

std::string HelpText() {
    return "zenta-stand: a stand-in for the station's SCADA server (development, demos, tests).\n"
           "\n"
           "Usage: zenta-stand --db FILE [options]\n"
           "\n"
           "  --db FILE             SQLite database; created with the schema, demo content and\n"
           "                        history when missing (required)\n"
           "  --port N              TCP port (default 1312; 0 = any free port)\n"
           "  --listen ADDR         address to listen on (default 127.0.0.1)\n"
           "  --backfill-hours H    history written when the database is created (default 24)\n"
           "  --seed N              seed of the simulator (default 1); the same seed gives the same data\n"
           "  --units N             units per station of the demo (default 3; two stations)\n"
           "  --no-sim              no live simulator: the archive stays as backfilled and no\n"
           "                        simulator events are sent\n"
           "  --event-every S       the simulator sends an ОПРЧ event every S seconds besides those of\n"
           "                        the grid's episodes (default 0 = none)\n"
           "  --disturb-every S     random grid disturbances of 80-300 mHz, one every S seconds on average\n"
           "                        (at least 60; default 0 = the grid's own noise and hourly steps only)\n"
           "  --frequency-file FILE replay a recorded frequency at 1 s instead of the model, looping:\n"
           "                        lines \"dd.MM.yyyy hh:mm:ss;Hz\" (UTC) or \"seconds since 1970;Hz\",\n"
           "                        or one value in Hz per line (then the first value plays at midnight UTC);\n"
           "                        bad lines are skipped and counted\n"
           "                        (the units' governors are their stored settings; see stand/README.md)\n"
           "  --compress-above N    replies larger than N bytes travel zlib-compressed (default 8388608)\n"
           "  --archive-cache-mib N finished archive hours kept in memory for span reads, up to\n"
           "                        N MiB (default 256; 0 = none)\n"
           "  --heartbeat-ms N      heartbeat sent to idle clients every N ms (default 1000)\n"
           "  --max-connections N   connections served at once (default 256); more are refused\n"
           "  --max-per-address N   connections served at once from one address (default 128)\n"
           "  --test-aids           tests only: accept ADMIN_EVENT and ADMIN_FAULT (see below);\n"
           "                        refused when ZENTA_STAND_SERVICE is set, as in the installed service\n"
           "  --test-stall-select MS  tests, with --test-aids: answer every select only after MS ms\n"
           "  --version             the version, then exit\n"
           "  --help                this text\n"
           "\n"
           "Once it accepts connections it prints one line: listening on ADDR:PORT\n"
           "\n"
           "Demo users (login / password):\n"
           "  operator / operator   may read, may not change objects\n"
           "  engineer / engineer   may read and change objects\n"
           "\n"
           "Test aids: the requests ADMIN_EVENT (emits events at once) and ADMIN_FAULT (kills or freezes\n"
           "the server at a chosen request) exist only with --test-aids, and then only for a user who may\n"
           "change objects, from 127.0.0.1; see tlx/PROTOCOL.md.\n";
}

std::string VersionText() {
    return std::string("zenta-stand ") + ZENTA_VERSION + "\n";
}

} // namespace stand
