// Credentials and registration through com.vexla.ui against both simulators.

#include "UIServiceFixture.h"

namespace UITest {
namespace {

class UICredentialsTest : public UIServiceFixture {};

std::string Password(const CJSONObject& reply)
{
    CJSONObject credentials, common;
    std::wstring password;
    reply.GetObject("credentials", &credentials);
    credentials.GetObject("common", &common);
    common.GetString("password", &password);
    return std::string(password.begin(), password.end());
}

TEST_F(UICredentialsTest, GoodCredentialsAnswerThePasswordAndSignOutAgain)
{
    const CJSONObject reply = Call("checkCredentials", R"({"username": "alice", "password": "secret"})");
    EXPECT_TRUE(ReturnValue(reply));
    EXPECT_EQ(Password(reply), "secret");
    EXPECT_TRUE(RunUntil([this] { return Received("CHUNK_LOGOUT") == 1; }));
    EXPECT_TRUE(RunUntil([this] { return m_session->GetLoginState() == CVexlaSession::LOGIN_STATE_SIGNED_OUT; }));
    EXPECT_EQ(m_session->GetUseCount(), 0);
}

TEST_F(UICredentialsTest, WrongPasswordIsRefusedAndEndsTheDaemon)
{
    const CJSONObject reply = Call("checkCredentials", R"({"username": "alice", "password": "wrong"})");
    EXPECT_FALSE(ReturnValue(reply));
    EXPECT_EQ(Str(reply, "errorCode"), "LOGIN_FAILED_INCORRECT_PASSWORD");
    EXPECT_EQ(Str(reply, "errorText"), "incorrect password");
    EXPECT_EQ(Quits(), 1u);
}

TEST_F(UICredentialsTest, AnExistingAccountIsRefusedButOneBeingDeletedDoesNotCount)
{
    const std::wstring id = AddAccount("old");
    CJSONObject reply = Call("checkCredentials", R"({"username": "alice", "password": "secret"})");
    EXPECT_EQ(Str(reply, "errorCode"), "LOGIN_FAILED_MULTIPLE_ACCOUNTS");
    EXPECT_EQ(Str(reply, "errorText"), "You can only create one messaging account of this type.");
    EXPECT_EQ(Received("CHUNK_LOGIN"), 0u);
    EXPECT_EQ(Quits(), 1u);

    Platform("nylo://com.nylo.sim/deleteAccount",
             R"({"accountId": ")" + std::string(id.begin(), id.end()) + R"("})");
    ASSERT_TRUE(RunUntil([this] { return !m_heldDeletes.empty(); }));
    reply = Call("checkCredentials", R"({"username": "alice", "password": "secret"})");
    EXPECT_TRUE(ReturnValue(reply));
}

TEST_F(UICredentialsTest, UpdateSignsInWritesTheLoginStateAndHandsItOver)
{
    const CJSONObject reply = Call("updateCredentials", R"({"username": "alice", "password": "secret", "accountId": "acc1"})");
    EXPECT_TRUE(ReturnValue(reply));
    EXPECT_EQ(Password(reply), "secret");
    ASSERT_TRUE(RunUntil([this] { return !m_handovers.empty(); }));
    EXPECT_TRUE(LoggedIn());

    const CJSONArray records = LoginStates();
    ASSERT_EQ(records.arraySize(), 1);
    CJSONObject record;
    records.GetObject(0, &record);
    EXPECT_EQ(Str(record, "state"), "logging-on");
    EXPECT_EQ(Str(record, "accountId"), "acc1");
    EXPECT_EQ(Str(record, "username"), "alice");
    EXPECT_EQ(std::string(m_handovers[0].loginStateId.begin(), m_handovers[0].loginStateId.end()), Str(record, "_id"));
    EXPECT_EQ(m_handovers[0].user, L"alice");
    EXPECT_EQ(m_handovers[0].accountId, L"acc1");
    EXPECT_EQ(m_handovers[0].availability, 0);

    // Signed in now: a second update is refused without a text.
    const CJSONObject again = Call("updateCredentials", R"({"username": "alice", "password": "secret"})");
    EXPECT_EQ(Str(again, "errorCode"), "CONNECTION_FAILED");
    EXPECT_FALSE(again.Has("errorText"));
}

TEST_F(UICredentialsTest, UpdateMergesTheFirstLoginStateAndRemovesTheOthers)
{
    Platform("nylo://com.nylo.db/put",
             R"({"objects": [{"_kind": "com.nylo.imloginstate.vexla:1", "state": "offline", "availability": 4,
                              "customMessage": "at lunch"},
                             {"_kind": "com.nylo.imloginstate.vexla:1", "state": "offline"}]})");
    const CJSONArray before = LoginStates();
    CJSONObject first;
    before.GetObject(0, &first);

    EXPECT_TRUE(ReturnValue(Call("updateCredentials", R"({"username": "alice", "password": "secret", "accountId": "a"})")));
    ASSERT_TRUE(RunUntil([this] { return !m_handovers.empty(); }));
    const CJSONArray after = LoginStates();
    ASSERT_EQ(after.arraySize(), 1);
    CJSONObject record;
    after.GetObject(0, &record);
    EXPECT_EQ(Str(record, "_id"), Str(first, "_id"));
    EXPECT_EQ(Str(record, "state"), "logging-on");
    int availability = -1;
    record.GetInt("availability", &availability);
    EXPECT_EQ(availability, 0);
    EXPECT_EQ(m_handovers[0].mood, L"at lunch");
}

