#include "Tesk/App/Meridex/IMHandler.h"

#include <glib.h>

#include <ctime>

#include <vector>

#include "Model/Profile.h"
#include "Public/VexlaLib.h"
#include "Tesk/App/AvailabilityMapping.h"
#include "Tesk/App/Meridex/IMActivities.h"
#include "Tesk/App/Meridex/IMChatTransport.h"
#include "Tesk/App/IMDatabaseKinds.h"
#include "Tesk/App/IMRequests.h"
#include "Tesk/App/Meridex/TeskIMService.h"
#include "Tesk/App/ProfileRequests.h"
#include "Tesk/App/VexlaSession.h"
#include "Tesk/Core/BusMessage.h"
#include "Tesk/Core/BusReply.h"
#include "Tesk/Core/DbResults.h"
#include "Tesk/Core/JSONArray.h"
#include "Tesk/Core/JSONObject.h"
#include "Utils/LogStream.h"

using VexlaLib::LogInfo;
using VexlaLib::LogNotice;

namespace {

const wchar_t STATE_LOGGING_ON[] = L"logging-on";
const wchar_t STATE_ONLINE[] = L"online";
const wchar_t STATE_LOGGING_OFF[] = L"logging-off";
const wchar_t STATE_OFFLINE[] = L"offline";

CJSONObject Parsed(const CBusReply& reply)
{
    return CJSONObject(reply.Payload().c_str());
}

// The records of a find reply; empty when there are none or the reply failed.
std::vector<CJSONObject> Results(const CBusReply& reply)
{
    return CDbResults::Records(reply);
}

// The "_id" of the transport's own sync state among the records of a find reply; empty without one.
std::wstring OwnSyncStateId(const CBusReply& reply)
{
    for (const CJSONObject& record : Results(reply)) {
        std::wstring busAddress;
        std::wstring id;
        if (record.GetString("busAddress", &busAddress) && busAddress == CIMRequests::BUS_ADDRESS &&
            record.GetString("_id", &id))
            return id;
    }
    return std::wstring();
}

// A login-state record's wanted availability; offline when it has none.
int WantedAvailability(const CJSONObject& record)
{
    int availability = NYLO_OFFLINE;
    record.GetInt("availability", &availability);
    return availability;
}

}  // namespace

CIMHandler::CIMHandler(CVexlaSession* session, CTeskIMService* service)
    : m_pSession(session), m_pService(service), m_activities(service), m_chatBus(service),
      m_chatTransport(new CIMChatTransport(session->GetLibrary(), session->GetStorage(), &m_chatBus, std::time(nullptr)))
{
    m_pService->SetMessageHandler(this);
    Library()->AddListener(this);
}

CIMHandler::~CIMHandler()
{
    Library()->RemoveListener(this);
    answerDeletes(false);
}

void CIMHandler::answerDeletes(bool done)
{
    std::vector<TBusMessageSPtr> deletes;
    deletes.swap(m_pendingDeletes);
    for (const TBusMessageSPtr& message : deletes) {
        if (done)
            m_pService->SendSuccessResponse(message);
        else
            m_pService->SendErrorResponse(message, std::wstring(L"VexlaGeneric"),
                                          L"The service stopped before the account was deleted.");
    }
}

VexlaLib::CVexlaLib* CIMHandler::Library() const
{
    return m_pSession->GetLibrary();
}

bool CIMHandler::IsLoggedIn() const
{
    return Library()->IsLoggedIn();
}

bool CIMHandler::isIdle() const
{
    return !IsLoggedIn() && !m_loginRequested && m_pSession->GetLoginState() == CVexlaSession::LOGIN_STATE_SIGNED_OUT;
}

void CIMHandler::Send(const CPlatformRequest& request, TBusReplyHandler handler)
{
    m_pService->ExecuteClientCallOneReply(request.uri, request.Payload(), std::move(handler));
}

void CIMHandler::Send(const CPlatformRequest& request, void (CIMHandler::*handler)(const CBusReply&))
{
    Send(request, [this, handler](const CBusReply& reply) { (this->*handler)(reply); });
}

// --- Start and the login-state record ---------------------------------------------------------------

void CIMHandler::loginStateChanged(const TBusMessageSPtr& /*message*/)
{
    fetchLoginState(&CIMHandler::availabilityAndCustomMessage_createWatch);
    m_activities.AdoptAndComplete(CIMActivities::LOGINSTATE, nullptr);
}

