#include <gtest/gtest.h>
#include <zlib.h>

#include <random>
#include <vector>

#include "Utils/CRC32.h"
#include "Utils/CRC32Kernels.h"

namespace Kernels = VexlaLib::CRC32Kernels;

namespace {

// Lengths around every step of the three paths (16-byte slices, 64-byte folds, the 16-byte tail) and
// large ones; each is also taken at every start offset inside a 16-byte line.
const size_t LENGTHS[] = {0, 1, 3, 15, 16, 17, 31, 48, 63, 64, 65, 79, 80, 127, 128, 129, 255, 1500, 4099, 65536 + 13};

std::vector<unsigned char> RandomBytes(size_t length, std::mt19937& random)
{
    std::vector<unsigned char> bytes(length);
    for (auto& byte : bytes) {
        byte = static_cast<unsigned char>(random());
    }
    return bytes;
}

// zlib works on the complemented register.
uint32_t Zlib(uint32_t value, const unsigned char* data, size_t length)
{
    return ~uint32_t(crc32(~value & 0xFFFFFFFFul, data, uInt(length)));
}

}  // namespace

TEST(CRC32Kernels, EveryPathAgreesWithZlibAtEveryLengthAndOffset)
{
    std::mt19937 random(26);
    const std::vector<unsigned char> buffer = RandomBytes(65536 + 64, random);
    for (size_t length : LENGTHS) {
        for (size_t offset = 0; offset < 16; ++offset) {
            const unsigned char* data = buffer.data() + offset;
            const uint32_t start = offset == 0 ? 0xFFFFFFFF : uint32_t(random());
            const uint32_t expected = Zlib(start, data, length);
            ASSERT_EQ(expected, Kernels::UpdateBytewise(start, data, length)) << length << " at " << offset;
            ASSERT_EQ(expected, Kernels::UpdateSliced(start, data, length)) << length << " at " << offset;
            if (Kernels::ClmulAvailable()) {
                ASSERT_EQ(expected, Kernels::UpdateClmul(start, data, length)) << length << " at " << offset;
            }
        }
    }
}

TEST(CRC32Kernels, RandomSplitsOfOneStreamGiveTheWholeChecksum)
{
    std::mt19937 random(27);
    for (int round = 0; round < 300; ++round) {
        const std::vector<unsigned char> data = RandomBytes(random() % 5000, random);
        VexlaLib::CCRC32 pieces;
        for (size_t at = 0; at < data.size();) {
            const size_t piece = std::min<size_t>(data.size() - at, random() % 300);
            pieces.Update(data.data() + at, piece);
            at += piece;
        }
        ASSERT_EQ(uint32_t(crc32(0, data.data(), uInt(data.size()))), pieces.GetCheckSum()) << data.size();
    }
}

TEST(CRC32Kernels, TheProcessorPathIsTakenWhereItExists)
{
#if defined(__x86_64__)
    // Every x86-64 processor this runs on in practice has the carry-less multiply; say so when not.
    if (!Kernels::ClmulAvailable()) {
        GTEST_SKIP() << "no PCLMULQDQ on this processor: only the sliced tables were checked";
    }
    EXPECT_TRUE(Kernels::ClmulAvailable());
#else
    EXPECT_FALSE(Kernels::ClmulAvailable());
#endif
}
