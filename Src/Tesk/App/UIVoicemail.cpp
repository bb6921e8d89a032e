#include "Tesk/App/UIVoicemail.h"

#include <utility>

#include "Model/Voicemail.h"
#include "Public/VexlaLib.h"
#include "Tesk/App/IMMarkers.h"
#include "Tesk/App/NyloSystemServices.h"
#include "Tesk/App/VexlaUIService.h"
#include "Tesk/Core/BusMessage.h"
#include "Tesk/Core/JSONObject.h"
#include "Utils/LogStream.h"

using VexlaLib::LogInfo;

CUIVoicemail::CUIVoicemail(CVexlaUIService& service) : m_service(service) {}

CUIVoicemail::~CUIVoicemail()
{
    if (m_pending)
        Answer(CUIErrors::Reply(CUIErrors::SESSION_NOT_VALID));
}

void CUIVoicemail::ListenToVoicemail(const TBusMessageSPtr& message)
{
    if (!m_service.ValidateSession(message, false))
        return;
    const CJSONObject payload(message->Payload().c_str());
    int handle = 0;
    std::wstring target;
    const bool hasHandle = payload.GetInt("handle", &handle);
    const bool hasTarget = payload.GetString("target", &target);
    LogInfo() << "CVexlaUIService::ListenToVoicemail handle=" << handle << "; target=" << target << std::endl;
    if (!hasHandle && !hasTarget) {
        m_service.SendError(message, CUIErrors::VOICEMAIL_TARGET_MISSING);
        return;
    }
    if (m_pending) {
        m_service.SendError(message, CUIErrors::VOICEMAIL_IN_PROGRESS);
        return;
    }
    if (hasTarget) {
        if (const int found = FindHandle(target))
            handle = found;
    }
    if (handle == 0) {
        m_service.SendError(message, CUIErrors::VOICEMAIL_NOT_REQUESTED);
        return;
    }
    // Kept first: the number, or the failure, may be reported while the library is being asked.
    m_pending = message;
    m_service.WatchCaller(message, [this]() { OnCallerGone(); });
    const int ticket = m_service.Session()->DialOutRequests().Request(
        [handle](VexlaLib::CVexlaLib& library) { return library.RequestListenVoicemail(handle); },
        [this](const CDialOutRequests::TAnswer& answer) { OnNumber(answer); });
    if (m_pending)
        m_ticket = ticket;
}

int CUIVoicemail::FindHandle(const std::wstring& target) const
{
    VexlaLib::CEventList* events = m_service.Library()->GetModel().GetEventList();
    if (events == nullptr)
        return 0;
    for (const auto& event : events->GetList(false)) {
        if (!event->IsVoicemail())
            continue;
        const auto* voicemail = static_cast<const VexlaLib::CVoicemail*>(event.get());
        // Without a server timestamp a voicemail has no id and cannot be the target.
        const std::wstring id = CIMMarkers::VoicemailId(voicemail->GetEventServerTimestamp(),
                                                        voicemail->GetDuration(), voicemail->GetVexlaName());
        if (!id.empty() && id == target)
            return voicemail->GetHandle();
    }
    return 0;
}

void CUIVoicemail::OnNumber(const CDialOutRequests::TAnswer& answer)
{
    m_ticket = 0;
    switch (answer.outcome) {
    case CDialOutRequests::DIALOUT_NUMBER: {
        CNyloSystemServices(m_service).MakeCall(answer.number);
        CJSONObject reply;
        reply.SetBool("returnValue", true);
        Answer(reply);
        break;
    }
    case CDialOutRequests::DIALOUT_FAILED: {
        CJSONObject reply;
        reply.SetBool("returnValue", false);
        reply.SetString("errorCode", std::to_wstring(answer.error));
        reply.SetString("errorText", CUIErrors::DIALOUT_ERROR_TEXT);
        Answer(reply);
        break;
    }
    case CDialOutRequests::DIALOUT_REFUSED:
        Answer(CUIErrors::Reply(CUIErrors::VOICEMAIL_NOT_REQUESTED));
        break;
    case CDialOutRequests::DIALOUT_SESSION_ENDED:
        Answer(CUIErrors::Reply(CUIErrors::SESSION_NOT_VALID));
        break;
    }
}

void CUIVoicemail::Answer(const CJSONObject& reply)
{
    if (!m_pending)
        return;
    const TBusMessageSPtr message = std::move(m_pending);
    m_pending.reset();
    WithdrawTicket();
    m_service.StopWatchingCaller(message);
    m_service.SendReply(message, &reply);
}

void CUIVoicemail::OnCallerGone()
{
    LogInfo() << "CVexlaUIService: the caller of listenToVoicemail went away" << std::endl;
    WithdrawTicket();
    m_pending.reset();
}

void CUIVoicemail::WithdrawTicket()
{
    if (m_ticket != 0)
        m_service.Session()->DialOutRequests().Withdraw(m_ticket);
    m_ticket = 0;
}
