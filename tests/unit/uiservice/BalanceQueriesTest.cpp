// Balance queries held for the library's one answer, on a scripted library: every query is answered
// exactly once, whatever happens to the request.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Network/AttrChunk.h"
#include "Network/AttrKey.h"
#include "Tesk/App/BalanceQueries.h"
#include "Tesk/Core/BusConnection.h"
#include "Tesk/Core/BusReply.h"
#include "Tesk/Core/JSONObject.h"
#include "Tesk/Core/TeskService.h"
#include "support/LibraryFixture.h"
#include "support/PrivateBus.h"

namespace {

using TestSupport::RunUntil;

// A service whose one method hands its message to the queries, which hear the library themselves.
class CBalanceService : public CTeskService {
public:
    explicit CBalanceService(VexlaLib::CVexlaLib* library) : m_queries(library) {}

    bool Register(const char* name, bool usePublicBus) override
    {
        return CTeskService::Register(name, usePublicBus) &&
               RegisterCategory("/", {{"balanceQuery", [this](const TBusMessageSPtr& message) {
                                           results.push_back(m_queries.Query(message));
                                       }}});
    }

    CBalanceQueries m_queries;
    std::vector<CBalanceQueries::TQueryResult> results;
};

class BalanceQueriesTest : public VexlaTest::CLibraryFixture {
protected:
    void SetUp() override
    {
        CLibraryFixture::SetUp();
        ASSERT_TRUE(m_service.Register("com.test.balance", false));
        std::string error;
        m_client = CBusConnection::Open(m_bus.Address(), &error);
        ASSERT_TRUE(m_client) << error;
    }

    // Sends one query and waits until the service has handled it.
    void Query(std::vector<std::string>* replies)
    {
        const size_t handled = m_service.results.size();
        std::string error;
        m_client->Call("nylo://com.test.balance/balanceQuery", "{}", BUS_ONE_REPLY,
                       [replies](const CBusReply& reply) { replies->push_back(reply.Payload()); }, &error);
        ASSERT_TRUE(RunUntil([&] { return m_service.results.size() > handled; }));
    }
    static std::string Code(const std::vector<std::string>& replies)
    {
        std::wstring code;
        if (!replies.empty())
            CJSONObject(replies.front().c_str()).GetString("errorCode", &code);
        return std::string(code.begin(), code.end());
    }
    size_t Requests() const { return m_net->SentOfChunk(VexlaLib::CHUNK_GETBALANCE).size(); }

