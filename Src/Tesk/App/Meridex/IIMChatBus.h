#pragma once

#include <string>

#include "Tesk/Core/BusTypes.h"
#include "Tesk/Core/PlatformRequest.h"

// What the message side of the transport asks of the bus: one-reply calls, streams it ends itself,
// and a message record put through the system services.
class IIMChatBus {
public:
    // A call answered once; `handler` may be empty.
    virtual void Call(const CPlatformRequest& request, TBusReplyHandler handler) = 0;
    // A call whose every reply reaches `handler` until EndStream is given one of them.
    virtual void Stream(const CPlatformRequest& request, TBusReplyHandler handler) = 0;
    virtual void EndStream(const CBusReply& reply) = 0;
    // Puts one incoming message record for `userName` from `from` to `recipient`.
    virtual void AddIncomingMessage(const std::wstring& userName, const std::wstring& text, long long timestampMs,
                                    const std::wstring& from, const std::wstring& recipient) = 0;
    virtual ~IIMChatBus() = default;
};
