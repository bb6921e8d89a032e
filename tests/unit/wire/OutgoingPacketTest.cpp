#include <gtest/gtest.h>

#include "Network/AttrChunk.h"
#include "Network/AttrKey.h"
#include "Network/Attribute.h"
#include "Network/OutgoingPacket.h"
#include "WireTestHelpers.h"

using namespace VexlaLib;
using namespace VexlaTest;

namespace {

// The builder's packet encodes exactly as the same attributes added by hand.
void ExpectSameBytes(const TPacketSPtr& built, const TPacketSPtr& byHand)
{
    EXPECT_EQ(built->GetType(), CPacket::OUTGOING);
    EXPECT_EQ(Encode(*built), Encode(*byHand));
}

}  // namespace

TEST(OutgoingPacket, ChunkKindComesFirstAndAContainerHasNone)
{
    const TPacketSPtr packet = COutgoingPacket::Create(CHUNK_CLIENTDATA);
    EXPECT_EQ(Encode(*packet), TByteArray({0x41, 0x01, 0x00, 0x05, 0x17}));
    EXPECT_EQ(Encode(*COutgoingPacket::CreateContainer()), TByteArray({0x41, 0x00}));
}

TEST(OutgoingPacket, EveryValueKindEncodesAsTheAttributeItAdds)
{
    const unsigned char address[6] = {10, 0, 0, 1, 0x01, 0xBB};
    const unsigned char data[] = {0xDE, 0xAD};
    const int values[] = {1, 300};
    TPacketSPtr built = COutgoingPacket::CreateContainer();

    COutgoingPacket::AddInt32(built, KEY_REQUEST_ID, 128);
    ExpectSameBytes(built, PacketWith(KEY_REQUEST_ID, TYPE_INT32, 128));

    built = COutgoingPacket::CreateContainer();
    COutgoingPacket::AddInt64(built, KEY_TIMESTAMP, -2LL);
    ExpectSameBytes(built, PacketWith(KEY_TIMESTAMP, TYPE_INT64, -2LL));

    built = COutgoingPacket::CreateContainer();
    COutgoingPacket::AddAddress(built, KEY_NEW_SERVER, address);
    ExpectSameBytes(built, PacketWith(KEY_NEW_SERVER, TYPE_ADDRESS, static_cast<const unsigned char*>(address)));

    built = COutgoingPacket::CreateContainer();
    COutgoingPacket::AddBinary(built, KEY_SESSION_ID, TByteArray(data, data + 2));
    ExpectSameBytes(built, PacketWith(KEY_SESSION_ID, TYPE_BINARY, data, 2));

    built = COutgoingPacket::CreateContainer();
    COutgoingPacket::AddIntArray(built, KEY_CHATS, {1, 300});
    ExpectSameBytes(built, PacketWith(KEY_CHATS, TYPE_INTARRAY, values, 2));

    const TPacketSPtr inner = COutgoingPacket::CreateContainer();
    COutgoingPacket::AddString(inner, KEY_VEXLANAME, std::wstring(L"bob"));
    built = COutgoingPacket::CreateContainer();
    COutgoingPacket::AddContainer(built, KEY_BUDDYRECORDS, inner);
    ExpectSameBytes(built, PacketWith(KEY_BUDDYRECORDS, TYPE_CONTAINER, inner));
}

TEST(OutgoingPacket, Utf8TextIsTheSameStringAsItsWideForm)
{
    const TPacketSPtr fromUtf8 = COutgoingPacket::CreateContainer();
    COutgoingPacket::AddString(fromUtf8, KEY_FULLNAME, std::string("Zo\xC3\xAB \xE2\x82\xAC"));
    const TPacketSPtr fromWide = COutgoingPacket::CreateContainer();
    COutgoingPacket::AddString(fromWide, KEY_FULLNAME, std::wstring(L"Zo\u00eb \u20ac"));
    EXPECT_EQ(Encode(*fromUtf8), Encode(*fromWide));
}

TEST(OutgoingPacket, AnEmptyBinaryIsAZeroLengthThatDecodesEmpty)
{
    const TPacketSPtr packet = COutgoingPacket::Create(CHUNK_AVATAR);
    COutgoingPacket::AddBinary(packet, KEY_AVATARIMAGE, TByteArray());
    const TByteArray body = Encode(*packet);
    const TPacketSPtr decoded = Decode(body);
    ASSERT_TRUE(decoded);
    TByteArraySPtr image;
    ASSERT_TRUE(decoded->GetAttrBinary(KEY_AVATARIMAGE, &image));
    EXPECT_TRUE(image->empty());
    EXPECT_EQ(Encode(*decoded), body);
    EXPECT_EQ(body.back(), 0x00);
}

TEST(OutgoingPacket, AttributesKeepTheOrderTheyWereAddedIn)
{
    const TPacketSPtr packet = COutgoingPacket::Create(CHUNK_LOGGEDOUT);
    COutgoingPacket::AddInt32(packet, KEY_LOGOUTREASON, 3);
    COutgoingPacket::AddString(packet, KEY_SUGGESTED_VEXLANAMES, std::string("bob1 bob2"));
    const TPacketSPtr decoded = Decode(Encode(*packet));
    ASSERT_TRUE(decoded);
    ASSERT_EQ(decoded->GetAttrList().size(), 3u);
    EXPECT_EQ(decoded->GetAttrList()[0]->GetKey(), KEY_CHUNKTYPE);
    EXPECT_EQ(decoded->GetAttrList()[1]->GetKey(), KEY_LOGOUTREASON);
    EXPECT_EQ(decoded->GetAttrList()[2]->GetKey(), KEY_SUGGESTED_VEXLANAMES);
}