void CIMHandler::availabilityChanged(const TBusMessageSPtr& message)
{
    if (!CActivityCycle::IsFired(CJSONObject(message->Payload().c_str())))
        return;
    m_activities.AdoptAndComplete(CIMActivities::AVAILABILITY,
                                  [this]() { fetchLoginState(&CIMHandler::availability_parseObject); });
}

void CIMHandler::fetchLoginState(void (CIMHandler::*parse)(const CBusReply&))
{
    Send(CIMRequests::FindLoginState(), parse);
}

void CIMHandler::availabilityAndCustomMessage_createWatch(const CBusReply& reply)
{
    const std::vector<CJSONObject> records = Results(reply);
    if (records.empty())
        return;
    takeLoginState(records.front());
    followAvailability(WantedAvailability(records.front()));
}

void CIMHandler::availability_parseObject(const CBusReply& reply)
{
    const std::vector<CJSONObject> records = Results(reply);
    if (records.empty())
        return;
    // A process started by this watch learns the account here.
    if (m_accountId.empty()) {
        takeLoginState(records.front());
        LogNotice() << "-- coldboot, username = " << m_userName << ", accountId = " << m_accountId
                    << ", imLoginStateId = " << m_imLoginStateId << ", loginMoodMessage = " << m_moodMessage
                    << std::endl;
    }
    followAvailability(WantedAvailability(records.front()));
}

void CIMHandler::takeLoginState(const CJSONObject& record)
{
    record.GetString("username", &m_userName);
    record.GetString("accountId", &m_accountId);
    record.GetString("_id", &m_imLoginStateId);
    record.GetString("customMessage", &m_moodMessage);
}

void CIMHandler::followAvailability(int availability)
{
    m_activities.Create(CIMActivities::Availability(availability));
    m_availability = availability;
    availability_process(availability);
}

void CIMHandler::availability_process(int availability)
{
    LogNotice() << "-- availability_process, availability = " << availability << std::endl;
    switch (availability) {
    case NYLO_ONLINE:
    case NYLO_AWAY:
    case NYLO_INVISIBLE:
        if (!IsLoggedIn()) {
            updateState(STATE_LOGGING_ON);
            Send(CIMRequests::ReadCredentials(m_accountId), &CIMHandler::login);
        } else {
            updateState(STATE_ONLINE);
            const int status = NyloToVexlaAvailability(availability);
            LogNotice() << "--- availability_process, updating availability to " << status << std::endl;
            Library()->SetOnlineStatus(status);
        }
        break;
    case NYLO_OFFLINE:
        updateState(STATE_LOGGING_OFF);
        for (const wchar_t* name : {CIMActivities::CUSTOM_MESSAGE, CIMActivities::IMMESSAGE, CIMActivities::IMCOMMAND,
                                    CIMActivities::KEEP_ALIVE})
            m_activities.Cancel(name);
        if (IsLoggedIn())
            Library()->Logout();
        else
            updateState(STATE_OFFLINE);
        break;
    default:
        break;
    }
}

void CIMHandler::login(const CBusReply& reply)
{
    CJSONObject credentials;
    std::wstring password;
    if (!Parsed(reply).GetObject("credentials", &credentials) || !credentials.GetString("password", &password)) {
        VexlaLib::LogWarning() << "CIMHandler::login, no credentials for account " << m_accountId << std::endl;
        return;
    }
    m_loginRequested = true;
    m_pSession->StartNewSession(m_userName, password);
}

// --- Mood message ----------------------------------------------------------------------------------

void CIMHandler::customMessageChanged(const TBusMessageSPtr& message)
{
    if (!CActivityCycle::IsFired(CJSONObject(message->Payload().c_str())))
        return;
    m_activities.AdoptAndComplete(CIMActivities::CUSTOM_MESSAGE,
                                  [this]() { fetchLoginState(&CIMHandler::customMessage_parseObject); });
}

void CIMHandler::customMessage_parseObject(const CBusReply& reply)
{
    const std::vector<CJSONObject> records = Results(reply);
    if (records.empty())
        return;
    std::wstring moodMessage;
    records.front().GetString("customMessage", &moodMessage);
    m_activities.Create(CIMActivities::CustomMessage(moodMessage));
    m_moodMessage = moodMessage;
    applyMoodMessage();
}

