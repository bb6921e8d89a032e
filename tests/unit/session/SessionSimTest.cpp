// The session driven only by the bus and the simulators: platform-sim's services on a private bus,
// the simulated Vexla network on loopback, the library's own network module in between.

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "Public/VexlaLib.h"
#include "Tesk/App/DisplayEventHandler.h"
#include "Tesk/App/DisplayServiceClient.h"
#include "Tesk/App/Meridex/IMHandler.h"
#include "Tesk/App/Meridex/TeskIMService.h"
#include "Tesk/App/NyloSystemServices.h"
#include "Tesk/App/VexlaSession.h"
#include "Tesk/Core/BusReply.h"
#include "Tesk/Core/JSONArray.h"
#include "Tesk/Core/JSONObject.h"
#include "Tesk/Core/TeskService.h"
#include "Utils/LocalStorage.h"
#include "Utils/Properties.h"
#include "support/PlatformBus.h"
#include "serversim/SimFixture.h"
#include "support/LogCapture.h"
#include "support/RecordingListener.h"

namespace {

using TestSupport::RunUntil;

// What the simulated network recorded: the events whose text holds every fragment.
std::vector<std::string> EventsOf(const ServerSim::CEventLog& events, std::initializer_list<std::string> fragments)
{
    std::vector<std::string> found;
    for (const std::string& line : events.Since(0)) {
        bool all = true;
        for (const std::string& fragment : fragments)
            all = all && line.find(fragment) != std::string::npos;
        if (all)
            found.push_back(line);
    }
    return found;
}

// Notes, at each logout the library reports, whether the session still counted as signed in.
class CLogoutWitness : public VexlaTest::CRecordingListener {
public:
    explicit CLogoutWitness(const CVexlaSession* session) : m_session(session) {}
    void OnLogout(VexlaLib::eLogoutReason reason) override
    {
        CRecordingListener::OnLogout(reason);
        m_signedOutSeen = m_signedOutSeen || m_session->GetLoginState() == CVexlaSession::LOGIN_STATE_SIGNED_OUT;
        m_reconnectingAtLogout = m_session->IsReconnecting();
    }
    const CVexlaSession* m_session;
    bool m_signedOutSeen = false;
    bool m_reconnectingAtLogout = false;
};

// The simulated Vexla network (accounts alice/secret and bob) comes from the simulator's own fixture.
class SessionSimTest : public SimTest::SimFixture {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_bus.StartPlatform());
        ASSERT_TRUE(m_im.Register(m_imName, false));
        m_loop = g_main_loop_new(nullptr, FALSE);
        m_storage.Initialize();
        m_session.reset(new CVexlaSession(&m_storage, m_loop, &m_im));
        Library().SetProperty(VexlaLib::CProperties::SERVER_ENVIRONMENT, L"TEST");
        Library().SetProperty(L"SERVER_ADDRESS_LIST", L"127.0.0.1:" + std::to_wstring(m_server.Port()));
        Library().SetProperty(VexlaLib::CProperties::USE_SDF_SERVER, L"NO");
        m_witness.reset(new CLogoutWitness(m_session.get()));
        Library().AddListener(m_witness.get());
        // The first connection status gives the session its address.
        ASSERT_TRUE(RunUntil([this] { return AddressAnswer() == VexlaLib::INTERFACE_READY; }));
    }

    void TearDown() override
    {
        if (m_session) {
            Library().RemoveListener(m_witness.get());
            while (m_session->GetUseCount() > 0)
                m_session->TerminateSession();
            m_session.reset();
        }
        m_im.Shutdown();
        m_bus.StopPlatform();
        if (m_loop != nullptr)
            g_main_loop_unref(m_loop);
    }

    VexlaLib::CVexlaLib& Library() { return *m_session->GetLibrary(); }
    int AddressAnswer(std::wstring* address = nullptr)
    {
        std::wstring ignored;
        return m_session->OnInterfaceRequest(address != nullptr ? address : &ignored);
    }
    std::vector<std::string> Events(std::initializer_list<std::string> fragments) const
    {
        return EventsOf(m_events, fragments);
    }
    size_t Received(const std::string& chunk) const
    {
        return Events({"\"type\":\"received\"", "\"chunk\":\"" + chunk + "\""}).size();
    }
    bool LoggedIn() const { return m_session->GetLoginState() == CVexlaSession::LOGIN_STATE_LOGGED_IN; }

    // Calls a platform method and waits for its reply; the reply's payload.
    CJSONObject Call(const std::wstring& uri, const std::string& payload)
    {
        std::string answer;
        bool answered = false;
        EXPECT_TRUE(m_im.ExecuteClientCallOneReply(uri, std::wstring(payload.begin(), payload.end()),
                                                   [&](const CBusReply& reply) {
                                                       answer = reply.Payload();
                                                       answered = true;
                                                   }));
        EXPECT_TRUE(RunUntil([&] { return answered; })) << "no reply from " << std::string(uri.begin(), uri.end());
        return CJSONObject(answer.c_str());
    }
    void SimControl(const char* method, const std::string& payload)
    {
        bool ok = false;
        Call(std::wstring(L"nylo://com.nylo.sim/") + std::wstring(method, method + strlen(method)), payload)
            .GetBool("returnValue", &ok);
        EXPECT_TRUE(ok) << method;
    }

    void SignIn(const std::wstring& user = L"alice", const std::wstring& password = L"secret")
    {
        ASSERT_TRUE(m_session->StartNewSession(user, password));
        ASSERT_TRUE(RunUntil([this] { return LoggedIn(); })) << "not signed in";
    }

    TestSupport::CPlatformBus m_bus;
    // Unnamed unless a test serves the activities' callbacks.
    const char* m_imName = nullptr;
    CTeskIMService m_im;
    GMainLoop* m_loop = nullptr;
    VexlaLib::CLocalStorage m_storage;
    std::unique_ptr<CVexlaSession> m_session;
    std::unique_ptr<CLogoutWitness> m_witness;
};

