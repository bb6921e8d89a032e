#include <gtest/gtest.h>

#include "support/LibraryFixture.h"
#include "support/LogCapture.h"
#include "Network/AttrChunk.h"
#include "Network/AttrKey.h"
#include "Utils/IWakeup.h"
#include "Utils/Utils.h"

using namespace VexlaLib;
using namespace VexlaTest;

namespace {

class CFacadeTest : public CLibraryFixture {};

// A listener that tries to change the listener list from inside a notification.
class CMeddlingListener : public IVexlaLibListener {
public:
    explicit CMeddlingListener(CVexlaLib* lib) : m_lib(lib) {}
    void OnLoginSuccess() override
    {
        m_addResult = m_lib->AddListener(&m_other);
        m_removeResult = m_lib->RemoveListener(this);
    }
    CVexlaLib* m_lib;
    CRecordingListener m_other;
    bool m_addResult = true;
    bool m_removeResult = true;
};

class CCountingWakeup : public IWakeup {
public:
    void Wakeup() override { ++m_count; }
    int m_count = 0;
};

CTestPacket Connected()
{
    return CTestPacket(CHUNK_CONNECTED);
}

}  // namespace

TEST_F(CFacadeTest, SeveralListPacketsInOneStepGiveOneListUpdate)
{
    SignIn();
    Receive(BuddyList(1, {BuddyRecord(1, L"bob")}));
    Receive(BuddyList(1, {BuddyRecord(2, L"carol")}));
    Receive(BuddyList(0, {BuddyRecord(3, L"dave")}));
    m_listener.Clear();
    Step();
    EXPECT_EQ(3u, m_listener.CountNamed("OnContactAdded"));
    EXPECT_EQ(1u, m_listener.Count("OnContactListUpdated"));
    EXPECT_EQ("OnContactListUpdated", m_listener.m_events.back());
    Step();
    EXPECT_EQ(1u, m_listener.Count("OnContactListUpdated"));
}

TEST_F(CFacadeTest, HeldReceivingLeavesPacketsWaitingAndReleasingWakesTheStep)
{
    CCountingWakeup wakeup;
    m_lib.SetWakeup(&wakeup);
    SignIn();
    m_lib.HoldReceiving(true);
    Receive(BuddyList(0, {BuddyRecord(1, L"bob")}));
    m_listener.Clear();
    Step();
    EXPECT_EQ(0u, m_listener.CountNamed("OnContactAdded"));
    const int woken = wakeup.m_count;
    m_lib.HoldReceiving(false);
    EXPECT_EQ(woken + 1, wakeup.m_count);
    Step();
    EXPECT_EQ(1u, m_listener.CountNamed("OnContactAdded"));
    m_lib.HoldReceiving(false);
    EXPECT_EQ(woken + 1, wakeup.m_count) << "nothing was held";
}

TEST_F(CFacadeTest, ListenerListIsFixedDuringNotificationAndRejectsDuplicates)
{
    CMeddlingListener meddler(&m_lib);
    EXPECT_TRUE(m_lib.AddListener(&meddler));
    EXPECT_FALSE(m_lib.AddListener(&meddler));
    EXPECT_FALSE(m_lib.AddListener(nullptr));
    SignIn();
    EXPECT_FALSE(meddler.m_addResult);
    EXPECT_FALSE(meddler.m_removeResult);
    EXPECT_TRUE(meddler.m_other.m_events.empty());
    EXPECT_TRUE(m_lib.RemoveListener(&meddler));
    EXPECT_FALSE(m_lib.RemoveListener(&meddler));
}

TEST_F(CFacadeTest, LoginWithoutNameUsesStoredNameInLowerCase)
{
    m_storage.SetString(L"KEY_VEXLANAME", L"AliceSmith");
    EXPECT_TRUE(m_lib.Login(L"", L"pw"));
    const TPacketSPtr login = m_net->LastSent();
    ASSERT_EQ(CHUNK_LOGIN, ChunkOf(login));
    EXPECT_EQ(L"alicesmith", StrOf(login, KEY_VEXLANAME));
    EXPECT_EQ(L"alicesmith", m_lib.GetModel().GetUserName());
}

