#pragma once
// One reply to an outgoing call, as handed to its TBusReplyHandler.

#include <cstdint>
#include <string>

class CBusReply
{
public:
    CBusReply(uint32_t serial, std::string sender, std::string payload, bool busFailure)
        : m_serial(serial), m_sender(std::move(sender)), m_payload(std::move(payload)), m_busFailure(busFailure)
    {
    }

    // The D-Bus serial of the call: what CBusConnection::CancelCall takes.
    uint32_t Serial() const { return m_serial; }
    // The unique name of the service that answered (empty for a failure raised by the bus).
    const std::string& Sender() const { return m_sender; }
    // The reply's JSON text.
    const std::string& Payload() const { return m_payload; }
    // True when the bus, not the service, produced this reply (see FailurePayload).
    bool IsBusFailure() const { return m_busFailure; }

    // {"returnValue": false, "errorCode": -1, "errorText": errorText}: what a caller receives when the
    // bus could not deliver its call or the service left.
    static std::string FailurePayload(const std::string& errorText);

private:
    uint32_t m_serial;
    std::string m_sender;
    std::string m_payload;
    bool m_busFailure;
};
