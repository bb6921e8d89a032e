// The listener fan-out of CVexlaLib: one Notify operation per listener event.
#include "Public/VexlaLib.h"

#include "Handlers/AccountHandler.h"
#include "Model/Availability.h"
#include "Model/ChatMsg.h"
#include "Network/AttrChunk.h"
#include "Network/AttrKey.h"
#include "Network/Packet.h"
#include "Utils/LogStream.h"

namespace VexlaLib {

namespace {

const wchar_t CALLBACK_PREFIX[] = L"VexlaLib Callback: ";

void LogCallback(const wchar_t* text)
{
    LogInfo() << CALLBACK_PREFIX << text << std::endl;
}

template <typename TDetail>
void LogCallback(const wchar_t* event, const TDetail& detail)
{
    LogInfo() << CALLBACK_PREFIX << event << L" - " << detail << L"." << std::endl;
}

const wchar_t* ChunkName(const TPacketSPtr& packet)
{
    int chunk = -1;
    packet->GetAttrInt32(KEY_CHUNKTYPE, &chunk);
    return CAttrChunk::Lookup(chunk);
}

}  // namespace

template <typename TCall>
void CVexlaLib::CallListeners(TCall call)
{
    const bool wasNotifying = m_notifying;
    m_notifying = true;
    for (IVexlaLibListener* listener : m_listeners)
        call(listener);
    m_notifying = wasNotifying;
}

bool CVexlaLib::SessionEventAllowed(const wchar_t* event) const
{
    if (IsLoggedIn())
        return true;
    LogError() << CALLBACK_PREFIX << event << L" dropped: no session." << std::endl;
    return false;
}

void CVexlaLib::NotifyRegisterUserSuccess()
{
    LogCallback(L"OnRegisterUserSuccess.");
    CallListeners([](IVexlaLibListener* l) { l->OnRegisterUserSuccess(); });
}

void CVexlaLib::NotifyRegisterUserFailed(eRegisterError error, std::vector<std::wstring>* suggestions)
{
    LogCallback(L"OnRegisterUserFailed.");
    CallListeners([&](IVexlaLibListener* l) { l->OnRegisterUserFailed(error, suggestions); });
}

void CVexlaLib::NotifyLoginSuccess()
{
    LogCallback(L"OnLoginSuccess.");
    CallListeners([](IVexlaLibListener* l) { l->OnLoginSuccess(); });
}

void CVexlaLib::NotifyLoginFailed(eLoginError error)
{
    LogCallback(L"OnLoginFailed.");
    CallListeners([&](IVexlaLibListener* l) { l->OnLoginFailed(error); });
}

void CVexlaLib::NotifyLogout(eLogoutReason reason)
{
    LogCallback(L"OnLogout.");
    CallListeners([&](IVexlaLibListener* l) { l->OnLogout(reason); });
}

void CVexlaLib::NotifyNewSession(bool resumed)
{
    LogCallback(L"OnNewSession.");
    CallListeners([&](IVexlaLibListener* l) { l->OnNewSession(resumed); });
}

void CVexlaLib::NotifyAvailabilityChanged(int availability)
{
    LogCallback(L"OnAvailabilityChanged", CAvailability::Lookup(availability));
    CallListeners([&](IVexlaLibListener* l) { l->OnAvailabilityChanged(availability); });
}

void CVexlaLib::NotifyGetBalanceFailed(bool timedOut)
{
    if (!SessionEventAllowed(L"OnGetBalanceFailed"))
        return;
    LogCallback(L"OnGetBalanceFailed");
    CallListeners([&](IVexlaLibListener* l) { l->OnGetBalanceFailed(timedOut); });
}

void CVexlaLib::NotifyGetBalanceSuccess()
{
    if (!SessionEventAllowed(L"OnGetBalanceSuccess"))
        return;
    const CCredit* credit = m_model.GetCredit();
    if (credit == nullptr)
        return;
    const std::wstring currency = credit->GetBalanceCurrency();
    const int amount = credit->GetBalanceAmount();
    LogCallback(L"OnGetBalanceSuccess", amount);
    CallListeners([&](IVexlaLibListener* l) { l->OnGetBalanceSuccess(currency, amount); });
}

void CVexlaLib::NotifySubscriptionError(const std::wstring& message, const std::wstring& url)
{
    CallListeners([&](IVexlaLibListener* l) { l->OnSubscriptionError(message, url); });
}

void CVexlaLib::NotifyUpgradeAvailable(const std::wstring& message, const std::wstring& url, bool forced)
{
    CallListeners([&](IVexlaLibListener* l) { l->OnUpgradeAvailable(message, url, forced); });
}

void CVexlaLib::NotifyContactAdded(const CContact& contact)
{
    if (!SessionEventAllowed(L"OnContactAdded"))
        return;
    LogCallback(L"OnContactAdded", contact.GetCallTarget());
    CallListeners([&](IVexlaLibListener* l) { l->OnContactAdded(contact); });
}

void CVexlaLib::NotifyContactDeleted(const CContact& contact)
{
    if (!SessionEventAllowed(L"OnContactDeleted"))
        return;
    LogCallback(L"OnContactDeleted", contact.GetCallTarget());
    CallListeners([&](IVexlaLibListener* l) { l->OnContactDeleted(contact); });
}

void CVexlaLib::NotifyContactUpdated(const CContact& contact, int changes)
{
    if (!SessionEventAllowed(L"OnContactUpdated"))
        return;
    LogInfo() << L" " << CALLBACK_PREFIX << L"OnContactUpdated - " << contact.GetCallTarget() << L"." << std::endl;
    CallListeners([&](IVexlaLibListener* l) { l->OnContactUpdated(contact, changes); });
}

void CVexlaLib::NotifyContactListUpdated(bool deferred)
{
    if (!SessionEventAllowed(L"OnContactListUpdated"))
        return;
    if (deferred) {
        m_contactListChanged = true;
        return;
    }
    m_contactListChanged = false;
    LogCallback(L"OnContactListUpdated.");
    CallListeners([](IVexlaLibListener* l) { l->OnContactListUpdated(); });
}

void CVexlaLib::NotifyContactPropsUpdated(const CContact& contact, int changes)
{
    if (!SessionEventAllowed(L"OnContactPropsUpdated"))
        return;
    LogCallback(L"OnContactPropsUpdated", contact.GetCallTarget());
    CallListeners([&](IVexlaLibListener* l) { l->OnContactPropsUpdated(contact, changes); });
}

void CVexlaLib::NotifyContactPropsFailed(bool timedOut)
{
    if (!SessionEventAllowed(L"OnContactPropsFailed"))
        return;
    LogCallback(L"OnContactPropsFailed.");
    CallListeners([&](IVexlaLibListener* l) { l->OnContactPropsFailed(timedOut); });
}

void CVexlaLib::NotifyAvatarReceived(const CContact& contact, TByteArraySPtr image)
{
    if (!SessionEventAllowed(L"OnAvatarReceived"))
        return;
    LogCallback(L"OnAvatarReceived.");
    CallListeners([&](IVexlaLibListener* l) { l->OnAvatarReceived(contact, image); });
}

void CVexlaLib::NotifyGetProfileSuccess(bool changed, const CProfile& profile)
{
    if (!SessionEventAllowed(L"OnGetProfileSuccess"))
        return;
    LogCallback(L"OnGetProfileSuccess.");
    CallListeners([&](IVexlaLibListener* l) { l->OnGetProfileSuccess(changed, profile); });
}

void CVexlaLib::NotifyGetProfileFailed(bool timedOut)
{
    if (!SessionEventAllowed(L"OnGetProfileFailed"))
        return;
    LogCallback(L"OnGetProfileFailed.");
    CallListeners([&](IVexlaLibListener* l) { l->OnGetProfileFailed(timedOut); });
}

void CVexlaLib::NotifySaveProfileSuccess()
{
    if (!SessionEventAllowed(L"OnSaveProfileSuccess"))
        return;
    LogCallback(L"OnSaveProfileSuccess.");
    CallListeners([](IVexlaLibListener* l) { l->OnSaveProfileSuccess(); });
}

void CVexlaLib::NotifySaveProfileFailed(bool timedOut)
{
    if (!SessionEventAllowed(L"OnSaveProfileFailed"))
        return;
    LogCallback(L"OnSaveProfileFailed.");
    CallListeners([&](IVexlaLibListener* l) { l->OnSaveProfileFailed(timedOut); });
}

void CVexlaLib::NotifySearchFinished(const CSearch& search, bool extendable)
{
    if (!SessionEventAllowed(L"OnSearchFinished"))
        return;
    LogCallback(L"OnSearchFinished.");
    CallListeners([&](IVexlaLibListener* l) { l->OnSearchFinished(search, extendable); });
}

void CVexlaLib::NotifySearchFailed(const CSearch& search)
{
    if (!SessionEventAllowed(L"OnSearchFailed"))
        return;
    LogCallback(L"OnSearchFailed.");
    CallListeners([&](IVexlaLibListener* l) { l->OnSearchFailed(search); });
}

void CVexlaLib::NotifySearchResultAdded(const CSearch& search)
{
    if (!SessionEventAllowed(L"OnSearchResultAdded"))
        return;
    LogCallback(L"OnSearchResultAdded.");
    CallListeners([&](IVexlaLibListener* l) { l->OnSearchResultAdded(search); });
}

void CVexlaLib::NotifyCallsEnabled(bool enabled)
{
    if (!SessionEventAllowed(L"OnCallsEnabled"))
        return;
    LogInfo() << L"e" << CALLBACK_PREFIX << L"OnCallsEnabled - " << enabled << L"." << std::endl;
    CallListeners([&](IVexlaLibListener* l) { l->OnCallsEnabled(enabled); });
}

void CVexlaLib::NotifyGatewayNumberUpdated(const std::wstring& number, const std::wstring& name)
{
    if (!SessionEventAllowed(L"OnGatewayNumberUpdated"))
        return;
    LogCallback(L"OnGatewayNumberUpdated", number);
    CallListeners([&](IVexlaLibListener* l) { l->OnGatewayNumberUpdated(number, name); });
}

void CVexlaLib::NotifyCallingContact(int localTime, const std::wstring& callTarget, const std::wstring& vexlaName,
                                     const std::wstring& displayName)
{
    if (!SessionEventAllowed(L"OnCallingContact"))
        return;
    LogCallback(L"OnCallingContact", callTarget);
    CallListeners([&](IVexlaLibListener* l) { l->OnCallingContact(localTime, callTarget, vexlaName, displayName); });
}

void CVexlaLib::NotifyUseDialOutNumber(const std::wstring& number)
{
    if (!SessionEventAllowed(L"OnUseDialOutNumber"))
        return;
    LogCallback(L"OnUseDialOutNumber", number);
    CallListeners([&](IVexlaLibListener* l) { l->OnUseDialOutNumber(number); });
}

void CVexlaLib::NotifyDialOutFailed(IVexlaLibListener::eDialoutError error)
{
    if (!SessionEventAllowed(L"OnDialOutFailed"))
        return;
    LogCallback(L"OnDialOutFailed", static_cast<int>(error));
    CallListeners([&](IVexlaLibListener* l) { l->OnDialOutFailed(error); });
}

void CVexlaLib::NotifyEventAdded(const CEventBase* event)
{
    if (!SessionEventAllowed(L"OnEventAdded"))
        return;
    LogInfo() << CALLBACK_PREFIX << L"OnEventAdded - " << event->GetTypeStr() << L" " << event->GetHandle() << L"."
              << std::endl;
    CallListeners([&](IVexlaLibListener* l) { l->OnEventAdded(event); });
}

void CVexlaLib::NotifyEventDeleted(const CEventBase* event)
{
    if (!SessionEventAllowed(L"OnEventDeleted"))
        return;
    LogCallback(L"OnEventDeleted.");
    CallListeners([&](IVexlaLibListener* l) { l->OnEventDeleted(event); });
}

void CVexlaLib::NotifyEventUpdated(const CEventBase* event)
{
    if (!SessionEventAllowed(L"OnEventUpdated"))
        return;
    LogCallback(L"OnEventUpdated.");
    CallListeners([&](IVexlaLibListener* l) { l->OnEventUpdated(event); });
}

void CVexlaLib::NotifyEventListUpdated(bool deferred)
{
    if (!SessionEventAllowed(L"OnEventListUpdated"))
        return;
    if (deferred) {
        m_eventListChanged = true;
        return;
    }
    m_eventListChanged = false;
    LogCallback(L"OnEventListUpdated - calling listeners.");
    CallListeners([](IVexlaLibListener* l) { l->OnEventListUpdated(); });
    LogCallback(L"OnEventListUpdated - listeners called.");
}

void CVexlaLib::NotifyGetChatFailed(bool timedOut)
{
    if (!SessionEventAllowed(L"OnGetChatFailed"))
        return;
    LogCallback(L"OnGetChatFailed.");
    CallListeners([&](IVexlaLibListener* l) { l->OnGetChatFailed(timedOut); });
}

void CVexlaLib::NotifyChatMessagesAdded(const CChat& chat, int count)
{
    if (!SessionEventAllowed(L"OnChatMessagesAdded"))
        return;
    LogCallback(L"OnChatMessagesAdded", count);
    CallListeners([&](IVexlaLibListener* l) { l->OnChatMessagesAdded(chat, count); });
}

void CVexlaLib::NotifyChatMessageDelivered(const CChat& chat, const CChatMsg& message)
{
    LogCallback(L"OnChatMessageDelivered", message.GetSendId());
    CallListeners([&](IVexlaLibListener* l) { l->OnChatMessageDelivered(chat, message); });
}

// Also reported while the session is being cleared, after the sign-out.
void CVexlaLib::NotifyChatMessageFailed(const CChat& chat, const CChatMsg& message)
{
    LogCallback(L"OnChatMessageFailed", message.GetSendId());
    CallListeners([&](IVexlaLibListener* l) { l->OnChatMessageFailed(chat, message); });
}

void CVexlaLib::NotifyPacketSent(TPacketSPtr packet)
{
    LogCallback(L"OnPacketSent", ChunkName(packet));
    CallListeners([&](IVexlaLibListener* l) { l->OnPacketSent(packet); });
}

void CVexlaLib::NotifyPacketReceived(TPacketSPtr packet)
{
    LogCallback(L"OnPacketReceived", ChunkName(packet));
    CallListeners([&](IVexlaLibListener* l) { l->OnPacketReceived(packet); });
}

void CVexlaLib::NotifyAddContactSuccess(const CContact& contact)
{
    if (!SessionEventAllowed(L"OnAddContactSuccess"))
        return;
    LogCallback(L"OnAddContactSuccess.");
    CallListeners([&](IVexlaLibListener* l) { l->OnAddContactSuccess(contact); });
}

// Also reported while the session is being cleared, after the sign-out: an add ends with its session.
void CVexlaLib::NotifyAddContactFailed(bool timedOut, int errorCode)
{
    LogCallback(L"OnInvalidContactIdentityReceived.");
    CallListeners([&](IVexlaLibListener* l) { l->OnAddContactFailed(timedOut, errorCode); });
}

void CVexlaLib::NotifySendAuthRequestFailed()
{
    if (!SessionEventAllowed(L"OnSendAuthRequestFailed"))
        return;
    LogCallback(L"OnSendAuthRequestFailed.");
    CallListeners([](IVexlaLibListener* l) { l->OnSendAuthRequestFailed(); });
}

void CVexlaLib::NotifyCustomEvent(int id, void* data)
{
    LogCallback(L"OnCustomEvent.");
    CallListeners([&](IVexlaLibListener* l) { l->OnCustomEvent(id, data); });
}

}  // namespace VexlaLib