TEST_F(CFacadeTest, UpgradeOfferedOnlyForNewerServerVersion)
{
    m_lib.SetProperty(L"PLATFORMID", L"2017/1.0.0.0");
    Receive(Connected()
                .Str(KEY_LATEST_VERSION, L"F1.0.1.0")
                .Str(KEY_UPGRADEURL, L"http://u")
                .Str(KEY_UPGRADE_MESSAGE, L"please"));
    Receive(Connected().Str(KEY_LATEST_VERSION, L"1.0.0.0").Str(KEY_UPGRADEURL, L"http://u"));
    Receive(Connected().Str(KEY_LATEST_VERSION, L"0.9.9.9").Str(KEY_UPGRADEURL, L"http://u"));
    Drain();
    EXPECT_EQ((std::vector<std::string>{"OnUpgradeAvailable(please,http://u,1)"}), m_listener.m_events);
}

TEST_F(CFacadeTest, SubscriptionErrorWinsOverVersionInformation)
{
    m_lib.SetProperty(L"PLATFORMID", L"2017/1.0.0.0");
    Receive(Connected()
                .Str(KEY_SUBSCRIPTION_ERROR_MESSAGE, L"expired")
                .Str(KEY_SUBSCRIPTION_URL, L"http://s")
                .Str(KEY_LATEST_VERSION, L"2.0.0.0")
                .Str(KEY_UPGRADEURL, L"http://u"));
    Drain();
    EXPECT_EQ((std::vector<std::string>{"OnSubscriptionError(expired,http://s)"}), m_listener.m_events);
}

TEST_F(CFacadeTest, ServerTimeSetsTheTimeDifference)
{
    const int now = static_cast<int>(CUtils::CurrentTimeInSec());
    Receive(Connected().Int(KEY_SERVER_UTC_TIME, now + 1000));
    Drain();
    EXPECT_EQ(5000 + 1000, m_lib.ConvertToServerTime(5000));
    EXPECT_EQ(5000 - 1000, m_lib.ConvertToLocalTime(5000));
}

TEST_F(CFacadeTest, UnknownChunksAreLoggedAndSaveDataIsIgnored)
{
    CLogCapture::Get().Clear();
    Receive(CTestPacket(CHUNK_SAVEDATA));
    Receive(CTestPacket(CHUNK_USERDATA));
    Receive(CTestPacket::Record().Int(KEY_BUDDYINDEX, 1));  // no chunk kind: dropped silently
    Drain();
    EXPECT_TRUE(CLogCapture::Get().Contains(L"Unhandled packet received from server - CHUNK_USERDATA"));
    EXPECT_FALSE(CLogCapture::Get().Contains(L"Unhandled packet received from server - CHUNK_SAVEDATA"));
    EXPECT_EQ(1u, CLogCapture::Get().Count(L"Unhandled packet received"));
}

TEST_F(CFacadeTest, UnclaimedErrorIsLogged)
{
    SignIn();
    CLogCapture::Get().Clear();
    Receive(CTestPacket(CHUNK_ERROR).Int(KEY_ERROR_CODE, 77).Str(KEY_ERROR_MESSAGE, L"odd"));
    Receive(CTestPacket(CHUNK_ERROR).Int(KEY_ERROR_CODE, 20));
    Drain();
    EXPECT_TRUE(CLogCapture::Get().Contains(L"Unhandled CHUNK_ERROR: 77 odd."));
    EXPECT_FALSE(CLogCapture::Get().Contains(L"Unhandled CHUNK_ERROR: 20"));
}

TEST_F(CFacadeTest, SessionPacketsWhileSignedOutAreDropped)
{
    Receive(BuddyList(0, {BuddyRecord(1, L"bob")}));
    Receive(CTestPacket(CHUNK_INCOMINGAUTHREQUEST).Str(KEY_VEXLANAME, L"eve"));
    Drain();
    EXPECT_EQ(nullptr, m_lib.GetModel().GetContactList());
    EXPECT_TRUE(m_listener.m_events.empty());
}

