#pragma once
// com.nylo.connectionmanager: "getstatus" answers {"returnValue": true, "wan": {"state", "network",
// "ipAddress"}} at once and, with {"subscribe": true}, again on every change. The data connection starts
// "connected" on a "usable" network at 127.0.0.1 (an address the daemon can bind); the control service
// changes it.

#include "PlatformSim/Json.h"
#include "PlatformSim/PlatformBus.h"
#include "PlatformSim/SimEvents.h"

#include <functional>
#include <string>

namespace PlatformSim
{
class CConnectionManager
{
public:
    static constexpr char NAME[] = "com.nylo.connectionmanager";

    CConnectionManager(CPlatformBus& bus, CSimEvents& events);

    // Changes the members given (null leaves one as it is), then tells the subscribers and the listener.
    void Set(const char* state, const char* network, const char* ipAddress);
    // What an activity requiring "wan" waits for: a state other than "disconnected" on a network other
    // than "unusable".
    bool IsWanUsable() const;
    // The status as getstatus answers it.
    std::string Status() const;
    void SetChangeListener(std::function<void()> listener) { m_changeListener = std::move(listener); }

private:
    void GetStatus(const TBusMessageSPtr& message);
    // A new {"state", "network", "ipAddress"} object.
    json_object* NewWan() const;

    CPlatformBus& m_bus;
    CSimEvents& m_events;
    std::string m_state = "connected";
    std::string m_network = "usable";
    std::string m_ipAddress = "127.0.0.1";
    std::function<void()> m_changeListener;
};
} // namespace PlatformSim
