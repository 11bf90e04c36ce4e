#include "stand/simulator.h"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>

namespace stand {
namespace {

constexpr int kWarmUp = 600;
constexpr int kRefreshSeconds = 5; // how soon a unit setting changed through the server takes effect

std::string FormatUtc(int64_t t) {
    const std::time_t tt = std::time_t(t);
    std::tm tm{};
    gmtime_r(&tt, &tm);
    char text[96];
    std::snprintf(text, sizeof text, "%02d.%02d.%04d %02d:%02d:%02d", tm.tm_mday, tm.tm_mon + 1, tm.tm_year + 1900,
                  tm.tm_hour, tm.tm_min, tm.tm_sec);
    return text;
}

std::string Number(double v) {
    char text[32];
    std::snprintf(text, sizeof text, "%.6g", v);
    return text;
}

// Russian texts show decimals with a comma.
std::string Decimal(double v, int digits) {
    char text[32];
    std::snprintf(text, sizeof text, "%.*f", digits, v);
    std::string s = text;
    for (char &c : s) {
        if (c == '.')
            c = ',';
    }
    return s;
}

} // namespace

Simulator::Simulator(StandDatabase *db, EventHub *events, GridModel *model, double catchUpHours, int eventEverySec)
    : db_(db), events_(events), model_(model), catchUpHours_(catchUpHours), eventEverySec_(eventEverySec) {}

Simulator::~Simulator() {
    Stop();
}

void Simulator::Start() {
    stop_ = false;
    thread_ = std::thread(&Simulator::Run, this);
}

void Simulator::Stop() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stop_ = true;
    }
    wake_.notify_all();
    if (thread_.joinable())
        thread_.join();
}

std::string Simulator::CsvOf(const std::vector<UnitSecond> &seconds) {
    std::string csv;
    csv.reserve(seconds.size() * 40);
    for (const UnitSecond &s : seconds)
        csv += FormatUtc(s.t) + ";" + Number(s.freq) + ";" + Number(s.power) + "\n";
    return csv;
}

int Simulator::ObjectIdOf(int station, int unit) const {
    // Demo objects are numbered station by station: the station, then its units.
    const DemoLayout &layout = model_->Layout();
    int id = 1;
    for (int s = 0; s < station; ++s)
        id += 1 + int(layout.stations[size_t(s)].units.size());
    return unit < 0 ? id : id + 1 + unit;
}

StoredEvent Simulator::EpisodeEvent(const EpisodeReport &report) const {
    const StationSpec &station = model_->Layout().stations[size_t(report.station)];
    const UnitSpec &unit = station.units[size_t(report.unit)];
    StoredEvent event;
    event.time = double(report.end);
    event.obj = std::to_string(ObjectIdOf(report.station, report.unit));
    event.caption = station.shortName + " " + unit.name;
    event.user = "zenta-stand";
    event.data = CsvOf(model_->History(report.station, report.unit, report.start - 30, report.end));
    const std::string deviation = Decimal(report.worstDeviationHz * 1000.0, 0) + " мГц";
    if (report.violationSeconds > 0) {
        event.code = 8303;
        event.kwit = true;
        event.comment =
            "отклонение частоты " + deviation + ", нарушение " + std::to_string(report.violationSeconds) + " с";
    } else {
        event.code = 8304;
        event.kwit = false;
        event.comment = "отклонение частоты " + deviation + ", требуемая мощность выдана";
    }
    return event;
}

void Simulator::ApplySettings(const std::map<std::string, std::string> &settings, UnitParams *params) {
    auto number = [&](const char *key, double low, double high, double *out) {
        auto it = settings.find(key);
        if (it == settings.end())
            return;
        std::string text = it->second;
        for (char &c : text) {
            if (c == ',')
                c = '.';
        }
        char *end = nullptr;
        const double v = std::strtod(text.c_str(), &end);
        if (!text.empty() && end && *end == '\0' && v >= low && v <= high)
            *out = v;
    };
    number("NominalPower", 1, 5000, &params->nominalMw);
    number("Droop", 0.5, 50, &params->droopPercent);
    number("DeadBand", 0, 1, &params->deadBandHz);
    number("DeadTime", 0, 60, &params->physics.deadTimeSec);
    number("TimeConstant", 0.1, 600, &params->physics.timeConstantSec);
    number("RampLimit", 0, 5000, &params->physics.rampMwPerSec);
    number("MinPower", 0, 5000, &params->physics.minMw);
    number("MaxPower", 0, 5000, &params->physics.maxMw);
    double governor = params->physics.governorOn ? 1 : 0;
    number("Governor", 0, 1, &governor);
    params->physics.governorOn = governor != 0;
}

