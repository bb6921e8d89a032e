#include "Tesk/App/DisplayServiceClient.h"

#include "Tesk/App/IDisplayServiceCallback.h"
#include "Tesk/Core/BusReply.h"
#include "Tesk/Core/JSONObject.h"
#include "Tesk/Core/SystemRequest.h"

CDisplayServiceClient::~CDisplayServiceClient() = default;

bool CDisplayServiceClient::RegisterForDisplayEvents(IDisplayServiceCallback* callback, void* userData)
{
    m_callContexts.push_back(
        std::make_unique<CDisplayServiceClientCallContext>(CDisplayServiceClientCallContext{callback, userData}));
    const CDisplayServiceClientCallContext* context = m_callContexts.back().get();

    const CPlatformRequest status = CSystemRequest::DisplayStatus();
    return ExecuteClientCall(status.uri, status.Payload(), [context](const CBusReply& reply) {
        const CJSONObject payload(reply.Payload().c_str());
        std::wstring state;
        std::wstring event;
        payload.GetString("state", &state);
        payload.GetString("event", &event);
        context->callback->OnDisplayEvent(state, event, context->userData);
    });
}
