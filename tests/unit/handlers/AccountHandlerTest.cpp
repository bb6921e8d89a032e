#include <gtest/gtest.h>

#include "Handlers/AccountHandler.h"
#include "Model/Profile.h"
#include "support/LibraryFixture.h"
#include "wire/WireTestHelpers.h"

using namespace VexlaLib;
using namespace VexlaTest;

namespace {

class CAccountHandlerTest : public CLibraryFixture {
protected:
    CTestPacket LoggedOut(int reason) { return CTestPacket(CHUNK_LOGGEDOUT).Int(KEY_LOGOUTREASON, reason); }
    void Register()
    {
        m_lib.RegisterUser(L"NewUser", L"pw", L"New User", L"new@example.org", true);
    }
};

// Records how many ADDCONTACT packets had been sent when the registration success arrived.
class CRegistrationOrderListener : public IVexlaLibListener {
public:
    explicit CRegistrationOrderListener(CScriptedNetModule* net) : m_net(net) {}
    void OnRegisterUserSuccess() override { m_addsBeforeSuccess = m_net->SentOfChunk(CHUNK_ADDCONTACT).size(); }
    CScriptedNetModule* m_net;
    size_t m_addsBeforeSuccess = 99;
};

// Logs back in from the logout event, as the daemon does after an address change.
class CReloginListener : public IVexlaLibListener
{
public:
    explicit CReloginListener(CVexlaLib* lib) : m_lib(lib) {}
    void OnLogout(eLogoutReason) override { m_lib->LoginAgain(L"alice"); }
    CVexlaLib* m_lib;
};

}  // namespace

TEST_F(CAccountHandlerTest, LoginSendsCredentialsAndSucceeds)
{
    m_lib.SetProperty(L"PSTN", L"+3161234");
    EXPECT_TRUE(m_lib.Login(L"Alice", L"secret"));
    const TPacketSPtr login = m_net->LastSent();
    ASSERT_EQ(CHUNK_LOGIN, ChunkOf(login));
    EXPECT_EQ(1, IntOf(login, KEY_SAVEPASSWORD));
    EXPECT_EQ(L"alice", StrOf(login, KEY_VEXLANAME));
    EXPECT_EQ(L"secret", StrOf(login, KEY_PASSWORD));
    EXPECT_EQ(L"+3161234", StrOf(login, KEY_DEVICE_PSTNNUMBER));

    Receive(CTestPacket(CHUNK_LOGGEDIN).Str(KEY_HELP_URL, L"http://help"));
    Drain();
    EXPECT_TRUE(m_lib.IsLoggedIn());
    EXPECT_EQ((std::vector<std::string>{"OnLoginSuccess", "OnNewSession(1)"}), m_listener.m_events);
    EXPECT_EQ(1u, m_net->SentOfChunk(CHUNK_GETBUDDYLIST).size());
    EXPECT_EQ(1u, m_net->SentOfChunk(CHUNK_GETRECENTCHATS).size());
    EXPECT_EQ(L"http://help", m_lib.GetHelpUrl());
}

TEST_F(CAccountHandlerTest, LoginWithoutPstnPropertySendsNoNumber)
{
    m_lib.Login(L"alice", L"secret");
    EXPECT_FALSE(HasAttr(m_net->LastSent(), KEY_DEVICE_PSTNNUMBER));
}

TEST_F(CAccountHandlerTest, EachServerLogoutReasonDuringLoginHasItsLoginError)
{
    const std::pair<int, int> cases[] = {{2, 5}, {7, 6}, {8, 7}, {9, 8}, {11, 9}, {3, 0}, {1, 0}, {400, 0}, {-1, 0}};
    for (const auto& c : cases) {
        m_listener.Clear();
        m_lib.Login(L"alice", L"pw");
        Receive(LoggedOut(c.first));
        Drain();
        EXPECT_EQ((std::vector<std::string>{"OnLoginFailed(" + std::to_string(c.second) + ")"}), m_listener.m_events)
            << "server reason " << c.first;
        EXPECT_FALSE(m_lib.IsLoggedIn());
    }
}

