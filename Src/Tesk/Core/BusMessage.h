#pragma once
// One incoming call of a Tesk method, as a service sees it. Hold the shared pointer to answer later;
// the message can be answered any number of times: the first answer is the D-Bus method return, every
// later one a Reply signal sent only to the caller. A message released without any answer (and not
// cancelled) answers its caller with a D-Bus error, so no caller waits forever.

#include "Tesk/Core/BusTypes.h"

#include <gio/gio.h>

#include <cstdint>
#include <memory>
#include <string>

class CBusMessage
{
public:
    // Made by CBusConnection for each incoming call; `call` is referenced while the message lives.
    CBusMessage(const TBusConnectionSPtr& connection, GDBusMessage* call, std::string payload);
    ~CBusMessage();
    CBusMessage(const CBusMessage&) = delete;
    CBusMessage& operator=(const CBusMessage&) = delete;

    // Process-unique, never 0: the key of subscriptions and cancellation handlers.
    int Token() const { return m_token; }
    // The caller's unique name and the call's D-Bus serial: the caller's key for this call.
    const std::string& Sender() const { return m_sender; }
    uint32_t Serial() const { return m_serial; }
    // The object path the call was made on ("/" or "/control"...) and the method name.
    const std::string& Category() const { return m_category; }
    const std::string& Method() const { return m_method; }
    // The name the caller addressed: a well-known name, so one connection owning several names can tell
    // which service was called.
    const std::string& Destination() const { return m_destination; }
    const std::string& Payload() const { return m_payload; }
    // The connection the call came in on (replies go back over it); null once it is gone.
    TBusConnectionSPtr Connection() const { return m_connection.lock(); }

    // Sends `payload` to the caller. A cancelled message swallows answers and reports success.
    bool Respond(const std::string& payload, std::string* error);
    bool IsAnswered() const { return m_answered; }
    bool IsCancelled() const { return m_cancelled; }

private:
    friend class CBusConnection;
    void MarkCancelled() { m_cancelled = true; }
    // False when the caller sent the call without wanting any answer.
    bool ExpectsReply() const;

    std::weak_ptr<CBusConnection> m_connection;
    GDBusMessage* m_call;
    const int m_token;
    std::string m_sender;
    uint32_t m_serial;
    std::string m_category;
    std::string m_method;
    std::string m_destination;
    std::string m_payload;
    bool m_answered = false;
    bool m_cancelled = false;
};
