#include "Tesk/App/Meridex/ActivityCycle.h"

#include "Tesk/Core/ActivityRequest.h"
#include "Tesk/Core/BusReply.h"
#include "Tesk/Core/JSONObject.h"
#include "Tesk/Core/TeskService.h"

namespace {

TBusReplyHandler RunOnReply(CActivityCycle::TStep step)
{
    if (!step)
        return nullptr;
    return [step](const CBusReply&) { step(); };
}

}  // namespace

void CActivityCycle::Create(const CPlatformRequest& create, TBusReplies replies, TStep onReply)
{
    if (replies == BUS_ONE_REPLY)
        m_pService->ExecuteClientCallOneReply(create.uri, create.Payload(), RunOnReply(std::move(onReply)));
    else
        m_pService->ExecuteClientCall(create.uri, create.Payload(), RunOnReply(std::move(onReply)));
}

void CActivityCycle::Cancel(const std::wstring& name)
{
    const CPlatformRequest cancel = CActivityRequest::Cancel(name);
    m_pService->ExecuteClientCallOneReply(cancel.uri, cancel.Payload(), nullptr);
}

void CActivityCycle::Adopt(const std::wstring& name, TStep onAdopted)
{
    const CPlatformRequest adopt = CActivityRequest::Adopt(name);
    CTeskService* service = m_pService;
    m_pService->ExecuteClientCall(adopt.uri, adopt.Payload(), [service, onAdopted](const CBusReply& reply) {
        const CJSONObject payload(reply.Payload().c_str());
        bool adopted = false;
        if (payload.GetBool("adopted", &adopted) && adopted) {
            onAdopted();
            service->CancelClientCall(reply);
            return;
        }
        // A refused adoption (the activity ended before it ran) has nothing more to say.
        bool succeeded = true;
        if (payload.GetBool("returnValue", &succeeded) && !succeeded)
            service->CancelClientCall(reply);
    });
}

void CActivityCycle::AdoptAndComplete(const std::wstring& name, TStep onCompleted)
{
    Adopt(name, [this, name, onCompleted]() {
        const CPlatformRequest complete = CActivityRequest::Complete(name);
        m_pService->ExecuteClientCallOneReply(complete.uri, complete.Payload(), RunOnReply(onCompleted));
    });
}

bool CActivityCycle::IsFired(const CJSONObject& payload)
{
    CJSONObject activity;
    CJSONObject trigger;
    bool fired = false;
    return payload.GetObject("$activity", &activity) && activity.GetObject("trigger", &trigger) &&
           trigger.GetBool("fired", &fired) && fired;
}