TEST_F(SessionSimTest, SameCredentialsShareOneLoginAndTheLastUserLogsOut)
{
    ASSERT_TRUE(m_session->StartNewSession(L"alice", L"secret"));
    ASSERT_TRUE(m_session->StartNewSession(L"alice", L"secret"));
    ASSERT_TRUE(RunUntil([this] { return LoggedIn() && m_session->GetUseCount() == 2; }));
    EXPECT_EQ(Received("CHUNK_LOGIN"), 1u);

    std::wstring pstn;
    EXPECT_TRUE(Library().GetProperty(VexlaLib::CProperties::PSTN, &pstn));
    EXPECT_EQ(pstn, L"+14085550123");

    m_session->TerminateSession();
    EXPECT_EQ(m_session->GetUseCount(), 1);
    m_session->TerminateSession();
    ASSERT_TRUE(RunUntil([this] { return m_session->GetLoginState() == CVexlaSession::LOGIN_STATE_SIGNED_OUT; }));
    EXPECT_EQ(Received("CHUNK_LOGOUT"), 1u);
    m_session->TerminateSession();
    EXPECT_EQ(m_session->GetUseCount(), 0);
    EXPECT_EQ(Received("CHUNK_LOGOUT"), 1u);
}

TEST_F(SessionSimTest, EmptyCredentialsShareTheSessionAndASecondAccountIsRefused)
{
    SignIn();
    ASSERT_TRUE(m_session->StartNewSession(L"", L""));
    ASSERT_TRUE(m_session->StartNewSession(L"bob", L"pw"));
    // The replies come in order: once this one counts, bob's request was handled.
    ASSERT_TRUE(m_session->StartNewSession(L"", L""));
    ASSERT_TRUE(RunUntil([this] { return m_session->GetUseCount() == 3; }));

    EXPECT_TRUE(LoggedIn());
    EXPECT_EQ(Received("CHUNK_LOGIN"), 1u);
    EXPECT_EQ(Events({"\"KEY_VEXLANAME\":\"bob\""}).size(), 0u);
}