TEST_F(CAccountHandlerTest, WrongPasswordClearsTheKeepCredentialsChoice)
{
    m_lib.SetUseSavedCredentials(true);
    m_lib.Login(L"alice", L"pw");
    Receive(LoggedOut(8));
    Drain();
    EXPECT_TRUE(m_listener.Has("OnLoginFailed(7)"));
    EXPECT_FALSE(m_lib.GetUseSavedCredentials());
    EXPECT_GE(m_net->m_forcedDisconnects, 1);
}

TEST_F(CAccountHandlerTest, LoginWhileLoggingInFailsWithoutSending)
{
    m_lib.Login(L"alice", L"pw");
    const size_t sent = m_net->m_sent.size();
    m_lib.Login(L"alice", L"pw");
    m_lib.RegisterUser(L"bob", L"pw", L"", L"b@x", false);
    EXPECT_EQ(sent, m_net->m_sent.size());
    EXPECT_EQ((std::vector<std::string>{"OnLoginFailed(4)", "OnRegisterUserFailed(4)"}), m_listener.m_events);
}

TEST_F(CAccountHandlerTest, LoginTimeOutFailsOnceAndTheForcedDisconnectAddsNothing)
{
    m_lib.Login(L"alice", L"pw");
    Advance(119999);
    EXPECT_TRUE(m_listener.m_events.empty());
    m_clock.Advance(1);
    Drain();
    EXPECT_EQ((std::vector<std::string>{"OnLoginFailed(0)"}), m_listener.m_events);
    EXPECT_EQ(1, m_net->m_forcedDisconnects);
    // Signed out again: a new login is accepted.
    m_lib.Login(L"alice", L"pw");
    EXPECT_EQ(2u, m_net->SentOfChunk(CHUNK_LOGIN).size());
}

TEST_F(CAccountHandlerTest, CancelDuringLoginAndRegistration)
{
    EXPECT_FALSE(m_lib.CancelLogin());
    m_lib.Login(L"alice", L"pw");
    EXPECT_TRUE(m_lib.CancelLogin());
    Drain();
    Register();
    EXPECT_TRUE(m_lib.CancelLogin());
    Drain();
    EXPECT_EQ((std::vector<std::string>{"OnLoginFailed(10)", "OnRegisterUserFailed(17)"}), m_listener.m_events);
    // No stale login time-out afterwards.
    Advance(200000);
    EXPECT_EQ(2u, m_listener.m_events.size());
}

TEST_F(CAccountHandlerTest, RegistrationAddsEcho123BeforeSuccess)
{
    CRegistrationOrderListener order(m_net);
    m_lib.AddListener(&order);
    Register();
    const TPacketSPtr request = m_net->LastSent();
    ASSERT_EQ(CHUNK_REGISTERUSER, ChunkOf(request));
    EXPECT_EQ(L"newuser", StrOf(request, KEY_VEXLANAME));
    EXPECT_EQ(L"New User", StrOf(request, KEY_FULLNAME));
    EXPECT_EQ(1, IntOf(request, KEY_ALLOWSPAM));
    Receive(CTestPacket(CHUNK_LOGGEDIN));
    Drain();
    EXPECT_EQ(1u, order.m_addsBeforeSuccess);
    EXPECT_EQ(L"echo123", StrOf(m_net->SentOfChunk(CHUNK_ADDCONTACT).at(0), KEY_VEXLANAME));
    EXPECT_EQ((std::vector<std::string>{"OnRegisterUserSuccess", "OnNewSession(1)"}), m_listener.m_events);
    EXPECT_TRUE(m_lib.IsLoggedIn());
}

TEST_F(CAccountHandlerTest, RegistrationErrorIsReportedAfterTheForcedDisconnect)
{
    Register();
    Receive(CTestPacket(CHUNK_ERROR).Int(KEY_ERROR_CODE, 29));
    Drain();
    EXPECT_EQ((std::vector<std::string>{"OnRegisterUserFailed(6)"}), m_listener.m_events);
}

