// CTeskService over a private bus: replies, error replies, subscriptions by method name, cancellation
// handlers, outgoing calls and their log lines.

#include "BusTestFixture.h"
#include "support/LogCapture.h"

#include "Tesk/Core/TeskService.h"

using VexlaTest::CLogCapture;

namespace
{
class CCountingCancellation : public ISubscriptionCancellation
{
public:
    void OnCancelSubscription(const TBusMessageSPtr& message) override { tokens.push_back(message->Token()); }
    std::vector<int> tokens;
};

class CTestService : public CTeskService
{
public:
    bool Register(const char* name, bool usePublicBus) override
    {
        return CTeskService::Register(name, usePublicBus) &&
               RegisterCategory("/", {{"numberError", [this](const TBusMessageSPtr& m) { SendErrorResponse(m, 12, L"bad \u00e9"); }},
                                      {"stringError", [this](const TBusMessageSPtr& m) { SendErrorResponse(m, L"12", L"bad"); }},
                                      {"ok", [this](const TBusMessageSPtr& m) { SendSuccessResponse(m); }},
                                      {"search", [this](const TBusMessageSPtr& m) { Search(m); }}});
    }

    void Search(const TBusMessageSPtr& message)
    {
        StartSubscription(message);
        tokens.push_back(message->Token());
        if (withHandler)
        {
            AddSubscriptionCancellationHandler(message, cancellation);
        }
        SendSuccessResponse(message);
    }

    bool withHandler = true;
    std::shared_ptr<CCountingCancellation> cancellation = std::make_shared<CCountingCancellation>();
    std::vector<int> tokens;
};

class TeskServiceTest : public BusTestFixture
{
protected:
    std::unique_ptr<CTestService> MakeService()
    {
        auto service = std::make_unique<CTestService>();
        EXPECT_TRUE(service->Register("com.test.tesk", false));
        return service;
    }

    std::string CallOnce(const std::string& uri)
    {
        TBusConnectionSPtr client = OpenClient(m_bus.Address());
        std::vector<CBusReply> replies;
        Call(client, uri, "{}", BUS_ONE_REPLY, &replies);
        return WaitForReplies(replies, 1) ? replies[0].Payload() : "";
    }
};
} // namespace

TEST_F(TeskServiceTest, ErrorResponsesCarryTheCodeAsNumberOrAsString)
{
    auto service = MakeService();
    EXPECT_EQ(CallOnce("nylo://com.test.tesk/numberError"), "{\"returnValue\":false,\"errorCode\":12,\"errorText\":\"bad \xc3\xa9\"}");
    EXPECT_EQ(CallOnce("nylo://com.test.tesk/stringError"), R"({"returnValue":false,"errorCode":"12","errorText":"bad"})");
    EXPECT_EQ(CallOnce("nylo://com.test.tesk/ok"), R"({"returnValue":true})");
}

TEST(TeskServiceCheckErrorTest, ReadsOnlyStringMembers)
{
    std::wstring code;
    std::wstring text;
    EXPECT_FALSE(CTeskService::CheckError(CJSONObject(R"({"errorCode":-1})"), &code, &text));
    EXPECT_TRUE(CTeskService::CheckError(CJSONObject(R"({"errorCode":-1,"errorText":"gone"})"), &code, &text));
    EXPECT_EQ(text, L"gone");
    EXPECT_EQ(code, L"");
    code.clear();
    text.clear();
    EXPECT_TRUE(CTeskService::CheckError(CJSONObject(R"({"errorCode":"E1"})"), &code, &text));
    EXPECT_EQ(code, L"E1");
    EXPECT_TRUE(CTeskService::CheckError(CJSONObject(R"({})"), nullptr, &text));
    EXPECT_FALSE(CTeskService::CheckError(CJSONObject("not json"), &code, &text) && code != L"E1");
}

TEST_F(TeskServiceTest, EverySubscriberOfAMethodGetsEachReplyAndOnlyItsOwnCancellation)
{
    auto service = MakeService();
    TBusConnectionSPtr first = OpenClient(m_bus.Address());
    TBusConnectionSPtr second = OpenClient(m_bus.Address());
    std::vector<CBusReply> firstReplies;
    std::vector<CBusReply> secondReplies;
    const uint32_t serial = Call(first, "nylo://com.test.tesk/search", "{}", BUS_MANY_REPLIES, &firstReplies);
    ASSERT_TRUE(WaitForReplies(firstReplies, 1));
    ASSERT_EQ(Call(second, "nylo://com.test.tesk/search", "{}", BUS_MANY_REPLIES, &secondReplies), serial);
    ASSERT_TRUE(WaitForReplies(secondReplies, 1));

    CLogCapture::Get().Clear();
    CJSONObject result;
    result.SetString("name", L"anna");
    ASSERT_TRUE(service->SubscriptionReply("search", &result));
    ASSERT_TRUE(WaitForReplies(firstReplies, 2));
    ASSERT_TRUE(WaitForReplies(secondReplies, 2));
    EXPECT_EQ(firstReplies[1].Payload(), R"({"name":"anna"})");
    EXPECT_EQ(secondReplies[1].Payload(), R"({"name":"anna"})");
    EXPECT_TRUE(CLogCapture::Get().Contains(L"CTeskService::SubscriptionReply, key = search"));

    first->CancelCall(serial);
    ASSERT_TRUE(TestSupport::RunUntil([&] { return service->cancellation->tokens.size() == 1; }));
    EXPECT_EQ(service->cancellation->tokens[0], service->tokens[0]);
    second->Close();
    ASSERT_TRUE(TestSupport::RunUntil([&] { return service->cancellation->tokens.size() == 2; }));
    EXPECT_EQ(service->cancellation->tokens[1], service->tokens[1]);
}