// Each request keeps its own credentials until its reply: the second one does not overwrite the first.
TEST_F(SessionSimTest, TwoAccountsRequestedBeforeAnyReplyLogInTheFirstAndRefuseTheSecond)
{
    ASSERT_TRUE(m_session->StartNewSession(L"alice", L"secret"));
    ASSERT_TRUE(m_session->StartNewSession(L"bob", L"pw"));
    ASSERT_TRUE(m_session->StartNewSession(L"", L""));
    ASSERT_TRUE(RunUntil([this] { return LoggedIn() && m_session->GetUseCount() == 2; }));
    EXPECT_EQ(Events({"\"chunk\":\"CHUNK_LOGIN\"", "\"KEY_VEXLANAME\":\"alice\""}).size(), 1u);
    EXPECT_EQ(Received("CHUNK_LOGIN"), 1u);
}

// Each requester learns whether the login is its own: only the first one's is.
TEST_F(SessionSimTest, EachRequestHearsWhetherItStartedTheLoginSharedItOrWasRefused)
{
    std::vector<CVexlaSession::TStartResult> results;
    auto record = [&](CVexlaSession::TStartResult result) { results.push_back(result); };
    ASSERT_TRUE(m_session->StartNewSession(L"alice", L"secret", record));
    EXPECT_TRUE(m_session->IsLoginInFlight());
    ASSERT_TRUE(m_session->StartNewSession(L"alice", L"secret", record));
    ASSERT_TRUE(m_session->StartNewSession(L"bob", L"pw", record));
    ASSERT_TRUE(RunUntil([&] { return results.size() == 3; }));
    EXPECT_EQ(results, (std::vector<CVexlaSession::TStartResult>{
                           CVexlaSession::START_LOGIN, CVexlaSession::START_SHARED, CVexlaSession::START_REFUSED}));
    ASSERT_TRUE(RunUntil([this] { return LoggedIn(); }));
    EXPECT_FALSE(m_session->IsLoginInFlight());
}

TEST_F(SessionSimTest, ALoginWhoseLastRequesterWentAwayLogsOutOnceItCompletes)
{
    ASSERT_TRUE(m_session->StartNewSession(L"alice", L"secret"));
    ASSERT_TRUE(RunUntil([this] { return m_session->GetLoginState() == CVexlaSession::LOGIN_STATE_REQUESTED; }));
    m_session->TerminateSession();
    EXPECT_EQ(m_session->GetUseCount(), 0);
    ASSERT_TRUE(RunUntil([this] { return Received("CHUNK_LOGOUT") == 1; }));
    ASSERT_TRUE(RunUntil([this] { return m_session->GetLoginState() == CVexlaSession::LOGIN_STATE_SIGNED_OUT; }));
    EXPECT_FALSE(Library().IsLoggedIn());
}

TEST_F(SessionSimTest, AddressChangeForcesOneReloginWithTheNameBeforeTheAtBoundToTheNewAddress)
{
    SignIn(L"alice@phone.example", L"secret");
    ASSERT_EQ(Events({"\"chunk\":\"CHUNK_LOGIN\"", "\"KEY_VEXLANAME\":\"alice\""}).size(), 1u);
    ASSERT_EQ(Events({"\"type\":\"accepted\"", "\"peer\":\"127.0.0.1:"}).size(), 1u);

    // The same address again changes nothing.
    SimControl("setConnection", R"({"ipAddress": "127.0.0.1", "state": "connected"})");
    SimControl("setConnection", R"({"ipAddress": "127.0.0.2"})");
    ASSERT_TRUE(RunUntil([this] {
        return Received("CHUNK_LOGIN") == 2 && LoggedIn() && !m_session->IsReconnecting();
    }));

    EXPECT_EQ(Received("CHUNK_LOGOUT"), 1u);
    EXPECT_EQ(Events({"\"chunk\":\"CHUNK_LOGIN\"", "\"KEY_VEXLANAME\":\"alice\""}).size(), 2u);
    EXPECT_EQ(Events({"\"type\":\"accepted\"", "\"peer\":\"127.0.0.2:"}).size(), 1u);
    EXPECT_EQ(m_witness->CountNamed("OnLogout"), 1u);
    EXPECT_TRUE(m_witness->m_reconnectingAtLogout);
    EXPECT_FALSE(m_witness->m_signedOutSeen);
    EXPECT_EQ(m_session->GetUseCount(), 1);
    std::wstring address;
    EXPECT_EQ(AddressAnswer(&address), VexlaLib::INTERFACE_READY);
    EXPECT_EQ(address, L"127.0.0.2");
}