TEST_F(CAccountHandlerTest, RegistrationRefusalCarriesSuggestedNames)
{
    Register();
    Receive(LoggedOut(5).Str(KEY_SUGGESTED_VEXLANAMES, L"newuser1  newuser2\tnewuser3"));
    Drain();
    EXPECT_EQ((std::vector<std::string>{"OnRegisterUserFailed(13)"}), m_listener.m_events);
    EXPECT_EQ((std::vector<std::wstring>{L"newuser1", L"newuser2", L"newuser3"}), m_listener.m_lastSuggestions);
}

TEST_F(CAccountHandlerTest, LoginWithSavedCredentials)
{
    m_lib.SetUseSavedCredentials(true);
    m_net->m_savedCredentials = CTestPacket::Record().Str(KEY_CREDENTIALS, L"token").Build();
    m_lib.Login(L"alice", L"");
    const TPacketSPtr login = m_net->LastSent();
    TPacketSPtr saved;
    ASSERT_TRUE(login->GetAttrContainer(KEY_SAVEDDATA, &saved));
    EXPECT_EQ(L"token", StrOf(saved, KEY_CREDENTIALS));
    EXPECT_FALSE(HasAttr(login, KEY_VEXLANAME));
    EXPECT_FALSE(HasAttr(login, KEY_PASSWORD));
}

TEST_F(CAccountHandlerTest, LogoutAndItsTimeOut)
{
    m_lib.Logout();
    EXPECT_TRUE(m_net->SentOfChunk(CHUNK_LOGOUT).empty());
    SignIn();
    m_listener.Clear();
    m_lib.Logout();
    EXPECT_EQ(1u, m_net->SentOfChunk(CHUNK_LOGOUT).size());
    Advance(5000);
    EXPECT_EQ(1, m_net->m_reconnects);
    EXPECT_TRUE(m_lib.IsLoggedIn());
    Receive(LoggedOut(10));
    Drain();
    EXPECT_EQ((std::vector<std::string>{"OnLogout(5)"}), m_listener.m_events);
    EXPECT_FALSE(m_lib.IsLoggedIn());
    EXPECT_EQ(1, m_net->m_erasures);
}

TEST_F(CAccountHandlerTest, NetworkErrorsMapToEachEnumeration)
{
    m_lib.Login(L"alice", L"pw");
    m_net->m_listener->OnNetworkError(NETWORK_ERROR_OUTSIDE_HOME);
    Register();
    m_net->m_listener->OnNetworkError(NETWORK_ERROR_NO_INTERFACE);
    SignIn();
    m_listener.Clear();
    m_net->m_listener->OnNetworkError(NETWORK_ERROR_NO_NETWORK);
    EXPECT_EQ((std::vector<std::string>{"OnLogout(1)"}), m_listener.m_events);
    EXPECT_FALSE(m_lib.IsLoggedIn());
}

TEST_F(CAccountHandlerTest, ProfileRequestsWaitForTheListAndAreRefusedWhileOutstanding)
{
    SignIn();
    EXPECT_FALSE(m_lib.RequestProfile());
    Receive(BuddyList(0, {}));
    Drain();
    // The complete list asks for the profile itself.
    EXPECT_EQ(1u, m_net->SentOfChunk(CHUNK_GETPROFILEDATA).size());
    EXPECT_FALSE(m_lib.RequestProfile());
    Advance(10000);
    EXPECT_TRUE(m_listener.Has("OnGetProfileFailed(1)"));
    EXPECT_TRUE(m_lib.RequestProfile());
    Receive(CTestPacket(CHUNK_PROFILEDATA).Str(KEY_FULLNAME, L"Alice A").Int(KEY_BIRTHDAY, 19800101));
    Drain();
    EXPECT_TRUE(m_listener.Has("OnGetProfileSuccess(1)"));
    EXPECT_EQ(L"Alice A", m_lib.GetModel().GetProfile()->GetFullName());
}

TEST_F(CAccountHandlerTest, ProfileDataWithoutRequestChangesNothing)
{
    SignIn();
    Receive(CTestPacket(CHUNK_PROFILEDATA).Str(KEY_FULLNAME, L"Mallory"));
    Drain();
    EXPECT_EQ(nullptr, m_lib.GetModel().GetProfile());
    EXPECT_EQ((std::vector<std::string>{"OnLoginSuccess", "OnNewSession(1)"}), m_listener.m_events);
}

