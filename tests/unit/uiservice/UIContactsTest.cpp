// Searches, contacts, privacy, balance and voicemail through com.vexla.ui against both simulators.

#include "CallDesk.h"
#include "ContactDirectory.h"
#include "Model/Profile.h"
#include "Tesk/App/IMMarkers.h"
#include "UIServiceFixture.h"

namespace UITest {
namespace {

class UIContactsTest : public UIServiceFixture {
protected:
    UIContactsTest()
    {
        std::string error;
        ServerSim::TJsonPtr contacts = ServerSim::CJson::Parse(R"({
            "users": [{"name": "bob", "fullName": "Bob Builder", "country": "NL"},
                      {"name": "bobby", "fullName": "Bobby Tables", "country": "US"}],
            "search_page_size": 1,
            "balances": {"alice": {"currency": "EUR", "amount": 1234}}})");
        EXPECT_TRUE(m_contacts.Apply(contacts.get(), error)) << error;
        m_context.contacts = &m_contacts;
        ServerSim::TJsonPtr calls = ServerSim::CJson::Parse(R"({
            "answer": {"number": "+15550100", "voicemail_number": "+15550111"},
            "voicemails": {"alice": [{"index": 1, "from": "bob", "subject": "hi", "timestamp": 1700000000,
                                      "duration": 12}]}})");
        EXPECT_TRUE(m_calls.Apply(calls.get(), error)) << error;
        m_calls.SetServer(&m_server);
        m_context.calls = &m_calls;
    }
    ~UIContactsTest() override
    {
        // No connection may reach the directory or the desk once they are gone.
        m_events.Stop();
        m_server.Stop();
    }

    // Signs in and waits for the complete contact list (the library's precondition for most requests).
    void SignInFully()
    {
        SignIn();
        // The messaging transport asks for the list in the daemon.
        Library().RequestContactList();
        ASSERT_TRUE(RunUntil([this] {
            return Library().GetModel().GetContactList() != nullptr && Library().GetModel().GetContactList()->IsComplete();
        }));
    }
    size_t Launches(const std::string& number)
    {
        std::string text;
        Platform("nylo://com.nylo.sim/listLaunches", "{}").ToString(&text);
        size_t count = 0;
        for (size_t at = text.find(number); at != std::string::npos; at = text.find(number, at + 1))
            ++count;
        return count;
    }
    std::string SentProfile() const
    {
        for (const std::string& line : m_events.Since(0))
            if (line.find("\"type\":\"received\"") != std::string::npos &&
                line.find("CHUNK_SETPROFILEDATA") != std::string::npos)
                return line;
        return std::string();
    }

    ServerSim::CContactDirectory m_contacts;
    ServerSim::CCallDesk m_calls;
};

TEST_F(UIContactsTest, EveryMethodThatNeedsASessionRefusesWhileSignedOut)
{
    for (const char* method : {"searchContacts", "extendContactSearch", "addContact", "sendAuthRequest",
                               "listenToVoicemail", "getPrivacyPolicies", "setPrivacyPolicies"}) {
        const CJSONObject reply = Call(method, R"({"subscribe": true, "searchString": "bob", "handle": 1})");
        EXPECT_EQ(Str(reply, "errorCode"), "VexlaSessionNotValid") << method;
        EXPECT_EQ(Str(reply, "errorText"), "Session is not ready for use.") << method;
    }
}

TEST_F(UIContactsTest, SearchWithoutSubscriptionStartsNothing)
{
    SignInFully();
    CJSONObject reply = Call("searchContacts", R"({"searchString": "bob"})");
    EXPECT_EQ(Str(reply, "errorCode"), "VexlaFunctionNotSupported");
    EXPECT_EQ(Str(reply, "errorText"), "Not allowed to call searchContacts without subscription.");
    reply = Call("searchContacts", R"({"subscribe": true})");
    EXPECT_EQ(Str(reply, "errorText"), "The function requires that searchString is set.");
    EXPECT_EQ(Received("CHUNK_CONTACTSEARCH"), 0u);
}

