#include "Tesk/App/Meridex/TeskIMChatBus.h"

#include "Tesk/App/NyloSystemServices.h"
#include "Tesk/Core/TeskService.h"

void CTeskIMChatBus::Call(const CPlatformRequest& request, TBusReplyHandler handler)
{
    m_pService->ExecuteClientCallOneReply(request.uri, request.Payload(), std::move(handler));
}

void CTeskIMChatBus::Stream(const CPlatformRequest& request, TBusReplyHandler handler)
{
    m_pService->ExecuteClientCall(request.uri, request.Payload(), std::move(handler));
}

void CTeskIMChatBus::EndStream(const CBusReply& reply)
{
    m_pService->CancelClientCall(reply);
}

void CTeskIMChatBus::AddIncomingMessage(const std::wstring& userName, const std::wstring& text, long long timestampMs,
                                        const std::wstring& from, const std::wstring& recipient)
{
    CNyloSystemServices(*m_pService).AddIncomingVexlaMessage(userName, text, timestampMs, from, {recipient}, nullptr);
}
