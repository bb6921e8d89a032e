#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Network/AttrKey.h"
#include "Network/Attribute.h"
#include "WireTestHelpers.h"
#include "support/LogCapture.h"

using namespace VexlaLib;
using namespace VexlaTest;

namespace {

// Decodes the body, expecting no packet and the given messages in the error log.
void ExpectRefused(const TByteArray& body, std::vector<std::wstring> messages)
{
    CLogCapture::Get().Clear();
    EXPECT_FALSE(Decode(body));
    for (const std::wstring& message : messages) {
        EXPECT_TRUE(CLogCapture::Get().Contains(message)) << "missing: " << std::string(message.begin(), message.end());
    }
}

const std::wstring kValueFailed = L"Failed to read attribute value during deserialization.";

// A body whose containers nest the given number of levels below the outer packet.
TByteArray NestedBody(int levels)
{
    TByteArray body = {0x41, 0x00};
    for (int i = 0; i < levels; ++i) {
        TByteArray outer = {0x41, 0x01, TYPE_CONTAINER, KEY_CHATRECORD};
        outer.insert(outer.end(), body.begin(), body.end());
        body.swap(outer);
    }
    return body;
}

}  // namespace

TEST(PacketDecoding, RefusesABodyWithoutItsStartMark)
{
    ExpectRefused({}, {L"Failed to read 'attribute container start' mark."});
    ExpectRefused({0x42, 0x00}, {L"Attribute container mark is not correct."});
    ExpectRefused({0x41}, {L"Failed to read attribute count value in packet."});
    ExpectRefused({0x41, 0x80}, {L"Failed to read attribute count value in packet."});
}

TEST(PacketDecoding, RefusesAttributesThatEndEarly)
{
    ExpectRefused({0x41, 0x02, 0x00, 0x05, 0x17}, {L"Failed to read attribute type during deserialization."});
    ExpectRefused({0x41, 0x01, 0x00}, {L"Failed to read attribute key during deserialization."});
    ExpectRefused({0x41, 0x01, 0x00, 0x05}, {kValueFailed});
    ExpectRefused({0x41, 0x01, 0x01, 0x07, 1, 2, 3, 4, 5, 6, 7}, {kValueFailed});
    ExpectRefused({0x41, 0x01, 0x02, 0x61, 10, 0, 0, 1, 1}, {kValueFailed});
    ExpectRefused({0x41, 0x01, 0x06, 0x0C, 0x02, 0x01, 0x80}, {kValueFailed});
}

TEST(PacketDecoding, RefusesAnUnknownTypeCode)
{
    ExpectRefused({0x41, 0x01, 0x07, 0x05, 0x00}, {L"Invalid attribute type sent by server."});
}

TEST(PacketDecoding, RefusesSizesTheInputCannotHold)
{
    ExpectRefused({0x41, 0x01, 0x04, 0x3D, 0x03, 0xAA, 0xBB}, {L"Attribute length exceeds the packet.", kValueFailed});
    ExpectRefused({0x41, 0x01, 0x04, 0x3D, 0xFF, 0xFF, 0xFF, 0xFF, 0x07},
        {L"Attribute length exceeds the packet.", kValueFailed});
    ExpectRefused(
        {0x41, 0x01, 0x04, 0x3D, 0xFF, 0xFF, 0xFF, 0xFF, 0x0F}, {L"Attribute length is negative.", kValueFailed});
    ExpectRefused({0x41, 0x01, 0x06, 0x0C, 0x03, 0x01, 0x02}, {L"Attribute count exceeds the packet.", kValueFailed});
    ExpectRefused(
        {0x41, 0x01, 0x06, 0x0C, 0xFE, 0xFF, 0xFF, 0xFF, 0x0F}, {L"Attribute count is negative.", kValueFailed});
    ExpectRefused({0x41, 0xFF, 0xFF, 0xFF, 0xFF, 0x07, 0x00, 0x05, 0x17}, {L"Attribute count exceeds the packet."});
    ExpectRefused({0x41, 0x80, 0x80, 0x80, 0x80, 0x08}, {L"Attribute count is negative."});
}