TEST_F(UICredentialsTest, FailedUpdateAnswersInTheAccountsFrameworksCodes)
{
    const CJSONObject reply = Call("updateCredentials", R"({"username": "alice", "password": "nope"})");
    EXPECT_EQ(Str(reply, "errorCode"), "401_UNAUTHORIZED");
    EXPECT_FALSE(reply.Has("errorText"));
    EXPECT_TRUE(m_handovers.empty());
    EXPECT_EQ(Quits(), 1u);
}

TEST_F(UICredentialsTest, RegistrationSucceedsAndSetsThePhoneNumber)
{
    const CJSONObject reply =
        Call("registerUser", R"({"vexlaName": "newbie", "password": "goodpass", "fullName": "New Bie",
                                 "email": "n@example.org", "allowSpam": false})");
    EXPECT_TRUE(ReturnValue(reply));
    EXPECT_EQ(Password(reply), "goodpass");
    std::wstring pstn;
    EXPECT_TRUE(Library().GetProperty(VexlaLib::CProperties::PSTN, &pstn));
    EXPECT_EQ(pstn, L"+14085550123");
    EXPECT_EQ(Quits(), 1u);
}

TEST_F(UICredentialsTest, ATakenNameIsRefusedWithSuggestions)
{
    const CJSONObject reply = Call("registerUser", R"({"vexlaName": "alice", "password": "goodpass", "email": "a@example.org"})");
    EXPECT_FALSE(ReturnValue(reply));
    EXPECT_EQ(Str(reply, "errorCode"), "REG_FAILED_VEXLANAME_TAKEN");
    EXPECT_EQ(Str(reply, "errorText"), "vexlaname taken");
    CJSONArray names;
    ASSERT_TRUE(reply.GetArray("suggestedVexlaNames", &names));
    EXPECT_GT(names.arraySize(), 0);
}

TEST_F(UICredentialsTest, RegistrationWhileSignedInIsRefused)
{
    SignIn();
    const CJSONObject reply = Call("registerUser", R"({"vexlaName": "other", "password": "goodpass"})");
    EXPECT_EQ(Str(reply, "errorCode"), "REG_FAILED_NOT_LOGGEDOUT");
    EXPECT_EQ(Str(reply, "errorText"), "network error not logged out");
    EXPECT_EQ(Received("CHUNK_REGISTERUSER"), 0u);
}