void CIMHandler::applyMoodMessage()
{
    if (!IsLoggedIn() || Library()->GetModel().GetProfile() == nullptr)
        return;
    // In turn with the other profile changes, so that none undoes another.
    const std::wstring mood = m_moodMessage;
    m_pSession->ProfileRequests().Save([mood](VexlaLib::CProfile& profile) { profile.SetMoodText(mood); }, nullptr);
}

// --- Messages and commands -------------------------------------------------------------------------

void CIMHandler::immessageChanged(const TBusMessageSPtr& /*message*/)
{
    m_activities.AdoptAndComplete(CIMActivities::IMMESSAGE, [this]() { m_chatTransport->ProcessOutbox(); });
}

void CIMHandler::imcommandChanged(const TBusMessageSPtr& /*message*/)
{
    m_activities.AdoptAndComplete(CIMActivities::IMCOMMAND, [this]() { m_chatTransport->ProcessCommands(); });
}

// --- The record's state and the end of the process -------------------------------------------------

void CIMHandler::updateState(const std::wstring& state)
{
    if (m_imLoginStateId.empty() && state == STATE_OFFLINE) {
        quitMainLoop();
        return;
    }
    LogInfo() << "CIMHandler::updateState, state = " << state << std::endl;
    if (state == STATE_OFFLINE)
        Send(CIMRequests::MergeState(m_imLoginStateId, state), [this](const CBusReply&) {
            Send(CIMRequests::FindBuddyStatus(), &CIMHandler::offline_resetBuddyStatus);
        });
    else
        Send(CIMRequests::MergeState(m_imLoginStateId, state));
}

void CIMHandler::updateAvailabilityandState(int availability, const std::wstring& state)
{
    if (m_imLoginStateId.empty() && state == STATE_OFFLINE) {
        quitMainLoop();
        return;
    }
    LogInfo() << "CIMHandler::updateAvailabilityandState, availability = " << availability << ", state = " << state
              << std::endl;
    Send(CIMRequests::MergeAvailability(m_imLoginStateId, availability));
}

void CIMHandler::offline_resetBuddyStatus(const CBusReply& reply)
{
    std::vector<std::wstring> ids;
    for (const CJSONObject& record : Results(reply)) {
        std::wstring id;
        if (record.GetString("_id", &id))
            ids.push_back(id);
    }
    if (!ids.empty())
        Send(CIMRequests::MergeBuddiesOffline(ids));
    Send(CIMRequests::UnbindGroupChats());
    Send(CIMRequests::LockUnnamedGroupChats());
    exitService();
}

void CIMHandler::exitService()
{
    m_deletionDone = !m_deletedAccountId.empty();
    answerDeletes(true);
    if (IsLoggedIn())
        Library()->Logout();
    else
        quitMainLoop();
}

void CIMHandler::quitMainLoop()
{
    LogNotice() << "CIMHandler: the account is offline, nothing left to serve." << std::endl;
    if (GMainLoop* loop = m_pService->MainLoop())
        g_main_loop_quit(loop);
}

// --- Signed in -------------------------------------------------------------------------------------

void CIMHandler::OnLoginSuccess()
{
    m_activities.Create(CIMActivities::KeepAlive());
    if (!m_loginRequested)
        return;
    m_loginRequested = false;
    signedIn();
}

void CIMHandler::OnLoginSuccess_setup(const std::wstring& username, const std::wstring& accountId,
                                      const std::wstring& imLoginStateId, const std::wstring& customMessage,
                                      int availability)
{
    m_userName = username;
    m_accountId = accountId;
    m_imLoginStateId = imLoginStateId;
    m_moodMessage = customMessage;
    m_availability = availability;
    LogNotice() << "-- OnLoginSuccess courtesy of com.vexla.ui." << std::endl;
    signedIn();
}