void Simulator::RefreshUnits() {
    if (!db_)
        return;
    const DemoLayout &layout = model_->Layout();
    for (const auto &object : db_->UnitSettings()) {
        // The unit is the one whose power the object's Power setting names.
        auto power = object.second.find("Power");
        if (power == object.second.end())
            continue;
        const int powerId = std::atoi(power->second.c_str());
        for (size_t s = 0; s < layout.stations.size(); ++s) {
            for (size_t u = 0; u < layout.stations[s].units.size(); ++u) {
                if (layout.stations[s].units[u].powerId != powerId)
                    continue;
                UnitParams params = model_->Params(int(s), int(u));
                ApplySettings(object.second, &params);
                model_->SetParams(int(s), int(u), params);
            }
        }
    }
}

void Simulator::EmitPeriodicEvent(int64_t t) {
    const DemoLayout &layout = model_->Layout();
    if (layout.stations.empty() || layout.stations[0].units.empty())
        return;
    const int n = periodicCount_++;
    const int station = n % int(layout.stations.size());
    const int unit = (n / int(layout.stations.size())) % int(layout.stations[size_t(station)].units.size());
    StoredEvent event;
    event.code = 8301 + n % 8;
    event.kwit = event.code % 2 == 1;
    event.time = double(t);
    event.obj = std::to_string(ObjectIdOf(station, unit));
    event.caption =
        layout.stations[size_t(station)].shortName + " " + layout.stations[size_t(station)].units[size_t(unit)].name;
    event.comment = "контрольное событие симулятора №" + std::to_string(n + 1);
    event.user = "zenta-stand";
    event.data = CsvOf(model_->History(station, unit, t - 60, t));
    events_->Emit(event);
}

void Simulator::Tick(int64_t t, bool live) {
    // A trainer's change made from outside takes effect at the next second; the regular reread
    // catches the rest.
    if (t % kRefreshSeconds == 0 || (live && db_->ChangedElsewhere()))
        RefreshUnits();
    std::vector<Sample> samples;
    model_->Step(t, &samples);
    db_->AppendSamples(samples);
    if (!live)
        return;
    for (const EpisodeReport &report : model_->EndedEpisodes())
        events_->Emit(EpisodeEvent(report));
    if (eventEverySec_ > 0 && t % eventEverySec_ == 0)
        EmitPeriodicEvent(t);
    // Service events that the client subscribes to and never shows.
    if (t % 120 == 0 || t % 600 == 1 || t % 3600 == 2) {
        StoredEvent service;
        service.code = t % 120 == 0 ? 601 : (t % 600 == 1 ? 602 : 603);
        service.time = double(t);
        service.caption = "Сервер";
        service.comment = "служебное событие";
        service.user = "zenta-stand";
        events_->Emit(service);
    }
}

void Simulator::Run() {
    const int64_t now = int64_t(std::time(nullptr)) - 1;
    const int64_t last = int64_t(db_->LastArchiveTime());
    int64_t from = now - int64_t(std::llround(catchUpHours_ * 3600.0)) + 1;
    if (last > 0 && last + 1 > from)
        from = last + 1;
    if (from > now + 1)
        from = now + 1;
    RefreshUnits();
    model_->Reset(from - kWarmUp);
    std::vector<Sample> scratch;
    for (int64_t t = from - kWarmUp; t < from; ++t) {
        scratch.clear();
        model_->Step(t, &scratch);
    }
    model_->RequestDiscreteSnapshot();
    // Catch up in chunks so live readers are never held for long.
    int64_t t = from;
    while (true) {
        const int64_t target = int64_t(std::time(nullptr)) - 1;
        if (t > target)
            break;
        std::vector<Sample> chunk;
        for (int n = 0; n < 600 && t <= target; ++n, ++t)
            model_->Step(t, &chunk);
        db_->AppendSamples(chunk);
        std::lock_guard<std::mutex> lock(mutex_);
        if (stop_)
            return;
    }
    std::unique_lock<std::mutex> lock(mutex_);
    while (!stop_) {
        // Wake just after the wall clock passes second t.
        const auto due =
            std::chrono::system_clock::time_point(std::chrono::seconds(t + 1)) + std::chrono::milliseconds(20);
        if (wake_.wait_until(lock, due, [this] { return stop_; }))
            break;
        const int64_t target = int64_t(std::time(nullptr)) - 1;
        lock.unlock();
        while (t <= target) {
            Tick(t, true);
            ++t;
        }
        lock.lock();
    }
}

} // namespace stand