TEST_F(CAccountHandlerTest, SaveProfileOmitsAnUnchangedBirthday)
{
    SignInWithList({});
    Receive(CTestPacket(CHUNK_PROFILEDATA).Int(KEY_BIRTHDAY, 19800101));
    Drain();
    CProfile edited = *m_lib.GetModel().GetProfile();
    edited.SetCity(L"Delft");
    EXPECT_TRUE(m_lib.SaveProfile(edited));
    EXPECT_FALSE(m_lib.SaveProfile(edited));
    const TPacketSPtr save = m_net->LastSent();
    ASSERT_EQ(CHUNK_SETPROFILEDATA, ChunkOf(save));
    EXPECT_FALSE(HasAttr(save, KEY_BIRTHDAY));
    EXPECT_EQ(L"Delft", StrOf(save, KEY_CITY));
    Receive(CTestPacket(CHUNK_PROFILEDATA).Str(KEY_CITY, L"Delft"));
    Drain();
    EXPECT_TRUE(m_listener.Has("OnSaveProfileSuccess"));

    edited.SetBirthday(19900101);
    EXPECT_TRUE(m_lib.SaveProfile(edited));
    EXPECT_EQ(19900101, IntOf(m_net->LastSent(), KEY_BIRTHDAY));
    Receive(CTestPacket(CHUNK_ERROR).Int(KEY_ERROR_CODE, 25));
    Drain();
    EXPECT_TRUE(m_listener.Has("OnSaveProfileFailed(0)"));
}

TEST_F(CAccountHandlerTest, BalanceSuccessTimeOutAndLateAnswer)
{
    SignIn();
    EXPECT_FALSE(m_lib.RequestCreditBalance());
    Receive(BuddyList(0, {}));
    Drain();
    EXPECT_TRUE(m_lib.RequestCreditBalance());
    EXPECT_FALSE(m_lib.RequestCreditBalance());
    Receive(CTestPacket(CHUNK_BALANCE).Str(KEY_BALANCE_CURRENCY, L"EUR").Int(KEY_BALANCE_AMOUNT, 1250));
    Drain();
    EXPECT_TRUE(m_listener.Has("OnGetBalanceSuccess(EUR,1250)"));

    EXPECT_TRUE(m_lib.RequestCreditBalance());
    Advance(10000);
    EXPECT_TRUE(m_listener.Has("OnGetBalanceFailed(1)"));
    m_listener.Clear();
    Receive(CTestPacket(CHUNK_BALANCE).Str(KEY_BALANCE_CURRENCY, L"EUR").Int(KEY_BALANCE_AMOUNT, 1));
    Drain();
    EXPECT_TRUE(m_listener.m_events.empty());
}

TEST_F(CAccountHandlerTest, NewServerSessionClearsTheListAndFetchesItAgain)
{
    SignInWithList({BuddyRecord(1, L"bob")});
    m_listener.Clear();
    const size_t requests = m_net->SentOfChunk(CHUNK_GETBUDDYLIST).size();
    Receive(CTestPacket(CHUNK_LOGGEDIN));
    Drain();
    EXPECT_EQ((std::vector<std::string>{"OnNewSession(0)"}), m_listener.m_events);
    EXPECT_EQ(nullptr, m_lib.GetModel().GetContactList());
    EXPECT_EQ(requests + 1, m_net->SentOfChunk(CHUNK_GETBUDDYLIST).size());
}

TEST_F(CAccountHandlerTest, ChatsFollowTheRetrievalPolicyAfterLoginAndReconnect)
{
    m_lib.SetProperty(L"CHAT_RETRIEVAL_POLICY", L"UNREAD");
    SignIn();
    EXPECT_EQ(1u, m_net->SentOfChunk(CHUNK_GETUNREADCHATS).size());
    m_lib.SetProperty(L"CHAT_RETRIEVAL_POLICY", L"RECENT");
    m_listener.Clear();
    Receive(CTestPacket(CHUNK_RECONNECTED, CPacket::INTERNAL));
    Drain();
    EXPECT_EQ(1u, m_net->SentOfChunk(CHUNK_GETRECENTCHATS).size());
    EXPECT_EQ(L"#", m_lib.GetHelpUrl());
    // A resumed session keeps its contacts: nothing is fetched again but the chats.
    EXPECT_EQ(1u, m_net->SentOfChunk(CHUNK_GETBUDDYLIST).size());
    EXPECT_TRUE(m_listener.m_events.empty());
}

