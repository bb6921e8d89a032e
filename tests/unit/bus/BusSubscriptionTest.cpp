// Subscriptions and their cancellation: by Cancel, by the caller leaving the bus.

#include "BusTestFixture.h"

TEST_F(BusTestFixture, TwoSubscribersWithTheSameSerialAreKeptApart)
{
    auto service = MakeEchoService(SERVICE, BUS_SCOPE_PRIVATE);
    TBusConnectionSPtr first = OpenClient(m_bus.Address());
    TBusConnectionSPtr second = OpenClient(m_bus.Address());
    std::vector<CBusReply> firstReplies;
    std::vector<CBusReply> secondReplies;
    const uint32_t firstSerial = Call(first, "nylo://com.test.echo/subscribe", "{}", BUS_MANY_REPLIES, &firstReplies);
    const uint32_t secondSerial = Call(second, "nylo://com.test.echo/subscribe", "{}", BUS_MANY_REPLIES, &secondReplies);
    ASSERT_EQ(firstSerial, secondSerial) << "two fresh connections number their messages alike";
    ASSERT_TRUE(WaitForReplies(firstReplies, 1));
    ASSERT_TRUE(WaitForReplies(secondReplies, 1));
    ASSERT_EQ(service->SubscriberCount("subscribe"), 2u);

    std::string error;
    ASSERT_TRUE(service->ReplyToSubscribers("subscribe", R"({"n":1})", &error)) << error;
    ASSERT_TRUE(WaitForReplies(firstReplies, 2));
    ASSERT_TRUE(WaitForReplies(secondReplies, 2));

    first->CancelCall(firstSerial);
    ASSERT_TRUE(TestSupport::RunUntil([&] { return m_cancelled.size() == 1; }));
    EXPECT_EQ(service->SubscriberCount("subscribe"), 1u);

    ASSERT_TRUE(service->ReplyToSubscribers("subscribe", R"({"n":2})", &error)) << error;
    ASSERT_TRUE(WaitForReplies(secondReplies, 3));
    EXPECT_EQ(secondReplies[2].Payload(), R"({"n":2})");
    Barrier(first);
    EXPECT_EQ(firstReplies.size(), 2u);
    EXPECT_EQ(m_cancelled.size(), 1u);
}

