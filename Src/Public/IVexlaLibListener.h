#pragma once

#include "Handlers/AccountErrors.h"
#include "Network/PacketPtr.h"
#include "Utils/ByteArray.h"

#include <string>
#include <vector>

namespace VexlaLib {

class CChat;
class CChatMsg;
class CContact;
class CEventBase;
class CProfile;
class CSearch;

// Everything the library reports, called on the thread that runs CVexlaLib::Process. Every event
// has an empty default, so a listener overrides only what it needs.
class IVexlaLibListener
{
public:
    // Why a number to dial could not be given (OnDialOutFailed).
    enum eDialoutError
    {
        DIALOUT_NO_METHOD = 0,
        DIALOUT_NO_CALLSETUP = 1,
        DIALOUT_NO_VEXLAOUT = 2,
        DIALOUT_CALLS_DISABLED = 3,
        DIALOUT_INVALID_NUMBER = 4,
        DIALOUT_TIMEOUT = 5
    };

    virtual ~IVexlaLibListener() = default;

    virtual void OnRegisterUserSuccess() {}
    virtual void OnRegisterUserFailed(eRegisterError /*error*/, std::vector<std::wstring>* /*suggestions*/) {}
    virtual void OnLoginSuccess() {}
    virtual void OnLoginFailed(eLoginError /*error*/) {}
    virtual void OnLogout(eLogoutReason /*reason*/) {}
    virtual void OnNewSession(bool /*resumed*/) {}
    virtual void OnAvailabilityChanged(int /*availability*/) {}
    virtual void OnGetBalanceFailed(bool /*timedOut*/) {}
    virtual void OnGetBalanceSuccess(const std::wstring& /*currency*/, int /*amount*/) {}
    virtual void OnSubscriptionError(const std::wstring& /*message*/, const std::wstring& /*url*/) {}
    virtual void OnUpgradeAvailable(const std::wstring& /*message*/, const std::wstring& /*url*/, bool /*forced*/) {}
    virtual void OnContactAdded(const CContact& /*contact*/) {}
    virtual void OnContactDeleted(const CContact& /*contact*/) {}
    virtual void OnContactUpdated(const CContact& /*contact*/, int /*changes*/) {}
    virtual void OnContactListUpdated() {}
    virtual void OnContactPropsUpdated(const CContact& /*contact*/, int /*changes*/) {}
    virtual void OnContactPropsFailed(bool /*timedOut*/) {}
    virtual void OnAvatarReceived(const CContact& /*contact*/, TByteArraySPtr /*image*/) {}
    virtual void OnGetProfileSuccess(bool /*changed*/, const CProfile& /*profile*/) {}
    virtual void OnGetProfileFailed(bool /*timedOut*/) {}
    virtual void OnSaveProfileSuccess() {}
    virtual void OnSaveProfileFailed(bool /*timedOut*/) {}
    virtual void OnSearchFinished(const CSearch& /*search*/, bool /*extendable*/) {}
    virtual void OnSearchFailed(const CSearch& /*search*/) {}
    virtual void OnSearchResultAdded(const CSearch& /*search*/) {}
    virtual void OnCallsEnabled(bool /*enabled*/) {}
    virtual void OnGatewayNumberUpdated(const std::wstring& /*number*/, const std::wstring& /*name*/) {}
    virtual void OnCallingContact(int /*localTime*/, const std::wstring& /*callTarget*/,
                                  const std::wstring& /*vexlaName*/, const std::wstring& /*displayName*/) {}
    virtual void OnUseDialOutNumber(const std::wstring& /*number*/) {}
    virtual void OnDialOutFailed(eDialoutError /*error*/) {}
    virtual void OnEventAdded(const CEventBase* /*event*/) {}
    virtual void OnEventDeleted(const CEventBase* /*event*/) {}
    virtual void OnEventUpdated(const CEventBase* /*event*/) {}
    virtual void OnEventListUpdated() {}
    virtual void OnGetChatFailed(bool /*timedOut*/) {}
    virtual void OnChatMessagesAdded(const CChat& /*chat*/, int /*count*/) {}
    // A message written on this phone (named by its send id) reached the server: its echo arrived.
    virtual void OnChatMessageDelivered(const CChat& /*chat*/, const CChatMsg& /*message*/) {}
    // A message written on this phone can no longer be sent: its chat or the server session is gone, or
    // the chat never became ready at the server.
    virtual void OnChatMessageFailed(const CChat& /*chat*/, const CChatMsg& /*message*/) {}
    virtual void OnPacketSent(TPacketSPtr /*packet*/) {}
    virtual void OnPacketReceived(TPacketSPtr /*packet*/) {}
    virtual void OnAddContactSuccess(const CContact& /*contact*/) {}
    virtual void OnAddContactFailed(bool /*timedOut*/, int /*errorCode*/) {}
    virtual void OnSendAuthRequestFailed() {}
    virtual void OnCustomEvent(int /*id*/, void* /*data*/) {}
};

}  // namespace VexlaLib