TEST(CAccountReasonTest, TranslationTables)
{
    EXPECT_EQ(REGISTER_ERROR_INVALID_VEXLANAME, CAccountHandler::RegisterErrorForReason(2));
    EXPECT_EQ(REGISTER_ERROR_INTERNAL, CAccountHandler::RegisterErrorForReason(11));
    EXPECT_EQ(REGISTER_ERROR_UNKNOWN, CAccountHandler::RegisterErrorForReason(12));
    EXPECT_EQ(LOGOUT_REASON_SERVER_1, CAccountHandler::LogoutReasonForReason(1));
    EXPECT_EQ(LOGOUT_REASON_SERVER_INTERNAL, CAccountHandler::LogoutReasonForReason(11));
    EXPECT_EQ(LOGOUT_REASON_OTHER, CAccountHandler::LogoutReasonForReason(8));
    const std::pair<int, eRegisterError> codes[] = {{9, REGISTER_ERROR_INVALID_VEXLANAME},
                                                    {28, REGISTER_ERROR_PASSWORD_TOO_LONG},
                                                    {32, REGISTER_ERROR_PASSWORD_SAME_AS_NAME},
                                                    {45, REGISTER_ERROR_INVALID_EMAIL},
                                                    {46, REGISTER_ERROR_UNKNOWN}};
    for (const auto& c : codes)
        EXPECT_EQ(c.second, CAccountHandler::RegisterErrorForCode(c.first)) << c.first;
}

TEST_F(CAccountHandlerTest, ALoginAgainFromTheLogoutEventSendsTheFirstLoginsBytesWithTheHeldPassword)
{
    m_lib.SetProperty(L"PSTN", L"+3161234");
    SignIn();
    CReloginListener relogin(&m_lib);
    m_lib.AddListener(&relogin);
    m_lib.Logout();
    Receive(LoggedOut(0));
    Drain();
    m_lib.RemoveListener(&relogin);

    const std::vector<TPacketSPtr> logins = m_net->SentOfChunk(CHUNK_LOGIN);
    ASSERT_EQ(2u, logins.size());
    EXPECT_EQ(VexlaTest::Encode(*logins[0]), VexlaTest::Encode(*logins[1]));
    EXPECT_EQ(L"secret", StrOf(logins[1], KEY_PASSWORD));
    // Signing in again: the password stays held for it.
    EXPECT_EQ(0, m_net->m_passwordWipes);
    EXPECT_EQ(L"secret", m_net->m_heldPassword);
}

TEST_F(CAccountHandlerTest, ThePasswordIsWipedWhenTheAccountSignsOutOrFailsToSignInForGood)
{
    SignIn();
    m_lib.Logout();
    Receive(LoggedOut(0));
    Drain();
    EXPECT_EQ(1, m_net->m_passwordWipes);
    EXPECT_TRUE(m_net->m_heldPassword.empty());

    m_lib.Login(L"alice", L"wrong");
    Receive(LoggedOut(8));
    Drain();
    EXPECT_EQ(2, m_net->m_passwordWipes);

    m_lib.Login(L"alice", L"pw");
    Advance(CAccountHandler::LOGIN_TIMEOUT_MS);
    Drain();
    EXPECT_EQ(3, m_net->m_passwordWipes);

    m_lib.Login(L"alice", L"pw");
    m_lib.CancelLogin();
    Drain();
    EXPECT_EQ(4, m_net->m_passwordWipes);

    SignIn();
    m_net->m_listener->OnNetworkError(NETWORK_ERROR_NO_NETWORK);
    EXPECT_EQ(5, m_net->m_passwordWipes);

    // A login refused because one is under way leaves the running one's password alone.
    m_lib.Login(L"alice", L"pw");
    m_lib.Login(L"alice", L"other");
    EXPECT_EQ(5, m_net->m_passwordWipes);
}