    TestSupport::CPrivateBus m_bus;
    TestSupport::CBusEnvironment m_environment{m_bus.Address(), m_bus.Address()};
    CBalanceService m_service{&m_lib};
    TBusConnectionSPtr m_client;
};

TEST_F(BalanceQueriesTest, SignedOutIsRefusedForTheCallerToEndTheDaemon)
{
    std::vector<std::string> replies;
    Query(&replies);
    ASSERT_TRUE(RunUntil([&] { return !replies.empty(); }));
    EXPECT_EQ(Code(replies), "ERROR_NOT_LOGGED_IN");
    EXPECT_EQ(m_service.results.back(), CBalanceQueries::QUERY_NOT_LOGGED_IN);
}

TEST_F(BalanceQueriesTest, QueriesBeforeTheBuddyListIsCompleteAreAskedOnceItIs)
{
    SignIn();  // no contact list yet: the library would refuse
    std::vector<std::string> first, second;
    Query(&first);
    Query(&second);
    EXPECT_EQ(Requests(), 0u);
    EXPECT_TRUE(first.empty());

    Receive(BuddyList(0, {BuddyRecord(3, L"bob")}));
    Drain();
    EXPECT_EQ(Requests(), 1u);
    Receive(VexlaTest::CTestPacket(VexlaLib::CHUNK_BALANCE)
                .Str(VexlaLib::KEY_BALANCE_CURRENCY, L"EUR")
                .Int(VexlaLib::KEY_BALANCE_AMOUNT, 50));
    Drain();
    ASSERT_TRUE(RunUntil([&] { return !first.empty() && !second.empty(); }));
    EXPECT_EQ(first, second);
    EXPECT_EQ(first.front(), R"({"balance":0.5,"currency":"EUR","returnValue":true})");
}

TEST_F(BalanceQueriesTest, AnEmptyBuddyListIsNoticedAndAListThatNeverCompletesFailsTheQueries)
{
    SignIn();
    std::vector<std::string> replies;
    Query(&replies);
    Receive(BuddyList(0, {}));  // complete, but unchanged: nobody hears of it
    Drain();
    Advance(CBalanceQueries::LIST_POLL_MS);
    EXPECT_EQ(Requests(), 1u);
    Receive(VexlaTest::CTestPacket(VexlaLib::CHUNK_LOGGEDOUT));
    Drain();
    ASSERT_TRUE(RunUntil([&] { return !replies.empty(); }));

    SignIn();
    std::vector<std::string> waiting;
    Query(&waiting);
    for (int waited = 0; waited < CBalanceQueries::LIST_WAIT_MS; waited += CBalanceQueries::LIST_POLL_MS)
        Advance(CBalanceQueries::LIST_POLL_MS);
    ASSERT_TRUE(RunUntil([&] { return !waiting.empty(); }));
    EXPECT_EQ(Code(waiting), "ERROR_BALANCE_FAILED");
    EXPECT_EQ(Requests(), 1u);
}

TEST_F(BalanceQueriesTest, AnAnswerWithoutTheAmountFailsTheQueriesInsteadOfLeavingThemWaiting)
{
    SignInWithList({});
    std::vector<std::string> replies;
    Query(&replies);
    Receive(VexlaTest::CTestPacket(VexlaLib::CHUNK_BALANCE).Str(VexlaLib::KEY_BALANCE_CURRENCY, L"EUR"));
    Drain();
    ASSERT_TRUE(RunUntil([&] { return !replies.empty(); }));
    EXPECT_EQ(Code(replies), "ERROR_BALANCE_FAILED");

    // The next query is a request of its own.
    std::vector<std::string> next;
    Query(&next);
    EXPECT_EQ(Requests(), 2u);
}

TEST_F(BalanceQueriesTest, QueriesWhileOneIsHeldShareItsAnswer)
{
    SignInWithList({});
    std::vector<std::string> first, second;
    Query(&first);
    Query(&second);
    EXPECT_EQ(Requests(), 1u);
    EXPECT_TRUE(m_service.m_queries.IsPending());

    Receive(VexlaTest::CTestPacket(VexlaLib::CHUNK_BALANCE)
                .Str(VexlaLib::KEY_BALANCE_CURRENCY, L"EUR")
                .Int(VexlaLib::KEY_BALANCE_AMOUNT, 1234));
    Drain();
    ASSERT_TRUE(RunUntil([&] { return !first.empty() && !second.empty(); }));
    for (const std::string& reply : {first.front(), second.front()})
        EXPECT_EQ(reply, R"({"balance":12.34,"currency":"EUR","returnValue":true})");
}

TEST_F(BalanceQueriesTest, ANewServerSessionOrALogoutAnswersTheHeldQueriesWithTheFailure)
{
    SignInWithList({});
    std::vector<std::string> beforeNewSession;
    Query(&beforeNewSession);
    Receive(VexlaTest::CTestPacket(VexlaLib::CHUNK_LOGGEDIN));  // the server replaced the session
    Drain();
    ASSERT_TRUE(RunUntil([&] { return !beforeNewSession.empty(); }));
    EXPECT_EQ(Code(beforeNewSession), "ERROR_BALANCE_FAILED");
    EXPECT_FALSE(m_service.m_queries.IsPending());

    Receive(BuddyList(0, {}));
    Drain();
    std::vector<std::string> beforeLogout;
    Query(&beforeLogout);
    EXPECT_EQ(Requests(), 2u);
    Receive(VexlaTest::CTestPacket(VexlaLib::CHUNK_LOGGEDOUT));
    Drain();
    ASSERT_TRUE(RunUntil([&] { return !beforeLogout.empty(); }));
    EXPECT_EQ(Code(beforeLogout), "ERROR_BALANCE_FAILED");
}

}  // namespace
