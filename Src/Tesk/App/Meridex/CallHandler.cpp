#include "Tesk/App/Meridex/CallHandler.h"

#include "Model/CallSetup.h"
#include "Model/Contact.h"
#include "Model/ContactList.h"
#include "Public/VexlaLib.h"
#include "Tesk/App/Meridex/CallErrors.h"
#include "Tesk/App/AvailabilityMapping.h"
#include "Tesk/App/BalanceQueries.h"
#include "Tesk/App/Meridex/GatewayRecord.h"
#include "Tesk/App/IMDatabaseKinds.h"
#include "Tesk/App/Meridex/TeskCallService.h"
#include "Tesk/App/VexlaSession.h"
#include "Tesk/Core/BusMessage.h"
#include "Tesk/Core/BusReply.h"
#include "Tesk/Core/DbRequest.h"
#include "Tesk/Core/JSONArray.h"
#include "Tesk/Core/JSONObject.h"
#include "Utils/LogStream.h"
#include "Utils/Timer.h"

namespace {

const char kGatewaySubscription[] = "incomingGatewayQuery";

CJSONObject Success()
{
    CJSONObject reply;
    reply.SetBool("returnValue", true);
    return reply;
}

CJSONObject Failure(int code, const std::wstring& text)
{
    CJSONObject reply;
    reply.SetBool("returnValue", false);
    reply.SetInt("errorCode", code);
    reply.SetString("errorText", text);
    return reply;
}

}  // namespace

CCallHandler::CCallHandler(CVexlaSession* session, CTeskCallService* service)
    : m_pSession(session),
      m_pService(service),
      m_pSignInTimer(session->GetLibrary()->CreateTimer(this))
{
    Library().AddListener(this);
    m_pService->SetCallHandler(this);
}

CCallHandler::~CCallHandler()
{
    // The daemon is going: the call is answered as a logout answers it.
    FailCall(DIALOUT_NO_METHOD, CCallErrors::DialOutErrorText(DIALOUT_NO_METHOD));
    m_pSignInTimer->StopTimer();
    Library().RemoveListener(this);
    if (!m_pService->PublicConnection())
        return;  // the service never reached the bus
    const CPlatformRequest del = CDbRequest::DelMatching(DB_TEMPORARY, CDbQuery(KIND_GATEWAY));
    m_pService->ExecuteClientCallOneReply(del.uri, del.Payload(), nullptr);
}

VexlaLib::CVexlaLib& CCallHandler::Library() const
{
    return *m_pSession->GetLibrary();
}

void CCallHandler::QuitMainLoop()
{
    if (m_pService->MainLoop() != nullptr)
        g_main_loop_quit(m_pService->MainLoop());
}

// Placing a call.

void CCallHandler::CallUsingGateway(const TBusMessageSPtr& message, const std::wstring& to, const bool& isPhone)
{
    if (m_pendingCall) {
        m_pService->SendErrorResponse(message, CCallErrors::CALL_SETUP_IN_PROGRESS,
                                      CCallErrors::CallErrorText(CCallErrors::CALL_SETUP_IN_PROGRESS));
        return;
    }
    if (m_pSession->IsOnPhoneCall()) {
        m_pService->SendErrorResponse(message, CCallErrors::CALL_SETUP_IN_PROGRESS,
                                      CCallErrors::CallErrorText(CCallErrors::CALL_SETUP_IN_PROGRESS));
        if (!Library().IsLoggedIn())
            QuitMainLoop();
        return;
    }
    m_pendingCall = message;
    m_callTarget = to;
    m_isPhone = isPhone;
    m_callRequested = false;
    m_pService->WatchCaller(message, [this]() { OnCallerGone(); });

    const CPlatformRequest find = CDbRequest::Find(DB_PERSISTENT, CDbQuery(KIND_IMLOGINSTATE));
    std::weak_ptr<int> alive = m_lifeToken;
    const int callToken = message->Token();
    m_pService->ExecuteClientCallOneReply(find.uri, find.Payload(), [this, alive, callToken](const CBusReply& reply) {
        if (!alive.expired())
            OnLoginStateFetched(reply, callToken);
    });
}

