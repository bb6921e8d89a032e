#pragma once
// A private bus with a small service on it ("com.test.echo") and helpers to call it.

#include "support/PrivateBus.h"

#include "Tesk/Core/BusConnection.h"
#include "Tesk/Core/BusMessage.h"
#include "Tesk/Core/BusReply.h"
#include "Tesk/Core/BusService.h"

#include <memory>
#include <string>
#include <vector>

class BusTestFixture : public ::testing::Test
{
protected:
    static constexpr char SERVICE[] = "com.test.echo";

    // A service whose methods show each way of answering: at once, later, by subscription, never.
    std::unique_ptr<CBusService> MakeEchoService(const char* name, TBusScope scope)
    {
        auto service = std::make_unique<CBusService>();
        std::string error;
        EXPECT_TRUE(service->Register(name, scope, &error)) << error;
        CBusService* raw = service.get();
        EXPECT_TRUE(service->AddCategory(
            "/",
            {{"echo", [](const TBusMessageSPtr& m) { Answer(m, m->Payload()); }},
             {"hold", [this](const TBusMessageSPtr& m) { m_held.push_back(m); }},
             {"subscribe",
              [raw](const TBusMessageSPtr& m) {
                  raw->Subscribe("subscribe", m);
                  Answer(m, R"({"returnValue":true,"subscribed":true})");
              }},
             {"drop", [](const TBusMessageSPtr&) {}}},
            &error));
        EXPECT_TRUE(service->AddCategory("/control", {{"ping", [](const TBusMessageSPtr& m) { Answer(m, R"({"pong":true})"); }}},
                                         &error));
        service->SetCancelHandler([this](const TBusMessageSPtr& m) { m_cancelled.push_back(m->Token()); });
        return service;
    }

    TBusConnectionSPtr OpenClient(const std::string& address)
    {
        std::string error;
        TBusConnectionSPtr client = CBusConnection::Open(address, &error);
        EXPECT_TRUE(client) << error;
        return client;
    }

    uint32_t Call(const TBusConnectionSPtr& client, const std::string& uri, const std::string& payload,
                  TBusReplies replies, std::vector<CBusReply>* into)
    {
        std::string error;
        const uint32_t serial =
            client->Call(uri, payload, replies, [into](const CBusReply& reply) { into->push_back(reply); }, &error);
        EXPECT_NE(serial, 0u) << error;
        return serial;
    }

    // Waits until `replies` holds `count` replies.
    static bool WaitForReplies(const std::vector<CBusReply>& replies, size_t count)
    {
        return TestSupport::RunUntil([&] { return replies.size() >= count; });
    }

    // Makes a round trip to the echo service: every message `client` sent before has been handled after it.
    void Barrier(const TBusConnectionSPtr& client, const std::string& uri = "nylo://com.test.echo/echo")
    {
        std::vector<CBusReply> replies;
        Call(client, uri, "{}", BUS_ONE_REPLY, &replies);
        ASSERT_TRUE(WaitForReplies(replies, 1));
    }

    static void Answer(const TBusMessageSPtr& message, const std::string& payload)
    {
        std::string error;
        EXPECT_TRUE(message->Respond(payload, &error)) << error;
    }

    TestSupport::CPrivateBus m_bus;
    TestSupport::CBusEnvironment m_environment{m_bus.Address(), m_bus.Address()};
    std::vector<TBusMessageSPtr> m_held;
    std::vector<int> m_cancelled;
};
