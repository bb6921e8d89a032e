#pragma once

#include <json-c/json.h>

#include "Public/IVexlaLibListener.h"

namespace VexlaLib {
class CVexlaLib;
class IPersistentStorage;
}  // namespace VexlaLib

// Prints every library event as one JSON line. Being the client's platform side, it also
// remembers the name of a successful login in the store, for "login-saved".
class CCliEventPrinter : public VexlaLib::IVexlaLibListener {
public:
    CCliEventPrinter(VexlaLib::CVexlaLib* lib, VexlaLib::IPersistentStorage* storage);

    static json_object* ContactJson(const VexlaLib::CContact& contact);
    static json_object* SearchJson(const VexlaLib::CSearch& search);
    static json_object* ChatJson(const VexlaLib::CChat& chat);

    void OnRegisterUserSuccess() override;
    void OnRegisterUserFailed(VexlaLib::eRegisterError error, std::vector<std::wstring>* suggestions) override;
    void OnLoginSuccess() override;
    void OnLoginFailed(VexlaLib::eLoginError error) override;
    void OnLogout(VexlaLib::eLogoutReason reason) override;
    void OnNewSession(bool resumed) override;
    void OnAvailabilityChanged(int availability) override;
    void OnGetBalanceFailed(bool timedOut) override;
    void OnGetBalanceSuccess(const std::wstring& currency, int amount) override;
    void OnSubscriptionError(const std::wstring& message, const std::wstring& url) override;
    void OnUpgradeAvailable(const std::wstring& message, const std::wstring& url, bool forced) override;
    void OnContactAdded(const VexlaLib::CContact& contact) override;
    void OnContactDeleted(const VexlaLib::CContact& contact) override;
    void OnContactUpdated(const VexlaLib::CContact& contact, int changes) override;
    void OnContactListUpdated() override;
    void OnContactPropsUpdated(const VexlaLib::CContact& contact, int changes) override;
    void OnContactPropsFailed(bool timedOut) override;
    void OnAvatarReceived(const VexlaLib::CContact& contact, VexlaLib::TByteArraySPtr image) override;
    void OnGetProfileSuccess(bool changed, const VexlaLib::CProfile& profile) override;
    void OnGetProfileFailed(bool timedOut) override;
    void OnSaveProfileSuccess() override;
    void OnSaveProfileFailed(bool timedOut) override;
    void OnSearchFinished(const VexlaLib::CSearch& search, bool extendable) override;
    void OnSearchFailed(const VexlaLib::CSearch& search) override;
    void OnSearchResultAdded(const VexlaLib::CSearch& search) override;
    void OnCallsEnabled(bool enabled) override;
    void OnGatewayNumberUpdated(const std::wstring& number, const std::wstring& name) override;
    void OnCallingContact(int localTime, const std::wstring& callTarget, const std::wstring& vexlaName,
                          const std::wstring& displayName) override;
    void OnUseDialOutNumber(const std::wstring& number) override;
    void OnDialOutFailed(eDialoutError error) override;
    void OnEventAdded(const VexlaLib::CEventBase* event) override;
    void OnEventDeleted(const VexlaLib::CEventBase* event) override;
    void OnEventUpdated(const VexlaLib::CEventBase* event) override;
    void OnEventListUpdated() override;
    void OnGetChatFailed(bool timedOut) override;
    void OnChatMessagesAdded(const VexlaLib::CChat& chat, int count) override;
    void OnPacketSent(VexlaLib::TPacketSPtr packet) override;
    void OnPacketReceived(VexlaLib::TPacketSPtr packet) override;
    void OnAddContactSuccess(const VexlaLib::CContact& contact) override;
    void OnAddContactFailed(bool timedOut, int errorCode) override;
    void OnSendAuthRequestFailed() override;
    void OnCustomEvent(int id, void* data) override;

private:
    VexlaLib::CVexlaLib* m_lib;
    VexlaLib::IPersistentStorage* m_storage;
};
