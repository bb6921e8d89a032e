#include <gtest/gtest.h>

#include "DiscoveryTestSupport.h"
#include "HttpTestServer.h"
#include "Network/Http.h"
#include "Network/HttpMessage.h"
#include "Network/Socket.h"

using namespace VexlaLib;
using VexlaTest::CHttpTestServer;
using VexlaTest::FinishWithin;

namespace {

typedef CHttpTestServer::TAnswer TAnswer;

const std::string OK_HELLO = CHttpTestServer::Answer("200 OK", "", "hello");

TAnswer Redirect(const std::string& location)
{
    return {CHttpTestServer::Answer("302 Found", "Location: " + location + "\r\n", "")};
}

std::string AsText(const TByteArraySPtr& bytes)
{
    return bytes ? std::string(bytes->begin(), bytes->end()) : std::string();
}

TByteArraySPtr Bytes(const std::string& text) { return std::make_shared<TByteArray>(text.begin(), text.end()); }

class HttpTest : public ::testing::Test {
protected:
    void SetUp() override { CSocket::ResetSharedState(); }
    void TearDown() override { CSocket::ResetSharedState(); }

    int Get(const std::wstring& url, const TByteArraySPtr& body = nullptr)
    {
        return FinishWithin(m_http, [&] { return m_http.Request(url, L"", L"", body); });
    }

    CHttpTestServer m_server;
    CHttp m_http;
};

}  // namespace

TEST_F(HttpTest, RequestWithoutBodyIsAGetWithoutContentLength)
{
    m_server.Serve({{OK_HELLO}});
    EXPECT_EQ(200, Get(m_server.Address() + L"/where/to"));
    EXPECT_EQ("hello", AsText(m_http.GetData()));
    EXPECT_EQ(CSocket::CONNECT_CONNECTED, m_http.GetLastConnectResult());
    const std::vector<std::string> requests = m_server.Requests();
    ASSERT_EQ(1u, requests.size());
    EXPECT_EQ(
        "GET /where/to HTTP/1.1\r\n"
        "Host: 127.0.0.1\r\n"
        "User-Agent: VexlaLib http component\r\n"
        "Connection: close\r\n"
        "\r\n",
        requests[0]);
}

TEST_F(HttpTest, RequestWithBodyIsAPostWithExtraLinesAndContentLength)
{
    m_server.Serve({{OK_HELLO}});
    const int status = FinishWithin(m_http, [&] {
        return m_http.Request(m_server.Address(), L"", L"X-One: 1\r\nX-Two: 2\r\n", Bytes(std::string("a\0b", 3)));
    });
    EXPECT_EQ(200, status);
    const std::vector<std::string> requests = m_server.Requests();
    ASSERT_EQ(1u, requests.size());
    EXPECT_EQ(
        "POST / HTTP/1.1\r\n"
        "Host: 127.0.0.1\r\n"
        "X-One: 1\r\nX-Two: 2\r\n"
        "User-Agent: VexlaLib http component\r\n"
        "Connection: close\r\n"
        "Content-Length: 3\r\n"
        "\r\n" +
            std::string("a\0b", 3),
        requests[0]);
}

TEST_F(HttpTest, RedirectWithSchemeHostPortAndPathIsFollowedThere)
{
    CHttpTestServer target;
    target.Serve({{OK_HELLO}});
    m_server.Serve({Redirect("http://127.0.0.1:" + std::to_string(target.Port()) + "/moved/here")});
    EXPECT_EQ(200, Get(m_server.Address(), Bytes("x")));
    EXPECT_EQ("hello", AsText(m_http.GetData()));
    const std::vector<std::string> moved = target.Requests();
    ASSERT_EQ(1u, moved.size());
    EXPECT_EQ(0u, moved[0].find("POST /moved/here HTTP/1.1\r\nHost: 127.0.0.1\r\n")) << moved[0];
    EXPECT_EQ(1u, m_server.Requests().size());
}

TEST_F(HttpTest, RedirectWithPathOnlyStaysOnTheAnsweringServer)
{
    m_server.Serve({Redirect("/other"), {OK_HELLO}});
    EXPECT_EQ(200, Get(m_server.Address() + L"/first"));
    const std::vector<std::string> requests = m_server.Requests();
    ASSERT_EQ(2u, requests.size());
    EXPECT_EQ(0u, requests[1].find("GET /other HTTP/1.1\r\n"));
}

TEST_F(HttpTest, FourRedirectsAreFollowedAndTheFifthFails)
{
    const std::string self = "127.0.0.1:" + std::to_string(m_server.Port()) + "/again";
    m_server.Serve({Redirect(self), Redirect(self), Redirect(self), Redirect(self), {OK_HELLO}});
    EXPECT_EQ(200, Get(m_server.Address()));
    EXPECT_EQ(5u, m_server.Requests().size());

    CHttpTestServer looping;
    const std::string loop = "http://127.0.0.1:" + std::to_string(looping.Port());
    looping.Serve({Redirect(loop), Redirect(loop), Redirect(loop), Redirect(loop), Redirect(loop)});
    CHttp http;
    EXPECT_EQ(500, FinishWithin(http, [&] { return http.Request(looping.Address(), L"", L"", nullptr); }));
    EXPECT_EQ(5u, looping.Requests().size());
}

TEST_F(HttpTest, RedirectWithoutUsableLocationFails)
{
    m_server.Serve({{CHttpTestServer::Answer("301 Moved", "", "")},
                    {CHttpTestServer::Answer("307 Temporary", "Location:   \r\n", "")},
                    {CHttpTestServer::Answer("303 See Other", "Content-Location: /elsewhere\r\n", "")}});
    EXPECT_EQ(500, Get(m_server.Address()));
    EXPECT_EQ(500, Get(m_server.Address()));
    EXPECT_EQ(500, Get(m_server.Address()));
    EXPECT_EQ(3u, m_server.Requests().size());
}