TEST_F(UIContactsTest, ANewSearchEndsThePreviousCallersAndResultsReachOnlyTheRunningSearchsCaller)
{
    SignInFully();
    std::vector<std::string> first, second;
    const uint32_t firstSerial =
        Start("searchContacts", R"({"subscribe": true, "searchString": "bob"})", &first, BUS_MANY_REPLIES);
    ASSERT_TRUE(RunUntil([&] { return first.size() >= 2; }));
    EXPECT_TRUE(ReturnValue(CJSONObject(first[0].c_str())));
    const CJSONObject results(first[1].c_str());
    bool extendable = false, finished = false;
    results.GetBool("extendedSearchPossible", &extendable);
    results.GetBool("searchFinished", &finished);
    EXPECT_TRUE(extendable);
    EXPECT_TRUE(finished);
    CJSONArray list;
    ASSERT_TRUE(results.GetArray("resultList", &list));
    ASSERT_EQ(list.arraySize(), 1);
    CJSONObject entry;
    list.GetObject(0, &entry);
    EXPECT_FALSE(Str(entry, "vexlaName").empty());
    EXPECT_TRUE(entry.Has("fullName"));
    EXPECT_TRUE(entry.Has("country"));

    // The second caller's search supersedes the first: its caller hears the end of a search.
    const uint32_t secondSerial =
        Start("searchContacts", R"({"subscribe": true, "searchString": "bob"})", &second, BUS_MANY_REPLIES);
    ASSERT_TRUE(RunUntil([&] { return second.size() >= 2; }));
    ASSERT_EQ(first.size(), 3u);
    EXPECT_EQ(first[2], R"({"extendedSearchPossible":false,"searchFinished":true})");
    EXPECT_NE(second[1].find("resultList"), std::string::npos) << second[1];

    // Only the running search's caller ends it by leaving.
    const size_t ended = Received("CHUNK_ENDCONTACTSEARCH");
    m_client->CancelCall(firstSerial);
    Call("getPrivacyPolicies");  // answered after the cancel, which came first on the same connection
    EXPECT_EQ(Received("CHUNK_ENDCONTACTSEARCH"), ended);
    EXPECT_EQ(first.size(), 3u);
    // Before any extension: the extension's answer may finish the search, and a finished search has
    // nothing left to end.
    m_client->CancelCall(secondSerial);
    EXPECT_TRUE(RunUntil([&] { return Received("CHUNK_ENDCONTACTSEARCH") == ended + 1; }));

    // A new caller's search is extended for it.
    std::vector<std::string> third;
    Start("searchContacts", R"({"subscribe": true, "searchString": "bob"})", &third, BUS_MANY_REPLIES);
    ASSERT_TRUE(RunUntil([&] { return third.size() >= 2; }));
    EXPECT_TRUE(ReturnValue(Call("extendContactSearch")));
    ASSERT_TRUE(RunUntil([this] { return Received("CHUNK_EXTENDCONTACTSEARCH") == 1; }));
}

TEST_F(UIContactsTest, AddContactAndAuthRequestNeedTheirFields)
{
    SignInFully();
    CJSONObject reply = Call("addContact", R"({"vexlaName": "bob"})");
    EXPECT_EQ(Str(reply, "errorText"),
              "The function requires that either vexlaName and authMessage or callTarget and fullName is set.");
    EXPECT_TRUE(ReturnValue(Call("addContact", R"({"callTarget": "+31155550000", "fullName": "Office"})")));
    EXPECT_TRUE(RunUntil([this] { return Received("CHUNK_ADDCONTACT") == 1; }));

    reply = Call("sendAuthRequest", R"({"vexlaName": "bob"})");
    EXPECT_EQ(Str(reply, "errorText"), "The function requires that vexlaName and message is set.");
    EXPECT_TRUE(ReturnValue(Call("sendAuthRequest", R"({"vexlaName": "bob", "message": "please"})")));
    EXPECT_TRUE(RunUntil([this] { return Received("CHUNK_SENDAUTHREQUEST") == 1; }));
}

