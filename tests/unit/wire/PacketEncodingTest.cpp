#include <gtest/gtest.h>

#include "Network/AttrChunk.h"
#include "Network/AttrKey.h"
#include "Network/Attribute.h"
#include "WireTestHelpers.h"

using namespace VexlaLib;
using namespace VexlaTest;

namespace {

// The bytes of the packet's only attribute (after the 0x41 mark and the count 1).
TByteArray AttributeBytes(const CPacket& packet)
{
    TByteArray body = Encode(packet);
    EXPECT_GE(body.size(), 2u);
    EXPECT_EQ(body[0], 0x41);
    EXPECT_EQ(body[1], 0x01);
    return TByteArray(body.begin() + 2, body.end());
}

}  // namespace

TEST(PacketEncoding, EmptyPacketIsMarkAndZeroCount)
{
    EXPECT_EQ(Encode(CPacket(CPacket::OUTGOING)), TByteArray({0x41, 0x00}));
}

TEST(PacketEncoding, AttributeIsTypeKeyAndValue)
{
    EXPECT_EQ(AttributeBytes(*PacketWith(KEY_CHUNKTYPE, TYPE_INT32, static_cast<int>(CHUNK_CLIENTDATA))),
        TByteArray({0x00, 0x05, 0x17}));
    EXPECT_EQ(AttributeBytes(*PacketWith(KEY_REQUEST_ID, TYPE_INT32, 128)), TByteArray({0x00, 0x91, 0x01, 0x80, 0x01}));
    EXPECT_EQ(AttributeBytes(*PacketWith(KEY_TIMESTAMP, TYPE_INT64, 1LL)),
        TByteArray({0x01, 0x07, 0x01, 0, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(AttributeBytes(*PacketWith(KEY_TIMESTAMP, TYPE_INT64, -2LL)),
        TByteArray({0x01, 0x07, 0xFE, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}));
    const unsigned char address[] = {10, 0, 0, 1, 0x01, 0xBB};
    EXPECT_EQ(AttributeBytes(*PacketWith(KEY_NEW_SERVER, TYPE_ADDRESS, address)),
        TByteArray({0x02, 0x61, 0x0A, 0x00, 0x00, 0x01, 0x01, 0xBB}));
    EXPECT_EQ(AttributeBytes(*PacketWith(KEY_VEXLANAME, TYPE_STRING, std::wstring(L"abc"))),
        TByteArray({0x03, 0x08, 0x61, 0x62, 0x63, 0x00}));
    EXPECT_EQ(AttributeBytes(*PacketWith(KEY_VEXLANAME, TYPE_STRING, std::wstring())), TByteArray({0x03, 0x08, 0x00}));
    const unsigned char data[] = {0xDE, 0xAD};
    EXPECT_EQ(
        AttributeBytes(*PacketWith(KEY_SESSION_ID, TYPE_BINARY, data, 2)), TByteArray({0x04, 0x3D, 0x02, 0xDE, 0xAD}));
    const int values[] = {1, 300};
    EXPECT_EQ(AttributeBytes(*PacketWith(KEY_CHATS, TYPE_INTARRAY, values, 2)),
        TByteArray({0x06, 0x97, 0x01, 0x02, 0x01, 0xAC, 0x02}));
    EXPECT_EQ(
        AttributeBytes(*PacketWith(KEY_BUDDYRECORDS, TYPE_CONTAINER, std::make_shared<CPacket>(CPacket::OUTGOING))),
        TByteArray({0x05, 0x67, 0x41, 0x00}));
}

TEST(PacketEncoding, NegativeInt32ValuesAndKeysTakeFiveGroups)
{
    EXPECT_EQ(AttributeBytes(*PacketWith(-1, TYPE_INT32, -2)),
        TByteArray({0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0x0F, 0xFE, 0xFF, 0xFF, 0xFF, 0x0F}));
    TPacketSPtr decoded = Decode(Encode(*PacketWith(-1, TYPE_INT32, -2)));
    ASSERT_TRUE(decoded);
    int value = 0;
    EXPECT_TRUE(decoded->GetAttrInt32(-1, &value));
    EXPECT_EQ(value, -2);
}

TEST(PacketEncoding, TextIsUtf8AndStopsAtAnEmbeddedZero)
{
    EXPECT_EQ(AttributeBytes(*PacketWith(KEY_FULLNAME, TYPE_STRING, std::wstring(L"\u00e9\u20ac"))),
        TByteArray({0x03, 0x09, 0xC3, 0xA9, 0xE2, 0x82, 0xAC, 0x00}));
    // A 0 character would end the text on the wire and leave the rest to be read as attributes.
    EXPECT_EQ(AttributeBytes(*PacketWith(KEY_FULLNAME, TYPE_STRING, std::wstring(L"ab\0\x41\x01", 5))),
        TByteArray({0x03, 0x09, 0x61, 0x62, 0x00}));
}

TEST(PacketEncoding, EveryKindRoundTripsInOrderWithDuplicateKeys)
{
    const unsigned char address[] = {192, 168, 1, 20, 0x27, 0x1A};
    const unsigned char data[] = {0, 1, 2, 0xFF};
    const int values[] = {-1, 0, 0x7FFFFFFF};
    auto inner = std::make_shared<CPacket>(CPacket::OUTGOING);
    inner->AddAttr(std::make_shared<CAttribute>(KEY_VEXLANAME, TYPE_STRING, std::wstring(L"bob")));

    CPacket packet(CPacket::OUTGOING);
    packet.AddAttr(std::make_shared<CAttribute>(KEY_CHUNKTYPE, TYPE_INT32, static_cast<int>(CHUNK_BUDDYLIST)));
    packet.AddAttr(std::make_shared<CAttribute>(KEY_TIMESTAMP, TYPE_INT64, 0x0123456789ABCDEFLL));
    packet.AddAttr(std::make_shared<CAttribute>(KEY_NEW_SERVER, TYPE_ADDRESS, address));
    packet.AddAttr(std::make_shared<CAttribute>(KEY_FULLNAME, TYPE_STRING, std::wstring(L"Zo\u00eb \U0001F600")));
    packet.AddAttr(std::make_shared<CAttribute>(KEY_SESSION_ID, TYPE_BINARY, data, 4));
    packet.AddAttr(std::make_shared<CAttribute>(KEY_BUDDYRECORDS, TYPE_CONTAINER, inner));
    packet.AddAttr(std::make_shared<CAttribute>(KEY_ONLINESTATUSES, TYPE_INTARRAY, values, 3));
    packet.AddAttr(std::make_shared<CAttribute>(KEY_CHUNKTYPE, TYPE_INT32, 5));

    TByteArray body = Encode(packet);
    TPacketSPtr decoded = Decode(body);
    ASSERT_TRUE(decoded);
    EXPECT_EQ(decoded->GetType(), CPacket::INCOMING);
    ASSERT_EQ(decoded->GetAttrList().size(), packet.GetAttrList().size());
    for (size_t i = 0; i < packet.GetAttrList().size(); ++i) {
        EXPECT_EQ(decoded->GetAttrList()[i]->GetKey(), packet.GetAttrList()[i]->GetKey());
        EXPECT_EQ(decoded->GetAttrList()[i]->GetType(), packet.GetAttrList()[i]->GetType());
    }
    EXPECT_EQ(Encode(*decoded), body);

    int chunk = 0;
    EXPECT_TRUE(decoded->GetAttrInt32(KEY_CHUNKTYPE, &chunk));
    EXPECT_EQ(chunk, CHUNK_BUDDYLIST);
    long long timestamp = 0;
    EXPECT_TRUE(decoded->GetAttrInt64(KEY_TIMESTAMP, &timestamp));
    EXPECT_EQ(timestamp, 0x0123456789ABCDEFLL);
    unsigned char* decodedAddress = nullptr;
    EXPECT_TRUE(decoded->GetAttrAddress(KEY_NEW_SERVER, &decodedAddress));
    EXPECT_EQ(TByteArray(decodedAddress, decodedAddress + 6), TByteArray(address, address + 6));
    std::wstring name;
    EXPECT_TRUE(decoded->GetAttrString(KEY_FULLNAME, &name));
    EXPECT_EQ(name, L"Zo\u00eb \U0001F600");
    TByteArraySPtr decodedData;
    EXPECT_TRUE(decoded->GetAttrBinary(KEY_SESSION_ID, &decodedData));
    EXPECT_EQ(*decodedData, TByteArray(data, data + 4));
    int* decodedValues = nullptr;
    int count = 0;
    EXPECT_TRUE(decoded->GetAttrIntArray(KEY_ONLINESTATUSES, &decodedValues, &count));
    EXPECT_EQ(std::vector<int>(decodedValues, decodedValues + count), std::vector<int>(values, values + 3));
    TPacketSPtr records;
    EXPECT_TRUE(decoded->GetAttrContainer(KEY_BUDDYRECORDS, &records));
    EXPECT_EQ(records->GetType(), CPacket::INCOMING);
    EXPECT_TRUE(records->GetAttrString(KEY_VEXLANAME, &name));
    EXPECT_EQ(name, L"bob");
}

TEST(PacketEncoding, NestedContainersRoundTrip)
{
    TPacketSPtr innermost = PacketWith(KEY_CHATMSG_BODY, TYPE_STRING, std::wstring(L"hi"));
    TPacketSPtr middle = PacketWith(KEY_CHATRECORD, TYPE_CONTAINER, innermost);
    middle->AddAttr(std::make_shared<CAttribute>(KEY_CHATRECORD, TYPE_CONTAINER, innermost));
    TPacketSPtr outer = PacketWith(KEY_CHATRECORDS, TYPE_CONTAINER, middle);

    TPacketSPtr decoded = Decode(Encode(*outer));
    ASSERT_TRUE(decoded);
    TPacketSPtr level1;
    ASSERT_TRUE(decoded->GetAttrContainer(KEY_CHATRECORDS, &level1));
    ASSERT_EQ(level1->GetAttrList().size(), 2u);
    TPacketSPtr level2;
    ASSERT_TRUE(level1->GetAttrList()[1]->GetContainer(&level2));
    std::wstring text;
    EXPECT_TRUE(level2->GetAttrString(KEY_CHATMSG_BODY, &text));
    EXPECT_EQ(text, L"hi");
}
