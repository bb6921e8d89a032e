#include "Tesk/App/VexlaSession.h"

#include "Network/INetListener.h"
#include "Public/VexlaLib.h"
#include "Tesk/App/DialOutRequests.h"
#include "Tesk/App/BalanceQueries.h"
#include "Tesk/App/ProcessStepSource.h"
#include "Tesk/App/ProfileRequests.h"
#include "Tesk/Core/BusReply.h"
#include "Tesk/Core/JSONObject.h"
#include "Tesk/Core/SystemRequest.h"
#include "Tesk/Core/TeskService.h"
#include "Utils/LogStream.h"
#include "Utils/Properties.h"

using VexlaLib::CVexlaLib;

namespace {

const int kProcessNetworkWork = 1;
const int kIdleCustomEvent = 1;

// The name the server knows: the user name up to its first "@".
std::wstring LoginName(const std::wstring& user)
{
    return user.substr(0, user.find(L'@'));
}

CJSONObject ParsedPayload(const CBusReply& reply)
{
    return CJSONObject(reply.Payload().c_str());
}

}  // namespace

template <typename THandler>
std::function<void(const CBusReply&)> CVexlaSession::WhileAlive(THandler handler)
{
    std::weak_ptr<int> alive = m_lifeToken;
    return [alive, handler](const CBusReply& reply) {
        if (!alive.expired())
            handler(reply);
    };
}

CVexlaSession::CVexlaSession(VexlaLib::IPersistentStorage* storage, GMainLoop* mainLoop, CTeskService* messagingService,
                             std::unique_ptr<VexlaLib::INetworkModule> networkModule)
    : m_pStorage(storage), m_pMainLoop(mainLoop), m_pMessagingService(messagingService)
{
    const CPlatformRequest status = CSystemRequest::ConnectionStatus();
    m_pMessagingService->ExecuteClientCall(status.uri, status.Payload(),
                                           WhileAlive([this](const CBusReply& reply) { OnConnectionStatus(reply); }));

    m_pLibrary = new CVexlaLib();
    if (networkModule)
        m_pLibrary->Initialize(m_pStorage, std::move(networkModule));
    else
        m_pLibrary->Initialize(m_pStorage);
    m_pLibrary->SetProperty(VexlaLib::CProperties::ASK_FOR_REQUIRED_LOCAL_ADDRESS, L"1");

    // Listening before the services do, the owners have settled a request before its callers hear
    // of the same event.
    m_dialOut.reset(new CDialOutRequests(m_pLibrary));
    m_balance.reset(new CBalanceQueries(m_pLibrary));
    m_profile.reset(new CProfileRequests(m_pLibrary));
    m_pLibrary->AddListener(this);
    m_pLibrary->SetConnectionListener(this);

    m_stepSource.reset(new CProcessStepSource(
        g_main_loop_get_context(m_pMainLoop), [this] { return MsUntilNextStep(); }, [this] { ProcessStep(); }));
    m_pLibrary->SetWakeup(m_stepSource.get());
}

CVexlaSession::~CVexlaSession()
{
    if (m_useCount != 0) {
        VexlaLib::LogError() << "CVexlaSession::~CVexlaSession Destroying session while it still has users attached."
                             << std::endl;
    }
    if (m_pLibrary != nullptr) {
        m_pLibrary->SetConnectionListener(nullptr);
        m_pLibrary->RemoveListener(this);
        m_profile.reset();
        m_balance.reset();
        m_dialOut.reset();
        m_pLibrary->Terminate();
        delete m_pLibrary;
        m_pLibrary = nullptr;
    }
    // After the library: its network threads, now stopped, woke the source.
    m_stepSource.reset();
}

void CVexlaSession::RequestShutdown()
{
    m_shutdownRequested = true;
    m_stepSource->Wakeup();
}

long long CVexlaSession::MsUntilNextStep() const
{
    if (m_shutdownDone)
        return -1;
    if (m_shutdownRequested || !m_idleReported)
        return 0;
    return m_pLibrary->MsUntilDue();
}

void CVexlaSession::ProcessStep()
{
    if (m_shutdownDone)
        return;
    if ((m_pLibrary->Process() & kProcessNetworkWork) != 0) {
        m_idleReported = false;
    } else if (!m_idleReported) {
        if (m_loginState == LOGIN_STATE_LOGGED_IN)
            m_pLibrary->NotifyCustomEvent(kIdleCustomEvent, nullptr);
        m_idleReported = true;
    }
    if (m_shutdownRequested)
        DoShutdown();
}

void CVexlaSession::DoShutdown()
{
    while (m_useCount > 0)
        TerminateSession();
    m_pLibrary->Process();
    g_main_loop_quit(m_pMainLoop);
    m_shutdownDone = true;
}

bool CVexlaSession::StartNewSession(const std::wstring& user, const std::wstring& password, TStartHandler decided)
{
    // Each request keeps its own credentials until its reply, so requests made before an earlier one
    // was answered do not overwrite each other.
    const CPlatformRequest query = CSystemRequest::PhoneNumberQuery();
    const bool sent = m_pMessagingService->ExecuteClientCallOneReply(
        query.uri, query.Payload(), WhileAlive([this, user, password, decided](const CBusReply& reply) {
            --m_pendingStarts;
            const TStartResult result = OnPhoneNumber(reply, user, password);
            if (decided)
                decided(result);
        }));
    if (sent)
        ++m_pendingStarts;
    return sent;
}

