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

// A real process subscribes (tesk-send keeping its call open) and is killed: the service hears of it.
TEST_F(BusTwoBusesTest, SubscriberProcessThatDiesIsCancelledOnEitherBus)
{
    const std::string teskSend = std::string(VEXLA_BINARY_DIR) + "/tools/tesk-send/tesk-send";
    if (!g_file_test(teskSend.c_str(), G_FILE_TEST_IS_EXECUTABLE))
    {
        GTEST_SKIP() << teskSend << " is not built";
    }
    auto service = MakeEchoService(SERVICE, BUS_SCOPE_BOTH);
    for (const std::string bus : {"--public", "--private"})
    {
        std::vector<const gchar*> argv = {teskSend.c_str(), "-n", "0", "nylo://com.test.echo/subscribe", nullptr};
        if (bus == "--public")
        {
            argv.insert(argv.begin() + 1, "--public");
        }
        GPid pid = 0;
        ASSERT_TRUE(g_spawn_async(nullptr, const_cast<gchar**>(argv.data()), nullptr,
                                  static_cast<GSpawnFlags>(G_SPAWN_DO_NOT_REAP_CHILD | G_SPAWN_STDOUT_TO_DEV_NULL), nullptr,
                                  nullptr, &pid, nullptr));
        ASSERT_TRUE(TestSupport::RunUntil([&] { return service->SubscriberCount("subscribe") == 1; })) << bus;
        const size_t cancelledBefore = m_cancelled.size();
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
        g_spawn_close_pid(pid);
        ASSERT_TRUE(TestSupport::RunUntil([&] { return m_cancelled.size() == cancelledBefore + 1; })) << bus;
        EXPECT_EQ(service->SubscriberCount("subscribe"), 0u);
    }
}