TEST_F(SessionSimTest, AddressChangeBeforeSignInIsOnlyRecorded)
{
    SimControl("setConnection", R"({"ipAddress": "127.0.0.2"})");
    ASSERT_TRUE(RunUntil([this] {
        std::wstring address;
        return AddressAnswer(&address) == VexlaLib::INTERFACE_READY && address == L"127.0.0.2";
    }));
    EXPECT_FALSE(m_session->IsReconnecting());
    SignIn();
    EXPECT_EQ(Events({"\"type\":\"accepted\"", "\"peer\":\"127.0.0.2:"}).size(), 1u);
    EXPECT_EQ(Received("CHUNK_LOGOUT"), 0u);
}

TEST_F(SessionSimTest, FailedReloginEndsTheReconnectAndFreesTheSession)
{
    SignIn();
    Command(R"({"cmd": "on", "stage": "login", "action": "error", "code": 26})");
    SimControl("setConnection", R"({"ipAddress": "127.0.0.2"})");
    ASSERT_TRUE(RunUntil([this] { return m_witness->CountNamed("OnLoginFailed") == 1; }));
    EXPECT_FALSE(m_session->IsReconnecting());
    EXPECT_EQ(m_session->GetUseCount(), 0);
    EXPECT_EQ(m_session->GetLoginState(), CVexlaSession::LOGIN_STATE_SIGNED_OUT);
}

TEST_F(SessionSimTest, PhoneNumberBecomesThePstnPropertyOnce)
{
    SignIn();
    SimControl("setPhoneNumber", R"({"number": "6505550199"})");
    ASSERT_TRUE(m_session->StartNewSession(L"alice", L"secret"));
    ASSERT_TRUE(RunUntil([this] { return m_session->GetUseCount() == 2; }));
    std::wstring pstn;
    EXPECT_TRUE(Library().GetProperty(VexlaLib::CProperties::PSTN, &pstn));
    EXPECT_EQ(pstn, L"+14085550123");
}

TEST_F(SessionSimTest, InterfaceAnswersFollowTheConnectionAndTheNetwork)
{
    std::wstring address;
    EXPECT_EQ(AddressAnswer(&address), VexlaLib::INTERFACE_READY);
    EXPECT_EQ(address, L"127.0.0.1");

    SimControl("setConnection", R"({"state": "disconnected"})");
    ASSERT_TRUE(RunUntil([this] { return AddressAnswer() == VexlaLib::INTERFACE_NO_NETWORK; }));
    EXPECT_FALSE(m_session->IsConnectionAvailabile());
    EXPECT_FALSE(m_session->IsOnPhoneCall());

    SimControl("setConnection", R"({"state": "connected", "network": "unusable"})");
    ASSERT_TRUE(RunUntil([this] { return m_session->IsOnPhoneCall(); }));
    EXPECT_EQ(AddressAnswer(), VexlaLib::INTERFACE_NO_NETWORK);
    EXPECT_FALSE(m_session->IsConnectionAvailabile());

    // The home-network flag is read after each connection status.
    SimControl("setNetwork", R"({"inPrl": false})");
    SimControl("setConnection", R"({"network": "usable"})");
    ASSERT_TRUE(RunUntil([this] { return AddressAnswer() == VexlaLib::INTERFACE_OUTSIDE_HOME; }));
    EXPECT_FALSE(m_session->IsConnectionAvailabile());

    SimControl("setNetwork", R"({"inPrl": true})");
    SimControl("setConnection", R"({"state": "connected"})");
    ASSERT_TRUE(RunUntil([this] { return AddressAnswer() == VexlaLib::INTERFACE_READY; }));
    EXPECT_TRUE(m_session->IsConnectionAvailabile());
}