CVexlaSession::TStartResult CVexlaSession::OnPhoneNumber(const CBusReply& reply, const std::wstring& user,
                                                         const std::wstring& password)
{
    std::wstring pstn;
    if (!m_pLibrary->GetProperty(VexlaLib::CProperties::PSTN, &pstn)) {
        CJSONObject extended;
        std::wstring number;
        if (ParsedPayload(reply).GetObject("extended", &extended) && extended.GetString("number", &number))
            m_pLibrary->SetProperty(VexlaLib::CProperties::PSTN, L"+1" + number);
    }

    if (m_useCount == 0) {
        m_userName = user;
        m_passwordFingerprint.Take(password);
        m_loginState = LOGIN_STATE_REQUESTED;
        m_useCount = 1;
        m_pLibrary->SetUseSavedCredentials(false);
        m_pLibrary->Login(LoginName(m_userName), password);
        return START_LOGIN;
    }
    const bool sameAccount = user == m_userName && m_passwordFingerprint.Matches(password);
    if (!sameAccount && !(user.empty() && password.empty()))
        return START_REFUSED;
    ++m_useCount;
    return START_SHARED;
}

void CVexlaSession::TerminateSession()
{
    if (m_useCount == 0) {
        VexlaLib::LogError() << "Invalid use count for session (<1)" << std::endl;
        return;
    }
    --m_useCount;
    if (m_useCount == 0 && m_loginState == LOGIN_STATE_LOGGED_IN) {
        VexlaLib::LogNotice() << "CVexlaSession::TerminateSession request vexlalib to logout." << std::endl;
        m_pLibrary->Logout();
    }
}

void CVexlaSession::OnConnectionStatus(const CBusReply& reply)
{
    CJSONObject wan;
    if (!ParsedPayload(reply).GetObject("wan", &wan))
        return;
    wan.GetString("state", &m_wanState);
    wan.GetString("network", &m_wanNetwork);
    std::wstring address = m_localAddress;
    wan.GetString("ipAddress", &address);

    // Only a signed-in session is logged out and back in; before that the next connection attempt
    // asks for the address anyway.
    const bool addressChanged = !m_localAddress.empty() && address != m_localAddress;
    m_localAddress = address;
    if (addressChanged && !m_reconnecting && m_loginState == LOGIN_STATE_LOGGED_IN) {
        VexlaLib::LogNotice() << "-- new ip address found, forcing a reconnect" << std::endl;
        m_reconnecting = true;
        m_pLibrary->Logout();
    }
    QueryNetworkStatus();
}

void CVexlaSession::QueryNetworkStatus()
{
    const CPlatformRequest query = CSystemRequest::NetworkStatusQuery();
    m_pMessagingService->ExecuteClientCallOneReply(
        query.uri, query.Payload(), WhileAlive([this](const CBusReply& reply) { OnNetworkStatus(reply); }));
}

void CVexlaSession::OnNetworkStatus(const CBusReply& reply)
{
    CJSONObject extended;
    CJSONObject cdma;
    if (ParsedPayload(reply).GetObject("extended", &extended) && extended.GetObject("cdma", &cdma))
        cdma.GetBool("inPrl", &m_inHomeNetwork);
}

bool CVexlaSession::IsOnPhoneCall() const
{
    return m_wanNetwork == L"unusable";
}

bool CVexlaSession::IsConnectionAvailabile() const
{
    if (m_wanState == L"disconnected" || m_wanNetwork == L"unusable")
        return false;
    return m_inHomeNetwork;
}

int CVexlaSession::OnInterfaceRequest(std::wstring* address)
{
    if (m_wanState == L"disconnected" || m_wanNetwork == L"unusable")
        return VexlaLib::INTERFACE_NO_NETWORK;
    if (!m_inHomeNetwork)
        return VexlaLib::INTERFACE_OUTSIDE_HOME;
    if (m_localAddress.empty())
        return VexlaLib::INTERFACE_NOT_READY;
    *address = m_localAddress;
    return VexlaLib::INTERFACE_READY;
}

void CVexlaSession::OnLoginSuccess()
{
    VexlaLib::LogNotice() << "CVexlaSession::OnLoginSuccess - Logged in to vexla as user " << m_userName << std::endl;
    m_loginState = LOGIN_STATE_LOGGED_IN;
    m_reconnecting = false;
    // Every requester went away while the login was under way: nobody wants the session.
    if (m_useCount == 0) {
        VexlaLib::LogNotice() << "CVexlaSession::OnLoginSuccess - no user left, logging out." << std::endl;
        m_pLibrary->Logout();
    }
}

void CVexlaSession::OnLoginFailed(VexlaLib::eLoginError error)
{
    VexlaLib::LogNotice() << "CVexlaSession::OnLoginFailed - login failed reason " << static_cast<int>(error)
                          << " for user " << m_userName << std::endl;
    ClearSession();
}

void CVexlaSession::OnLogout(VexlaLib::eLogoutReason reason)
{
    VexlaLib::LogNotice() << "CVexlaSession::OnLogout - User " << m_userName << " has logged out from vexla, reason "
                          << static_cast<int>(reason) << std::endl;
    if (!m_reconnecting) {
        ClearSession();
        return;
    }
    VexlaLib::LogNotice() << "-- logging back in" << std::endl;
    // From the logout's own event, so the library still holds the password (it wipes it otherwise).
    m_pLibrary->LoginAgain(LoginName(m_userName));
}

// A failed relogin ends the reconnect too: nothing is under way any more.
void CVexlaSession::ClearSession()
{
    m_reconnecting = false;
    m_useCount = 0;
    m_loginState = LOGIN_STATE_SIGNED_OUT;
    m_userName.clear();
    m_passwordFingerprint.Clear();
}
