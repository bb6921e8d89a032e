#include "Tesk/App/UIPrivacy.h"

#include <memory>
#include <string>

#include "Model/Profile.h"
#include "Public/VexlaLib.h"
#include "Tesk/App/VexlaUIService.h"
#include "Tesk/Core/BusMessage.h"
#include "Tesk/Core/JSONObject.h"
#include "Utils/LogStream.h"

using VexlaLib::LogInfo;

namespace {

const wchar_t kEveryone[] = L"everyone";
const wchar_t kBuddiesOnly[] = L"buddies-only";

const wchar_t* PolicyName(int policy)
{
    return policy == 0 ? kEveryone : kBuddiesOnly;
}

}  // namespace

CUIPrivacy::CUIPrivacy(CVexlaUIService& service) : m_service(service) {}

CUIPrivacy::~CUIPrivacy()
{
    for (const auto& change : m_pending) {
        m_service.Session()->ProfileRequests().Withdraw(change.first);
        m_service.StopWatchingCaller(change.second);
        Answer(change.second, CProfileRequests::PROFILE_SESSION_ENDED);
    }
    m_pending.clear();
}

void CUIPrivacy::GetPrivacyPolicies(const TBusMessageSPtr& message)
{
    LogInfo() << "CVexlaUIService::GetPrivacyPolicies" << std::endl;
    if (!m_service.ValidateSession(message, false))
        return;
    const VexlaLib::CProfile* profile = Profile(message);
    if (profile == nullptr)
        return;
    CJSONObject reply;
    reply.SetBool("returnValue", true);
    reply.SetInt("errorCode", 0);
    reply.SetString("chat", PolicyName(profile->GetChatPolicy()));
    reply.SetString("call", PolicyName(profile->GetCallPolicy()));
    reply.SetString("pstn", PolicyName(profile->GetPstnPolicy()));
    m_service.SendReply(message, &reply);
}

void CUIPrivacy::SetPrivacyPolicies(const TBusMessageSPtr& message)
{
    LogInfo() << "CVexlaUIService::SetPrivacyPolicies" << std::endl;
    if (!m_service.ValidateSession(message, false))
        return;
    if (Profile(message) == nullptr)
        return;
    const CJSONObject payload(message->Payload().c_str());
    std::wstring chat;
    std::wstring call;
    const bool hasChat = payload.GetString("chat", &chat);
    const bool hasCall = payload.GetString("call", &call);
    if (!hasChat && !hasCall) {
        Answer(message, CProfileRequests::PROFILE_SAVED);
        return;
    }
    // Saved in turn with every other profile change, on the profile as it then stands, and answered
    // with that save's own outcome.
    auto ticket = std::make_shared<int>(0);
    *ticket = m_service.Session()->ProfileRequests().Save(
        [hasChat, chat, hasCall, call](VexlaLib::CProfile& profile) {
            if (hasChat)
                profile.SetChatPolicy(chat == kEveryone ? 0 : 1);
            if (hasCall) {
                const bool everyone = call == kEveryone;
                profile.SetCallPolicy(everyone ? 0 : 1);
                profile.SetPstnPolicy(everyone ? 0 : 2);
            }
        },
        [this, message, ticket](CProfileRequests::TOutcome outcome) {
            m_pending.erase(*ticket);
            m_service.StopWatchingCaller(message);
            Answer(message, outcome);
        });
    if (message->IsAnswered())
        return;  // answered while the library was asked
    m_pending[*ticket] = message;
    m_service.WatchCaller(message, [this, ticket]() {
        m_service.Session()->ProfileRequests().Withdraw(*ticket);
        m_pending.erase(*ticket);
    });
}

void CUIPrivacy::Answer(const TBusMessageSPtr& message, CProfileRequests::TOutcome outcome)
{
    switch (outcome) {
    case CProfileRequests::PROFILE_SAVED: {
        CJSONObject reply;
        reply.SetBool("returnValue", true);
        reply.SetInt("errorCode", 0);
        m_service.SendReply(message, &reply);
        break;
    }
    case CProfileRequests::PROFILE_NOT_SAVED:
        m_service.SendErrorResponse(message, 3, L"Profile not saved");
        break;
    case CProfileRequests::PROFILE_SESSION_ENDED:
        m_service.SendErrorResponse(message, 1, L"Not logged in");
        break;
    }
}

const VexlaLib::CProfile* CUIPrivacy::Profile(const TBusMessageSPtr& message)
{
    if (!m_service.Library()->IsLoggedIn()) {
        m_service.SendErrorResponse(message, 1, L"Not logged in");
        return nullptr;
    }
    const VexlaLib::CProfile* profile = m_service.Library()->GetModel().GetProfile();
    if (profile == nullptr)
        m_service.SendErrorResponse(message, 2, L"No profile");
    return profile;
}
