#include <gtest/gtest.h>

#include "../network/LoopbackListener.h"
#include "Network/Socket.h"
#include "Utils/ARC4.h"

using namespace VexlaLib;
using VexlaTest::CLoopbackListener;

TEST(SocketRecvAvailableTest, ReturnsWhatArrivedDecryptedAndZeroOnceThePeerCloses)
{
    CSocket::ResetSharedState();
    CLoopbackListener listener;
    CSocket socket(CSocket::SOCKET_TYPE_CLIENT);
    ASSERT_TRUE(socket.Connect(listener.Address(), L""));
    ASSERT_TRUE(listener.Accept());
    const std::vector<unsigned char> key = {1, 2, 3};
    socket.SetInputEncryption(std::make_shared<CARC4>(key));

    CARC4 peer(key);
    std::vector<unsigned char> sent = {'a', 'b', 'c'};
    peer.EncryptBytes(sent.data(), 0, 3);
    ASSERT_TRUE(listener.Write(sent));
    unsigned char buffer[16];
    int total = 0;
    while (total < 3) {
        const int got = socket.RecvAvailable(buffer + total, sizeof(buffer) - total);
        ASSERT_GT(got, 0);
        total += got;
    }
    EXPECT_EQ("abc", std::string(buffer, buffer + 3));

    listener.ClosePeer();
    EXPECT_EQ(0, socket.RecvAvailable(buffer, sizeof(buffer)));
    socket.Close();
    EXPECT_EQ(-1, socket.RecvAvailable(buffer, sizeof(buffer)));
}
