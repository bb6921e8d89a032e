#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <limits>
#include <thread>

#include "LoopbackListener.h"
#include "Network/Socket.h"
#include "Utils/ARC4.h"

using namespace VexlaLib;
using VexlaTest::CLoopbackListener;

namespace {

struct Parts
{
    std::string host, port, path;
};

Parts Split(const std::wstring& address)
{
    Parts parts;
    CSocket::Decompose(address, &parts.host, &parts.port, &parts.path);
    return parts;
}

class SocketTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        CSocket::ResetSharedState();
        ASSERT_TRUE(m_socket.Connect(m_listener.Address(), L""));
        ASSERT_TRUE(m_listener.Accept());
    }
    void TearDown() override { CSocket::ResetSharedState(); }

    CLoopbackListener m_listener;
    CSocket m_socket{CSocket::SOCKET_TYPE_CLIENT};
};

}  // namespace

TEST(SocketAddressTest, DecomposeSplitsHostPortAndPath)
{
    Parts full = Split(L"example.invalid:8080/sdf/ask");
    EXPECT_EQ("example.invalid", full.host);
    EXPECT_EQ("8080", full.port);
    EXPECT_EQ("/sdf/ask", full.path);

    Parts bare = Split(L"example.invalid");
    EXPECT_EQ("example.invalid", bare.host);
    EXPECT_EQ("80", bare.port);
    EXPECT_EQ("/", bare.path);

    Parts pathOnly = Split(L"10.0.0.1/a:b");
    EXPECT_EQ("10.0.0.1", pathOnly.host);
    EXPECT_EQ("80", pathOnly.port);
    EXPECT_EQ("/a:b", pathOnly.path);
}

TEST(SocketAddressTest, IpoutPrintsTheLowestByteFirst)
{
    EXPECT_EQ("127.0.0.1", CSocket::ipout(0x0100007F));
    EXPECT_EQ("255.255.255.255", CSocket::ipout(-1));
    EXPECT_EQ("1.2.3.4", CSocket::ipout(0x04030201));
}

TEST(SocketConnectTest, RefusedConnectionAndUnbindableInterfaceReportTheirResults)
{
    int closedPort;
    {
        CLoopbackListener gone;
        closedPort = gone.Port();
    }
    CSocket refused(CSocket::SOCKET_TYPE_CLIENT);
    EXPECT_FALSE(refused.Connect(L"127.0.0.1:" + std::to_wstring(closedPort), L""));
    EXPECT_EQ(CSocket::CONNECT_FAILED, refused.GetLastConnectResult());
    EXPECT_FALSE(refused.IsValid());

    // 192.0.2.1 (a documentation address) is not an address of this machine: bind fails locally.
    CLoopbackListener listener;
    CSocket unbound(CSocket::SOCKET_TYPE_CLIENT);
    EXPECT_FALSE(unbound.Connect(listener.Address(), L"192.0.2.1"));
    EXPECT_EQ(CSocket::CONNECT_BIND_FAILED, unbound.GetLastConnectResult());

    CSocket bound(CSocket::SOCKET_TYPE_CLIENT);
    EXPECT_TRUE(bound.Connect(listener.Address(), L"127.0.0.1"));
    EXPECT_EQ(CSocket::CONNECT_CONNECTED, bound.GetLastConnectResult());
    EXPECT_TRUE(CSocket::HaveHadWorkingConnection());
    CSocket::ResetSharedState();
    EXPECT_FALSE(CSocket::HaveHadWorkingConnection());
}

TEST_F(SocketTest, LocalAddressIsTheLoopbackEndInTheSixByteLayout)
{
    unsigned char address[6] = {};
    ASSERT_TRUE(m_socket.GetConnectedAddress(address));
    EXPECT_EQ(127, address[0]);
    EXPECT_EQ(0, address[1]);
    EXPECT_EQ(0, address[2]);
    EXPECT_EQ(1, address[3]);
    EXPECT_NE(0, address[4] * 256 + address[5]);
}

TEST_F(SocketTest, SmallValuesUseLittleEndianAndVarints)
{
    ASSERT_TRUE(m_socket.SendInt32(0x01020304));
    ASSERT_TRUE(m_socket.SendVarInt32(300));
    ASSERT_TRUE(m_socket.SendByte(0x41));
    EXPECT_EQ((std::vector<unsigned char>{0x04, 0x03, 0x02, 0x01, 0xAC, 0x02, 0x41}), m_listener.Read(7));

    ASSERT_TRUE(m_listener.Write({0xAC, 0x02, 0xFF, 0xFF, 0xFF, 0xFF, 0x07}));
    int value = 0;
    ASSERT_TRUE(m_socket.ReceiveVarInt32(&value));
    EXPECT_EQ(300, value);
    ASSERT_TRUE(m_socket.ReceiveVarInt32(&value));
    EXPECT_EQ(0x7FFFFFFF, value);
}