TEST_F(UICredentialsTest, ARegistrationWhileAnUpdateIsServedIsRefusedAndTheUpdateKeepsItsCredentials)
{
    std::vector<std::string> update;
    Start("updateCredentials", R"({"username": "alice", "password": "secret", "accountId": "a"})", &update);
    const CJSONObject refused = Call("registerUser", R"({"vexlaName": "mallory", "password": "other1"})");
    EXPECT_EQ(Str(refused, "errorCode"), "VexlaFunctionAlreadyInUse");
    ASSERT_TRUE(RunUntil([&] { return !update.empty() && !m_handovers.empty(); }));
    EXPECT_EQ(Password(CJSONObject(update.front().c_str())), "secret");
    EXPECT_EQ(m_handovers[0].user, L"alice");
}

TEST_F(UICredentialsTest, ACheckAndARegistrationWhileAnotherLoginIsUnderWayAreRefusedAndLeaveItAlone)
{
    ASSERT_TRUE(m_session->StartNewSession(L"alice", L"secret"));  // the messaging transport's login
    for (const char* method : {"checkCredentials", "registerUser"}) {
        const CJSONObject reply = Call(method, R"({"username": "alice", "vexlaName": "x", "password": "secret"})");
        EXPECT_EQ(Str(reply, "errorCode"), "VexlaFunctionAlreadyInUse") << method;
        EXPECT_EQ(Str(reply, "errorText"), "Another sign-in is in progress, try again once it has ended.") << method;
    }
    ASSERT_TRUE(RunUntil([this] { return LoggedIn(); }));
    EXPECT_EQ(m_session->GetUseCount(), 1);
    EXPECT_EQ(Received("CHUNK_LOGOUT"), 0u);
    EXPECT_EQ(Received("CHUNK_REGISTERUSER"), 0u);
    EXPECT_EQ(Quits(), 0u);
}

TEST_F(UICredentialsTest, ACheckWhoseCallerLeavesDuringTheLoginLogsOutOnceTheLoginCompletes)
{
    std::string error;
    TBusConnectionSPtr screen = CBusConnection::Open(m_bus.Address(), &error);
    ASSERT_TRUE(screen) << error;
    std::vector<std::string> replies;
    screen->Call("nylo://com.vexla.ui/checkCredentials", R"({"username": "alice", "password": "secret"})",
                 BUS_ONE_REPLY, [&](const CBusReply& reply) { replies.push_back(reply.Payload()); }, &error);
    ASSERT_TRUE(RunUntil([this] { return m_session->GetLoginState() == CVexlaSession::LOGIN_STATE_REQUESTED; }));
    screen.reset();  // the screen leaves the bus

    ASSERT_TRUE(RunUntil([this] { return Received("CHUNK_LOGOUT") == 1; }));
    ASSERT_TRUE(RunUntil([this] { return m_session->GetLoginState() == CVexlaSession::LOGIN_STATE_SIGNED_OUT; }));
    EXPECT_EQ(m_session->GetUseCount(), 0);
    EXPECT_TRUE(replies.empty());
}

TEST_F(UICredentialsTest, EnablingWithoutALoginStateCreatesOneForTheAccount)
{
    const std::wstring id = AddAccount("alice");
    const std::string accountId(id.begin(), id.end());
    EXPECT_TRUE(ReturnValue(Call("onEnabled", R"({"enabled": true, "accountId": ")" + accountId + "\"}")));
    ASSERT_TRUE(RunUntil([this] { return LoginStates().arraySize() == 1; }));
    CJSONObject record;
    LoginStates().GetObject(0, &record);
    EXPECT_EQ(Str(record, "username"), "alice");
    EXPECT_EQ(Str(record, "accountId"), accountId);
    EXPECT_EQ(Str(record, "serviceName"), "type_vexla");

    // With the record in place a second enable leaves it alone and, signed out, ends the daemon.
    EXPECT_TRUE(ReturnValue(Call("onEnabled", R"({"enabled": true, "accountId": ")" + accountId + "\"}")));
    ASSERT_TRUE(RunUntil([] { return Quits() == 1; }));
    EXPECT_EQ(LoginStates().arraySize(), 1);
}

}  // namespace
}  // namespace UITest
