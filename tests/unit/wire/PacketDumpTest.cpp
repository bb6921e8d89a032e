#include <gtest/gtest.h>

#include "Network/AttrChunk.h"
#include "Network/AttrKey.h"
#include "Network/Attribute.h"
#include "Utils/LogStream.h"
#include "AllocationCounter.h"
#include "WireTestHelpers.h"
#include "support/LogCapture.h"

using namespace VexlaLib;
using namespace VexlaTest;

namespace {

std::wstring DumpOf(const CPacket& packet)
{
    CLogCapture::Get().Clear();
    {
        CLogStream stream(CLog::LOG_DEBUG, CLogStream::TIMESTAMP_NONE);
        packet.dump(stream);
    }
    return CLogCapture::Get().Text();
}

}  // namespace

TEST(PacketDump, WritesEveryKindReadably)
{
    const unsigned char address[] = {10, 0, 0, 1, 0x01, 0xBB};
    const unsigned char data[] = {0x00, 0xAB};
    const int values[] = {1, 255};
    TPacketSPtr packet = PacketWith(KEY_CHUNKTYPE, TYPE_INT32, static_cast<int>(CHUNK_LOGIN));
    packet->AddAttr(std::make_shared<CAttribute>(KEY_REQUEST_ID, TYPE_INT32, 31));
    packet->AddAttr(std::make_shared<CAttribute>(KEY_TIMESTAMP, TYPE_INT64, 0x1234LL));
    packet->AddAttr(std::make_shared<CAttribute>(KEY_NEW_SERVER, TYPE_ADDRESS, address));
    packet->AddAttr(std::make_shared<CAttribute>(KEY_VEXLANAME, TYPE_STRING, std::wstring(L"abc")));
    packet->AddAttr(std::make_shared<CAttribute>(KEY_SESSION_ID, TYPE_BINARY, data, 2));
    packet->AddAttr(std::make_shared<CAttribute>(KEY_CHATS, TYPE_INTARRAY, values, 2));
    packet->AddAttr(
        std::make_shared<CAttribute>(KEY_BUDDYRECORDS, TYPE_CONTAINER, PacketWith(KEY_BUDDYINDEX, TYPE_INT32, 16)));
    packet->AddAttr(std::make_shared<CAttribute>(153, TYPE_INT32, 10));

    EXPECT_EQ(DumpOf(*packet),
        L"Packet start:\n"
        L"\tType: OUTGOING\n"
        L"\tAttr(0): key: KEY_CHUNKTYPE, Type: INT32, {CHUNK_LOGIN}\n"
        L"\tAttr(1): key: KEY_REQUEST_ID, Type: INT32, {1f}\n"
        L"\tAttr(2): key: KEY_TIMESTAMP, Type: INT64, {1234}\n"
        L"\tAttr(3): key: KEY_NEW_SERVER, Type: ADDRESS, {10.0.0.1:443}\n"
        L"\tAttr(4): key: KEY_VEXLANAME, Type: STRING, [3]{\"abc\"}\n"
        L"\tAttr(5): key: KEY_SESSION_ID, Type: BINARY, [2]{0x0, 0xab}\n"
        L"\tAttr(6): key: KEY_CHATS, Type: INTARRAY, [2]{0x1, 0xff}\n"
        L"\tAttr(7): key: KEY_BUDDYRECORDS, Type: CONTAINER, {Packet start:\n"
        L"\tType: OUTGOING\n"
        L"\tAttr(0): key: KEY_BUDDYINDEX, Type: INT32, {10}\n"
        L"Packet end\n"
        L"}\n"
        L"\tAttr(8): key: <Invalid>, Type: INT32, {a}\n"
        L"Packet end\n");
}

TEST(PacketDump, NamesTheDirectionAndUnknownChunks)
{
    EXPECT_EQ(DumpOf(*Decode({0x41, 0x01, 0x00, 0x05, 0x55})),
        L"Packet start:\n\tType: INCOMMING\n\tAttr(0): key: KEY_CHUNKTYPE, Type: INT32, {<Invalid>}\nPacket end\n");
    CPacket internal(CPacket::INTERNAL);
    internal.AddAttr(std::make_shared<CAttribute>(KEY_CHUNKTYPE, TYPE_INT32, static_cast<int>(CHUNK_NO_NETWORK)));
    internal.AddAttr(std::make_shared<CAttribute>(KEY_WAITING_REQUEST_CHUNK, TYPE_INT32, -1));
    EXPECT_EQ(DumpOf(internal),
        L"Packet start:\n\tType: INTERNAL\n\tAttr(0): key: KEY_CHUNKTYPE, Type: INT32, {CHUNK_NO_NETWORK}\n"
        L"\tAttr(1): key: <Invalid>, Type: INT32, {ffffffff}\nPacket end\n");
}