TEST(PacketDecoding, FailureInsideAContainerFailsTheWholePacket)
{
    ExpectRefused({0x41, 0x02, 0x00, 0x05, 0x25, 0x05, 0x67, 0x41, 0x01, 0x09, 0x00},
        {L"Invalid attribute type sent by server.", kValueFailed});
}

TEST(PacketDecoding, LimitsContainerNesting)
{
    EXPECT_TRUE(Decode(NestedBody(CPacket::MAX_CONTAINER_DEPTH)));
    ExpectRefused(NestedBody(CPacket::MAX_CONTAINER_DEPTH + 1), {L"Container nesting too deep.", kValueFailed});
    ExpectRefused(NestedBody(10000), {L"Container nesting too deep."});
}

TEST(PacketDecoding, TruncatedStringKeepsTheBytesPresent)
{
    TPacketSPtr packet = Decode({0x41, 0x01, 0x03, 0x08, 'a', 'b'});
    ASSERT_TRUE(packet);
    std::wstring name;
    EXPECT_TRUE(packet->GetAttrString(KEY_VEXLANAME, &name));
    EXPECT_EQ(name, L"ab");
}

TEST(PacketDecoding, StringEndsAtAnInvalidUtf8Sequence)
{
    TPacketSPtr packet = Decode({0x41, 0x02, 0x03, 0x08, 'o', 'k', 0xC3, 0x28, 'x', 0x00, 0x00, 0x05, 0x17});
    ASSERT_TRUE(packet);
    std::wstring name;
    EXPECT_TRUE(packet->GetAttrString(KEY_VEXLANAME, &name));
    EXPECT_EQ(name, L"ok");
    int chunk = 0;
    EXPECT_TRUE(packet->GetAttrInt32(KEY_CHUNKTYPE, &chunk));
    EXPECT_EQ(chunk, 0x17);
}

TEST(PacketDecoding, IgnoresBytesAfterTheLastAttribute)
{
    TPacketSPtr packet = Decode({0x41, 0x01, 0x00, 0x05, 0x17, 0xFF, 0x41, 0x09});
    ASSERT_TRUE(packet);
    EXPECT_EQ(packet->GetAttrList().size(), 1u);
}

TEST(PacketDecoding, EmptyBinaryAndIntArrayAreValid)
{
    TPacketSPtr packet = Decode({0x41, 0x02, 0x04, 0x3D, 0x00, 0x06, 0x0C, 0x00});
    ASSERT_TRUE(packet);
    unsigned char* data = reinterpret_cast<unsigned char*>(1);
    int length = -1;
    EXPECT_TRUE(packet->GetAttrBinary(KEY_SESSION_ID, &data, &length));
    EXPECT_EQ(data, nullptr);
    EXPECT_EQ(length, 0);
    TByteArraySPtr copy;
    EXPECT_TRUE(packet->GetAttrBinary(KEY_SESSION_ID, &copy));
    ASSERT_TRUE(copy);
    EXPECT_TRUE(copy->empty());
    int* values = reinterpret_cast<int*>(1);
    int count = -1;
    EXPECT_TRUE(packet->GetAttrIntArray(KEY_ONLINESTATUSES, &values, &count));
    EXPECT_EQ(values, nullptr);
    EXPECT_EQ(count, 0);
    EXPECT_EQ(Encode(*packet), TByteArray({0x41, 0x02, 0x04, 0x3D, 0x00, 0x06, 0x0C, 0x00}));
}