TEST_F(UIContactsTest, PrivacyPoliciesReadAsEveryoneOrBuddiesOnly)
{
    SignInFully();
    // Signed in but no profile: the session check passes, the numeric error follows. The profile the
    // sign-in asked for is awaited first, so it cannot arrive after the deletion.
    ASSERT_TRUE(RunUntil([this] { return Library().GetModel().GetProfile() != nullptr; }));
    Library().GetModel().DeleteProfile();
    CJSONObject reply = Call("getPrivacyPolicies");
    int code = 0;
    reply.GetInt("errorCode", &code);
    EXPECT_EQ(code, 2);
    EXPECT_EQ(Str(reply, "errorText"), "No profile");

    VexlaLib::CProfile* profile = Library().GetModel().GetOrCreateProfile();
    profile->SetChatPolicy(0);
    profile->SetCallPolicy(1);
    profile->SetPstnPolicy(2);
    reply = Call("getPrivacyPolicies");
    EXPECT_TRUE(ReturnValue(reply));
    EXPECT_EQ(Str(reply, "chat"), "everyone");
    EXPECT_EQ(Str(reply, "call"), "buddies-only");
    EXPECT_EQ(Str(reply, "pstn"), "buddies-only");
}

TEST_F(UIContactsTest, SettingOnlyTheCallPolicyLeavesChatAlone)
{
    SignInFully();
    // The library asks for the profile once the list is complete; its answer ends that request.
    ASSERT_TRUE(RunUntil([this] { return Library().GetModel().GetProfile() != nullptr; }));
    VexlaLib::CProfile* profile = Library().GetModel().GetOrCreateProfile();
    profile->SetChatPolicy(1);
    profile->SetCallPolicy(0);
    profile->SetPstnPolicy(0);
    const CJSONObject reply = Call("setPrivacyPolicies", R"({"call": "buddies-only"})");
    EXPECT_TRUE(ReturnValue(reply));
    int code = -1;
    reply.GetInt("errorCode", &code);
    EXPECT_EQ(code, 0);
    ASSERT_TRUE(RunUntil([this] { return !SentProfile().empty(); }));
    const std::string sent = SentProfile();
    EXPECT_NE(sent.find("\"KEY_VEXLA_CALL_POLICY\":1"), std::string::npos) << sent;
    EXPECT_NE(sent.find("\"KEY_PSTN_CALL_POLICY\":2"), std::string::npos) << sent;
    EXPECT_EQ(sent.find("\"KEY_CHAT_POLICY\":0"), std::string::npos) << sent;
}

TEST_F(UIContactsTest, PoliciesSetWhileTheLibraryFetchesTheProfileAreSavedOnceItEndsAndAnsweredByTheSave)
{
    SignInFully();
    ASSERT_TRUE(RunUntil([this] { return Library().GetModel().GetProfile() != nullptr; }));
    // The server stops answering: the library's own profile request stays pending until its time-out.
    ASSERT_NE(Command(R"({"cmd": "stall"})"), nullptr);
    ASSERT_TRUE(Library().RequestProfile());

    std::vector<std::string> replies;
    Start("setPrivacyPolicies", R"({"chat": "buddies-only"})", &replies);
    ASSERT_NE(Command(R"({"cmd": "resume"})"), nullptr);
    ASSERT_TRUE(RunUntil([this] { return !SentProfile().empty(); }, 20000));
    EXPECT_TRUE(replies.empty()) << "answered before the save was made";
    EXPECT_NE(SentProfile().find("\"KEY_CHAT_POLICY\":1"), std::string::npos) << SentProfile();
    ASSERT_TRUE(RunUntil([&] { return !replies.empty(); }));
    const CJSONObject reply(replies.front().c_str());
    EXPECT_TRUE(ReturnValue(reply)) << replies.front();
    EXPECT_EQ(replies.size(), 1u);
}

