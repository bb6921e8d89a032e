#include <gtest/gtest.h>

#include "AllocationCounter.h"
#include "Network/AttrKey.h"
#include "Network/Attribute.h"
#include "Network/Frame.h"
#include "WireTestHelpers.h"
#include "support/LogCapture.h"

using namespace VexlaLib;
using namespace VexlaTest;

namespace {

// Bit-by-bit CRC-32 (reflected 0xEDB88320), independent of the table-driven one under test.
uint32_t ReferenceCrc32(const TByteArray& data)
{
    uint32_t crc = 0xFFFFFFFF;
    for (unsigned char byte : data) {
        crc ^= byte;
        for (int bit = 0; bit < 8; ++bit) {
            crc = (crc >> 1) ^ (0xEDB88320 & (0u - (crc & 1)));
        }
    }
    return ~crc;
}

TByteArray LittleEndian(uint32_t value)
{
    return {static_cast<unsigned char>(value), static_cast<unsigned char>(value >> 8),
        static_cast<unsigned char>(value >> 16), static_cast<unsigned char>(value >> 24)};
}

CFrame::TReadResult ReadFrame(CByteArrayInputStream* in, const TByteArraySPtr& key, TByteArraySPtr* body)
{
    CLogCapture::Get().Clear();
    return CFrame::Read(in, key, body);
}

}  // namespace

TEST(Frame, IsLengthBodyAndChecksumOfTheBody)
{
    TByteArray expected = {0x02, 0x41, 0x00};
    TByteArray checksum = LittleEndian(ReferenceCrc32({0x41, 0x00}));
    expected.insert(expected.end(), checksum.begin(), checksum.end());
    EXPECT_EQ(*CFrame::Encode(CPacket(CPacket::OUTGOING), nullptr), expected);
    EXPECT_EQ(*CFrame::Encode(CPacket(CPacket::OUTGOING), Bytes({})), expected);
}

TEST(Frame, KeyedChecksumCoversKeyThenBody)
{
    TPacketSPtr packet = PacketWith(KEY_CHUNKTYPE, TYPE_INT32, 19);
    TByteArray body = Encode(*packet);
    TByteArray keyThenBody = {9, 8, 7};
    keyThenBody.insert(keyThenBody.end(), body.begin(), body.end());

    TByteArray frame = *CFrame::Encode(*packet, Bytes({9, 8, 7}));
    ASSERT_EQ(frame.size(), 1 + body.size() + 4);
    EXPECT_EQ(frame[0], body.size());
    EXPECT_EQ(TByteArray(frame.begin() + 1, frame.end() - 4), body);
    EXPECT_EQ(TByteArray(frame.end() - 4, frame.end()), LittleEndian(ReferenceCrc32(keyThenBody)));
}

TEST(Frame, ReadGivesTheBodyAndChecksTheChecksum)
{
    const TByteArraySPtr key = Bytes({1, 2, 3, 4});
    TPacketSPtr packet = PacketWith(KEY_VEXLANAME, TYPE_STRING, std::wstring(200, L'x'));
    TByteArray stream = *CFrame::Encode(*packet, key);
    TByteArray corrupt = stream;
    corrupt.back() ^= 0x01;
    stream.insert(stream.begin(), corrupt.begin(), corrupt.end());

    CByteArrayInputStream in(std::make_shared<TByteArray>(stream));
    TByteArraySPtr body;
    EXPECT_EQ(ReadFrame(&in, key, &body), CFrame::FRAME_BAD_CHECKSUM);
    ASSERT_TRUE(body);
    EXPECT_EQ(*body, Encode(*packet));
    body.reset();
    EXPECT_EQ(ReadFrame(&in, key, &body), CFrame::FRAME_OK);
    ASSERT_TRUE(body);
    EXPECT_EQ(*body, Encode(*packet));
    EXPECT_EQ(in.Available(), 0u);

    CByteArrayInputStream unkeyed(std::make_shared<TByteArray>(*CFrame::Encode(*packet, key)));
    EXPECT_EQ(ReadFrame(&unkeyed, nullptr, &body), CFrame::FRAME_BAD_CHECKSUM);
}

