#include <gtest/gtest.h>

#include "Model/Availability.h"
#include "Model/Model.h"
#include "support/LibraryFixture.h"
#include "support/LogCapture.h"

using namespace VexlaLib;
using namespace VexlaTest;

namespace {

class CContactHandlerTest : public CLibraryFixture {
protected:
    CContact* Contact(int index) { return m_lib.GetModel().GetContactList()->FindContact(index); }
    size_t ContactCount() { return m_lib.GetModel().GetContactList()->GetCount(); }
    size_t ListRequests() { return m_net->SentOfChunk(CHUNK_GETBUDDYLIST).size(); }
    CTestPacket Presence(const std::vector<int>& entries)
    {
        return CTestPacket(CHUNK_PRESENCEUPDATE).Ints(KEY_ONLINESTATUSES, entries);
    }
    CTestPacket SearchResults(int id, int status, const std::vector<std::wstring>& names)
    {
        CTestPacket records = CTestPacket::Record();
        for (const std::wstring& name : names)
            records.Sub(KEY_SEARCHRESULTRECORDS, CTestPacket::Record().Str(KEY_VEXLANAME, name));
        return CTestPacket(CHUNK_CONTACTSEARCHRESULTS)
            .Int(KEY_SEARCH_ID, id)
            .Int(KEY_SEARCHSTATUS, status)
            .Sub(KEY_SEARCHRESULTRECORDS, records);
    }
};

}  // namespace

TEST_F(CContactHandlerTest, RecordsWithoutIndexChangeNothing)
{
    SignInWithList({CTestPacket::Record().Str(KEY_VEXLANAME, L"noindex"), BuddyRecord(0, L"zero")});
    EXPECT_EQ(0u, ContactCount());
    EXPECT_EQ(0u, m_listener.Count("OnContactListUpdated"));
    EXPECT_TRUE(m_lib.GetModel().GetContactList()->IsComplete());
}

TEST_F(CContactHandlerTest, RecordsCreateAndUpdateContacts)
{
    SignInWithList({BuddyRecord(1, L"bob").Str(KEY_FULLNAME, L"Bob B").Int(152, 0x1234)});
    const CContact* bob = Contact(1);
    ASSERT_NE(nullptr, bob);
    EXPECT_EQ(L"Bob B", bob->GetFullName());
    EXPECT_EQ(0x1234, bob->GetAvatarCrc());
    EXPECT_EQ(bob, m_lib.GetModel().GetContact(bob->GetHandle()));
    m_listener.Clear();
    // Wrong types are skipped; the name and index never change.
    Receive(BuddyList(0, {BuddyRecord(1, L"robert", 3).Int(KEY_FULLNAME, 5).Str(KEY_CITY, L"Delft")}));
    Drain();
    EXPECT_EQ(L"bob", bob->GetVexlaName());
    EXPECT_EQ(L"Bob B", bob->GetFullName());
    EXPECT_EQ((std::vector<std::string>{"OnContactUpdated(bob,513)", "OnContactListUpdated"}), m_listener.m_events);
}

TEST_F(CContactHandlerTest, Echo123AwaitingAuthorisationShowsOnline)
{
    SignInWithList({BuddyRecord(1, L"echo123", CAvailability::PENDINGAUTH), BuddyRecord(2, L"bob", 1)});
    EXPECT_EQ(CAvailability::ONLINE, Contact(1)->GetAvailability());
    Receive(Presence({(1 << 8) | CAvailability::OFFLINE, (2 << 8) | CAvailability::PENDINGAUTH}));
    Drain();
    Receive(Presence({(1 << 8) | CAvailability::PENDINGAUTH}));
    Drain();
    EXPECT_EQ(CAvailability::ONLINE, Contact(1)->GetAvailability());
    EXPECT_EQ(CAvailability::PENDINGAUTH, Contact(2)->GetAvailability());
}