TEST_F(UIContactsTest, BalanceIsAnsweredInUnitsAndSignedOutEndsTheDaemon)
{
    CJSONObject reply = Call("balanceQuery");
    EXPECT_EQ(Str(reply, "errorCode"), "ERROR_NOT_LOGGED_IN");
    EXPECT_EQ(Str(reply, "errorText"), "not logged in");
    EXPECT_EQ(Quits(), 1u);

    SignInFully();
    // The server holds its answer until both queries are in: the second must join the running request.
    ASSERT_NE(Command(R"({"cmd": "stall"})"), nullptr);
    std::vector<std::string> first, second;
    Start("balanceQuery", "{}", &first);
    Start("balanceQuery", "{}", &second);
    // One caller's calls are served in order: once a later call is answered, both queries have been taken.
    Call("getPrivacyPolicies");
    ASSERT_TRUE(RunUntil([this] { return Received("CHUNK_GETBALANCE") == 1; }));
    ASSERT_NE(Command(R"({"cmd": "resume"})"), nullptr);
    ASSERT_NE(Command(R"({"cmd": "send", "packet": {"chunk": "CHUNK_BALANCE", "KEY_BALANCE_CURRENCY": "EUR",)"
                      R"( "KEY_BALANCE_AMOUNT": 1234}})"),
              nullptr);
    ASSERT_TRUE(RunUntil([&] { return !first.empty() && !second.empty(); }));
    for (const std::string& text : {first[0], second[0]}) {
        reply = CJSONObject(text.c_str());
        double balance = 0;
        EXPECT_TRUE(reply.GetReal("balance", &balance)) << text;
        EXPECT_DOUBLE_EQ(balance, 12.34);
        EXPECT_EQ(Str(reply, "currency"), "EUR");
    }
    EXPECT_EQ(Received("CHUNK_GETBALANCE"), 1u);
}

TEST_F(UIContactsTest, VoicemailByTargetLaunchesThePhoneOnTheGivenNumber)
{
    SignInFully();
    ASSERT_TRUE(RunUntil([this] {
        return Library().GetModel().GetEventList() != nullptr && Library().GetModel().GetEventList()->GetCount() > 0;
    }));
    const std::wstring id = CIMMarkers::VoicemailId(1700000000, 12, L"bob");
    const CJSONObject reply =
        Call("listenToVoicemail", R"({"handle": 999, "target": ")" + std::string(id.begin(), id.end()) + "\"}");
    EXPECT_TRUE(ReturnValue(reply));
    EXPECT_TRUE(RunUntil([this] { return Launches("+15550111") == 1; }));
    EXPECT_EQ(Received("CHUNK_LISTENVOICEMAIL"), 1u);
}

TEST_F(UIContactsTest, VoicemailWithCallMethodOneIsAnsweredDuringTheRequest)
{
    Command(R"({"cmd": "call_setup", "setup": {"KEY_CALLMETHODS": [1], "KEY_VOICEMAIL_NUMBER_PREFIX": "+4430",
                                               "KEY_VOICEMAIL_NUMBER_RANGE_SIZE": 100, "KEY_VO_ENABLED": 1}})");
    SignInFully();
    ASSERT_TRUE(RunUntil([this] {
        return Library().GetModel().GetEventList() != nullptr && Library().GetModel().GetEventList()->GetCount() > 0;
    }));
    const std::wstring id = CIMMarkers::VoicemailId(1700000000, 12, L"bob");
    const CJSONObject reply =
        Call("listenToVoicemail", R"({"target": ")" + std::string(id.begin(), id.end()) + "\"}");
    EXPECT_TRUE(ReturnValue(reply)) << Str(reply, "errorCode");
    // The number is the voicemail prefix and the voicemail's index.
    EXPECT_TRUE(RunUntil([this] { return Launches("+4431") == 1; }));
}

