#pragma once

#include "Tesk/App/Meridex/IIMChatBus.h"

class CTeskService;

// IIMChatBus over a bus service's client calls (the service is not owned).
class CTeskIMChatBus : public IIMChatBus {
public:
    explicit CTeskIMChatBus(CTeskService* service) : m_pService(service) {}

    void Call(const CPlatformRequest& request, TBusReplyHandler handler) override;
    void Stream(const CPlatformRequest& request, TBusReplyHandler handler) override;
    void EndStream(const CBusReply& reply) override;
    void AddIncomingMessage(const std::wstring& userName, const std::wstring& text, long long timestampMs,
                            const std::wstring& from, const std::wstring& recipient) override;

private:
    CTeskService* m_pService;
};