// Without a usable network, or outside the home network, the library refuses to connect and the
// login fails; the session is free again.
TEST_F(SessionSimTest, LoginWithoutAUsableNetworkFailsAndFreesTheSession)
{
    for (const char* network : {R"({"inPrl": true})", R"({"inPrl": false})"}) {
        SCOPED_TRACE(network);
        const bool home = std::string(network).find("true") != std::string::npos;
        const size_t failures = m_witness->CountNamed("OnLoginFailed");
        SimControl("setNetwork", network);
        SimControl("setConnection", home ? R"({"state": "disconnected"})" : R"({"state": "connected"})");
        const int expected = home ? VexlaLib::INTERFACE_NO_NETWORK : VexlaLib::INTERFACE_OUTSIDE_HOME;
        ASSERT_TRUE(RunUntil([&] { return AddressAnswer() == expected; }));

        ASSERT_TRUE(m_session->StartNewSession(L"alice", L"secret"));
        ASSERT_TRUE(RunUntil([&] { return m_witness->CountNamed("OnLoginFailed") == failures + 1; }));
        EXPECT_EQ(m_session->GetUseCount(), 0);
        EXPECT_EQ(m_session->GetLoginState(), CVexlaSession::LOGIN_STATE_SIGNED_OUT);
    }
    EXPECT_EQ(Received("CHUNK_LOGIN"), 0u);
}

TEST_F(SessionSimTest, DestroyingASessionInUseIsLogged)
{
    SignIn();
    VexlaTest::CLogCapture::Get().Clear();
    Library().RemoveListener(m_witness.get());
    m_session.reset();
    EXPECT_TRUE(VexlaTest::CLogCapture::Get().Contains(
        L"CVexlaSession::~CVexlaSession Destroying session while it still has users attached."));
}

TEST_F(SessionSimTest, ShutdownLogsOutAndQuitsTheMainLoop)
{
    SignIn();
    m_session->RequestShutdown();
    g_main_loop_run(m_loop);
    EXPECT_TRUE(m_session->IsShutdownDone());
    EXPECT_EQ(m_session->GetUseCount(), 0);
    ASSERT_TRUE(RunUntil([this] { return Received("CHUNK_LOGOUT") == 1; }));
}

TEST_F(SessionSimTest, DisplayStatusMovesTheLibraryBetweenForegroundAndBackground)
{
    SignIn();
    CDisplayServiceClient display;
    ASSERT_TRUE(display.AttachClientToService(m_im.PublicConnection()));
    CDisplayEventHandler handler(m_session.get(), &display);
    handler.Start();

    SimControl("setDisplay", R"({"state": "off"})");
    ASSERT_TRUE(RunUntil([&] { return !handler.IsScreenOn(); }));
    ASSERT_TRUE(RunUntil([this] { return Events({"\"KEY_CLIENTSTATE\":1"}).size() == 1; }));
    SimControl("setDisplay", R"({"state": "on"})");
    ASSERT_TRUE(RunUntil([&] { return handler.IsScreenOn(); }));
    ASSERT_TRUE(RunUntil([this] { return Received("CHUNK_GETPRESENCEUPDATE") >= 1; }));
    EXPECT_EQ(Events({"\"KEY_CLIENTSTATE\":0"}).size(), 1u);
}

