#include "stand/event_hub.h"

#include "stand/text_codec.h"

#include "tlx/tlx.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <random>

namespace stand {
namespace {

void SetNamedText(TLXCliParam *p, int pos, const char *name, const std::string &utf8) {
    const std::string bytes = Utf8ToCp1251(utf8);
    TLXPrmSetText(p, pos, int(bytes.size()), bytes.data());
    TLXPrmSetName(p, pos, name);
}

void SetNamedDouble(TLXCliParam *p, int pos, const char *name, double value) {
    TLXPrmSetDouble(p, pos, value);
    TLXPrmSetName(p, pos, name);
}

} // namespace

EventHub::EventHub(StandDatabase *db) : db_(db) {}

void EventHub::SetServer(tlx::Server *server) {
    std::lock_guard<std::mutex> lock(mutex_);
    server_ = server;
}

void EventHub::Subscribe(tlx::ConnId conn, std::vector<int> codes) {
    std::sort(codes.begin(), codes.end());
    codes.erase(std::unique(codes.begin(), codes.end()), codes.end());
    std::lock_guard<std::mutex> lock(mutex_);
    subscriptions_[conn] = std::move(codes);
}

void EventHub::Forget(tlx::ConnId conn) {
    std::lock_guard<std::mutex> lock(mutex_);
    subscriptions_.erase(conn);
}

std::vector<int> EventHub::SubscriptionOf(tlx::ConnId conn) const {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = subscriptions_.find(conn);
    return it == subscriptions_.end() ? std::vector<int>() : it->second;
}

std::string EventHub::NewEventId() {
    static const uint64_t session = [] {
        std::random_device device;
        return (uint64_t(device()) << 32) ^ device();
    }();
    static std::atomic<uint64_t> counter{0};
    const uint64_t n = ++counter;
    char text[64];
    std::snprintf(text, sizeof text, "{%08X-%04X-4%03X-A%03X-%012llX}", unsigned(session >> 32),
                  unsigned((session >> 16) & 0xFFFF), unsigned(session & 0xFFF), unsigned((n >> 48) & 0xFFF),
                  static_cast<unsigned long long>(n & 0xFFFFFFFFFFFFull));
    return text;
}

TLXCliParam *EventHub::EventMessage(const StoredEvent &e) {
    TLXCliParam *p = TLXPrmCreate("EVENT", TLX_MSG_EVENT);
    int pos = 0;
    TLXPrmSetText(p, pos, int(e.id.size()), e.id.data());
    TLXPrmSetName(p, pos++, "_ID");
    TLXPrmSetInt32(p, pos, e.code);
    TLXPrmSetName(p, pos++, "_CODE");
    SetNamedDouble(p, pos++, "_DT", e.registered);
    SetNamedDouble(p, pos++, "_DTCP", e.time);
    SetNamedText(p, pos++, "_OBJ", e.obj);
    SetNamedText(p, pos++, "_CAPTION", e.caption);
    SetNamedText(p, pos++, "_COMMENT", e.comment);
    SetNamedText(p, pos++, "_DATA", e.data);
    SetNamedText(p, pos++, "_USER", e.user);
    TLXPrmSetBool(p, pos, e.kwit ? 1 : 0);
    TLXPrmSetName(p, pos++, "_KWIT");
    SetNamedText(p, pos++, "_KWITUSER", e.kwitUser);
    SetNamedDouble(p, pos++, "_KWITTIME", e.kwitTime);
    return p;
}

std::string EventHub::Emit(StoredEvent event) {
    if (event.id.empty())
        event.id = NewEventId();
    if (event.registered <= 0)
        event.registered = CTimeNow();
    if (event.time <= 0)
        event.time = event.registered;
    db_->StoreEvent(event);
    TLXCliParam *message = EventMessage(event);
    std::lock_guard<std::mutex> lock(mutex_);
    if (server_) {
        for (const auto &entry : subscriptions_) {
            if (std::binary_search(entry.second.begin(), entry.second.end(), event.code))
                server_->Push(entry.first, message);
        }
    }
    TLXPrmDestroy(message);
    return event.id;
}

bool EventHub::Acknowledge(const std::string &user, const std::string &eventId, int value) {
    const double now = CTimeNow();
    StoredEvent event;
    if (!db_->Acknowledge(eventId, user, now, value, &event))
        return false;
    // Every acknowledgement is announced, so a client that missed an earlier notice still learns it.
    TLXCliParam *notice = TLXPrmCreate("EVENT_KWIT", TLX_MSG_KWIT);
    TLXPrmSetText(notice, 0, int(eventId.size()), eventId.data());
    TLXPrmSetName(notice, 0, "_ID");
    SetNamedText(notice, 1, "_KWITUSER", event.kwitUser);
    SetNamedDouble(notice, 2, "_KWITTIME", event.kwitTime);
    TLXPrmSetInt32(notice, 3, event.code);
    TLXPrmSetName(notice, 3, "_CODE");
    std::lock_guard<std::mutex> lock(mutex_);
    if (server_) {
        for (const auto &entry : subscriptions_) {
            if (!entry.second.empty())
                server_->Push(entry.first, notice);
        }
    }
    TLXPrmDestroy(notice);
    return true;
}

} // namespace stand