TEST_F(HttpTest, OtherStatusesAreReturnedAndUnreadableOnesCountAs400)
{
    m_server.Serve(
        {{CHttpTestServer::Answer("404 Not Found", "", "missing")}, {"HTTP/1.1 abc\r\n\r\n"}, {"NOBLANKS\r\n\r\n"}});
    EXPECT_EQ(404, Get(m_server.Address()));
    EXPECT_EQ(400, Get(m_server.Address()));
    EXPECT_EQ(400, Get(m_server.Address()));
    EXPECT_TRUE(m_http.GetData()->empty());
}

TEST_F(HttpTest, AnswerWithoutBlankLineOrWithoutAnythingFails)
{
    m_server.Serve({{"HTTP/1.1 200 OK\r\nServer: x\r\n"}, {""}});
    EXPECT_EQ(500, Get(m_server.Address()));
    EXPECT_EQ(500, Get(m_server.Address()));
    // The TCP connection worked: the failure is the answer's.
    EXPECT_EQ(CSocket::CONNECT_CONNECTED, m_http.GetLastConnectResult());
}

TEST_F(HttpTest, UnreachableServerAndUnbindableInterfaceFailWithTheirConnectResults)
{
    int closedPort;
    {
        CHttpTestServer gone;
        closedPort = gone.Port();
    }
    EXPECT_EQ(500, Get(L"127.0.0.1:" + std::to_wstring(closedPort)));
    EXPECT_EQ(CSocket::CONNECT_FAILED, m_http.GetLastConnectResult());

    CHttp bound;
    // 192.0.2.1 (a documentation address) is not an address of this machine.
    EXPECT_EQ(500, FinishWithin(bound, [&] { return bound.Request(m_server.Address(), L"192.0.2.1", L"", nullptr); }));
    EXPECT_EQ(CSocket::CONNECT_BIND_FAILED, bound.GetLastConnectResult());
}

TEST_F(HttpTest, ContentLengthEndsTheAnswerWhileTheServerKeepsTheConnection)
{
    TAnswer kept;
    kept.bytes = CHttpTestServer::Answer("200 OK", "Content-Length: 5\r\n", "hello and more");
    kept.keepOpen = true;
    m_server.Serve({kept});
    EXPECT_EQ(200, Get(m_server.Address()));
    EXPECT_EQ("hello", AsText(m_http.GetData()));
    EXPECT_TRUE(m_server.ClientClosedFirst());
}

TEST_F(HttpTest, BodyShorterThanItsContentLengthFails)
{
    m_server.Serve({{CHttpTestServer::Answer("200 OK", "Content-Length: 10\r\n", "short")},
                    {CHttpTestServer::Answer("200 OK", "Content-Length: ten\r\n", "0123456789")}});
    EXPECT_EQ(500, Get(m_server.Address()));
    EXPECT_EQ(500, Get(m_server.Address()));
}

TEST_F(HttpTest, AnswerLargerThanTheBoundFails)
{
    const std::string big(CHttpMessage::MAX_SIZE, 'x');
    m_server.Serve({{CHttpTestServer::Answer("200 OK", "", big)},
                    {CHttpTestServer::Answer("200 OK", "Content-Length: " + std::to_string(big.size()) + "\r\n", "x")},
                    {CHttpTestServer::Answer("200 OK", "", big.substr(0, 100000))}});
    EXPECT_EQ(500, Get(m_server.Address()));
    EXPECT_EQ(500, Get(m_server.Address()));
    EXPECT_EQ(200, Get(m_server.Address()));
    EXPECT_EQ(100000u, m_http.GetData()->size());
}

TEST_F(HttpTest, AbortEndsARequestUnderWayAndEveryLaterOne)
{
    TAnswer silent;
    silent.silent = true;
    m_server.Serve({silent});
    auto status = std::async(std::launch::async, [&] { return m_http.Request(m_server.Address(), L"", L"", nullptr); });
    ASSERT_TRUE(m_server.WaitForConnections(1));
    m_http.Abort();
    ASSERT_EQ(std::future_status::ready, status.wait_for(std::chrono::seconds(10)));
    EXPECT_EQ(500, status.get());
    EXPECT_EQ(500, Get(m_server.Address()));
}

TEST(HttpMessageTest, FieldsAreFoundByWholeNameWithoutRegardToCase)
{
    CHttpMessage response;
    const std::string text = "HTTP/1.0 302 Found\r\nContent-Location: /no\r\nlocation:\t/yes \r\n\r\nbody";
    ASSERT_TRUE(response.Append(reinterpret_cast<const unsigned char*>(text.data()), text.size()));
    std::string value;
    ASSERT_TRUE(response.GetField("Location", &value));
    EXPECT_EQ("/yes ", value);
    EXPECT_FALSE(response.GetField("Server", &value));
    EXPECT_EQ(302, response.GetStatus());
    EXPECT_EQ("body", AsText(response.GetBody()));
}

TEST(HttpMessageTest, HeaderEndIsFoundAcrossPieces)
{
    CHttpMessage response;
    const std::string text = "HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nokEXTRA";
    for (char c : text) {
        ASSERT_TRUE(response.Append(reinterpret_cast<const unsigned char*>(&c), 1));
    }
    EXPECT_TRUE(response.IsComplete());
    EXPECT_EQ("ok", AsText(response.GetBody()));
}