TEST_F(CContactHandlerTest, DeletedRecordRemovesAKnownContactOnce)
{
    SignInWithList({BuddyRecord(1, L"bob")});
    const int handle = Contact(1)->GetHandle();
    m_listener.Clear();
    Receive(BuddyList(0, {BuddyRecord(7, L"ghost", CAvailability::DELETED)}));
    Drain();
    EXPECT_TRUE(m_listener.m_events.empty());
    Receive(BuddyList(0, {BuddyRecord(1, L"bob", CAvailability::DELETED)}));
    Receive(BuddyList(0, {BuddyRecord(1, L"bob", CAvailability::DELETED)}));
    Drain();
    EXPECT_EQ((std::vector<std::string>{"OnContactDeleted(bob)", "OnContactListUpdated"}), m_listener.m_events);
    EXPECT_EQ(0u, ContactCount());
    EXPECT_EQ(nullptr, m_lib.GetModel().GetContact(handle));
    // Destroyed at the end of the step: nothing is left to release.
    EXPECT_EQ(0u, m_lib.GetModel().GetContactList()->GetDeletedContactCount());
}

TEST_F(CContactHandlerTest, PagesFollowTheBookmarkAndTheThirdEmptyPageCompletesTheList)
{
    SignIn();
    // A page with records: the next one is asked for at once.
    size_t requests = ListRequests();
    Receive(BuddyList(1, {BuddyRecord(1, L"bob")}, 11));
    Drain();
    EXPECT_FALSE(m_lib.GetModel().GetContactList()->IsComplete());
    ASSERT_EQ(requests + 1, ListRequests());
    EXPECT_EQ(11, IntOf(m_net->LastSent(), KEY_BOOKMARK));

    // An empty page: the server is given 5 s.
    Receive(BuddyList(1, {}, 12));
    Drain();
    requests = ListRequests();
    Advance(4999);
    EXPECT_EQ(requests, ListRequests());
    Advance(1);
    ASSERT_EQ(requests + 1, ListRequests());
    EXPECT_EQ(12, IntOf(m_net->LastSent(), KEY_BOOKMARK));

    Receive(BuddyList(1, {BuddyRecord(2, L"carol")}, 13));
    Receive(BuddyList(1, {}, 14));
    Drain();
    EXPECT_FALSE(m_lib.GetModel().GetContactList()->IsComplete());
    Receive(BuddyList(1, {}, 15));
    Drain();
    EXPECT_TRUE(m_lib.GetModel().GetContactList()->IsComplete());
    // Polling now: the next request comes after the poll interval, not after 5 s.
    const size_t afterComplete = ListRequests();
    Advance(5000);
    EXPECT_EQ(afterComplete, ListRequests());
    Advance(175000);
    EXPECT_EQ(afterComplete + 1, ListRequests());
}

TEST_F(CContactHandlerTest, UnansweredListRequestIsRepeated)
{
    SignIn();
    const size_t requests = ListRequests();
    Advance(60000);
    EXPECT_EQ(requests + 1, ListRequests());
    Advance(60000);
    EXPECT_EQ(requests + 2, ListRequests());
}

TEST_F(CContactHandlerTest, PackedPresenceEntriesIgnoreTheTopByte)
{
    SignInWithList({BuddyRecord(0x12A, L"bob", 1), BuddyRecord(0x12B, L"carol", 1)});
    m_listener.Clear();
    Receive(Presence({0x00012A02}).Int(KEY_BOOKMARK, 99));
    Drain();
    EXPECT_EQ(CAvailability::ONLINE, Contact(0x12A)->GetAvailability());
    EXPECT_EQ(99, m_lib.GetModel().GetContactList()->GetPresenceBookmark());
    Receive(Presence({0x7F012B02, 0x7F012B02, 0x00099902}));
    Drain();
    EXPECT_EQ(CAvailability::ONLINE, Contact(0x12B)->GetAvailability());
    EXPECT_EQ((std::vector<std::string>{"OnContactUpdated(bob,1)", "OnContactListUpdated", "OnContactUpdated(carol,1)",
                                        "OnContactListUpdated"}),
              m_listener.m_events);
    m_lib.RequestPresenceUpdate();
    EXPECT_EQ(99, IntOf(m_net->LastSent(), KEY_BOOKMARK));
}

