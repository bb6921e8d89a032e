// com.vexla.im on a private bus: every method is answered at once and forwarded, "onDelete" waits for
// the handler's answer, the watch callbacks log their payload.

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "Tesk/App/Meridex/IIMHandler.h"
#include "Tesk/App/Meridex/TeskIMService.h"
#include "Tesk/Core/BusConnection.h"
#include "Tesk/Core/BusMessage.h"
#include "Tesk/Core/BusReply.h"
#include "support/LogCapture.h"
#include "support/PrivateBus.h"

namespace {

class CRecordingIMHandler : public IIMHandler {
public:
    void onDelete(const TBusMessageSPtr& message, const std::wstring& accountId) override
    {
        calls.push_back("onDelete " + std::string(accountId.begin(), accountId.end()));
        pendingDelete = message;
    }
    void keepAlive(const TBusMessageSPtr& m) override { Record("keepAlive", m); }
    void loginStateChanged(const TBusMessageSPtr& m) override { Record("loginStateChanged", m); }
    void availabilityChanged(const TBusMessageSPtr& m) override { Record("availabilityChanged", m); }
    void customMessageChanged(const TBusMessageSPtr& m) override { Record("customMessageChanged", m); }
    void immessageChanged(const TBusMessageSPtr& m) override { Record("immessageChanged", m); }
    void imcommandChanged(const TBusMessageSPtr& m) override { Record("imcommandChanged", m); }
    void connectionManagerStatusChanged(const TBusMessageSPtr& m) override { Record("connectionManagerStatusChanged", m); }
    void networkStatusQueryChanged(const TBusMessageSPtr& m) override { Record("networkStatusQueryChanged", m); }

    std::vector<std::string> calls;
    TBusMessageSPtr pendingDelete;

private:
    void Record(const char* name, const TBusMessageSPtr& message)
    {
        // Answered before it is forwarded.
        EXPECT_TRUE(message->IsAnswered()) << name;
        calls.push_back(std::string(name) + " " + message->Payload());
    }
};

class TeskIMServiceTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_service.Register("com.vexla.im", false));
        m_service.SetMessageHandler(&m_handler);
        std::string error;
        m_client = CBusConnection::Open(m_bus.Address(), &error);
        ASSERT_TRUE(m_client) << error;
    }

    std::string CallOnce(const std::string& method, const std::string& payload)
    {
        std::vector<CBusReply> replies;
        std::string error;
        m_client->Call("nylo://com.vexla.im/" + method, payload, BUS_ONE_REPLY,
                       [&replies](const CBusReply& reply) { replies.push_back(reply); }, &error);
        EXPECT_TRUE(TestSupport::RunUntil([&] { return !replies.empty(); })) << method;
        return replies.empty() ? std::string() : replies.front().Payload();
    }

    TestSupport::CPrivateBus m_bus;
    TestSupport::CBusEnvironment m_environment{m_bus.Address(), m_bus.Address()};
    CTeskIMService m_service;
    CRecordingIMHandler m_handler;
    TBusConnectionSPtr m_client;
};

}  // namespace

TEST_F(TeskIMServiceTest, EveryCallbackIsAnsweredAtOnceAndForwarded)
{
    VexlaTest::CLogCapture::Get().Clear();
    const std::string fired = R"({"$activity":{"trigger":{"fired":true}}})";
    for (const char* method : {"keepAlive", "loginStateChanged", "availabilityChanged", "customMessageChanged",
                               "immessageChanged", "imcommandChanged", "connectionManagerStatusChanged",
                               "networkStatusQueryChanged"})
        EXPECT_EQ(CallOnce(method, fired), R"({"returnValue":true})") << method;

    ASSERT_EQ(m_handler.calls.size(), 8u);
    EXPECT_EQ(m_handler.calls[0], "keepAlive " + fired);
    EXPECT_EQ(m_handler.calls[7], "networkStatusQueryChanged " + fired);
    const std::wstring log = VexlaTest::CLogCapture::Get().Text();
    for (const wchar_t* logged : {L"CTeskIMService::loginStateChanged args = ", L"CTeskIMService::availabilityChanged args = ",
                                  L"CTeskIMService::customMessageChanged args = ", L"CTeskIMService::immessageChanged args = ",
                                  L"CTeskIMService::imcommandChanged args = "})
        EXPECT_NE(log.find(std::wstring(logged) + L"{\"$activity\""), std::wstring::npos) << logged;
    EXPECT_EQ(log.find(L"CTeskIMService::keepAlive args"), std::wstring::npos);
}

TEST_F(TeskIMServiceTest, DeleteIsAnsweredOnlyByTheHandler)
{
    std::vector<CBusReply> replies;
    std::string error;
    m_client->Call("nylo://com.vexla.im/onDelete", R"({"accountId":"account1"})", BUS_ONE_REPLY,
                   [&replies](const CBusReply& reply) { replies.push_back(reply); }, &error);
    ASSERT_TRUE(TestSupport::RunUntil([&] { return m_handler.pendingDelete != nullptr; }));
    EXPECT_EQ(m_handler.calls, std::vector<std::string>{"onDelete account1"});
    EXPECT_TRUE(replies.empty());

    m_service.SendSuccessResponse(m_handler.pendingDelete);
    ASSERT_TRUE(TestSupport::RunUntil([&] { return !replies.empty(); }));
    EXPECT_EQ(replies.front().Payload(), R"({"returnValue":true})");
}

TEST_F(TeskIMServiceTest, DeleteThatNamesNoAccountIsRefusedAndDeletesNothing)
{
    for (const char* payload : {"not json", "{}", R"({"accountId":""})", R"({"accountId":5})"})
        EXPECT_EQ(CallOnce("onDelete", payload), R"({"returnValue":false,"errorCode":"VexlaRequiredDataMissing","errorText":"The function requires that accountId is set."})")
            << payload;
    EXPECT_TRUE(m_handler.calls.empty());
    EXPECT_EQ(m_handler.pendingDelete, nullptr);
}
