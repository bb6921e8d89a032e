#include <gtest/gtest.h>

#include <chrono>
#include <future>

#include "Network/AttrChunk.h"
#include "Network/AttrKey.h"
#include "Network/Attribute.h"
#include "Network/ChunkKind.h"
#include "Network/PacketQueue.h"

using namespace VexlaLib;

namespace {

TPacketSPtr Chunk(int chunk)
{
    TPacketSPtr packet = std::make_shared<CPacket>(CPacket::OUTGOING);
    packet->AddAttr(std::make_shared<CAttribute>(KEY_CHUNKTYPE, TYPE_INT32, chunk));
    return packet;
}

const std::chrono::seconds WAIT_LIMIT(10);

}  // namespace

TEST(PacketQueueTest, PushPopAndPushFrontKeepTheirOrder)
{
    CPacketQueue queue;
    EXPECT_EQ(nullptr, queue.Pop());
    queue.Push(Chunk(CHUNK_LOGIN));
    queue.Push(Chunk(CHUNK_LOGOUT));
    queue.PushFront(Chunk(CHUNK_GETRECENTCHATS));
    EXPECT_EQ(3u, queue.Size());
    EXPECT_EQ(CHUNK_GETRECENTCHATS, ChunkKindOf(queue.Pop()));
    EXPECT_EQ(CHUNK_LOGIN, ChunkKindOf(queue.Pop()));
    EXPECT_EQ(CHUNK_LOGOUT, ChunkKindOf(queue.WaitAndPop(queue.WaitTicket())));
    EXPECT_EQ(0u, queue.Size());
}

TEST(PacketQueueTest, PeekLeavesThePacketInPlace)
{
    CPacketQueue queue;
    queue.Push(Chunk(CHUNK_SENDCHATMESSAGE));
    queue.Push(Chunk(CHUNK_LOGOUT));
    EXPECT_EQ(CHUNK_LOGOUT, ChunkKindOf(queue.PeekPacket(CHUNK_LOGOUT)));
    EXPECT_EQ(nullptr, queue.PeekPacket(CHUNK_LOGIN));
    EXPECT_EQ(2u, queue.Size());
    queue.Clear();
    EXPECT_EQ(0u, queue.Size());
}

TEST(PacketQueueTest, SpecificPacketIsTakenFromAnywhereAndTheRestStays)
{
    CPacketQueue queue;
    queue.Push(Chunk(CHUNK_SENDCHATMESSAGE));
    queue.Push(Chunk(CHUNK_REGISTERUSER));
    queue.Push(Chunk(CHUNK_LOGIN));
    EXPECT_EQ(CHUNK_REGISTERUSER,
              ChunkKindOf(queue.WaitForSpecificPacket({CHUNK_LOGIN, CHUNK_REGISTERUSER}, queue.WaitTicket())));
    EXPECT_EQ(2u, queue.Size());
    EXPECT_EQ(CHUNK_SENDCHATMESSAGE, ChunkKindOf(queue.Pop()));
}

TEST(PacketQueueTest, SpecificWaitIgnoresOtherPacketsUntilAMatchArrives)
{
    CPacketQueue queue;
    const CPacketQueue::TWaitTicket ticket = queue.WaitTicket();
    auto waiter =
        std::async(std::launch::async, [&queue, ticket] { return queue.WaitForSpecificPacket({CHUNK_LOGIN}, ticket); });
    queue.Push(Chunk(CHUNK_SENDCHATMESSAGE));
    EXPECT_EQ(std::future_status::timeout, waiter.wait_for(std::chrono::milliseconds(50)));
    queue.Push(Chunk(CHUNK_LOGIN));
    ASSERT_EQ(std::future_status::ready, waiter.wait_for(WAIT_LIMIT));
    EXPECT_EQ(CHUNK_LOGIN, ChunkKindOf(waiter.get()));
    EXPECT_EQ(1u, queue.Size());
}

TEST(PacketQueueTest, StopWaitEndsASpecificWaitWithNothing)
{
    CPacketQueue queue;
    queue.Push(Chunk(CHUNK_SENDCHATMESSAGE));
    const CPacketQueue::TWaitTicket ticket = queue.WaitTicket();
    auto waiter =
        std::async(std::launch::async, [&queue, ticket] { return queue.WaitForSpecificPacket({CHUNK_LOGIN}, ticket); });
    queue.SignalStopWait();
    ASSERT_EQ(std::future_status::ready, waiter.wait_for(WAIT_LIMIT));
    EXPECT_EQ(nullptr, waiter.get());
    EXPECT_EQ(1u, queue.Size());
}