TEST_F(UIContactsTest, ASecondVoicemailRequestWhilePendingIsRefused)
{
    Command(R"({"cmd": "call_answer", "silent": true})");
    SignInFully();
    ASSERT_TRUE(RunUntil([this] {
        return Library().GetModel().GetEventList() != nullptr && Library().GetModel().GetEventList()->GetCount() > 0;
    }));
    const int handle = Library().GetModel().GetEventList()->GetList(false).front()->GetHandle();
    std::vector<std::string> first;
    Start("listenToVoicemail", R"({"handle": )" + std::to_string(handle) + "}", &first);
    ASSERT_TRUE(RunUntil([this] { return Received("CHUNK_LISTENVOICEMAIL") == 1; }));
    CJSONObject reply = Call("listenToVoicemail", R"({"handle": 1})");
    EXPECT_EQ(Str(reply, "errorCode"), "VexlaFunctionAlreadyInUse");
    EXPECT_TRUE(first.empty());

    reply = Call("listenToVoicemail", R"({})");
    EXPECT_EQ(Str(reply, "errorCode"), "VexlaRequiredDataMissing");

    // The session ends before the number came: the held request is answered.
    m_session->TerminateSession();
    ASSERT_TRUE(RunUntil([&] { return !first.empty(); }));
    EXPECT_EQ(Str(CJSONObject(first.front().c_str()), "errorCode"), "VexlaSessionNotValid");
    EXPECT_EQ(first.size(), 1u);
}

TEST_F(UIContactsTest, RequestsHeldWhenTheServiceGoesAreAnswered)
{
    Command(R"({"cmd": "call_answer", "silent": true})");
    SignInFully();
    ASSERT_TRUE(RunUntil([this] {
        return Library().GetModel().GetEventList() != nullptr && Library().GetModel().GetEventList()->GetCount() > 0 &&
               Library().GetModel().GetProfile() != nullptr;
    }));
    const int handle = Library().GetModel().GetEventList()->GetList(false).front()->GetHandle();
    std::vector<std::string> voicemail, privacy;
    Start("listenToVoicemail", R"({"handle": )" + std::to_string(handle) + "}", &voicemail);
    ASSERT_TRUE(RunUntil([this] { return Received("CHUNK_LISTENVOICEMAIL") == 1; }));
    // The privacy change waits behind a profile request of the library's own, which the server leaves
    // unanswered.
    ASSERT_NE(Command(R"({"cmd": "stall"})"), nullptr);
    ASSERT_TRUE(Library().RequestProfile());
    VexlaTest::CLogCapture::Get().Clear();
    Start("setPrivacyPolicies", R"({"chat": "everyone"})", &privacy);
    ASSERT_TRUE(RunUntil([] { return VexlaTest::CLogCapture::Get().Contains(L"CVexlaUIService::SetPrivacyPolicies"); }));

    m_ui.reset();
    ASSERT_TRUE(RunUntil([&] { return !voicemail.empty() && !privacy.empty(); }));
    EXPECT_EQ(Str(CJSONObject(voicemail.front().c_str()), "errorCode"), "VexlaSessionNotValid");
    int code = 0;
    CJSONObject(privacy.front().c_str()).GetInt("errorCode", &code);
    EXPECT_EQ(code, 1) << privacy.front();
    EXPECT_TRUE(SentProfile().empty());
}

TEST_F(UIContactsTest, AnUnknownVoicemailCannotBeRequested)
{
    SignInFully();
    const CJSONObject reply = Call("listenToVoicemail", R"({"target": "nosuchid"})");
    EXPECT_EQ(Str(reply, "errorCode"), "VexlaGeneric");
    EXPECT_EQ(Str(reply, "errorText"), "Could not request voicemail.");
}

}  // namespace
}  // namespace UITest