TEST(Frame, RefusesLengthsOutOfRangeOrBeyondTheInput)
{
    struct {
        TByteArraySPtr bytes;
        const wchar_t* message;
    } cases[] = {
        {Bytes({}), L"Failed to read frame length."},
        {Bytes({0x80}), L"Failed to read frame length."},
        {Bytes({0xFF, 0xFF, 0xFF, 0xFF, 0x0F, 0x41, 0x00}), L"Frame length out of range."},
        {Bytes({0x81, 0x80, 0x80, 0x08, 0x41}), L"Frame length out of range."},
        {Bytes({0x05, 0x41, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00}), L"Frame is shorter than its length."},
        {Bytes({0x02, 0x41, 0x00, 0x00, 0x00, 0x00}), L"Frame is shorter than its length."},
    };
    for (const auto& refused : cases) {
        CByteArrayInputStream in(refused.bytes);
        TByteArraySPtr body;
        EXPECT_EQ(ReadFrame(&in, nullptr, &body), CFrame::FRAME_MALFORMED);
        EXPECT_FALSE(body);
        EXPECT_TRUE(CLogCapture::Get().Contains(refused.message));
    }
    EXPECT_TRUE(CFrame::IsBodyLengthAcceptable(0));
    EXPECT_TRUE(CFrame::IsBodyLengthAcceptable(CFrame::MAX_BODY_LENGTH));
    EXPECT_FALSE(CFrame::IsBodyLengthAcceptable(CFrame::MAX_BODY_LENGTH + 1));
    EXPECT_FALSE(CFrame::IsBodyLengthAcceptable(-1));
}

TEST(Frame, EncodingAllocatesNothingPerByte)
{
    TByteArray small(1024, 0x5A);
    TByteArray large(256 * 1024, 0x5A);
    TPacketSPtr smallPacket = PacketWith(KEY_AVATARIMAGE, TYPE_BINARY, small.data(), static_cast<int>(small.size()));
    TPacketSPtr largePacket = PacketWith(KEY_AVATARIMAGE, TYPE_BINARY, large.data(), static_cast<int>(large.size()));

    size_t before = VexlaTest::AllocationCount();
    CFrame::Encode(*smallPacket, Bytes({1}));
    size_t forSmall = VexlaTest::AllocationCount() - before;
    before = VexlaTest::AllocationCount();
    CFrame::Encode(*largePacket, Bytes({1}));
    size_t forLarge = VexlaTest::AllocationCount() - before;
    // 256 times the bytes: only the logarithmic growth of the body buffer may add allocations.
    EXPECT_LE(forLarge, forSmall + 10);
}

// Bodies around the varint's one- and two-byte lengths and the checksum's 16- and 64-byte steps,
// wrapped and read back through a stream that is not aligned to them.
TEST(Frame, WrapsAndReadsBackBodiesOfEveryStepLength)
{
    const TByteArraySPtr key = Bytes({1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20});
    for (size_t length : {0, 1, 15, 16, 17, 63, 64, 65, 127, 128, 129, 1500, 16384}) {
        TByteArray body(length);
        for (size_t n = 0; n < length; ++n) {
            body[n] = static_cast<unsigned char>(n * 37 + 11);
        }
        TByteArray keyThenBody = *key;
        keyThenBody.insert(keyThenBody.end(), body.begin(), body.end());
        const TByteArraySPtr frame = CFrame::Wrap(body, key);
        const size_t header = length < 128 ? 1 : length < 16384 ? 2 : 3;
        ASSERT_EQ(frame->size(), header + length + CFrame::CHECKSUM_LENGTH) << length;
        EXPECT_EQ(TByteArray(frame->end() - CFrame::CHECKSUM_LENGTH, frame->end()),
                  LittleEndian(ReferenceCrc32(keyThenBody)))
            << length;

        TByteArraySPtr stream = std::make_shared<TByteArray>(1, 0x7F);
        stream->insert(stream->end(), frame->begin(), frame->end());
        CByteArrayInputStream in(stream);
        unsigned char skipped = 0;
        in.ReadByte(&skipped);
        TByteArraySPtr read;
        ASSERT_EQ(ReadFrame(&in, key, &read), CFrame::FRAME_OK) << length;
        EXPECT_EQ(*read, body) << length;
        EXPECT_EQ(in.Available(), 0u) << length;
    }
}