TEST(PacketQueueTest, AStopRequestAfterTheTicketIsNotLostEvenBeforeTheWait)
{
    CPacketQueue queue;
    CPacketQueue::TWaitTicket ticket = queue.WaitTicket();
    queue.SignalStopWait();
    EXPECT_EQ(nullptr, queue.WaitForSpecificPacket({CHUNK_LOGIN}, ticket));
    ticket = queue.WaitTicket();
    queue.SignalStopWait();
    EXPECT_EQ(nullptr, queue.WaitAndPop(ticket));
}

// The stop request of one wait must not end the next: a waiter that took its ticket after the request
// waits for its packet.
TEST(PacketQueueTest, AStopRequestMeantForAnEarlierWaitDoesNotEndALaterOne)
{
    CPacketQueue queue;
    queue.SignalStopWait();  // nobody waits yet
    CPacketQueue::TWaitTicket ticket = queue.WaitTicket();
    auto waiter = std::async(std::launch::async, [&queue, ticket] {
        return queue.WaitForSpecificPacket({CHUNK_NETWORK_IFACE_REQUEST}, ticket);
    });
    queue.Push(Chunk(CHUNK_LOGIN));
    queue.Push(Chunk(CHUNK_NETWORK_IFACE_REQUEST));
    ASSERT_EQ(std::future_status::ready, waiter.wait_for(WAIT_LIMIT));
    EXPECT_EQ(CHUNK_NETWORK_IFACE_REQUEST, ChunkKindOf(waiter.get()));

    queue.Clear();
    queue.SignalStopWait();
    ticket = queue.WaitTicket();
    auto popper = std::async(std::launch::async, [&queue, ticket] { return queue.WaitAndPop(ticket); });
    queue.Push(Chunk(CHUNK_LOGIN));
    ASSERT_EQ(std::future_status::ready, popper.wait_for(WAIT_LIMIT));
    EXPECT_EQ(CHUNK_LOGIN, ChunkKindOf(popper.get()));
}

TEST(PacketQueueTest, RemoveTakesEveryPacketOfTheKind)
{
    CPacketQueue queue;
    queue.Push(Chunk(CHUNK_NETWORK_IFACE_REQUEST));
    queue.Push(Chunk(CHUNK_LOGIN));
    queue.Push(Chunk(CHUNK_NETWORK_IFACE_REQUEST));
    queue.Remove(CHUNK_NETWORK_IFACE_REQUEST);
    EXPECT_EQ(1u, queue.Size());
    EXPECT_EQ(CHUNK_LOGIN, ChunkKindOf(queue.Pop()));
}

TEST(PacketQueueTest, WaitingPopWakesOnPush)
{
    CPacketQueue queue;
    const CPacketQueue::TWaitTicket ticket = queue.WaitTicket();
    auto waiter = std::async(std::launch::async, [&queue, ticket] { return queue.WaitAndPop(ticket); });
    queue.Push(Chunk(CHUNK_LOGOUT));
    ASSERT_EQ(std::future_status::ready, waiter.wait_for(WAIT_LIMIT));
    EXPECT_EQ(CHUNK_LOGOUT, ChunkKindOf(waiter.get()));
}

TEST(PacketQueueTest, ChunkKindOfAPacketWithoutOneIsMinusOne)
{
    EXPECT_EQ(-1, ChunkKindOf(TPacketSPtr()));
    EXPECT_EQ(-1, ChunkKindOf(std::make_shared<CPacket>(CPacket::INCOMING)));
}

TEST(PacketQueueTest, AWaitForRoomEndsWhenAPacketIsTakenOrTheWaitIsStopped)
{
    CPacketQueue queue;
    queue.WaitForRoom(1, queue.WaitTicket());  // room already: returns at once
    queue.Push(Chunk(CHUNK_SENDCHATMESSAGE));
    queue.Push(Chunk(CHUNK_LOGOUT));
    auto waiter = std::async(std::launch::async, [&queue] { queue.WaitForRoom(2, queue.WaitTicket()); });
    EXPECT_EQ(std::future_status::timeout, waiter.wait_for(std::chrono::milliseconds(50)));
    EXPECT_EQ(CHUNK_SENDCHATMESSAGE, ChunkKindOf(queue.Pop()));
    ASSERT_EQ(std::future_status::ready, waiter.wait_for(WAIT_LIMIT));

    queue.Push(Chunk(CHUNK_SENDCHATMESSAGE));
    const CPacketQueue::TWaitTicket ticket = queue.WaitTicket();
    queue.SignalStopWait();  // made after the ticket: ends the wait even before it began
    auto stopped = std::async(std::launch::async, [&queue, ticket] { queue.WaitForRoom(2, ticket); });
    ASSERT_EQ(std::future_status::ready, stopped.wait_for(WAIT_LIMIT));
    EXPECT_EQ(2u, queue.Size());
}
