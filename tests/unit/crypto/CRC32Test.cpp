#include <gtest/gtest.h>
#include <zlib.h>

#include <random>

#include "Utils/CRC32.h"

using VexlaLib::CCRC32;
using VexlaLib::TByteArray;
using VexlaLib::TByteArraySPtr;

TEST(CRC32, CheckValueOfTheDigits)
{
    CCRC32 crc;
    for (char digit : std::string("123456789")) {
        crc.Update(static_cast<unsigned char>(digit));
    }
    EXPECT_EQ(0xCBF43926u, crc.GetCheckSum());
    EXPECT_EQ(0u, CCRC32().GetCheckSum());
}

TEST(CRC32, KeyedStartEqualsCrcOfKeyThenData)
{
    std::mt19937 random(32);
    for (int round = 0; round < 2000; ++round) {
        TByteArraySPtr key = std::make_shared<TByteArray>(random() % 40);
        TByteArraySPtr data = std::make_shared<TByteArray>(random() % 3000);
        for (auto& byte : *key)
            byte = static_cast<unsigned char>(random());
        for (auto& byte : *data)
            byte = static_cast<unsigned char>(random());

        CCRC32 crc;
        crc.Update(static_cast<unsigned char>(0x42));  // discarded by Reset
        crc.Reset(key);
        crc.Update(data);

        uLong expected = crc32(0L, Z_NULL, 0);
        expected = crc32(expected, key->data(), uInt(key->size()));
        expected = crc32(expected, data->data(), uInt(data->size()));
        ASSERT_EQ(uint32_t(expected), crc.GetCheckSum());
    }
}

TEST(CRC32, NullKeyIsAPlainStart)
{
    CCRC32 crc;
    crc.Reset(TByteArraySPtr());
    crc.Update(TByteArraySPtr());
    EXPECT_EQ(0u, crc.GetCheckSum());
}
