#include "ChatTestFixture.h"

using namespace VexlaLib;
using namespace VexlaTest;

namespace {

const size_t KEPT = 100;

// Reads, at each report of new messages, the bodies of the messages reported.
class CReportedBodies : public IVexlaLibListener
{
public:
    void OnChatMessagesAdded(const CChat& chat, int count) override
    {
        const CChat::TMsgList& messages = chat.GetMsgList();
        ASSERT_LE(size_t(count), messages.size());
        for (size_t i = messages.size() - size_t(count); i < messages.size(); ++i)
            m_bodies.push_back(messages[i]->GetMsgBody());
    }
    std::vector<std::wstring> m_bodies;
};

class CChatMemoryTest : public CChatFixture
{
protected:
    // Delivers `count` messages of `author` in one batch, numbered from `first`.
    void Batch(int chatId, const std::wstring& author, int first, int count)
    {
        std::vector<CTestPacket> records;
        for (int n = first; n < first + count; ++n)
            records.push_back(Msg(3, author, 1000 + n, L"m" + std::to_wstring(n)));
        Deliver(Messages(chatId, ++m_bookmark, records));
    }
    static std::vector<std::wstring> Numbered(int first, int count)
    {
        std::vector<std::wstring> bodies;
        for (int n = first; n < first + count; ++n)
            bodies.push_back(L"m" + std::to_wstring(n));
        return bodies;
    }

    int m_bookmark = 0;
};

}  // namespace

TEST_F(CChatMemoryTest, AChatKeepsItsRecentMessagesAndListenersSeeEveryBatchWhole)
{
    CReportedBodies reported;
    m_lib.AddListener(&reported);
    CChat* chat = KnownChat(100);
    Batch(100, L"bob", 0, 80);
    EXPECT_EQ(80u, chat->GetMsgList().size());
    Batch(100, L"bob", 80, 150);  // larger than what is kept: reported whole, then trimmed
    EXPECT_EQ(Numbered(80, 150), std::vector<std::wstring>(reported.m_bodies.begin() + 80, reported.m_bodies.end()));
    EXPECT_EQ(Numbered(130, KEPT), Bodies(*chat));

    // A resumed session goes on from the same chat, and goes on trimming.
    Deliver(CTestPacket(CHUNK_RECONNECTED, CPacket::INTERNAL));
    Batch(100, L"bob", 230, 30);
    EXPECT_EQ(Numbered(160, KEPT), Bodies(*chat));
    EXPECT_EQ(Numbered(0, 260), reported.m_bodies);
    m_lib.RemoveListener(&reported);
}

TEST_F(CChatMemoryTest, MessagesAwaitingTheirEchoAreKeptAndConfirmedLater)
{
    CChat* chat = KnownChat(100);
    int sendId = 0;
    ASSERT_TRUE(m_lib.SendChatMsg(chat->GetHandle(), L"mine", &sendId));
    const int requestId = IntOf(LastSentOf(CHUNK_SENDCHATMESSAGE), KEY_REQUEST_ID);
    Batch(100, L"bob", 0, 2 * KEPT);
    ASSERT_EQ(KEPT, chat->GetMsgList().size());
    EXPECT_EQ(L"mine", chat->GetMsgList().front()->GetMsgBody()) << "the oldest, but still awaited";
    EXPECT_EQ(L"m101", chat->GetMsgList()[1]->GetMsgBody());

    CTestPacket echo = Msg(3, L"alice", 5000, L"mine");
    echo.Int(KEY_REQUEST_ID, requestId);
    Deliver(Messages(100, ++m_bookmark, {echo}));
    EXPECT_NE(m_chatEvents.m_events.end(),
              std::find(m_chatEvents.m_events.begin(), m_chatEvents.m_events.end(), "OnChatMessageDelivered(mine)"));
    Batch(100, L"bob", 2 * KEPT, 1);
    EXPECT_EQ(KEPT, chat->GetMsgList().size());
    EXPECT_EQ(L"m101", chat->GetMsgList().front()->GetMsgBody()) << "confirmed, it ages out like the others";
}

TEST_F(CChatMemoryTest, MembersWhoLeftGoOnceNoKeptMessageIsTheirsAndStayCounted)
{
    CChat* chat = KnownChat(100, L"bob carol dan");
    Batch(100, L"carol", 0, 1);
    Deliver(ChatInfo(100, L"alice bob"));  // carol and dan left
    ASSERT_EQ(4, chat->GetMemberCnt());
    EXPECT_EQ(nullptr, chat->FindMember(L"dan", true)) << "dan wrote nothing that is kept";
    ASSERT_NE(nullptr, chat->FindMember(L"carol", true));

    Batch(100, L"bob", 1, KEPT);
    EXPECT_EQ(nullptr, chat->FindMember(L"carol", true));
    EXPECT_EQ(2u, chat->GetMemberList().size());
    EXPECT_EQ(4, chat->GetMemberCnt()) << "a group that members left is still a group";
    EXPECT_EQ(L"bob", chat->BuildChatName(L"alice"));
}