TEST_F(CContactHandlerTest, OneAddAtATime)
{
    SignInWithList({});
    EXPECT_TRUE(m_lib.AddContact(L"Carol", L"hi"));
    const size_t sent = m_net->m_sent.size();
    EXPECT_FALSE(m_lib.AddContact(L"dave", L"hi"));
    EXPECT_FALSE(m_lib.AddVexlaOutContact(L"+311234", L"Dave"));
    EXPECT_EQ(sent, m_net->m_sent.size());
    EXPECT_EQ(L"carol", StrOf(m_net->LastSent(), KEY_VEXLANAME));
    Advance(5000);
    EXPECT_TRUE(m_listener.Has("OnAddContactFailed(1,0)"));
    EXPECT_TRUE(m_lib.AddContact(L"dave", L"hi"));
}

TEST_F(CContactHandlerTest, NetworkUserAddCompletesWhenTheContactIsListed)
{
    SignInWithList({});
    m_lib.AddContact(L"carol", L"hi");
    Receive(BuddyList(0, {BuddyRecord(5, L"carol", CAvailability::PENDINGAUTH)}));
    Drain();
    EXPECT_TRUE(m_listener.Has("OnAddContactSuccess(carol)"));
    Advance(5000);
    EXPECT_EQ(0u, m_listener.CountNamed("OnAddContactFailed"));
}

TEST_F(CContactHandlerTest, VexlaOutAddCompletesOnlyOnItsNumber)
{
    SignInWithList({});
    EXPECT_TRUE(m_lib.AddVexlaOutContact(L"+31155550000", L"Office"));
    const TPacketSPtr add = m_net->LastSent();
    EXPECT_EQ(L"Office", StrOf(add, KEY_FULLNAME));
    EXPECT_EQ(L"+31155550000", StrOf(add, KEY_CALLTARGET));
    Receive(BuddyList(0, {BuddyRecord(5, L"other").Str(KEY_FULLNAME, L"Office")}));
    Drain();
    EXPECT_EQ(0u, m_listener.CountNamed("OnAddContactSuccess"));
    Receive(BuddyList(0, {CTestPacket::Record()
                              .Int(KEY_BUDDYINDEX, 6)
                              .Str(KEY_CALLTARGET, L"+31155550000")
                              .Int(KEY_CONTACTAVAILABILITY, CAvailability::VEXLAOUT)}));
    Drain();
    EXPECT_TRUE(m_listener.Has("OnAddContactSuccess(+31155550000)"));
}

TEST_F(CContactHandlerTest, AddErrorsAreClaimedOnlyWhileAnAddIsPending)
{
    SignInWithList({});
    CLogCapture::Get().Clear();
    Receive(CTestPacket(CHUNK_ERROR).Int(KEY_ERROR_CODE, 9));
    Drain();
    EXPECT_TRUE(CLogCapture::Get().Contains(L"Unhandled CHUNK_ERROR: 9"));
    m_lib.AddContact(L"nobody", L"");
    Receive(CTestPacket(CHUNK_ERROR).Int(KEY_ERROR_CODE, 10));
    Receive(CTestPacket(CHUNK_ERROR).Int(KEY_ERROR_CODE, 67));
    Drain();
    EXPECT_TRUE(m_listener.Has("OnAddContactFailed(0,10)"));
    EXPECT_TRUE(m_listener.Has("OnSendAuthRequestFailed"));
    EXPECT_EQ(1u, CLogCapture::Get().Count(L"Unhandled CHUNK_ERROR"));
}

TEST_F(CContactHandlerTest, AddFollowedByLogoutRaisesNothingAfterwards)
{
    SignInWithList({});
    m_lib.AddContact(L"carol", L"hi");
    Receive(CTestPacket(CHUNK_LOGGEDOUT).Int(KEY_LOGOUTREASON, 1));
    Drain();
    m_listener.Clear();
    Advance(10000);
    EXPECT_TRUE(m_listener.m_events.empty());
    // The next session does not complete the old add either.
    SignInWithList({BuddyRecord(5, L"carol")});
    EXPECT_EQ(0u, m_listener.CountNamed("OnAddContactSuccess"));
}