void CCallHandler::OnLoginStateFetched(const CBusReply& reply, int callToken)
{
    // The call may have been answered meanwhile (a login failure, the buddy list arriving first).
    if (!m_pendingCall || m_pendingCall->Token() != callToken || m_callRequested)
        return;
    const CJSONObject payload(reply.Payload().c_str());
    CJSONArray results;
    CJSONObject record;
    if (!payload.GetArray("results", &results) || !results.GetObject(0, &record)) {
        FailCall(CCallErrors::NO_LOGIN_STATE);
        QuitMainLoop();
        return;
    }
    int availability = NYLO_OFFLINE;
    std::wstring state;
    record.GetInt("availability", &availability);
    record.GetString("state", &state);
    const bool wantsOnline = availability == NYLO_ONLINE || availability == NYLO_AWAY;

    if (wantsOnline && state == L"online") {
        MakeCall();
    } else if (availability == NYLO_OFFLINE && state == L"offline") {
        // The messaging transport signs in on this change; the call follows the buddy list.
        std::wstring id;
        record.GetString("_id", &id);
        CJSONObject online;
        online.SetString("_id", id);
        online.SetInt("availability", NYLO_ONLINE);
        const CPlatformRequest merge = CDbRequest::Merge(DB_PERSISTENT, online);
        m_pService->ExecuteClientCallOneReply(merge.uri, merge.Payload(), nullptr);
        VexlaLib::LogInfo() << "-- should be coming online with a watch" << std::endl;
        WaitForSignIn();
    } else if (wantsOnline) {
        // The record says a sign-in is under way; it ends in the buddy list or a login failure.
        if (!m_pSession->IsConnectionAvailabile()) {
            FailCall(CCallErrors::NO_CONNECTION);
            QuitMainLoop();
        } else {
            VexlaLib::LogInfo() << "-- waiting for the sign-in under way" << std::endl;
            WaitForSignIn();
        }
    } else {
        FailCall(CCallErrors::UNKNOWN_LOGIN_STATE);
    }
}

void CCallHandler::WaitForSignIn()
{
    m_pSignInTimer->StartTimer(SIGN_IN_WAIT_MS, 0);
}

void CCallHandler::OnTimer(int /*id*/)
{
    if (!m_pendingCall || m_callRequested)
        return;  // the library guards the number request itself
    if (m_pSession->GetLoginState() == CVexlaSession::LOGIN_STATE_REQUESTED || m_pSession->IsReconnecting()) {
        WaitForSignIn();
        return;
    }
    VexlaLib::LogWarning() << "-- no sign-in under way for the held call to " << m_callTarget << std::endl;
    FailCall(CCallErrors::LOGIN_FAILED);
    if (!Library().IsLoggedIn())
        QuitMainLoop();
}

void CCallHandler::MakeCall()
{
    const VexlaLib::CCallSetup* setup = Library().GetModel().GetCallSetup();
    if (setup == nullptr || !setup->IsCallEnabled()) {
        FailCall(CCallErrors::NO_CALL_SETUP);
        return;
    }
    m_callRequested = true;
    const std::wstring target = m_callTarget;
    const bool isPhone = m_isPhone;
    // Asked when its turn comes; the answer may come while asking.
    m_numberTicket = m_pSession->DialOutRequests().Request(
        [target, isPhone](VexlaLib::CVexlaLib& library) {
            if (const VexlaLib::CContact* contact = library.FindContact(target)) {
                VexlaLib::LogInfo() << "--- making Vexla-to-Vexla call to " << target << " (in buddylist)" << std::endl;
                return library.RequestContactCall(contact->GetHandle());
            }
            if (!isPhone) {
                VexlaLib::LogInfo() << "--- making Vexla-to-Vexla call to " << target << " (outside buddylist)"
                                    << std::endl;
                return library.RequestVexlaCall(target);
            }
            VexlaLib::LogInfo() << "--- making VexlaOut call to " << target << std::endl;
            return library.RequestVexlaOutCall(target);
        },
        [this](const CDialOutRequests::TAnswer& answer) { OnNumber(answer); });
}

void CCallHandler::OnNumber(const CDialOutRequests::TAnswer& answer)
{
    m_numberTicket = 0;
    switch (answer.outcome) {
    case CDialOutRequests::DIALOUT_NUMBER: {
        CJSONObject reply = Success();
        reply.SetString("gatewayNumber", answer.number);
        AnswerCall(reply);
        break;
    }
    case CDialOutRequests::DIALOUT_FAILED:
        FailCall(answer.error, CCallErrors::DialOutErrorText(answer.error));
        break;
    case CDialOutRequests::DIALOUT_REFUSED:
        // The library refuses only while signed out.
        FailCall(CCallErrors::NO_CALL_SETUP);
        break;
    case CDialOutRequests::DIALOUT_SESSION_ENDED:
        OnSessionEnded();
        break;
    }
}

void CCallHandler::OnCallerGone()
{
    VexlaLib::LogInfo() << "-- the caller of the held call to " << m_callTarget << " went away" << std::endl;
    if (m_numberTicket != 0)
        m_pSession->DialOutRequests().Withdraw(m_numberTicket);
    m_numberTicket = 0;
    m_pendingCall.reset();
    m_callRequested = false;
    m_pSignInTimer->StopTimer();
}