TEST_F(SocketTest, EachDirectionUsesItsOwnCipher)
{
    const std::vector<unsigned char> outKey{1, 2, 3};
    const std::vector<unsigned char> inKey{9, 8, 7};
    m_socket.SetOutputEncryption(std::make_shared<CARC4>(outKey));
    m_socket.SetInputEncryption(std::make_shared<CARC4>(inKey));

    TByteArraySPtr plain = std::make_shared<TByteArray>(TByteArray{'h', 'e', 'l', 'l', 'o'});
    ASSERT_TRUE(m_socket.SendArray(plain));
    std::vector<unsigned char> wire = m_listener.Read(5);
    CARC4 peerIn(outKey);
    peerIn.DecryptBytes(wire.data(), 0, 5);
    EXPECT_EQ((std::vector<unsigned char>{'h', 'e', 'l', 'l', 'o'}), wire);

    std::vector<unsigned char> reply{'w', 'o', 'r', 'l', 'd'};
    CARC4 peerOut(inKey);
    peerOut.EncryptBytes(reply.data(), 0, 5);
    ASSERT_TRUE(m_listener.Write(reply));
    TByteArraySPtr received = std::make_shared<TByteArray>(5);
    ASSERT_TRUE(m_socket.ReceiveArray(received));
    EXPECT_EQ((TByteArray{'w', 'o', 'r', 'l', 'd'}), *received);
}

TEST_F(SocketTest, TimeOutBeforeTheFirstByteKeepsTheSocketButInsideAReadClosesIt)
{
    m_socket.SetReadTimeout(1);
    int value = 0;
    EXPECT_FALSE(m_socket.ReceiveInt32(&value));
    EXPECT_TRUE(m_socket.IsValid());

    ASSERT_TRUE(m_listener.Write({0x01, 0x02}));
    EXPECT_FALSE(m_socket.ReceiveInt32(&value));
    EXPECT_FALSE(m_socket.IsValid());
    EXPECT_TRUE(m_listener.PeerClosed());
}

TEST_F(SocketTest, TimeOutsAreClampedToWhatAWaitInMillisecondsCanHold)
{
    const std::pair<int, int> cases[] = {{30, 30},
                                         {2147483, 2147483},
                                         {2147484, 2147483},
                                         {3000000, 2147483},
                                         {std::numeric_limits<int>::max(), 2147483},
                                         {0, 1},
                                         {-5, 1}};
    for (const auto& c : cases) {
        m_socket.SetReadTimeout(c.first);
        m_socket.SetWriteTimeout(c.first);
        EXPECT_EQ(c.second, m_socket.GetReadTimeout()) << c.first;
        EXPECT_EQ(c.second, m_socket.GetWriteTimeout()) << c.first;
    }
    // The longest wait still ends when the byte comes.
    ASSERT_TRUE(m_listener.Write({0x2A}));
    unsigned char byte = 0;
    EXPECT_TRUE(m_socket.ReceiveByte(&byte));
    EXPECT_EQ(0x2A, byte);
}

TEST_F(SocketTest, VarintThatStopsHalfwayClosesTheSocket)
{
    m_socket.SetReadTimeout(1);
    ASSERT_TRUE(m_listener.Write({0x80}));
    int value = 0;
    EXPECT_FALSE(m_socket.ReceiveVarInt32(&value));
    EXPECT_FALSE(m_socket.IsValid());
}

TEST_F(SocketTest, PeerClosingFailsTheReadAndClosesTheSocket)
{
    m_listener.ClosePeer();
    unsigned char byte;
    EXPECT_FALSE(m_socket.ReceiveByte(&byte));
    EXPECT_FALSE(m_socket.IsValid());
}

TEST_F(SocketTest, CloseFromAnotherThreadWakesABlockedRead)
{
    m_socket.SetReadTimeout(60);
    auto reader = std::async(std::launch::async, [this] {
        unsigned char byte;
        return m_socket.ReceiveByte(&byte);
    });
    // The reader may or may not be inside poll yet; either way it must end promptly.
    m_socket.Close();
    ASSERT_EQ(std::future_status::ready, reader.wait_for(std::chrono::seconds(10)));
    EXPECT_FALSE(reader.get());
    EXPECT_TRUE(m_listener.PeerClosed());
}

TEST_F(SocketTest, NetworkDownFailsTheNextSendOnceAndClosesTheSocket)
{
    CSocket::SignalNetworkDown();
    EXPECT_FALSE(m_socket.SendByte(1));
    EXPECT_FALSE(m_socket.IsValid());

    CLoopbackListener other;
    CSocket fresh(CSocket::SOCKET_TYPE_CLIENT);
    ASSERT_TRUE(fresh.Connect(other.Address(), L""));
    EXPECT_TRUE(fresh.SendByte(1));
}

TEST_F(SocketTest, LargeSendGoesOutWhole)
{
    TByteArraySPtr big = std::make_shared<TByteArray>(4 * 1024 * 1024, 0x5A);
    auto reader = std::async(std::launch::async, [this] { return m_listener.Read(4 * 1024 * 1024); });
    ASSERT_TRUE(m_socket.SendArray(big));
    const std::vector<unsigned char> got = reader.get();
    ASSERT_EQ(big->size(), got.size());
    EXPECT_EQ(*big, got);
}

TEST_F(SocketTest, AClosedSocketDoesNotConnectAgain)
{
    m_socket.Close();
    EXPECT_FALSE(m_socket.Connect(m_listener.Address(), L""));
    EXPECT_EQ(CSocket::CONNECT_NOT_ATTEMPTED, m_socket.GetLastConnectResult());
}
