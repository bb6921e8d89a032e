#include <gtest/gtest.h>

#include <functional>
#include <utility>

#include "Model/Profile.h"
#include "support/LibraryFixture.h"
#include "support/LogCapture.h"

using namespace VexlaLib;
using namespace VexlaTest;

namespace {

typedef std::pair<const char*, std::function<bool(CVexlaLib&)>> TOperation;

// Every request that needs a signed-in session, by name.
std::vector<TOperation> SessionOperations(int contact, int chat, int voicemail)
{
    return {
        {"Logout", [](CVexlaLib& l) { return l.Logout(); }},
        {"RequestCreditBalance", [](CVexlaLib& l) { return l.RequestCreditBalance(); }},
        {"RequestProfile", [](CVexlaLib& l) { return l.RequestProfile(); }},
        {"SaveProfile", [](CVexlaLib& l) { return l.SaveProfile(CProfile()); }},
        {"SetOnlineStatus", [](CVexlaLib& l) { return l.SetOnlineStatus(2); }},
        {"RequestPresenceUpdate", [](CVexlaLib& l) { return l.RequestPresenceUpdate(); }},
        {"RequestContactList", [](CVexlaLib& l) { return l.RequestContactList(); }},
        {"AddContact", [](CVexlaLib& l) { return l.AddContact(L"bob", L"hello"); }},
        {"AddVexlaOutContact", [](CVexlaLib& l) { return l.AddVexlaOutContact(L"+3115555", L"Office"); }},
        {"DeleteContact", [contact](CVexlaLib& l) { return l.DeleteContact(contact); }},
        {"RequestContactProps", [contact](CVexlaLib& l) { return l.RequestContactProps(contact); }},
        {"RequestAvatar", [contact](CVexlaLib& l) { return l.RequestAvatar(contact, 96, 96); }},
        {"SendAuthRequest", [](CVexlaLib& l) { return l.SendAuthRequest(L"eve", L"hi"); }},
        {"AuthorizeContact", [](CVexlaLib& l) { return l.AuthorizeContact(L"eve"); }},
        {"UnblockContact", [](CVexlaLib& l) { return l.UnblockContact(L"eve"); }},
        {"BlockContact", [](CVexlaLib& l) { return l.BlockContact(L"eve"); }},
        {"RejectContact", [](CVexlaLib& l) { return l.RejectContact(L"eve"); }},
        {"SearchContacts", [](CVexlaLib& l) { return l.SearchContacts(L"smith"); }},
        {"ExtendContactSearch", [](CVexlaLib& l) { return l.ExtendContactSearch(); }},
        {"EndContactSearch", [](CVexlaLib& l) { return l.EndContactSearch(); }},
        {"RequestContactCall", [contact](CVexlaLib& l) { return l.RequestContactCall(contact); }},
        {"RequestVexlaCall", [](CVexlaLib& l) { return l.RequestVexlaCall(L"bob"); }},
        {"RequestVexlaOutCall", [](CVexlaLib& l) { return l.RequestVexlaOutCall(L"+3115555"); }},
        {"RequestListenVoicemail", [voicemail](CVexlaLib& l) { return l.RequestListenVoicemail(voicemail); }},
        {"MarkVoicemailAsRead", [voicemail](CVexlaLib& l) { return l.MarkVoicemailAsRead(voicemail); }},
        {"DeleteVoicemail", [voicemail](CVexlaLib& l) { return l.DeleteVoicemail(voicemail); }},
        {"MarkAllVoicemailsAsRead", [](CVexlaLib& l) { return l.MarkAllVoicemailsAsRead(); }},
        {"DeleteAllVoicemails", [](CVexlaLib& l) { return l.DeleteAllVoicemails(); }},
        {"RequestRecentChats", [](CVexlaLib& l) { return l.RequestRecentChats(); }},
        {"RequestUnreadChats", [](CVexlaLib& l) { return l.RequestUnreadChats(); }},
        {"OpenChat", [chat](CVexlaLib& l) { return l.OpenChat(chat); }},
        {"CloseChat", [chat](CVexlaLib& l) { return l.CloseChat(chat); }},
        {"MarkChatAsRead", [chat](CVexlaLib& l) { return l.MarkChatAsRead(chat); }},
        {"LeaveChat", [chat](CVexlaLib& l) { return l.LeaveChat(chat); }},
        {"SetChatTopic", [chat](CVexlaLib& l) { return l.SetChatTopic(chat, L"trip"); }},
        {"AddChatMembers", [chat](CVexlaLib& l) { return l.AddChatMembers(chat, {L"carol"}); }},
        {"SendChatMsg", [chat](CVexlaLib& l) { return l.SendChatMsg(chat, L"hi"); }},
        {"CreateOrOpenChat", [](CVexlaLib& l) { return l.CreateOrOpenChat(L"bob") != nullptr; }},
        {"MarkAllChatsAsRead", [](CVexlaLib& l) { return l.MarkAllChatsAsRead(); }},
        {"LeaveAllChats", [](CVexlaLib& l) { return l.LeaveAllChats(); }},
    };
}

class CSignedOutTest : public CLibraryFixture
{
protected:
    // Runs every session request: each must be refused without sending anything.
    void ExpectEveryRequestRefused(const std::string& when)
    {
        const size_t sent = m_net->m_sent.size();
        for (const TOperation& operation : SessionOperations(m_contact, m_chat, m_voicemail))
            EXPECT_FALSE(operation.second(m_lib)) << operation.first << " " << when;
        EXPECT_EQ(sent, m_net->m_sent.size()) << when;
    }
    // Leaves the library signed out with handles that named a contact, a chat and a voicemail of the
    // session that ended.
    void SignInAndOut()
    {
        SignInWithList({BuddyRecord(1, L"bob")});
        m_contact = m_lib.FindContact(L"bob")->GetHandle();
        m_chat = m_lib.CreateOrOpenChat(L"bob")->GetHandle();
        m_voicemail = m_chat + 1000;
        Receive(CTestPacket(CHUNK_LOGGEDOUT).Int(KEY_LOGOUTREASON, 1));
        Drain();
        ASSERT_FALSE(m_lib.IsLoggedIn());
        m_listener.Clear();
    }
    // Moves time far past every request's time-out and poll and says whether anything happened.
    bool QuietForTenMinutes()
    {
        const size_t sent = m_net->m_sent.size();
        for (int second = 0; second < 600; ++second)
            Advance(1000);
        return m_listener.m_events.empty() && m_net->m_sent.size() == sent;
    }