TEST_F(CFacadeTest, RequestIdsAreNeverZero)
{
    const int first = CVexlaLib::GetUniqueRequestId();
    EXPECT_GE(first, 1);
    EXPECT_EQ(first + 1, CVexlaLib::GetUniqueRequestId());
    TPacketSPtr packet = CTestPacket(CHUNK_PLACECALL, CPacket::OUTGOING).Build();
    m_lib.SendPacket(packet, 42);
    EXPECT_EQ(42, IntOf(m_net->LastSent(), KEY_REQUEST_ID));
}

TEST_F(CFacadeTest, PresenceSettingsPickTheIntervalOfTheClientState)
{
    SignInWithList({BuddyRecord(1, L"bob")});
    m_lib.SetClientState(CLIENT_STATE_BACKGROUND);
    Receive(CTestPacket(CHUNK_PRESENCESETTINGS).Int(KEY_FG_POLL_INTERVAL, 10).Int(KEY_BG_POLL_INTERVAL, 30));
    Drain();
    // The poll started with the complete list still runs its 180 s; from then on the new interval.
    const size_t before = m_net->SentOfChunk(CHUNK_GETBUDDYLIST).size();
    Advance(180000);
    EXPECT_EQ(before + 1, m_net->SentOfChunk(CHUNK_GETBUDDYLIST).size());
    Receive(BuddyList(0, {}));
    Drain();
    Advance(29000);
    EXPECT_EQ(before + 1, m_net->SentOfChunk(CHUNK_GETBUDDYLIST).size());
    Advance(1000);
    EXPECT_EQ(before + 2, m_net->SentOfChunk(CHUNK_GETBUDDYLIST).size());
}

TEST_F(CFacadeTest, ConnectingIsReportedOnce)
{
    m_net->m_listener->OnConnecting();
    m_net->m_listener->OnConnecting();
    EXPECT_EQ((std::vector<std::string>{"OnAvailabilityChanged(14)"}), m_listener.m_events);
}

TEST(CFacadeLifecycleTest, OperationsFailWithoutInitialize)
{
    CVexlaLib lib;
    EXPECT_FALSE(lib.Login(L"a", L"b"));
    EXPECT_FALSE(lib.AddContact(L"a", L""));
    EXPECT_FALSE(lib.SetOnlineStatus(2));
    EXPECT_FALSE(lib.RequestCreditBalance());
    EXPECT_FALSE(lib.IsLoggedIn());
    std::wstring value;
    EXPECT_FALSE(lib.GetProperty(L"PLATFORMID", &value));
    EXPECT_EQ(0, lib.Process());
}

TEST(CFacadeLifecycleTest, FailedNetworkStartLeavesTheLibraryUninitialised)
{
    CLocalStorage storage;
    storage.Initialize();
    CVexlaLib lib;
    std::unique_ptr<CScriptedNetModule> net(new CScriptedNetModule);
    net->m_initializeResult = false;
    EXPECT_FALSE(lib.Initialize(&storage, std::move(net)));
    EXPECT_FALSE(lib.Login(L"a", L"b"));
    std::unique_ptr<CScriptedNetModule> second(new CScriptedNetModule);
    EXPECT_TRUE(lib.Initialize(&storage, std::move(second)));
    EXPECT_FALSE(lib.Initialize(&storage, std::unique_ptr<CScriptedNetModule>(new CScriptedNetModule)));
}

TEST(CFacadeLifecycleTest, CallsBeforeInitializeAreRefusedAndLogged)
{
    CVexlaLib lib;
    CLogCapture::Get().Clear();
    lib.SetProperty(L"PSTN", L"123");
    EXPECT_TRUE(CLogCapture::Get().Contains(L"CVexlaLib::SetProperty - the library is not initialised; PSTN not set."));
    std::wstring value;
    EXPECT_FALSE(lib.GetProperty(L"PSTN", &value));
    EXPECT_EQ(L"", lib.GetLocalConnectionAddress());
    EXPECT_FALSE(lib.SetClientState(CLIENT_STATE_BACKGROUND));
}