TEST(PacketGetters, SeeOnlyTheFirstAttributeOfAKey)
{
    CPacket packet(CPacket::INCOMING);
    packet.AddAttr(std::make_shared<CAttribute>(KEY_ERROR_CODE, TYPE_STRING, std::wstring(L"first")));
    packet.AddAttr(std::make_shared<CAttribute>(KEY_ERROR_CODE, TYPE_INT32, 26));
    packet.AddAttr(std::make_shared<CAttribute>(KEY_TIMESTAMP, TYPE_INT32, 1));
    packet.AddAttr(std::make_shared<CAttribute>(KEY_TIMESTAMP, TYPE_INT32, 2));

    EXPECT_EQ(packet.GetAttr(KEY_ERROR_CODE), packet.GetAttrList()[0]);
    int value = 99;
    EXPECT_FALSE(packet.GetAttrInt32(KEY_ERROR_CODE, &value));
    EXPECT_EQ(value, 99);
    EXPECT_TRUE(packet.GetAttrInt32(KEY_TIMESTAMP, &value));
    EXPECT_EQ(value, 1);
    EXPECT_FALSE(packet.GetAttr(KEY_CHUNKTYPE));
    EXPECT_FALSE(packet.GetAttrInt32(KEY_CHUNKTYPE, &value));
}

TEST(PacketGetters, WrongTypeLeavesEveryOutputAlone)
{
    TPacketSPtr packet = PacketWith(KEY_CHUNKTYPE, TYPE_INT32, 3);
    long long wide = 7;
    std::wstring text = L"x";
    unsigned char* bytes = nullptr;
    int length = 7;
    TByteArraySPtr copy;
    int* values = nullptr;
    TPacketSPtr nested;
    EXPECT_FALSE(packet->GetAttrInt64(KEY_CHUNKTYPE, &wide));
    EXPECT_FALSE(packet->GetAttrString(KEY_CHUNKTYPE, &text));
    EXPECT_FALSE(packet->GetAttrAddress(KEY_CHUNKTYPE, &bytes));
    EXPECT_FALSE(packet->GetAttrBinary(KEY_CHUNKTYPE, &bytes, &length));
    EXPECT_FALSE(packet->GetAttrBinary(KEY_CHUNKTYPE, &copy));
    EXPECT_FALSE(packet->GetAttrIntArray(KEY_CHUNKTYPE, &values, &length));
    EXPECT_FALSE(packet->GetAttrContainer(KEY_CHUNKTYPE, &nested));
    EXPECT_EQ(wide, 7);
    EXPECT_EQ(text, L"x");
    EXPECT_EQ(bytes, nullptr);
    EXPECT_EQ(length, 7);
    EXPECT_FALSE(copy);
    EXPECT_EQ(values, nullptr);
    EXPECT_FALSE(nested);
}

TEST(PacketGetters, PointersAndContainersShareTheAttributeData)
{
    const unsigned char data[] = {1, 2, 3};
    TPacketSPtr packet = PacketWith(KEY_SESSION_ID, TYPE_BINARY, data, 3);
    auto inner = std::make_shared<CPacket>(CPacket::OUTGOING);
    packet->AddAttr(std::make_shared<CAttribute>(KEY_SAVEDDATA, TYPE_CONTAINER, inner));

    unsigned char* first = nullptr;
    unsigned char* second = nullptr;
    int length = 0;
    ASSERT_TRUE(packet->GetAttrBinary(KEY_SESSION_ID, &first, &length));
    ASSERT_TRUE(packet->GetAttrBinary(KEY_SESSION_ID, &second, &length));
    EXPECT_EQ(first, second);
    TByteArraySPtr copy;
    ASSERT_TRUE(packet->GetAttrBinary(KEY_SESSION_ID, &copy));
    EXPECT_NE(copy->data(), first);
    EXPECT_EQ(*copy, TByteArray({1, 2, 3}));
    TPacketSPtr shared;
    ASSERT_TRUE(packet->GetAttrContainer(KEY_SAVEDDATA, &shared));
    EXPECT_EQ(shared, inner);
}
