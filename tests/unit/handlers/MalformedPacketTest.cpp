#include <gtest/gtest.h>

#include <climits>

#include "Model/Model.h"
#include "support/LibraryFixture.h"
#include "support/LogCapture.h"

using namespace VexlaLib;
using namespace VexlaTest;

namespace {

// Server packets with missing, mistyped or extreme attributes: each is dropped or applied in part,
// never a crash, and nothing of it reaches the listeners as a broken object.
class CMalformedPacketTest : public CLibraryFixture {};

}  // namespace

TEST_F(CMalformedPacketTest, BuddyListsWithWrongShapes)
{
    SignIn();
    CLogCapture::Get().Clear();
    // Records that are not containers, a record container that is a string, counts without records.
    Receive(CTestPacket(CHUNK_BUDDYLIST)
                .Int(KEY_BUDDYLIST_STATUS, 1)
                .Int(KEY_RECORDCOUNT, 5)
                .Sub(KEY_BUDDYRECORDS, CTestPacket::Record().Int(KEY_BUDDYINDEX, 3).Str(KEY_VEXLANAME, L"flat")));
    Receive(CTestPacket(CHUNK_BUDDYLIST).Int(KEY_RECORDCOUNT, 1).Str(KEY_BUDDYRECORDS, L"not a container"));
    Receive(CTestPacket(CHUNK_BUDDYLIST)
                .Str(KEY_BOOKMARK, L"seven")
                .Int(KEY_RECORDCOUNT, 1)
                .Sub(KEY_BUDDYRECORDS, CTestPacket::Record().Sub(KEY_BUDDYRECORDS,
                                                                 CTestPacket::Record()
                                                                     .Int(KEY_BUDDYINDEX, INT_MIN)
                                                                     .Int(KEY_VEXLANAME, 5)
                                                                     .Int(KEY_CONTACTAVAILABILITY, INT_MAX)
                                                                     .Str(KEY_BIRTHDAY, L"yesterday"))));
    Drain();
    const CContactList* list = m_lib.GetModel().GetContactList();
    ASSERT_NE(nullptr, list);
    EXPECT_TRUE(list->IsComplete());
    ASSERT_EQ(1u, list->GetCount());
    const CContact* odd = list->FindContact(INT_MIN);
    ASSERT_NE(nullptr, odd);
    EXPECT_EQ(L"", odd->GetVexlaName());
    EXPECT_EQ(0, odd->GetBirthday());
    EXPECT_EQ(0, list->GetBookmark());
}

TEST_F(CMalformedPacketTest, PresenceSearchPicturesAndRequestsWithMissingParts)
{
    SignInWithList({BuddyRecord(1, L"bob", 1)});
    m_lib.SearchContacts(L"x");
    Receive(CTestPacket(CHUNK_PRESENCEUPDATE).Str(KEY_ONLINESTATUSES, L"1 2 3"));
    Receive(CTestPacket(CHUNK_PRESENCEUPDATE).Ints(KEY_ONLINESTATUSES, {-1, 0, INT_MIN, INT_MAX}));
    Receive(CTestPacket(CHUNK_CONTACTSEARCHRESULTS).Int(KEY_SEARCH_ID, 4));
    Receive(CTestPacket(CHUNK_CONTACTSEARCHRESULTS)
                .Int(KEY_SEARCH_ID, 4)
                .Int(KEY_SEARCHSTATUS, 99)
                .Str(KEY_SEARCHRESULTRECORDS, L"none"));
    Receive(CTestPacket(CHUNK_AVATAR).Int(KEY_BUDDYINDEX, 1).Str(KEY_AVATARIMAGE, L"png"));
    Receive(CTestPacket(CHUNK_INCOMINGAUTHREQUEST).Int(KEY_VEXLANAME, 1));
    Receive(CTestPacket(CHUNK_CONTACTONLINESTATUS).Str(KEY_CONTACTAVAILABILITY, L"2"));
    Receive(CTestPacket(CHUNK_BALANCE).Int(KEY_BALANCE_CURRENCY, 1).Int(KEY_BALANCE_AMOUNT, 1));
    Drain();
    EXPECT_TRUE(m_listener.m_events.empty()) << m_listener.m_events.front();
    EXPECT_EQ(4, m_lib.GetModel().GetSearch()->GetSearchId());
    EXPECT_EQ(1, m_lib.GetModel().GetContactList()->FindContact(1)->GetAvailability());
}

TEST_F(CMalformedPacketTest, ExtremePollIntervalsAreCapped)
{
    SignInWithList({});
    Receive(CTestPacket(CHUNK_PRESENCESETTINGS).Int(KEY_FG_POLL_INTERVAL, INT_MAX).Int(KEY_BG_POLL_INTERVAL, INT_MIN));
    Drain();
    const size_t requests = m_net->SentOfChunk(CHUNK_GETBUDDYLIST).size();
    // The poll of the complete list still comes; the capped interval then applies without overflow.
    Advance(180000);
    EXPECT_EQ(requests + 1, m_net->SentOfChunk(CHUNK_GETBUDDYLIST).size());
    m_lib.SetClientState(CLIENT_STATE_BACKGROUND);
    Receive(CTestPacket(CHUNK_PRESENCESETTINGS));
    Drain();
    EXPECT_TRUE(m_lib.IsLoggedIn());
}

TEST_F(CMalformedPacketTest, AccountAnswersInTheWrongState)
{
    CLogCapture::Get().Clear();
    Receive(CTestPacket(CHUNK_LOGGEDOUT).Str(KEY_LOGOUTREASON, L"eight"));
    Receive(CTestPacket(CHUNK_FORCED_DISCONNECT, CPacket::INTERNAL));
    Receive(CTestPacket(CHUNK_PROFILEDATA));
    Drain();
    m_net->m_listener->OnNetworkError(NETWORK_ERROR_NO_NETWORK);
    EXPECT_TRUE(CLogCapture::Get().Contains(L"Unexpected LOGGEDOUT chunk received from server."));
    EXPECT_TRUE(CLogCapture::Get().Contains(L"Unexpected CAccountHandler::HandleForcedDisconnect call."));
    EXPECT_TRUE(CLogCapture::Get().Contains(L"Unexpected CAccountHandler::HandleNetworkError call."));
    EXPECT_TRUE(m_listener.m_events.empty());
    // Still usable: a login goes ahead.
    SignIn();
    EXPECT_TRUE(m_lib.IsLoggedIn());
    Receive(CTestPacket(CHUNK_LOGGEDIN));
    Drain();
    EXPECT_TRUE(m_listener.Has("OnNewSession(0)"));
}
