#include <gtest/gtest.h>

#include "LoopbackListener.h"
#include "Network/AttrChunk.h"
#include "Network/AttrKey.h"
#include "Network/Attribute.h"
#include "Network/ChunkKind.h"
#include "Network/PacketReceiver.h"
#include "Network/PacketSender.h"
#include "Network/Socket.h"
#include "Utils/CRC32.h"

using namespace VexlaLib;
using VexlaTest::CLoopbackListener;

namespace {

class FrameTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        socket->SetReadTimeout(1);
        ASSERT_TRUE(socket->Connect(listener.Address(), L""));
        ASSERT_TRUE(listener.Accept());
    }

    CLoopbackListener listener;
    TSocketSPtr socket = std::make_shared<CSocket>(CSocket::SOCKET_TYPE_CLIENT);
    TByteArraySPtr noKey = std::make_shared<TByteArray>();
};

TPacketSPtr ClientData()
{
    TPacketSPtr packet = std::make_shared<CPacket>(CPacket::OUTGOING);
    packet->AddAttr(std::make_shared<CAttribute>(KEY_CHUNKTYPE, TYPE_INT32, static_cast<int>(CHUNK_CLIENTDATA)));
    return packet;
}

}  // namespace

TEST_F(FrameTest, FrameIsLengthBodyAndChecksumOverKeyAndBody)
{
    ASSERT_TRUE(CPacketSender::SendPacket(socket, ClientData(), noKey));
    // Body 41 01 00 05 17; CRC-32 of those five bytes, least significant byte first.
    const std::vector<unsigned char> frame = listener.Read(10);
    ASSERT_EQ(10u, frame.size());
    EXPECT_EQ((std::vector<unsigned char>{0x05, 0x41, 0x01, 0x00, 0x05, 0x17}),
              std::vector<unsigned char>(frame.begin(), frame.begin() + 6));

    // The same frame read back, with and without a key.
    ASSERT_TRUE(listener.Write(frame));
    EXPECT_EQ(CHUNK_CLIENTDATA, ChunkKindOf(CPacketReceiver::ReceivePacket(socket, noKey)));
    ASSERT_TRUE(listener.Write(frame));
    EXPECT_EQ(nullptr, CPacketReceiver::ReceivePacket(socket, std::make_shared<TByteArray>(TByteArray{1, 2})));
    EXPECT_TRUE(socket->IsValid());
}

TEST_F(FrameTest, UndecodableBodyIsDroppedAndTheStreamStaysUsable)
{
    // The body "B" is not a packet (no container mark) but carries its correct checksum.
    CCRC32 checksum;
    checksum.Update(static_cast<unsigned char>('B'));
    const unsigned int crc = checksum.GetCheckSum();
    ASSERT_TRUE(listener.Write({0x01, 'B', static_cast<unsigned char>(crc), static_cast<unsigned char>(crc >> 8),
                                static_cast<unsigned char>(crc >> 16), static_cast<unsigned char>(crc >> 24)}));
    EXPECT_EQ(nullptr, CPacketReceiver::ReceivePacket(socket, noKey));
    EXPECT_TRUE(socket->IsValid());
    ASSERT_TRUE(CPacketSender::SendPacket(socket, ClientData(), noKey));
    ASSERT_TRUE(listener.Write(listener.Read(10)));
    EXPECT_EQ(CHUNK_CLIENTDATA, ChunkKindOf(CPacketReceiver::ReceivePacket(socket, noKey)));
}

TEST_F(FrameTest, LengthsOutOfRangeCloseTheConnection)
{
    // 18 MiB announced: more than a frame may hold.
    ASSERT_TRUE(listener.Write({0x80, 0x80, 0x80, 0x09}));
    EXPECT_EQ(nullptr, CPacketReceiver::ReceivePacket(socket, noKey));
    EXPECT_FALSE(socket->IsValid());
}

TEST_F(FrameTest, NegativeLengthClosesTheConnection)
{
    ASSERT_TRUE(listener.Write({0xFF, 0xFF, 0xFF, 0xFF, 0x0F}));
    EXPECT_EQ(nullptr, CPacketReceiver::ReceivePacket(socket, noKey));
    EXPECT_FALSE(socket->IsValid());
}

TEST_F(FrameTest, FrameCutShortClosesTheConnection)
{
    ASSERT_TRUE(listener.Write({0x05, 0x41, 0x01}));
    EXPECT_EQ(nullptr, CPacketReceiver::ReceivePacket(socket, noKey));
    EXPECT_FALSE(socket->IsValid());
    EXPECT_TRUE(listener.PeerClosed());
}
