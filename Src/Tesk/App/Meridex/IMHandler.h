#pragma once

#include <memory>
#include <string>
#include <vector>

#include "Public/IVexlaLibListener.h"
#include "Tesk/App/Meridex/ActivityCycle.h"
#include "Tesk/App/Meridex/IIMHandler.h"
#include "Tesk/App/Meridex/TeskIMChatBus.h"
#include "Tesk/Core/BusTypes.h"

namespace VexlaLib {
class CVexlaLib;
}
class CBusReply;
class CIMChatTransport;
class CJSONObject;
class CTeskIMService;
class CVexlaSession;
struct CPlatformRequest;

// The messaging transport of the Vexla account: signs the user in and out as the login-state record
// asks, maps availability between the platform and the library, waits for the data connection or the
// cellular network when signing in is impossible, keeps presence fresh, powers down with the phone and
// removes everything when the account is deleted. Its work outlives the process through the
// activities of CIMActivities; every "offline" ends the process. Main-loop thread only.
class CIMHandler : public IIMHandler, public VexlaLib::IVexlaLibListener {
public:
    // Becomes the message handler of `service` and a listener of the session's library (neither owned).
    CIMHandler(CVexlaSession* session, CTeskIMService* service);
    ~CIMHandler() override;

    CIMHandler(const CIMHandler&) = delete;
    CIMHandler& operator=(const CIMHandler&) = delete;

    // A login that the UI service started succeeded with this login state: takes it over and does what
    // a login of this handler does once signed in.
    void OnLoginSuccess_setup(const std::wstring& username, const std::wstring& accountId,
                              const std::wstring& imLoginStateId, const std::wstring& customMessage, int availability);

    // IIMHandler.
    void onDelete(const TBusMessageSPtr& message, const std::wstring& accountId) override;
    void keepAlive(const TBusMessageSPtr& message) override;
    void loginStateChanged(const TBusMessageSPtr& message) override;
    void availabilityChanged(const TBusMessageSPtr& message) override;
    void customMessageChanged(const TBusMessageSPtr& message) override;
    void immessageChanged(const TBusMessageSPtr& message) override;
    void imcommandChanged(const TBusMessageSPtr& message) override;
    void connectionManagerStatusChanged(const TBusMessageSPtr& message) override;
    void networkStatusQueryChanged(const TBusMessageSPtr& message) override;

    // IVexlaLibListener.
    void OnSubscriptionError(const std::wstring& message, const std::wstring& url) override;
    void OnLoginSuccess() override;
    void OnLoginFailed(VexlaLib::eLoginError error) override;
    void OnLogout(VexlaLib::eLogoutReason reason) override;

private:
    // The login-state record: read at start and after every change of the wanted availability.
    void fetchLoginState(void (CIMHandler::*parse)(const CBusReply&));
    void availabilityAndCustomMessage_createWatch(const CBusReply& reply);
    void availability_parseObject(const CBusReply& reply);
    void takeLoginState(const CJSONObject& record);
    // Watches the wanted availability from `availability` on and acts on it.
    void followAvailability(int availability);
    void availability_process(int availability);
    void login(const CBusReply& reply);

    // The mood message.
    void customMessage_parseObject(const CBusReply& reply);
    void applyMoodMessage();

    // Writing the record's state; "offline" runs the clean-up chain, or ends the process when no
    // record is known.
    void updateState(const std::wstring& state);
    void updateAvailabilityandState(int availability, const std::wstring& state);
    // Every write of "offline" and its clean-up lead here.
    void offline_resetBuddyStatus(const CBusReply& reply);
    void exitService();
    // Answers every "onDelete" caller: done, or not (the daemon is going first).
    void answerDeletes(bool done);
    void quitMainLoop();

    // Signed in at the user's wish.
    void signedIn();
    void resetSyncState(const CBusReply& reply);
    void invalidCredentials();

    // Waiting for the network; the created watch writes "offline".
    void connectionManager_createWatch();
    void networkStatusQuery_createWatch();
    void waitForNetwork(const CPlatformRequest& watch);
    void poweringOff_update(const CBusReply& reply);

    VexlaLib::CVexlaLib* Library() const;
    bool IsLoggedIn() const;
    // Signed out with no sign-in requested or under way.
    bool isIdle() const;
    // A one-reply call on the messaging service.
    void Send(const CPlatformRequest& request, TBusReplyHandler handler = nullptr);
    // The same with a member function as the reply handler.
    void Send(const CPlatformRequest& request, void (CIMHandler::*handler)(const CBusReply&));

    std::wstring m_userName;
    std::wstring m_accountId;
    std::wstring m_imLoginStateId;
    std::wstring m_moodMessage;
    int m_availability = 0;
    CVexlaSession* m_pSession;
    CTeskIMService* m_pService;
    CActivityCycle m_activities;
    // Every caller of "onDelete" while the deletion is under way, and the account it was asked for.
    std::vector<TBusMessageSPtr> m_pendingDeletes;
    std::wstring m_deletedAccountId;
    bool m_deletionDone = false;  // the account's records are gone and the service is ending
    bool m_loginRequested = false;
    // The signed-in session is this transport's: it asked for it or took over the UI service's. Set
    // until the session's sign-out or its failed relogin after an address change.
    bool m_sessionOwned = false;
    bool m_inPrl = false;
    bool m_poweringOffSubscribed = false;
    int m_powerDownClientId = 0;
    bool m_loggingOutForPowerDown = false;
    // The message-carrying half: chat messages, group chats, the outbox and the commands.
    CTeskIMChatBus m_chatBus;
    std::unique_ptr<CIMChatTransport> m_chatTransport;
};