void CCallHandler::AnswerCall(const CJSONObject& reply)
{
    if (!m_pendingCall)
        return;
    const TBusMessageSPtr message = std::move(m_pendingCall);
    m_pendingCall.reset();
    m_callRequested = false;
    m_pSignInTimer->StopTimer();
    if (m_numberTicket != 0)
        m_pSession->DialOutRequests().Withdraw(m_numberTicket);
    m_numberTicket = 0;
    m_pService->StopWatchingCaller(message);
    m_pService->SendReply(message, &reply);
}

void CCallHandler::FailCall(int code, const std::wstring& text)
{
    AnswerCall(Failure(code, text));
}

void CCallHandler::FailCall(int code)
{
    FailCall(code, CCallErrors::CallErrorText(code));
}

void CCallHandler::OnContactListUpdated()
{
    if (!m_pendingCall || m_callRequested)
        return;
    const VexlaLib::CContactList* list = Library().GetModel().GetContactList();
    if (list != nullptr && list->IsComplete())
        MakeCall();
}

void CCallHandler::OnLoginFailed(VexlaLib::eLoginError /*error*/)
{
    if (!m_pendingCall)
        return;
    FailCall(CCallErrors::LOGIN_FAILED);
    QuitMainLoop();
}

void CCallHandler::OnLogout(VexlaLib::eLogoutReason /*reason*/)
{
    // A call with a number request was answered by the number owner; this one waited for a sign-in.
    if (m_pendingCall && m_numberTicket == 0)
        OnSessionEnded();
}

void CCallHandler::OnSessionEnded()
{
    if (m_pSession->IsReconnecting()) {
        m_callRequested = false;  // asked again once the buddy list is back
        if (m_pendingCall)
            WaitForSignIn();
    } else {
        FailCall(DIALOUT_NO_METHOD, CCallErrors::DialOutErrorText(DIALOUT_NO_METHOD));
    }
}

// Incoming calls.

void CCallHandler::OnCallingContact(int /*localTime*/, const std::wstring& /*callTarget*/,
                                    const std::wstring& vexlaName, const std::wstring& /*displayName*/)
{
    m_callingContact = vexlaName;
}

void CCallHandler::IncomingContactTranslate(const TBusMessageSPtr& message, const std::wstring& /*clid*/)
{
    CJSONObject reply = Success();
    reply.SetString("address", m_callingContact);
    m_pService->SendReply(message, &reply);
}

void CCallHandler::OnGatewayNumberUpdated(const std::wstring& number, const std::wstring& /*name*/)
{
    CJSONArray gateways;
    gateways.AddString(number);
    CJSONObject reply = Success();
    reply.SetArray("gateways", gateways);
    m_pService->SubscriptionReply(kGatewaySubscription, &reply);

    // One gateway record: the earlier one goes first.
    const CPlatformRequest del = CDbRequest::DelMatching(DB_TEMPORARY, CDbQuery(KIND_GATEWAY));
    m_pService->ExecuteClientCallOneReply(del.uri, del.Payload(), nullptr);
    const CPlatformRequest put = CDbRequest::Put(DB_TEMPORARY, CGatewayRecord::Build(number));
    m_pService->ExecuteClientCallOneReply(put.uri, put.Payload(), nullptr);
}

void CCallHandler::IncomingGatewayQueryStart(const TBusMessageSPtr& message, const std::wstring& /*accountId*/)
{
    m_pService->SendSuccessResponse(message);
    const VexlaLib::CCallSetup* setup = Library().GetModel().GetCallSetup();
    if (setup != nullptr && setup->IsCallEnabled())
        OnGatewayNumberUpdated(setup->GetGatewayNumber(), setup->GetGatewayName());
}

void CCallHandler::IncomingGatewayQueryStop(const TBusMessageSPtr& message, const std::wstring& /*accountId*/)
{
    // Only this caller's subscriptions end; the other applications keep theirs.
    m_pService->EndCallerSubscriptions(kGatewaySubscription, message);
    m_pService->SendSuccessResponse(message);
}

// Balance.

void CCallHandler::BalanceQuery(const TBusMessageSPtr& message)
{
    if (m_pSession->BalanceQueries().Query(message) == CBalanceQueries::QUERY_NOT_LOGGED_IN)
        QuitMainLoop();
}

void CCallHandler::BalanceQueryStart(const TBusMessageSPtr& message, const std::wstring& /*accountId*/)
{
    m_pService->SendSuccessResponse(message);
}

void CCallHandler::BalanceQueryStop(const TBusMessageSPtr& message, const std::wstring& /*accountId*/)
{
    m_pService->SendSuccessResponse(message);
}