    int m_contact = 1;
    int m_chat = 2;
    int m_voicemail = 3;
};

CTestPacket Error(int code)
{
    return CTestPacket(CHUNK_ERROR).Int(KEY_ERROR_CODE, code);
}

}  // namespace

TEST_F(CSignedOutTest, EveryRequestOfASessionIsRefusedSignedOutAndWhileSigningIn)
{
    ExpectEveryRequestRefused("before any sign-in");
    SignInAndOut();
    ExpectEveryRequestRefused("after a sign-out");
    m_lib.Login(L"alice", L"secret");
    ExpectEveryRequestRefused("while signing in");
    EXPECT_TRUE(m_lib.CancelLogin());
    Drain();
    EXPECT_EQ((std::vector<std::string>{"OnLoginFailed(10)"}), m_listener.m_events);
    m_listener.Clear();
    EXPECT_TRUE(QuietForTenMinutes());
}

TEST_F(CSignedOutTest, WhatASignInNeedsKeepsWorking)
{
    m_lib.SetProperty(L"PSTN", L"+3161234");
    EXPECT_TRUE(m_lib.SetClientState(CLIENT_STATE_BACKGROUND));
    EXPECT_TRUE(m_lib.SetClientState(CLIENT_STATE_FOREGROUND));
    EXPECT_FALSE(m_lib.SetClientState(static_cast<eClientState>(7)));
    EXPECT_TRUE(m_lib.RegisterUser(L"newuser", L"pw", L"", L"n@example.org", false));
    EXPECT_TRUE(m_lib.CancelLogin());
    Drain();
    EXPECT_TRUE(m_lib.Login(L"alice", L"secret"));
    EXPECT_EQ(L"+3161234", StrOf(m_net->LastSent(), KEY_DEVICE_PSTNNUMBER));
    Receive(CTestPacket(CHUNK_SAVEDATA));
    Receive(CTestPacket(CHUNK_LOGGEDIN));
    Drain();
    EXPECT_TRUE(m_lib.IsLoggedIn());
    EXPECT_EQ((std::vector<std::string>{"OnRegisterUserFailed(17)", "OnLoginSuccess", "OnNewSession(1)"}),
              m_listener.m_events);
}

TEST_F(CSignedOutTest, ContactListIsNotPolledWithoutASession)
{
    EXPECT_FALSE(m_lib.RequestContactList());
    Receive(CTestPacket(CHUNK_PRESENCESETTINGS).Int(KEY_FG_POLL_INTERVAL, 1).Int(KEY_BG_POLL_INTERVAL, 1));
    Drain();
    EXPECT_EQ(-1, m_lib.MsUntilDue());
    EXPECT_TRUE(QuietForTenMinutes());
    EXPECT_TRUE(m_net->SentOfChunk(CHUNK_GETBUDDYLIST).empty());
}

