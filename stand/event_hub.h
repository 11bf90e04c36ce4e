// Per-connection event subscriptions, emission of events and the acknowledgement broadcast.
#pragma once

#include "stand/stand_database.h"

#include "tlx/tlx_server.h"

#include <map>
#include <mutex>
#include <string>
#include <vector>

namespace stand {

class EventHub {
public:
    explicit EventHub(StandDatabase *db);
    EventHub(const EventHub &) = delete;
    EventHub &operator=(const EventHub &) = delete;

    void SetServer(tlx::Server *server);
    // codes need not be sorted; an empty list subscribes to nothing.
    void Subscribe(tlx::ConnId conn, std::vector<int> codes);
    void Forget(tlx::ConnId conn);
    std::vector<int> SubscriptionOf(tlx::ConnId conn) const;

    // Stores the event (a fresh id when it has none) and pushes it to every client subscribed to its
    // code. Returns the id.
    std::string Emit(StoredEvent event);
    // Records the acknowledgement and sends a notice to every subscribed client. False for an
    // unknown event.
    bool Acknowledge(const std::string &user, const std::string &eventId, int value);

    static std::string NewEventId();
    static TLXCliParam *EventMessage(const StoredEvent &event);

private:
    StandDatabase *db_;
    tlx::Server *server_ = nullptr;
    mutable std::mutex mutex_;
    std::map<tlx::ConnId, std::vector<int>> subscriptions_;
};

} // namespace stand
