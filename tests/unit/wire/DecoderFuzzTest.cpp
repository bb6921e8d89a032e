#include <gtest/gtest.h>

#include <random>

#include "Network/AttrKey.h"
#include "Network/Attribute.h"
#include "WireTestHelpers.h"
#include "support/LogCapture.h"

using namespace VexlaLib;
using namespace VexlaTest;

namespace {

// Whatever decodes must encode to bytes that decode to the same encoding again.
void ExpectStableDecoding(const TByteArray& input)
{
    TPacketSPtr packet = Decode(input);
    if (packet) {
        TByteArray encoded = Encode(*packet);
        TPacketSPtr again = Decode(encoded);
        ASSERT_TRUE(again);
        ASSERT_EQ(Encode(*again), encoded);
    }
    CLogCapture::Get().Clear();
}

TByteArray SampleBody()
{
    const unsigned char address[] = {127, 0, 0, 1, 0x27, 0x1A};
    const unsigned char data[] = {1, 2, 3, 4, 5};
    const int values[] = {7, -7, 300};
    TPacketSPtr record = PacketWith(KEY_VEXLANAME, TYPE_STRING, std::wstring(L"caf\u00e9"));
    record->AddAttr(std::make_shared<CAttribute>(KEY_ONLINESTATUSES, TYPE_INTARRAY, values, 3));
    TPacketSPtr packet = PacketWith(KEY_CHUNKTYPE, TYPE_INT32, 37);
    packet->AddAttr(std::make_shared<CAttribute>(KEY_TIMESTAMP, TYPE_INT64, -5LL));
    packet->AddAttr(std::make_shared<CAttribute>(KEY_NEW_SERVER, TYPE_ADDRESS, address));
    packet->AddAttr(std::make_shared<CAttribute>(KEY_SESSION_ID, TYPE_BINARY, data, 5));
    packet->AddAttr(std::make_shared<CAttribute>(KEY_BUDDYRECORDS, TYPE_CONTAINER, record));
    return Encode(*packet);
}

}  // namespace

TEST(DecoderFuzz, RandomBytesNeverCrashTheDecoder)
{
    std::mt19937 random(20261207);
    for (int round = 0; round < 20000; ++round) {
        TByteArray input(random() % 48);
        for (unsigned char& byte : input) {
            // Small values are the interesting ones: type codes, short lengths, the container mark.
            byte = static_cast<unsigned char>(random() % 3 == 0 ? random() : random() % 8);
        }
        if (!input.empty() && random() % 2 == 0) {
            input[0] = 0x41;
        }
        ExpectStableDecoding(input);
    }
}

TEST(DecoderFuzz, MutatedPacketsNeverCrashTheDecoder)
{
    const TByteArray sample = SampleBody();
    ASSERT_TRUE(Decode(sample));
    std::mt19937 random(7);
    for (int round = 0; round < 20000; ++round) {
        TByteArray input = sample;
        for (int edits = 1 + random() % 4; edits > 0; --edits) {
            size_t at = random() % input.size();
            switch (random() % 4) {
            case 0:
                input[at] = static_cast<unsigned char>(random());
                break;
            case 1:
                input[at] ^= static_cast<unsigned char>(1u << (random() % 8));
                break;
            case 2:
                input.resize(at + 1);
                break;
            default:
                input.insert(input.begin() + static_cast<long>(at), static_cast<unsigned char>(random()));
                break;
            }
        }
        ExpectStableDecoding(input);
    }
}
