#pragma once
// com.nylo.telephony:
// - "phoneNumberQuery" → {"returnValue": true, "extended": {"number"}};
// - "networkStatusQuery" → {"returnValue": true, "extended": {"cdma": {"inPrl"}}, "eventNetwork": {"cdma":
//   {"inPrl"}}}, at once and, with {"subscribe": true}, on every change;
// - "poweringOff" → {"returnValue": true, "poweringOff": false} at once and, when subscribed,
//   {"returnValue": true, "poweringOff": true} once a power-down starts;
// - "registerPowerDownApplication" {"register", "clientName"} → {"returnValue": true, "clientId"} (register
//   false drops the client's registrations); "powerDownAck" {"clientId"} records an acknowledgement.
// A power-down ends once every registered client acknowledged, or after the time-out (5 s), with the
// data connection going "disconnected" as the phone switches off.

#include "PlatformSim/ConnectionManager.h"
#include "PlatformSim/GlibTimer.h"
#include "PlatformSim/PlatformBus.h"
#include "PlatformSim/SimEvents.h"

#include <map>
#include <set>
#include <string>

namespace PlatformSim
{
class CTelephony
{
public:
    static constexpr char NAME[] = "com.nylo.telephony";

    CTelephony(CPlatformBus& bus, CSimEvents& events, CConnectionManager& connection, unsigned powerDownTimeoutMs);

    void SetPhoneNumber(const std::string& number) { m_number = number; }
    void SetInPrl(bool inPrl);
    void StartPowerDown();
    // {"returnValue": true, "registrations": [{"clientId", "clientName"}], "acknowledgements": [clientId...],
    //  "poweringOff"}
    std::string PowerDownReport() const;

private:
    void PhoneNumberQuery(const TBusMessageSPtr& message);
    void NetworkStatusQuery(const TBusMessageSPtr& message);
    void PoweringOff(const TBusMessageSPtr& message);
    void RegisterPowerDownApplication(const TBusMessageSPtr& message);
    void PowerDownAck(const TBusMessageSPtr& message);
    std::string NetworkStatus() const;
    std::string PoweringOffStatus() const;
    void FinishPowerDownWhenAcknowledged();
    void FinishPowerDown();

    CPlatformBus& m_bus;
    CSimEvents& m_events;
    CConnectionManager& m_connection;
    const unsigned m_powerDownTimeoutMs;
    std::string m_number = "4085550123";
    bool m_inPrl = true;
    std::map<int, std::string> m_registrations;
    std::set<int> m_acknowledgements;
    int m_lastClientId = 0;
    bool m_poweringOff = false;
    CGlibTimer m_powerDownTimer;
};
} // namespace PlatformSim