void CIMHandler::signedIn()
{
    m_sessionOwned = true;
    m_chatTransport->SetUserName(m_userName);
    updateState(STATE_ONLINE);
    const int status = NyloToVexlaAvailability(m_availability);
    LogNotice() << "--- OnLoginSuccess, updating availability to " << status << std::endl;
    Library()->SetOnlineStatus(status);

    m_activities.Create(CIMActivities::CustomMessage(m_moodMessage));
    applyMoodMessage();
    m_activities.Create(CIMActivities::IMMessage(m_chatTransport->OutboxRevision()));
    m_activities.Create(CIMActivities::IMCommand());

    // One subscription serves every sign-in of the process.
    if (!m_poweringOffSubscribed) {
        const CPlatformRequest poweringOff = CIMRequests::SubscribePoweringOff();
        m_poweringOffSubscribed = m_pService->ExecuteClientCall(
            poweringOff.uri, poweringOff.Payload(), [this](const CBusReply& reply) { poweringOff_update(reply); });
    }
    Send(CIMRequests::RegisterPowerDown(true),
         [this](const CBusReply& reply) { Parsed(reply).GetInt("clientId", &m_powerDownClientId); });
    Send(CIMRequests::FindSyncState(), &CIMHandler::resetSyncState);
}

void CIMHandler::resetSyncState(const CBusReply& reply)
{
    const std::wstring id = OwnSyncStateId(reply);
    if (!id.empty())
        Send(CIMRequests::MergeSyncStateIdle(id));
}

// --- Failures and sign-out -------------------------------------------------------------------------

void CIMHandler::OnLoginFailed(VexlaLib::eLoginError error)
{
    // The only login that fails while this transport owns the session is the relogin after an
    // address change. Its logout was passed over as a reconnect: the power-down registration of the
    // signed-in session goes here, and the failure is handled as one of a requested login.
    const bool reloginFailed = m_sessionOwned;
    if (!m_loginRequested && !reloginFailed)
        return;
    m_loginRequested = false;
    m_sessionOwned = false;
    LogNotice() << "CIMHandler::OnLoginFailed, reason = " << error << std::endl;
    if (reloginFailed)
        Send(CIMRequests::RegisterPowerDown(false));
    switch (error) {
    case VexlaLib::LOGIN_ERROR_NETWORK:
    case VexlaLib::LOGIN_ERROR_NETWORK_NO_COVERAGE:
        connectionManager_createWatch();
        break;
    case VexlaLib::LOGIN_ERROR_NETWORK_ROAMING:
        networkStatusQuery_createWatch();
        break;
    case VexlaLib::LOGIN_ERROR_INCORRECT_PASSWORD:
        invalidCredentials();
        break;
    default:
        updateAvailabilityandState(NYLO_OFFLINE, STATE_OFFLINE);
        break;
    }
}

void CIMHandler::OnSubscriptionError(const std::wstring& /*message*/, const std::wstring& /*url*/)
{
    if (!m_loginRequested && !IsLoggedIn())
        return;
    m_loginRequested = false;
    invalidCredentials();
}

void CIMHandler::invalidCredentials()
{
    Send(CIMRequests::FindSyncState(), [this](const CBusReply& reply) {
        Send(CIMRequests::WriteSyncStateUnauthorized(m_accountId, OwnSyncStateId(reply)),
             [this](const CBusReply&) { updateAvailabilityandState(NYLO_OFFLINE, STATE_OFFLINE); });
    });
}

void CIMHandler::OnLogout(VexlaLib::eLogoutReason reason)
{
    if (m_pSession->IsReconnecting())
        return;
    LogNotice() << "CIMHandler::OnLogout, reason = " << reason << std::endl;
    m_sessionOwned = false;
    m_activities.Cancel(CIMActivities::KEEP_ALIVE);
    if (m_loggingOutForPowerDown) {
        m_loggingOutForPowerDown = false;
        Send(CIMRequests::PowerDownAck(m_powerDownClientId));
        connectionManager_createWatch();
        return;
    }
    Send(CIMRequests::RegisterPowerDown(false));
    switch (reason) {
    case VexlaLib::LOGOUT_REASON_NETWORK:
    case VexlaLib::LOGOUT_REASON_NETWORK_NO_COVERAGE:
        connectionManager_createWatch();
        break;
    case VexlaLib::LOGOUT_REASON_NETWORK_ROAMING:
        networkStatusQuery_createWatch();
        break;
    default:
        updateState(STATE_OFFLINE);
        break;
    }
}

// --- Waiting for the network and powering off ------------------------------------------------------

void CIMHandler::connectionManager_createWatch()
{
    waitForNetwork(CIMActivities::ConnectionManager());
}

void CIMHandler::networkStatusQuery_createWatch()
{
    waitForNetwork(CIMActivities::NetworkStatus());
}