TEST_F(TeskServiceTest, StartSubscriptionLogsTokenMethodAndKey)
{
    auto service = MakeService();
    CLogCapture::Get().Clear();
    CallOnce("nylo://com.test.tesk/search");
    ASSERT_EQ(service->tokens.size(), 1u);
    EXPECT_TRUE(CLogCapture::Get().Contains(L"CTeskService::StartSubscription for token = " +
                                            std::to_wstring(service->tokens[0]) + L", method = search, key = search"));
}

TEST_F(TeskServiceTest, CancellationWithoutAHandlerChangesNothing)
{
    auto service = MakeService();
    service->withHandler = false;
    TBusConnectionSPtr client = OpenClient(m_bus.Address());
    std::vector<CBusReply> replies;
    const uint32_t serial = Call(client, "nylo://com.test.tesk/search", "{}", BUS_MANY_REPLIES, &replies);
    ASSERT_TRUE(WaitForReplies(replies, 1));
    client->CancelCall(serial);
    Barrier(client, "nylo://com.test.tesk/ok");
    EXPECT_TRUE(service->cancellation->tokens.empty());
}

TEST_F(TeskServiceTest, DestroyingTheServiceEndsEverySubscription)
{
    auto service = MakeService();
    TBusConnectionSPtr client = OpenClient(m_bus.Address());
    std::vector<CBusReply> replies;
    Call(client, "nylo://com.test.tesk/search", "{}", BUS_MANY_REPLIES, &replies);
    Call(client, "nylo://com.test.tesk/search", "{}", BUS_MANY_REPLIES, &replies);
    ASSERT_TRUE(WaitForReplies(replies, 2));

    service.reset();
    ASSERT_TRUE(WaitForReplies(replies, 4));
    EXPECT_TRUE(replies[2].IsBusFailure());
    EXPECT_TRUE(replies[3].IsBusFailure());
    EXPECT_EQ(client->PendingCallCount(), 0u);
}

TEST_F(TeskServiceTest, OutgoingCallsAreLoggedWithPasswordsRedactedAndCanBeCancelled)
{
    auto echo = MakeEchoService(SERVICE, BUS_SCOPE_PRIVATE);
    CTeskService client;
    ASSERT_TRUE(client.Register(nullptr, false));
    CLogCapture::Get().Clear();
    std::vector<CBusReply> replies;
    ASSERT_TRUE(client.ExecuteClientCall(L"nylo://com.test.echo/subscribe", LR"({"user":"u","Password":"s3cret"})",
                                         [&](const CBusReply& reply) { replies.push_back(reply); }));
    EXPECT_TRUE(CLogCapture::Get().Contains(
        LR"(Executing client call: nylo://com.test.echo/subscribe {"user":"u","Password":"<redacted>"})"));
    EXPECT_FALSE(CLogCapture::Get().Contains(L"s3cret"));
    ASSERT_TRUE(WaitForReplies(replies, 1));

    client.CancelClientCall(replies[0]);
    ASSERT_TRUE(TestSupport::RunUntil([&] { return m_cancelled.size() == 1; }));

    ASSERT_TRUE(client.ExecuteClientCallOneReply(L"nylo://com.test.echo/echo", L"{}", [&](const CBusReply& reply) { replies.push_back(reply); }));
    EXPECT_TRUE(CLogCapture::Get().Contains(L"Executing client call one reply: nylo://com.test.echo/echo {}"));
    ASSERT_TRUE(WaitForReplies(replies, 2));
}

TEST_F(TeskServiceTest, ClientOnlyObjectCallsOverAnotherServicesConnection)
{
    auto echo = MakeEchoService(SERVICE, BUS_SCOPE_PRIVATE);
    auto service = MakeService();
    CTeskService client;
    ASSERT_TRUE(client.AttachClientToService(service->PublicConnection()));
    std::vector<CBusReply> replies;
    ASSERT_TRUE(client.ExecuteClientCallOneReply(L"nylo://com.test.echo/echo", L"{}", [&](const CBusReply& reply) { replies.push_back(reply); }));
    ASSERT_TRUE(WaitForReplies(replies, 1));
    EXPECT_EQ(replies[0].Sender(), echo->Connection(BUS_PRIVATE)->UniqueName());
}

TEST_F(TeskServiceTest, RegisteringAnOwnedNameFailsAndLogsTheBusError)
{
    auto owner = MakeService();
    CTestService second;
    CLogCapture::Get().Clear();
    EXPECT_FALSE(second.Register("com.test.tesk", false));
    EXPECT_TRUE(CLogCapture::Get().Contains(L"The name com.test.tesk is owned by another process"));
    EXPECT_FALSE(second.AttachMainLoop(nullptr));
}

TEST_F(TeskServiceTest, ServiceOnBothBusesCallsPrivatelyOverItsPrivateConnection)
{
    auto echo = MakeEchoService(SERVICE, BUS_SCOPE_PRIVATE);
    CTestService both;
    ASSERT_TRUE(both.Register("com.test.tesk", true));
    std::vector<CBusReply> replies;
    ASSERT_TRUE(both.ExecuteClientCallPrivate(L"nylo://com.test.echo/echo", L"{}", [&](const CBusReply& reply) { replies.push_back(reply); }));
    ASSERT_TRUE(WaitForReplies(replies, 1));
    EXPECT_FALSE(replies[0].IsBusFailure());
}