TEST(PacketDump, NeverShowsPasswordsOrSavedCredentials)
{
    TPacketSPtr saved = PacketWith(KEY_VEXLANAME, TYPE_STRING, std::wstring(L"alice"));
    saved->AddAttr(std::make_shared<CAttribute>(KEY_PASSWORD, TYPE_STRING, std::wstring(L"s3cret")));
    TPacketSPtr login = PacketWith(KEY_CHUNKTYPE, TYPE_INT32, static_cast<int>(CHUNK_LOGIN));
    login->AddAttr(std::make_shared<CAttribute>(KEY_PASSWORD, TYPE_STRING, std::wstring(L"s3cret")));
    login->AddAttr(std::make_shared<CAttribute>(KEY_NEWPASSWORD, TYPE_STRING, std::wstring(L"n3w")));
    login->AddAttr(std::make_shared<CAttribute>(KEY_SAVEDDATA, TYPE_CONTAINER, saved));

    std::wstring text = DumpOf(*login);
    EXPECT_EQ(text.find(L"s3cret"), std::wstring::npos);
    EXPECT_EQ(text.find(L"n3w"), std::wstring::npos);
    EXPECT_EQ(text.find(L"alice"), std::wstring::npos);
    EXPECT_NE(text.find(L"\tAttr(1): key: KEY_PASSWORD, Type: STRING, {<redacted>}\n"), std::wstring::npos);
    EXPECT_NE(text.find(L"\tAttr(3): key: KEY_SAVEDDATA, Type: CONTAINER, {<redacted>}\n"), std::wstring::npos);
}

TEST(PacketDump, LargeValuesShowTheirLengthAndOnlyTheirStart)
{
    const std::vector<unsigned char> bytes(1 << 20, 0xAB);
    const std::vector<int> numbers(100000, 7);
    TPacketSPtr packet = PacketWith(KEY_AVATARIMAGE, TYPE_BINARY, bytes.data(), static_cast<int>(bytes.size()));
    packet->AddAttr(std::make_shared<CAttribute>(KEY_CHATS, TYPE_INTARRAY, numbers.data(), static_cast<int>(numbers.size())));

    const size_t before = VexlaTest::AllocationCount();
    const std::wstring text = DumpOf(*packet);
    // Formatting a megabyte must not cost an allocation per byte.
    EXPECT_LT(VexlaTest::AllocationCount() - before, 200u);

    std::wstring shownBytes = L"0xab";
    for (int i = 1; i < 256; ++i)
        shownBytes += L", 0xab";
    std::wstring shownNumbers = L"0x7";
    for (int i = 1; i < 256; ++i)
        shownNumbers += L", 0x7";
    EXPECT_NE(text.find(L"Type: BINARY, [1048576]{" + shownBytes + L", ...}\n"), std::wstring::npos);
    EXPECT_NE(text.find(L"Type: INTARRAY, [100000]{" + shownNumbers + L", ...}\n"), std::wstring::npos);
    EXPECT_LT(text.size(), 4000u);
}

TEST(NameTables, CoverEveryCodeAndNothingElse)
{
    EXPECT_STREQ(CAttrKey::Lookup(0), L"KEY_ATTR_ROOT_PRIVATE_KEY");
    EXPECT_STREQ(CAttrKey::Lookup(KEY_PASSWORD), L"KEY_PASSWORD");
    EXPECT_STREQ(CAttrKey::Lookup(151), L"KEY_CHATS");
    EXPECT_STREQ(CAttrKey::Lookup(152), L"<Invalid>");
    EXPECT_STREQ(CAttrKey::Lookup(154), L"<Invalid>");
    EXPECT_STREQ(CAttrKey::Lookup(155), L"KEY_OPERATOR_ID");
    EXPECT_STREQ(CAttrKey::Lookup(156), L"<Invalid>");
    EXPECT_STREQ(CAttrKey::Lookup(-1), L"<Invalid>");
    EXPECT_STREQ(CAttrKey::Lookup(1000), L"<Invalid>");

    EXPECT_STREQ(CAttrChunk::Lookup(0), L"CHUNK_GETPRESENCEUPDATE");
    EXPECT_STREQ(CAttrChunk::Lookup(84), L"CHUNK_MARKEDCHATSREAD");
    EXPECT_STREQ(CAttrChunk::Lookup(85), L"<Invalid>");
    EXPECT_STREQ(CAttrChunk::Lookup(-1), L"<Invalid>");
    EXPECT_STREQ(CAttrChunk::Lookup(0x40000000), L"<Invalid>");
    EXPECT_STREQ(CAttrChunk::Lookup(0x40000001), L"CHUNK_HANDSHAKE_CONTINUE");
    EXPECT_STREQ(CAttrChunk::Lookup(0x40000006), L"CHUNK_RECONNECTED");
    EXPECT_STREQ(CAttrChunk::Lookup(0x40000007), L"<Invalid>");
}
