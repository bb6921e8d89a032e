#pragma once

#include "Model/Model.h"
#include "Network/INetListener.h"
#include "Public/IVexlaLibListener.h"

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace VexlaLib {

class CAccountHandler;
class CBaseHandler;
class CCallHandler;
class CChatHandler;
class CContactHandler;
class CPresenceHandler;
class CProperties;
class CTimer;
class CTimerManager;
class IConnectionListener;
class INetworkModule;
class IPersistentStorage;
class ITimer;
class IWakeup;

// Foreground or background, as the platform tells the library; it picks the presence poll interval.
enum eClientState
{
    CLIENT_STATE_FOREGROUND = 0,
    CLIENT_STATE_BACKGROUND = 1
};

// The one object through which the daemon uses the protocol library. It owns the network module,
// the properties, the timers, the object model and the handlers; it drives them from Process on the
// caller's thread, dispatches received packets to the handlers by chunk kind, and fans every event
// out to the registered listeners.
class CVexlaLib : public INetListener
{
public:
    CVexlaLib();
    ~CVexlaLib() override;

    CVexlaLib(const CVexlaLib&) = delete;
    CVexlaLib& operator=(const CVexlaLib&) = delete;

    // Lifecycle and plumbing.
    // Connects through the network module (CNetModule).
    bool Initialize(IPersistentStorage* storage);
    // The same over the given network side (tests drive the library through a scripted one).
    bool Initialize(IPersistentStorage* storage, std::unique_ptr<INetworkModule> networkModule);
    void Terminate();
    // Bit 0: network work was done; bit 1: a timer fired.
    int Process();
    void InterruptProcess();
    // Whom the network threads tell, from their own threads, when Process has something new to hand
    // over; not owned, must outlive the library's Terminate.
    void SetWakeup(IWakeup* wakeup);
    // While held, Process leaves received packets where they are (see CNetModule): a listener that
    // cannot keep up with them holds them back until it has caught up. Releasing wakes Process.
    void HoldReceiving(bool hold);
    // How long Process may wait before it next has something to do unless it is woken: 0 when work
    // is waiting already (a requested reconnect, deferred list reports), the milliseconds until the
    // earliest running timer is due, or -1 when nothing is scheduled.
    long long MsUntilDue() const;
    bool AddListener(IVexlaLibListener* listener);
    bool RemoveListener(IVexlaLibListener* listener);
    void SetConnectionListener(IConnectionListener* listener);
    CTimer* CreateTimer(ITimer* callback);
    void SetProperty(const std::wstring& key, const std::wstring& value);
    bool GetProperty(const std::wstring& key, std::wstring* value) const;
    static std::wstring GetVersionString();
    static int GetUniqueRequestId();
    // Times from the server may be anything: results beyond the int range are clamped to it.
    int ConvertToLocalTime(int serverTime) const { return ClampSeconds(static_cast<long long>(serverTime) - m_timeDifference); }
    int ConvertToServerTime(int localTime) const { return ClampSeconds(static_cast<long long>(localTime) + m_timeDifference); }
    void SendPacket(TPacketSPtr packet);
    void SendPacket(TPacketSPtr packet, int requestId);
    std::wstring GetLocalConnectionAddress() const;
    void SignalNetworkDown();
    void ForceNewSessionReconnect();
    void RequestReconnectIfLoggedIn() { m_reconnectRequested = true; }
    void ClearSessionData();
    CContact* FindContact(const std::wstring& name) const;
    bool IsLoggedIn() const;
    CModel& GetModel() { return m_model; }
    const std::wstring& GetHelpUrl() const { return m_helpUrl; }

    // Credentials and account.
    bool Login(const std::wstring& user, const std::wstring& password);
    // Login with the password the network side kept from the last sign-in, for logging back in after a
    // logout the caller asked for. The password is kept until the account signs out or fails to sign
    // in for good, so this is called from the logout's listener event.
    bool LoginAgain(const std::wstring& user);
    bool CancelLogin();
    bool Logout();
    bool RegisterUser(const std::wstring& name, const std::wstring& password, const std::wstring& fullName,
                      const std::wstring& email, bool allowSpam);
    bool RequestCreditBalance();
    bool RequestProfile();
    bool SaveProfile(const CProfile& profile);
    bool SetUseSavedCredentials(bool use);
    bool GetUseSavedCredentials() const;
    bool EraseSavedCredentials();
    bool RestoreLocallySavedCredentials();
    bool SetSavedCredentials(TPacketSPtr credentials);
    TPacketSPtr GetSavedCredentials();

    // Presence.
    bool SetOnlineStatus(int availability);
    bool RequestPresenceUpdate();
    bool SetClientState(eClientState state);

    // Contacts.
    bool RequestContactList();
    bool AddContact(const std::wstring& name, const std::wstring& message);
    bool AddVexlaOutContact(const std::wstring& number, const std::wstring& fullName);
    bool DeleteContact(int id);
    bool RequestContactProps(int id);
    bool RequestAvatar(int id, int width, int height);
    bool SendAuthRequest(const std::wstring& name, const std::wstring& message);
    bool AuthorizeContact(const std::wstring& name);
    bool UnblockContact(const std::wstring& name);
    bool BlockContact(const std::wstring& name);
    bool RejectContact(const std::wstring& name);
    bool SearchContacts(const std::wstring& text);
    bool ExtendContactSearch();
    bool EndContactSearch();

    // Calls and voicemail; contacts and voicemails are named by handle. Every request ends in one
    // OnUseDialOutNumber or OnDialOutFailed; refused (false) while signed out.
    bool RequestContactCall(int id);
    bool RequestVexlaCall(const std::wstring& name);
    bool RequestVexlaOutCall(const std::wstring& number);
    bool RequestListenVoicemail(int id);
    bool MarkVoicemailAsRead(int id);
    bool DeleteVoicemail(int id);
    bool MarkAllVoicemailsAsRead();
    bool DeleteAllVoicemails();

    // Chats; a chat is named by its handle. Operations that change chats need a signed-in library.
    bool RequestRecentChats();
    bool RequestUnreadChats();
    bool OpenChat(int id);
    bool CloseChat(int id);
    bool MarkChatAsRead(int id);
    bool LeaveChat(int id);
    bool SetChatTopic(int id, const std::wstring& topic);
    bool AddChatMembers(int id, const std::vector<std::wstring>& names);
    // Queues the text in the chat; sendId, when given, receives the id by which the delivery and failure
    // events name the message.
    bool SendChatMsg(int id, const std::wstring& text, int* sendId = nullptr);
    // The dialog with that user, created on the phone when there is none; null when refused.
    CChat* CreateOrOpenChat(const std::wstring& name);
    bool MarkAllChatsAsRead();
    bool LeaveAllChats();

    // INetListener.
    int OnInterfaceRequest(std::wstring* address) override;
    void OnPacketSent(TPacketSPtr packet) override;
    void OnPacketReceived(TPacketSPtr packet) override;
    void OnConnecting() override;
    void OnNetworkError(TNetworkErrorReason reason) override;
    bool TakesReceivedPackets() override { return !m_receivingHeld; }

    // Notifications, called by the handlers: each logs and calls the event on every listener.
    void NotifyRegisterUserSuccess();
    void NotifyRegisterUserFailed(eRegisterError error, std::vector<std::wstring>* suggestions);
    void NotifyLoginSuccess();
    void NotifyLoginFailed(eLoginError error);
    void NotifyLogout(eLogoutReason reason);
    void NotifyNewSession(bool resumed);
    void NotifyAvailabilityChanged(int availability);
    void NotifyGetBalanceFailed(bool timedOut);
    // Reports the model's credit; nothing when there is none.
    void NotifyGetBalanceSuccess();
    void NotifySubscriptionError(const std::wstring& message, const std::wstring& url);
    void NotifyUpgradeAvailable(const std::wstring& message, const std::wstring& url, bool forced);
    void NotifyContactAdded(const CContact& contact);
    void NotifyContactDeleted(const CContact& contact);
    void NotifyContactUpdated(const CContact& contact, int changes);
    // Deferred: only marks the list changed; Process reports it once at the end of the step.
    void NotifyContactListUpdated(bool deferred);
    void NotifyContactPropsUpdated(const CContact& contact, int changes);
    void NotifyContactPropsFailed(bool timedOut);
    void NotifyAvatarReceived(const CContact& contact, TByteArraySPtr image);
    void NotifyGetProfileSuccess(bool changed, const CProfile& profile);
    void NotifyGetProfileFailed(bool timedOut);
    void NotifySaveProfileSuccess();
    void NotifySaveProfileFailed(bool timedOut);
    void NotifySearchFinished(const CSearch& search, bool extendable);
    void NotifySearchFailed(const CSearch& search);
    void NotifySearchResultAdded(const CSearch& search);
    void NotifyCallsEnabled(bool enabled);
    void NotifyGatewayNumberUpdated(const std::wstring& number, const std::wstring& name);
    void NotifyCallingContact(int localTime, const std::wstring& callTarget, const std::wstring& vexlaName,
                              const std::wstring& displayName);
    void NotifyUseDialOutNumber(const std::wstring& number);
    void NotifyDialOutFailed(IVexlaLibListener::eDialoutError error);
    void NotifyEventAdded(const CEventBase* event);
    void NotifyEventDeleted(const CEventBase* event);
    void NotifyEventUpdated(const CEventBase* event);
    void NotifyEventListUpdated(bool deferred);
    void NotifyGetChatFailed(bool timedOut);
    void NotifyChatMessagesAdded(const CChat& chat, int count);
    void NotifyChatMessageDelivered(const CChat& chat, const CChatMsg& message);
    void NotifyChatMessageFailed(const CChat& chat, const CChatMsg& message);
    void NotifyPacketSent(TPacketSPtr packet);
    void NotifyPacketReceived(TPacketSPtr packet);
    void NotifyAddContactSuccess(const CContact& contact);
    void NotifyAddContactFailed(bool timedOut, int errorCode);
    void NotifySendAuthRequestFailed();
    void NotifyCustomEvent(int id, void* data);

private:
    typedef std::function<void(const TPacketSPtr&)> TPacketHandler;
    struct TDispatchRow
    {
        bool needsLogin;
        TPacketHandler handler;
    };

    static int ClampSeconds(long long seconds);
    void BuildDispatchTable();
    void HandleConnected(const TPacketSPtr& packet);
    void HandleError(const TPacketSPtr& packet);
    void HandleLoggedin(const TPacketSPtr& packet);
    void HandlePresenceSettings(const TPacketSPtr& packet);
    void CheckForUpgrade(const TPacketSPtr& packet, const std::wstring& url, const std::wstring& latestVersion);
    bool AnswerAuthRequest(const std::wstring& name, int type);
    // The handler when a request of the session may go to it: null before Initialize and while
    // signed out (its reports go to signed-in listeners only, and nothing of it may run without one).
    template <typename THandler>
    THandler* SessionHandler(const std::unique_ptr<THandler>& handler) const
    {
        return IsLoggedIn() ? handler.get() : nullptr;
    }
    // Calls the operation for the contact with that handle; false without one or while signed out.
    bool ForwardToContact(int id, void (CContactHandler::*operation)(CContact*));
    // Calls the operation for the voicemail with that handle; false without one or without the handler.
    bool ForwardToVoicemail(int id, void (CCallHandler::*operation)(CVoicemail*));
    // The chat with that handle when the chat handler can work on it: null before Initialize, while
    // signed out (its reports go to signed-in listeners only) or for an unknown handle.
    CChat* ChatForOperation(int id);
    // Calls call(chat) for the chat ChatForOperation finds; false without one.
    template <typename TCall>
    bool ForwardToChat(int id, TCall call);
    // Calls the event on every listener, in registration order, with adding and removing refused.
    template <typename TCall>
    void CallListeners(TCall call);
    // Whether an event that belongs to a session may be reported: false while signed out, when the
    // event is dropped and logged instead.
    bool SessionEventAllowed(const wchar_t* event) const;

    std::vector<IVexlaLibListener*> m_listeners;
    CModel m_model;
    std::unique_ptr<INetworkModule> m_pNetModule;
    IPersistentStorage* m_pStorage = nullptr;
    std::unique_ptr<CProperties> m_pProperties;
    std::unique_ptr<CTimerManager> m_pTimerManager;
    std::unique_ptr<CAccountHandler> m_pAccountHandler;
    std::unique_ptr<CContactHandler> m_pContactHandler;
    std::unique_ptr<CPresenceHandler> m_pPresenceHandler;
    std::unique_ptr<CCallHandler> m_pCallHandler;
    std::unique_ptr<CChatHandler> m_pChatHandler;
    // Every handler, in the order errors are offered and session data is cleared.
    std::vector<CBaseHandler*> m_handlers;
    std::map<int, TDispatchRow> m_dispatch;
    eClientState m_clientState = CLIENT_STATE_FOREGROUND;
    bool m_notifying = false;
    int m_timeDifference = 0;
    int m_foregroundPollInterval = 180000;
    int m_backgroundPollInterval = 180000;
    bool m_contactListChanged = false;
    bool m_eventListChanged = false;
    std::wstring m_helpUrl = L"#";
    IConnectionListener* m_pConnectionListener = nullptr;
    bool m_reconnectRequested = false;
    bool m_interrupt = false;
    bool m_receivingHeld = false;
    IWakeup* m_pWakeup = nullptr;

    static int m_requestCounter;
};

}  // namespace VexlaLib