// Drives the wire directly: a raw GDBus caller sends the call, then Cancel twice, then a round trip.
TEST_F(BusTestFixture, CancelRunsTheCancellationOnceAndASecondCancelDoesNothing)
{
    auto service = MakeEchoService(SERVICE, BUS_SCOPE_PRIVATE);
    GDBusConnection* raw = g_dbus_connection_new_for_address_sync(
        m_bus.Address().c_str(),
        static_cast<GDBusConnectionFlags>(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT | G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
        nullptr, nullptr, nullptr);
    ASSERT_NE(raw, nullptr);
    auto send = [raw](const char* method, GVariant* body) {
        GDBusMessage* message = g_dbus_message_new_method_call(SERVICE, "/", TESK_INTERFACE, method);
        g_dbus_message_set_body(message, body);
        g_dbus_message_set_flags(message, G_DBUS_MESSAGE_FLAGS_NO_REPLY_EXPECTED);
        guint32 serial = 0;
        EXPECT_TRUE(g_dbus_connection_send_message(raw, message, G_DBUS_SEND_MESSAGE_FLAGS_NONE, &serial, nullptr));
        g_object_unref(message);
        return serial;
    };
    const guint32 serial = send("subscribe", g_variant_new("(s)", "{}"));
    ASSERT_TRUE(TestSupport::RunUntil([&] { return service->SubscriberCount("subscribe") == 1; }));

    send("Cancel", g_variant_new("(u)", serial));
    send("Cancel", g_variant_new("(u)", serial));
    bool echoed = false;
    g_dbus_connection_call(raw, SERVICE, "/", TESK_INTERFACE, "echo", g_variant_new("(s)", "{}"), G_VARIANT_TYPE("(s)"),
                           G_DBUS_CALL_FLAGS_NONE, -1, nullptr,
                           [](GObject*, GAsyncResult*, gpointer done) { *static_cast<bool*>(done) = true; }, &echoed);
    ASSERT_TRUE(TestSupport::RunUntil([&] { return echoed; }));

    EXPECT_EQ(m_cancelled.size(), 1u);
    EXPECT_EQ(service->SubscriberCount("subscribe"), 0u);
    g_dbus_connection_close_sync(raw, nullptr, nullptr);
    g_object_unref(raw);
}

TEST_F(BusTestFixture, CancelFromAnotherCallerDoesNotReachTheCall)
{
    auto service = MakeEchoService(SERVICE, BUS_SCOPE_PRIVATE);
    TBusConnectionSPtr owner = OpenClient(m_bus.Address());
    TBusConnectionSPtr stranger = OpenClient(m_bus.Address());
    std::vector<CBusReply> replies;
    const uint32_t serial = Call(owner, "nylo://com.test.echo/subscribe", "{}", BUS_MANY_REPLIES, &replies);
    ASSERT_TRUE(WaitForReplies(replies, 1));

    std::vector<CBusReply> strangerReplies;
    const uint32_t strangerSerial = Call(stranger, "nylo://com.test.echo/echo", "{}", BUS_MANY_REPLIES, &strangerReplies);
    ASSERT_TRUE(WaitForReplies(strangerReplies, 1));
    ASSERT_EQ(strangerSerial, serial);
    stranger->CancelCall(strangerSerial);
    Barrier(stranger);

    EXPECT_TRUE(m_cancelled.empty());
    EXPECT_EQ(service->SubscriberCount("subscribe"), 1u);
}

TEST_F(BusTestFixture, SubscriberThatLeavesTheBusIsCancelled)
{
    auto service = MakeEchoService(SERVICE, BUS_SCOPE_PRIVATE);
    TBusConnectionSPtr client = OpenClient(m_bus.Address());
    std::vector<CBusReply> replies;
    Call(client, "nylo://com.test.echo/subscribe", "{}", BUS_MANY_REPLIES, &replies);
    Call(client, "nylo://com.test.echo/hold", "{}", BUS_MANY_REPLIES, &replies);
    ASSERT_TRUE(WaitForReplies(replies, 1));
    ASSERT_TRUE(TestSupport::RunUntil([&] { return m_held.size() == 1; }));

    client->Close();
    ASSERT_TRUE(TestSupport::RunUntil([&] { return m_cancelled.size() == 2; }));
    EXPECT_EQ(service->SubscriberCount("subscribe"), 0u);
    EXPECT_TRUE(m_held[0]->IsCancelled());
    std::string error;
    EXPECT_TRUE(m_held[0]->Respond("{}", &error)) << "answers to a cancelled call are dropped quietly";
}

TEST_F(BusTestFixture, DestroyingTheServiceRemovesEverySubscriber)
{
    auto service = MakeEchoService(SERVICE, BUS_SCOPE_PRIVATE);
    TBusConnectionSPtr client = OpenClient(m_bus.Address());
    std::vector<CBusReply> replies;
    Call(client, "nylo://com.test.echo/subscribe", "{}", BUS_MANY_REPLIES, &replies);
    ASSERT_TRUE(WaitForReplies(replies, 1));
    std::weak_ptr<CBusConnection> connection = service->Connection(BUS_PRIVATE);

    service.reset();
    EXPECT_TRUE(connection.expired());
    ASSERT_TRUE(WaitForReplies(replies, 2));
    EXPECT_TRUE(replies[1].IsBusFailure());
}

TEST_F(BusTestFixture, HandlerThatCancelsItsCallGetsNoReplyQueuedBehind)
{
    auto service = MakeEchoService(SERVICE, BUS_SCOPE_PRIVATE);
    TBusConnectionSPtr client = OpenClient(m_bus.Address());
    std::vector<CBusReply> replies;
    std::string error;
    const uint32_t serial = client->Call("nylo://com.test.echo/subscribe", "{}", BUS_MANY_REPLIES,
                                         [&](const CBusReply& reply) {
                                             replies.push_back(reply);
                                             if (replies.size() == 2)
                                             {
                                                 client->CancelCall(reply.Serial());
                                             }
                                         },
                                         &error);
    ASSERT_NE(serial, 0u) << error;
    ASSERT_TRUE(WaitForReplies(replies, 1));
    for (int i = 0; i < 3; ++i)
    {
        ASSERT_TRUE(service->ReplyToSubscribers("subscribe", "{}", &error)) << error;
    }
    ASSERT_TRUE(TestSupport::RunUntil([&] { return m_cancelled.size() == 1; }));
    Barrier(client);
    EXPECT_EQ(replies.size(), 2u);
}
