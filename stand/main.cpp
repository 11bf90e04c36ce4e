#include "stand/demo_layout.h"
#include "stand/event_hub.h"
#include "stand/frequency_recording.h"
#include "stand/grid_model.h"
#include "stand/simulator.h"
#include "stand/stand_database.h"
#include "stand/stand_handler.h"
#include "stand/stand_options.h"
#include "support/process_tuning.h"

#include "tlx/tlx_server.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <memory>
#include <pthread.h>

int main(int argc, char **argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    stand::StandOptions options;
    std::string error;
    if (!stand::ParseOptions(args, &options, &error)) {
        std::cerr << "zenta-stand: " << error << "\n\n" << stand::HelpText();
        return 2;
    }
    if (options.help) {
        std::cout << stand::HelpText();
        return 0;
    }
    if (options.version) {
        std::cout << stand::VersionText();
        return 0;
    }
    // Every local user reaches a service on 127.0.0.1: the aids that forge events or stop the server
    // must never be on there, whatever its options file says.
    if (options.testAids && std::getenv("ZENTA_STAND_SERVICE")) {
        std::cerr << "zenta-stand: --test-aids is refused in the installed service (ZENTA_STAND_SERVICE is set)\n";
        return 2;
    }

    // Every archive read builds and copies blocks of megabytes.
    ProcessTuning::KeepLargeBlocks();

    // Threads started from here on inherit the mask; the main thread waits for these signals.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    sigaddset(&stopSignals, SIGHUP);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
    std::signal(SIGPIPE, SIG_IGN);

    std::shared_ptr<stand::FrequencyRecording> recording;
    if (!options.frequencyFile.empty()) {
        recording = std::make_shared<stand::FrequencyRecording>();
        if (!recording->Load(options.frequencyFile, &error)) {
            std::cerr << "zenta-stand: " << error << "\n";
            return 2;
        }
        std::cerr << "zenta-stand: " << options.frequencyFile << ": " << recording->Size() << " s of frequency, "
                  << recording->BadLines() << " bad lines skipped\n";
    }

    stand::GridModel model(stand::MakeDemoLayout(options.unitsPerStation), options.seed, options.disturbEverySec);
    model.SetRecording(recording);
    stand::StandDatabase db;
    bool created = false;
    if (!db.Open(options.dbPath, model.Layout(), &model, options.backfillHours, &created, &error)) {
        std::cerr << "zenta-stand: " << error << "\n";
        return 1;
    }
    db.SetArchiveCacheBytes(options.archiveCacheMiB << 20);
    if (created)
        std::cerr << "zenta-stand: created " << options.dbPath << " with the demo content\n";
    // An existing database keeps the layout it was made with; the simulator must write its measurements.
    const int storedUnits = db.StoredUnitsPerStation();
    if (storedUnits > 0 && storedUnits != options.unitsPerStation) {
        model = stand::GridModel(stand::MakeDemoLayout(storedUnits), options.seed, options.disturbEverySec);
        model.SetRecording(recording);
    }

    stand::EventHub events(&db);
    stand::StandHandler handler(&db, &events);
    tlx::ServerOptions serverOptions;
    serverOptions.listenAddress = options.listenAddress;
    serverOptions.port = uint16_t(options.port);
    serverOptions.compressAbove = options.compressAbove;
    serverOptions.heartbeatMs = options.heartbeatMs;
    serverOptions.maxConnections = options.maxConnections;
    serverOptions.maxPerAddress = options.maxPerAddress;
    tlx::Server server(serverOptions, &handler);
    handler.SetServer(&server);
    handler.SetTestAids(options.testAids);
    handler.SetTestStallSelectMs(options.testStallSelectMs);
    events.SetServer(&server);
    if (!server.Start(&error)) {
        std::cerr << "zenta-stand: cannot listen on " << options.listenAddress << ":" << options.port << ": " << error
                  << "\n";
        return 1;
    }

    stand::Simulator simulator(&db, &events, &model, options.backfillHours, options.eventEverySec);
    if (options.simulate)
        simulator.Start();

    std::printf("listening on %s:%u\n", options.listenAddress.c_str(), unsigned(server.Port()));
    std::fflush(stdout);

    int signal = 0;
    sigwait(&stopSignals, &signal);
    // A select may have seconds of its time limit left; the server is to stop at once.
    db.AbortReads();
    handler.StopWaits();
    simulator.Stop();
    events.SetServer(nullptr);
    server.Stop();
    db.Close();
    return 0;
}