TEST_F(SessionSimTest, SystemServicesWriteTheMessageRecordAndLaunchThePhone)
{
    bool stored = false;
    {
        CNyloSystemServices services(m_im);
        ASSERT_TRUE(services.AddIncomingVexlaMessage(L"alice", L"hi \u00e9", 1700000000123LL, L"bob", {L"alice", L"carol"},
                                                     [&](const CBusReply& reply) {
                                                         CJSONObject(reply.Payload().c_str()).GetBool("returnValue", &stored);
                                                     }));
        ASSERT_TRUE(services.MakeCall(L"+15550100"));
    }
    ASSERT_TRUE(RunUntil([&] { return stored; }));

    CJSONArray records;
    ASSERT_TRUE(Call(L"nylo://com.nylo.db/find", R"({"query": {"from": "com.nylo.immessage.vexla:1"}})")
                    .GetArray("results", &records));
    CJSONObject record;
    ASSERT_TRUE(records.GetObject(0, &record));
    std::wstring text;
    long long timestamp = 0;
    CJSONObject from;
    CJSONArray recipients;
    CJSONObject second;
    std::wstring address;
    EXPECT_TRUE(record.GetString("messageText", &text));
    EXPECT_EQ(text, L"hi \u00e9");
    EXPECT_TRUE(record.GetLong("localTimestamp", &timestamp));
    EXPECT_EQ(timestamp, 1700000000123LL);
    EXPECT_TRUE(record.GetObject("from", &from) && from.GetString("addr", &address));
    EXPECT_EQ(address, L"bob");
    EXPECT_TRUE(record.GetArray("recipients", &recipients) && recipients.GetObject(1, &second) &&
                second.GetString("addr", &address));
    EXPECT_EQ(address, L"carol");
    for (const char* member : {"folder", "status", "serviceName", "imType", "username"}) {
        std::wstring value;
        EXPECT_TRUE(record.GetString(member, &value)) << member;
    }

    std::string launches;
    Call(L"nylo://com.nylo.sim/listLaunches", "{}").ToString(&launches);
    EXPECT_NE(launches.find(R"("id":"com.nylo.app.phone")"), std::string::npos) << launches;
    EXPECT_NE(launches.find(R"("number":"+15550100")"), std::string::npos) << launches;
}

// The messaging transport on the session, serving com.vexla.im for the platform's activities: the
// account's login-state record asks to be online and the transport signs in through it.
class IMReloginSimTest : public SessionSimTest {
protected:
    IMReloginSimTest() { m_imName = "com.vexla.im"; }

    void SetUp() override
    {
        SessionSimTest::SetUp();
        if (!HasFatalFailure())
            m_handler.reset(new CIMHandler(m_session.get(), &m_im));
    }
    void TearDown() override
    {
        m_handler.reset();
        m_im.SetMessageHandler(nullptr);
        SessionSimTest::TearDown();
    }

    CJSONObject LoginStateRecord()
    {
        CJSONArray records;
        CJSONObject record;
        Call(L"nylo://com.nylo.db/find", R"({"query": {"from": "com.nylo.imloginstate.vexla:1"}})")
            .GetArray("results", &records);
        records.GetObject(0, &record);
        return record;
    }
    std::wstring RecordState()
    {
        std::wstring state;
        LoginStateRecord().GetString("state", &state);
        return state;
    }
    bool HasActivity(const std::string& name)
    {
        std::string list;
        Call(L"nylo://com.nylo.sim/listActivities", "{}").ToString(&list);
        return list.find("\"name\":\"" + name + "\"") != std::string::npos;
    }

    void SignInThroughTheRecord()
    {
        std::wstring accountId;
        Call(L"nylo://com.nylo.sim/addAccount", R"({"username": "alice", "password": "secret", "enable": false})")
            .GetString("accountId", &accountId);
        ASSERT_FALSE(accountId.empty());
        const std::string account(accountId.begin(), accountId.end());
        Call(L"nylo://com.nylo.db/put", R"({"objects": [{"_kind": "com.nylo.imloginstate.vexla:1", "accountId": ")" +
                                             account + R"(", "username": "alice", "availability": 0, "state": "", "customMessage": ""}]})");
        ASSERT_TRUE(RunUntil([this] { return LoggedIn() && RecordState() == L"online"; })) << "not signed in";
        ASSERT_TRUE(RunUntil([this] { return HasActivity("Vexla keep alive") && PowerDownRegistrations() == 1; }));
    }
    size_t PowerDownRegistrations()
    {
        CJSONArray registrations;
        Call(L"nylo://com.nylo.sim/listPowerDown", "{}").GetArray("registrations", &registrations);
        return static_cast<size_t>(registrations.arraySize());
    }

    std::unique_ptr<CIMHandler> m_handler;
};