TEST_F(CContactHandlerTest, SearchTakesTheFirstIdAndDropsOthers)
{
    SignInWithList({});
    m_lib.SearchContacts(L"smith");
    EXPECT_EQ(L"smith", StrOf(m_net->LastSent(), KEY_SEARCHSTRING));
    Receive(SearchResults(42, 3, {L"jsmith", L"asmith"}));
    Receive(SearchResults(43, 4, {L"intruder"}));
    Drain();
    EXPECT_EQ((std::vector<std::string>{"OnSearchResultAdded(2)", "OnSearchFinished(2,1)"}), m_listener.m_events);
    m_lib.ExtendContactSearch();
    EXPECT_EQ(42, IntOf(m_net->LastSent(), KEY_SEARCH_ID));
    EXPECT_EQ(CHUNK_EXTENDCONTACTSEARCH, ChunkOf(m_net->LastSent()));

    // A new search ends the old one and takes the id of its own first results.
    m_lib.SearchContacts(L"jones");
    EXPECT_EQ(1u, m_net->SentOfChunk(CHUNK_ENDCONTACTSEARCH).size());
    m_listener.Clear();
    Receive(SearchResults(50, 5, {}));
    Drain();
    EXPECT_EQ((std::vector<std::string>{"OnSearchFailed"}), m_listener.m_events);
    EXPECT_EQ(50, m_lib.GetModel().GetSearch()->GetSearchId());
}

TEST_F(CContactHandlerTest, EmptyPictureReachesListenersAsEmptyVector)
{
    SignInWithList({BuddyRecord(1, L"bob")});
    EXPECT_TRUE(m_lib.RequestAvatar(Contact(1)->GetHandle(), 96, 96));
    EXPECT_EQ(96, IntOf(m_net->LastSent(), KEY_AVATARWIDTH));
    Receive(CTestPacket(CHUNK_AVATAR).Int(KEY_BUDDYINDEX, 1).Bytes(KEY_AVATARIMAGE, {}));
    Drain();
    ASSERT_TRUE(m_listener.Has("OnAvatarReceived(bob)"));
    ASSERT_NE(nullptr, m_listener.m_lastAvatar);
    EXPECT_TRUE(m_listener.m_lastAvatar->empty());
    Receive(CTestPacket(CHUNK_AVATAR).Int(KEY_BUDDYINDEX, 9).Bytes(KEY_AVATARIMAGE, {1, 2}));
    Receive(CTestPacket(CHUNK_AVATAR).Int(KEY_BUDDYINDEX, 1));
    Drain();
    EXPECT_EQ(1u, m_listener.CountNamed("OnAvatarReceived"));
}

TEST_F(CContactHandlerTest, AuthorisationRequestsInAndOut)
{
    SignInWithList({});
    Receive(CTestPacket(CHUNK_INCOMINGAUTHREQUEST).Str(KEY_VEXLANAME, L"eve").Str(KEY_AUTHMSG, L"hi"));
    Receive(CTestPacket(CHUNK_INCOMINGAUTHREQUEST).Str(KEY_VEXLANAME, L"eve").Str(KEY_FULLNAME, L"Eve E"));
    Receive(CTestPacket(CHUNK_INCOMINGAUTHREQUEST).Str(KEY_AUTHMSG, L"no name"));
    Drain();
    EXPECT_EQ((std::vector<std::string>{"OnEventAdded(eve)", "OnEventUpdated(Eve E)", "OnEventListUpdated"}),
              m_listener.m_events);
    m_listener.Clear();
    EXPECT_TRUE(m_lib.RejectContact(L"Eve"));
    const TPacketSPtr answer = m_net->LastSent();
    EXPECT_EQ(CHUNK_AUTHORIZECONTACT, ChunkOf(answer));
    EXPECT_EQ(L"eve", StrOf(answer, KEY_VEXLANAME));
    EXPECT_EQ(0, IntOf(answer, KEY_AUTHORIZATIONTYPE));
    EXPECT_EQ(0u, m_lib.GetModel().GetEventList()->GetCount());
    EXPECT_EQ((std::vector<std::string>{"OnEventDeleted(Eve E)"}), m_listener.m_events);
    // The contact's presence is fetched shortly after the answer.
    Advance(500);
    EXPECT_EQ(CHUNK_GETPRESENCEUPDATE, ChunkOf(m_net->LastSent()));
    m_lib.BlockContact(L"mallory");
    EXPECT_EQ(2, IntOf(m_net->LastSent(), KEY_AUTHORIZATIONTYPE));
}

