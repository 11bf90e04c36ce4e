// Answers the commands of clients: logins, selects, ОПРЧ writes, archive reads and events.
#pragma once

#include "stand/event_hub.h"
#include "stand/login_throttle.h"
#include "stand/stand_database.h"

#include "tlx/tlx_server.h"

#include <condition_variable>
#include <mutex>
#include <string>

namespace stand {

class StandHandler : public tlx::ServerHandler {
public:
    StandHandler(StandDatabase *db, EventHub *events);
    void SetServer(tlx::Server *server) { server_ = server; }
    void SetTestAids(bool on) { testAids_ = on; }
    void SetTestStallSelectMs(int ms) { testStallSelectMs_ = ms; }
    // Ends the waits of login throttling and test stalls at once, so that the server can stop.
    void StopWaits();

    bool Authenticate(tlx::ConnId conn, const std::string &user, const std::string &password) override;
    void OnRequest(tlx::ConnId conn, TLXCliParam *request, TLXCliParam *reply) override;
    void OnMessage(tlx::ConnId conn, TLXCliParam *message) override;
    void OnDisconnect(tlx::ConnId conn) override;

private:
    void SqlRequest(TLXCliParam *request, TLXCliParam *reply);
    void SqlUpdate(tlx::ConnId conn, TLXCliParam *request, TLXCliParam *reply);
    void MeasRead1(TLXCliParam *request, TLXCliParam *reply);
    void MeasRead2(TLXCliParam *request, TLXCliParam *reply);
    void EventCode(TLXCliParam *request, TLXCliParam *reply);
    void SrvVersion(TLXCliParam *reply);
    void AdminEvent(tlx::ConnId conn, TLXCliParam *request, TLXCliParam *reply);
    void AdminFault(tlx::ConnId conn, TLXCliParam *request, TLXCliParam *reply);
    // Raises the armed fault when this is the chosen request or message.
    void FaultPoint(const std::string &command);
    // Waits up to `ms`; false when the server is stopping.
    bool Wait(int ms);
    bool FromLoopback(tlx::ConnId conn) const;
    // False with the refusal in `reply` unless the aids are on and the caller may use them.
    bool TestAidAllowed(tlx::ConnId conn, const std::string &command, TLXCliParam *reply) const;

    StandDatabase *db_;
    EventHub *events_;
    tlx::Server *server_ = nullptr;
    LoginThrottle throttle_;
    bool testAids_ = false;
    int testStallSelectMs_ = 0;
    std::mutex waitMutex_;
    std::condition_variable waitCv_;
    bool stopping_ = false;

    // A fault armed by ADMIN_FAULT: the process signals itself at an exact step of a client's work.
    std::mutex faultMutex_;
    std::string faultCommand_;
    int faultCountdown_ = 0;
    int faultSignal_ = 0;
};

} // namespace stand