// Every sign-in of the process shares one subscription to the power-off notice: a power-off logs out once.
TEST_F(IMReloginSimTest, ASecondSignInOfTheProcessKeepsTheOnePowerOffSubscription)
{
    VexlaTest::CLogCapture::Get().Clear();
    SignInThroughTheRecord();
    const std::wstring id = [this] {
        std::wstring value;
        LoginStateRecord().GetString("_id", &value);
        return value;
    }();
    const std::string record(id.begin(), id.end());
    Call(L"nylo://com.nylo.db/merge", R"({"objects": [{"_id": ")" + record + R"(", "availability": 4}]})");
    ASSERT_TRUE(RunUntil([this] { return RecordState() == L"offline" && !Library().IsLoggedIn(); }));
    Call(L"nylo://com.nylo.db/merge", R"({"objects": [{"_id": ")" + record + R"(", "availability": 0}]})");
    ASSERT_TRUE(RunUntil([this] { return LoggedIn() && RecordState() == L"online" && PowerDownRegistrations() == 1; }));

    EXPECT_EQ(VexlaTest::CLogCapture::Get().Count(L"Executing client call: nylo://com.nylo.telephony/poweringOff"), 1u);

    const size_t logouts = Received("CHUNK_LOGOUT");
    SimControl("powerOff", "{}");
    ASSERT_TRUE(RunUntil([this] { return RecordState() == L"offline"; }));
    EXPECT_EQ(Received("CHUNK_LOGOUT"), logouts + 1);
}

// The relogin after an address change fails for want of a network: the transport waits for the data
// connection as after a failed login of its own, and the record no longer claims "online".
TEST_F(IMReloginSimTest, ReloginWithoutANetworkWaitsForTheConnectionAndTakesTheRecordOffline)
{
    SignInThroughTheRecord();
    SimControl("setConnection", R"({"ipAddress": "127.0.0.2", "state": "disconnected"})");
    ASSERT_TRUE(RunUntil([this] { return RecordState() == L"offline"; })) << "the record stays online";
    EXPECT_EQ(m_session->GetLoginState(), CVexlaSession::LOGIN_STATE_SIGNED_OUT);
    EXPECT_TRUE(HasActivity("Vexla connectionmanager.getstatus"));
    EXPECT_FALSE(HasActivity("Vexla keep alive"));
    EXPECT_EQ(PowerDownRegistrations(), 0u);
}

// The server refuses the relogin's password: the credentials are marked invalid, the wanted
// availability becomes offline, and its watch takes the record offline.
TEST_F(IMReloginSimTest, ReloginWithARefusedPasswordMarksTheCredentialsAndGoesOffline)
{
    SignInThroughTheRecord();
    Command(R"({"cmd": "on", "stage": "login", "action": "loggedout", "code": 8})");
    SimControl("setConnection", R"({"ipAddress": "127.0.0.2"})");
    ASSERT_TRUE(RunUntil([this] { return RecordState() == L"offline"; })) << "the record stays online";
    int availability = -1;
    LoginStateRecord().GetInt("availability", &availability);
    EXPECT_EQ(availability, 4);
    std::string sync;
    Call(L"nylo://com.nylo.sim/dump", R"({"database": "com.nylo.tempdb", "kind": "com.nylo.account.syncstate:1"})")
        .ToString(&sync);
    EXPECT_NE(sync.find("401_UNAUTHORIZED"), std::string::npos) << sync;
    EXPECT_FALSE(HasActivity("Vexla keep alive"));
}

// A session the transport neither asked for nor took over is not its to sign out.
TEST_F(IMReloginSimTest, FailedReloginOfASessionTheTransportDoesNotOwnIsLeftAlone)
{
    SignIn();
    VexlaTest::CLogCapture::Get().Clear();
    Command(R"({"cmd": "on", "stage": "login", "action": "loggedout", "code": 8})");
    SimControl("setConnection", R"({"ipAddress": "127.0.0.2"})");
    ASSERT_TRUE(RunUntil([this] { return m_witness->CountNamed("OnLoginFailed") == 1; }));
    EXPECT_FALSE(VexlaTest::CLogCapture::Get().Contains(L"CIMHandler::OnLoginFailed"));
}

}  // namespace