void CIMHandler::waitForNetwork(const CPlatformRequest& watch)
{
    for (const wchar_t* name : {CIMActivities::AVAILABILITY, CIMActivities::CUSTOM_MESSAGE, CIMActivities::IMMESSAGE,
                                CIMActivities::IMCOMMAND, CIMActivities::KEEP_ALIVE})
        m_activities.Cancel(name);
    m_activities.Create(watch, BUS_MANY_REPLIES, [this]() { updateState(STATE_OFFLINE); });
}

void CIMHandler::connectionManagerStatusChanged(const TBusMessageSPtr& /*message*/)
{
    m_activities.AdoptAndComplete(CIMActivities::CONNECTION_MANAGER, [this]() {
        fetchLoginState(&CIMHandler::availabilityAndCustomMessage_createWatch);
    });
}

void CIMHandler::networkStatusQueryChanged(const TBusMessageSPtr& message)
{
    CJSONObject activity, trigger, eventNetwork, cdma;
    if (CJSONObject(message->Payload().c_str()).GetObject("$activity", &activity) &&
        activity.GetObject("trigger", &trigger) && trigger.GetObject("eventNetwork", &eventNetwork) &&
        eventNetwork.GetObject("cdma", &cdma))
        cdma.GetBool("inPrl", &m_inPrl);
    m_activities.AdoptAndComplete(CIMActivities::NETWORK_STATUS, [this]() {
        if (m_inPrl)
            fetchLoginState(&CIMHandler::availabilityAndCustomMessage_createWatch);
        else
            networkStatusQuery_createWatch();
    });
}

void CIMHandler::poweringOff_update(const CBusReply& reply)
{
    bool poweringOff = false;
    if (!Parsed(reply).GetBool("poweringOff", &poweringOff) || !poweringOff)
        return;
    if (IsLoggedIn()) {
        m_loggingOutForPowerDown = true;
        Library()->Logout();
    } else {
        connectionManager_createWatch();
    }
}

// --- Keep alive and account deletion ---------------------------------------------------------------

void CIMHandler::keepAlive(const TBusMessageSPtr& /*message*/)
{
    m_activities.Adopt(CIMActivities::KEEP_ALIVE, [this]() {
        // A daemon started by this activity while signed out (it ended while signed in) has nothing
        // to keep alive: the activity goes, and so does the process. The next sign-in creates it again.
        if (isIdle()) {
            m_activities.Cancel(CIMActivities::KEEP_ALIVE);
            quitMainLoop();
            return;
        }
        Library()->RequestPresenceUpdate();
    });
}

void CIMHandler::onDelete(const TBusMessageSPtr& message, const std::wstring& accountId)
{
    // A caller who asks once the deletion is done, while the service ends, gets its answer at once.
    if (m_deletionDone && accountId == m_deletedAccountId) {
        m_pService->SendSuccessResponse(message);
        return;
    }
    // A deletion under way removes every record but the sync state of another account: the later
    // caller waits for it and gets the same answer.
    const bool underWay = !m_pendingDeletes.empty();
    m_pendingDeletes.push_back(message);
    if (underWay) {
        if (accountId != m_deletedAccountId)
            Send(CIMRequests::DeleteSyncState(accountId));
        return;
    }
    m_deletedAccountId = accountId;
    m_imLoginStateId.clear();
    Send(CIMRequests::DeleteAll(KIND_IMLOGINSTATE, false));
    Send(CIMRequests::DeleteAll(KIND_IMBUDDYSTATUS, true));
    Send(CIMRequests::DeleteAll(KIND_CONTACT, false));
    Send(CIMRequests::DeleteAll(KIND_IMGROUPCHAT, false));
    Send(CIMRequests::DeleteSyncState(accountId));
    for (const wchar_t* name : {CIMActivities::AVAILABILITY, CIMActivities::CUSTOM_MESSAGE, CIMActivities::IMMESSAGE,
                                CIMActivities::IMCOMMAND, CIMActivities::CONNECTION_MANAGER,
                                CIMActivities::NETWORK_STATUS, CIMActivities::KEEP_ALIVE})
        m_activities.Cancel(name);
    // A future account starts the transport again through this watch.
    m_activities.Create(CIMActivities::LoginState(), BUS_ONE_REPLY, [this]() { exitService(); });
}
