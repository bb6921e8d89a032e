// A service on the private bus only, or on both: who can reach it, and whose departure it notices.

#include "BusTestFixture.h"

class BusTwoBusesTest : public BusTestFixture
{
protected:
    TestSupport::CPrivateBus m_publicBus;
    TestSupport::CBusEnvironment m_twoBuses{m_bus.Address(), m_publicBus.Address()};
};

TEST_F(BusTwoBusesTest, PrivateOnlyServiceIsUnknownOnThePublicBus)
{
    auto service = MakeEchoService(SERVICE, BUS_SCOPE_PRIVATE);
    EXPECT_FALSE(service->Connection(BUS_PUBLIC));
    TBusConnectionSPtr privateClient = OpenClient(m_bus.Address());
    TBusConnectionSPtr publicClient = OpenClient(m_publicBus.Address());
    std::vector<CBusReply> privateReplies;
    std::vector<CBusReply> publicReplies;
    Call(privateClient, "nylo://com.test.echo/echo", R"({"bus":"private"})", BUS_ONE_REPLY, &privateReplies);
    Call(publicClient, "nylo://com.test.echo/echo", R"({"bus":"public"})", BUS_ONE_REPLY, &publicReplies);

    ASSERT_TRUE(WaitForReplies(privateReplies, 1));
    ASSERT_TRUE(WaitForReplies(publicReplies, 1));
    EXPECT_EQ(privateReplies[0].Payload(), R"({"bus":"private"})");
    EXPECT_TRUE(publicReplies[0].IsBusFailure());
}

TEST_F(BusTwoBusesTest, ServiceOnBothBusesAnswersOnEach)
{
    auto service = MakeEchoService(SERVICE, BUS_SCOPE_BOTH);
    ASSERT_NE(service->Connection(BUS_PRIVATE), service->Connection(BUS_PUBLIC));
    TBusConnectionSPtr privateClient = OpenClient(m_bus.Address());
    TBusConnectionSPtr publicClient = OpenClient(m_publicBus.Address());
    std::vector<CBusReply> privateReplies;
    std::vector<CBusReply> publicReplies;
    Call(privateClient, "nylo://com.test.echo/subscribe", "{}", BUS_MANY_REPLIES, &privateReplies);
    Call(publicClient, "nylo://com.test.echo/subscribe", "{}", BUS_MANY_REPLIES, &publicReplies);
    ASSERT_TRUE(WaitForReplies(privateReplies, 1));
    ASSERT_TRUE(WaitForReplies(publicReplies, 1));
    EXPECT_EQ(service->SubscriberCount("subscribe"), 2u);

    std::string error;
    ASSERT_TRUE(service->ReplyToSubscribers("subscribe", R"({"n":1})", &error)) << error;
    ASSERT_TRUE(WaitForReplies(privateReplies, 2));
    ASSERT_TRUE(WaitForReplies(publicReplies, 2));
    EXPECT_EQ(privateReplies[1].Sender(), service->Connection(BUS_PRIVATE)->UniqueName());
    EXPECT_EQ(publicReplies[1].Sender(), service->Connection(BUS_PUBLIC)->UniqueName());
}

TEST_F(BusTwoBusesTest, SubscriberLeavingEitherBusIsCancelled)
{
    auto service = MakeEchoService(SERVICE, BUS_SCOPE_BOTH);
    TBusConnectionSPtr privateClient = OpenClient(m_bus.Address());
    TBusConnectionSPtr publicClient = OpenClient(m_publicBus.Address());
    std::vector<CBusReply> replies;
    Call(privateClient, "nylo://com.test.echo/subscribe", "{}", BUS_MANY_REPLIES, &replies);
    Call(publicClient, "nylo://com.test.echo/subscribe", "{}", BUS_MANY_REPLIES, &replies);
    ASSERT_TRUE(WaitForReplies(replies, 2));

    publicClient->Close();
    ASSERT_TRUE(TestSupport::RunUntil([&] { return m_cancelled.size() == 1; }));
    EXPECT_EQ(service->SubscriberCount("subscribe"), 1u);
    privateClient->Close();
    ASSERT_TRUE(TestSupport::RunUntil([&] { return m_cancelled.size() == 2; }));
    EXPECT_EQ(service->SubscriberCount("subscribe"), 0u);
}

TEST_F(BusTwoBusesTest, NameOwnedOnThePublicBusKeepsABothBusServiceFromRegistering)
{
    CBusService publicOwner;
    std::string error;
    ASSERT_TRUE(publicOwner.Register(SERVICE, BUS_SCOPE_PUBLIC, &error)) << error;
    CBusService both;
    EXPECT_FALSE(both.Register(SERVICE, BUS_SCOPE_BOTH, &error));
    EXPECT_FALSE(both.IsRegistered());
    CBusService privateOnly;
    EXPECT_TRUE(privateOnly.Register(SERVICE, BUS_SCOPE_PRIVATE, &error)) << error;
}

TEST(BusSameBusTest, ServiceOnBothBusesOwnsItsNameOnceWhenTheyAreOneBus)
{
    TestSupport::CPrivateBus bus;
    // The same bus under two spellings of its address.
    const std::string unixPath = bus.Address().substr(0, bus.Address().find(','));
    TestSupport::CBusEnvironment environment(bus.Address(), unixPath);
    CBusService service;
    std::string error;
    ASSERT_TRUE(service.Register("com.test.echo", BUS_SCOPE_BOTH, &error)) << error;
    EXPECT_EQ(service.Connection(BUS_PRIVATE), service.Connection(BUS_PUBLIC));
}
