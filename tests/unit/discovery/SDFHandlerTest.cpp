#include <gtest/gtest.h>

#include "../support/LogCapture.h"
#include "DiscoveryTestSupport.h"
#include "HttpTestServer.h"
#include "Network/ByteArrayInputStream.h"
#include "Network/SDFHandler.h"
#include "Network/Socket.h"

using namespace VexlaLib;
using VexlaTest::CHttpTestServer;
using VexlaTest::CLogCapture;
using VexlaTest::DiscoveryAnswer;
using VexlaTest::FinishWithin;

namespace {

std::string OkWith(const std::string& body) { return CHttpTestServer::Answer("200 OK", "", body); }

class SDFHandlerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        CSocket::ResetSharedState();
        CLogCapture::Get().Clear();
    }
    void TearDown() override { CSocket::ResetSharedState(); }

    bool Ask()
    {
        return FinishWithin(m_handler, [&] {
            return m_handler.GetSessionID(m_server.Address(), L"", L"+4930123456", &m_sessionId, &m_operatorId);
        });
    }

    CHttpTestServer m_server;
    CSDFHandler m_handler;
    std::wstring m_sessionId;
    int m_operatorId = -1;
};

}  // namespace

TEST_F(SDFHandlerTest, PostsThePhoneNumberAndReadsBothIdentifiers)
{
    const std::wstring session = L"sdf-session-1";
    const int operatorId = 7;
    m_server.Serve({{OkWith(DiscoveryAnswer(&session, &operatorId))}});
    ASSERT_TRUE(Ask());
    EXPECT_EQ(session, m_sessionId);
    EXPECT_EQ(7, m_operatorId);
    EXPECT_TRUE(CLogCapture::Get().Contains(L"Preparing packet to sdf: "));
    EXPECT_TRUE(CLogCapture::Get().Contains(L"Got http code: 200"));

    const std::vector<std::string> requests = m_server.Requests();
    ASSERT_EQ(1u, requests.size());
    const size_t headerEnd = requests[0].find("\r\n\r\n") + 4;
    const TByteArraySPtr body = std::make_shared<TByteArray>(requests[0].begin() + headerEnd, requests[0].end());
    EXPECT_EQ(
        "POST / HTTP/1.1\r\n"
        "Host: 127.0.0.1\r\n"
        "Content-Transfer-Encoding: binary\r\n"
        "Content-Type: application/x-sdf-ac\r\n"
        "User-Agent: VexlaLib http component\r\n"
        "Connection: close\r\n"
        "Content-Length: " +
            std::to_string(body->size()) + "\r\n\r\n",
        requests[0].substr(0, headerEnd));

    CByteArrayInputStream in(body);
    const TPacketSPtr request = CPacket::Deserialize(&in);
    ASSERT_TRUE(request);
    ASSERT_EQ(2u, request->GetAttrList().size());
    int kind = 0;
    std::wstring number;
    EXPECT_TRUE(request->GetAttrInt32(CSDFHandler::SDF_KEY_REQUEST, &kind));
    EXPECT_EQ(1, kind);
    EXPECT_TRUE(request->GetAttrString(CSDFHandler::SDF_KEY_PHONE_NUMBER, &number));
    EXPECT_EQ(L"+4930123456", number);
}

TEST_F(SDFHandlerTest, MissingAnswerKeysGiveOperatorMinusOneAndLeaveTheSessionAlone)
{
    const std::wstring session = L"only-session";
    const int operatorId = 3;
    m_server.Serve({{OkWith(DiscoveryAnswer(&session, nullptr))}, {OkWith(DiscoveryAnswer(nullptr, &operatorId))}});
    m_operatorId = 12;
    ASSERT_TRUE(Ask());
    EXPECT_EQ(session, m_sessionId);
    EXPECT_EQ(-1, m_operatorId);

    m_sessionId.clear();
    CSDFHandler second;
    ASSERT_TRUE(FinishWithin(
        second, [&] { return second.GetSessionID(m_server.Address(), L"", L"1", &m_sessionId, &m_operatorId); }));
    EXPECT_TRUE(m_sessionId.empty());
    EXPECT_EQ(3, m_operatorId);
}

TEST_F(SDFHandlerTest, BodyThatIsNotAPacketOrAnotherStatusFails)
{
    m_server.Serve({{OkWith("not a packet")}, {OkWith("")}, {CHttpTestServer::Answer("503 Busy", "", "")}});
    EXPECT_FALSE(Ask());
    EXPECT_TRUE(CLogCapture::Get().Contains(L"Failed deserializing packet."));
    EXPECT_FALSE(Ask());
    EXPECT_FALSE(Ask());
    EXPECT_TRUE(CLogCapture::Get().Contains(L"Got http code: 503"));
    EXPECT_TRUE(m_sessionId.empty());
    EXPECT_EQ(-1, m_operatorId);
    EXPECT_EQ(CSocket::CONNECT_CONNECTED, m_handler.GetLastConnectResult());
}

TEST_F(SDFHandlerTest, ConnectResultIsNotAttemptedBeforeARequest)
{
    EXPECT_EQ(CSocket::CONNECT_NOT_ATTEMPTED, m_handler.GetLastConnectResult());
    m_handler.Abort();
    EXPECT_FALSE(Ask());
    EXPECT_EQ(CSocket::CONNECT_NOT_ATTEMPTED, m_handler.GetLastConnectResult());
}

TEST_F(SDFHandlerTest, AbortEndsARequestWaitingForItsAnswer)
{
    CHttpTestServer::TAnswer silent;
    silent.silent = true;
    m_server.Serve({silent});
    auto found = std::async(std::launch::async, [&] {
        return m_handler.GetSessionID(m_server.Address(), L"", L"1", &m_sessionId, &m_operatorId);
    });
    ASSERT_TRUE(m_server.WaitForConnections(1));
    m_handler.Abort();
    ASSERT_EQ(std::future_status::ready, found.wait_for(std::chrono::seconds(10)));
    EXPECT_FALSE(found.get());
}