TEST_F(CContactHandlerTest, ContactPropertiesAnswerTheOutstandingRequest)
{
    SignInWithList({BuddyRecord(1, L"bob")});
    m_listener.Clear();
    Receive(CTestPacket(CHUNK_CONTACTPROPERTIES).Str(KEY_VEXLANAME, L"bob").Str(KEY_ABOUT, L"unasked"));
    Drain();
    EXPECT_TRUE(m_listener.m_events.empty());
    EXPECT_TRUE(m_lib.RequestContactProps(Contact(1)->GetHandle()));
    Receive(CTestPacket(CHUNK_CONTACTPROPERTIES).Str(KEY_VEXLANAME, L"bob").Str(KEY_ABOUT, L"about bob"));
    Drain();
    EXPECT_EQ((std::vector<std::string>{"OnContactPropsUpdated(bob,131072)", "OnContactUpdated(bob,131072)"}),
              m_listener.m_events);
    m_lib.RequestContactProps(Contact(1)->GetHandle());
    Advance(15000);
    EXPECT_TRUE(m_listener.Has("OnContactPropsFailed(1)"));
    EXPECT_FALSE(m_lib.RequestContactProps(12345));
}

TEST_F(CContactHandlerTest, OwnAvailabilityAndClientState)
{
    SignInWithList({});
    Receive(CTestPacket(CHUNK_CONTACTONLINESTATUS).Int(KEY_CONTACTAVAILABILITY, CAvailability::AWAY));
    Receive(CTestPacket(CHUNK_CONTACTONLINESTATUS).Int(KEY_CONTACTAVAILABILITY, CAvailability::AWAY));
    Drain();
    EXPECT_EQ(1u, m_listener.Count("OnAvailabilityChanged(3)"));
    m_lib.SetClientState(CLIENT_STATE_BACKGROUND);
    const TPacketSPtr state = m_net->LastSent();
    EXPECT_EQ(CHUNK_CHANGEONLINESTATUS, ChunkOf(state));
    EXPECT_EQ(CAvailability::AWAY, IntOf(state, KEY_CONTACTAVAILABILITY));
    EXPECT_EQ(1, IntOf(state, KEY_CLIENTSTATE));
    m_lib.SetOnlineStatus(CAvailability::DO_NOT_DISTURB);
    EXPECT_FALSE(HasAttr(m_net->LastSent(), KEY_CLIENTSTATE));
    EXPECT_EQ(CAvailability::AWAY, m_lib.GetModel().GetOfficialAvailability());
}

TEST_F(CContactHandlerTest, ThousandBuddiesInPagesOfHundred)
{
    SignIn();
    m_listener.Clear();
    const int pages = 10;
    for (int page = 0; page < pages; ++page) {
        std::vector<CTestPacket> records;
        for (int i = 1; i <= 100; ++i) {
            const int index = page * 100 + i;
            records.push_back(BuddyRecord(index, L"buddy" + std::to_wstring(index), 1 + index % 5));
        }
        Receive(BuddyList(page + 1 < pages ? 1 : 0, records, page + 1));
        const size_t before = m_listener.Count("OnContactListUpdated");
        Step();
        EXPECT_EQ(before + 1, m_listener.Count("OnContactListUpdated"));
        if (page + 1 < pages)
            Advance(5000);
    }
    EXPECT_EQ(1000u, ContactCount());
    EXPECT_EQ(1000u, m_listener.CountNamed("OnContactAdded"));
    EXPECT_TRUE(m_lib.GetModel().GetContactList()->IsComplete());
    EXPECT_EQ(1000u, m_lib.GetModel().GetContactList()->GetList(true).size());
    const int handle = Contact(500)->GetHandle();

    m_lib.Logout();
    Receive(CTestPacket(CHUNK_LOGGEDOUT).Int(KEY_LOGOUTREASON, 1));
    Drain();
    EXPECT_EQ(nullptr, m_lib.GetModel().GetContactList());
    EXPECT_EQ(nullptr, m_lib.GetModel().GetContact(handle));
}