TEST_F(CSignedOutTest, ErrorsOfSessionRequestsRaiseNothingWithoutASession)
{
    SignInAndOut();
    CLogCapture::Get().Clear();
    for (int code : {9, 10, 18, 20, 25, 26, 67})
        Receive(Error(code));
    Drain();
    EXPECT_TRUE(m_listener.m_events.empty());
    EXPECT_TRUE(CLogCapture::Get().Contains(L"Unhandled CHUNK_ERROR: 9 ."));
    EXPECT_FALSE(CLogCapture::Get().Contains(L"dropped: no session"));
    EXPECT_TRUE(QuietForTenMinutes());
}

TEST_F(CSignedOutTest, AnAddDuringALoginThatFailsIsRefusedAndTheLoginFailsOnce)
{
    m_lib.Login(L"alice", L"secret");
    EXPECT_FALSE(m_lib.AddContact(L"bob", L"hello"));
    EXPECT_FALSE(m_lib.AddVexlaOutContact(L"+3115555", L""));
    // The server refuses the login with an add's error code: it is the login's failure.
    Receive(Error(9));
    Drain();
    EXPECT_EQ((std::vector<std::string>{"OnLoginFailed(0)"}), m_listener.m_events);
    EXPECT_TRUE(m_net->SentOfChunk(CHUNK_ADDCONTACT).empty());
    m_listener.Clear();
    EXPECT_TRUE(QuietForTenMinutes());
}

TEST_F(CSignedOutTest, EventsOfASessionAreDroppedAndLoggedWithoutOne)
{
    CLogCapture::Get().Clear();
    m_lib.NotifyGetBalanceFailed(true);
    m_lib.NotifyContactListUpdated(false);
    m_lib.NotifyDialOutFailed(IVexlaLibListener::eDialoutError(0));
    EXPECT_TRUE(m_listener.m_events.empty());
    EXPECT_TRUE(CLogCapture::Get().Contains(L"VexlaLib Callback: OnGetBalanceFailed dropped: no session."));
    EXPECT_EQ(3u, CLogCapture::Get().Count(L"dropped: no session."));
}

TEST_F(CSignedOutTest, AnAddUnderWayFailsWhenItsSessionEnds)
{
    struct SEnding
    {
        const char* name;
        std::function<void()> end;
        const char* event;
    };
    const SEnding endings[] = {
        {"sign-out", [this] { Receive(CTestPacket(CHUNK_LOGGEDOUT).Int(KEY_LOGOUTREASON, 1)); }, "OnLogout(4)"},
        {"new server session", [this] { Receive(CTestPacket(CHUNK_LOGGEDIN)); }, "OnNewSession(0)"},
        {"network lost", [this] { m_net->m_listener->OnNetworkError(NETWORK_ERROR_NO_NETWORK); }, "OnLogout(1)"},
    };
    for (const SEnding& ending : endings) {
        if (!m_lib.IsLoggedIn())
            SignInWithList({BuddyRecord(1, L"bob")});
        ASSERT_TRUE(m_lib.AddContact(L"carol", L"hello")) << ending.name;
        m_listener.Clear();
        ending.end();
        Drain();
        EXPECT_EQ((std::vector<std::string>{ending.event, "OnAddContactFailed(0,0)"}), m_listener.m_events)
            << ending.name;
        // The add is over: no time-out follows, and the next session may add again.
        m_listener.Clear();
        Advance(10000);
        EXPECT_EQ(0u, m_listener.CountNamed("OnAddContactFailed")) << ending.name;
    }
    SignInWithList({});
    EXPECT_TRUE(m_lib.AddVexlaOutContact(L"+3115555", L"Office"));
}

TEST_F(CSignedOutTest, AnAddWhoseContactWasListedButNotFoundFailsAtTheSignOut)
{
    SignInWithList({BuddyRecord(1, L"bob")});
    ASSERT_TRUE(m_lib.AddVexlaOutContact(L"+3115555", L"Office"));
    // The record carries the number, but without an index the contact is never created.
    Receive(BuddyList(0, {CTestPacket::Record().Str(KEY_CALLTARGET, L"+3115555")}));
    Drain();
    EXPECT_EQ(0u, m_listener.CountNamed("OnAddContactSuccess"));
    m_listener.Clear();
    Receive(CTestPacket(CHUNK_LOGGEDOUT).Int(KEY_LOGOUTREASON, 1));
    Drain();
    EXPECT_EQ((std::vector<std::string>{"OnLogout(4)", "OnAddContactFailed(0,0)"}), m_listener.m_events);
}
