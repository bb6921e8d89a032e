#include <array>
#include <cstring>

#include "Utils/CRC32Kernels.h"

namespace VexlaLib {

namespace CRC32Kernels {

namespace {

const int SLICES = 16;
typedef std::array<std::array<uint32_t, 256>, SLICES> TTables;

// Row 0 is the classic table; row k advances a byte's contribution by k further zero bytes.
// Built at compile time, so it is ready before any static constructor runs.
constexpr TTables MakeTables()
{
    TTables tables{};
    for (uint32_t n = 0; n < 256; ++n) {
        uint32_t value = n;
        for (int bit = 0; bit < 8; ++bit) {
            value = (value & 1) ? (0xEDB88320 ^ (value >> 1)) : (value >> 1);
        }
        tables[0][n] = value;
    }
    for (int row = 1; row < SLICES; ++row) {
        for (uint32_t n = 0; n < 256; ++n) {
            const uint32_t previous = tables[row - 1][n];
            tables[row][n] = (previous >> 8) ^ tables[0][previous & 0xFF];
        }
    }
    return tables;
}

constexpr TTables TABLES = MakeTables();

inline uint32_t LoadLittleEndian(const unsigned char* data)
{
    return uint32_t(data[0]) | (uint32_t(data[1]) << 8) | (uint32_t(data[2]) << 16) | (uint32_t(data[3]) << 24);
}

// The contribution of the four bytes of `word` standing `row` ... `row` - 3 places before the end of
// a 16-byte step.
inline uint32_t Slice(uint32_t word, int row)
{
    return TABLES[row][word & 0xFF] ^ TABLES[row - 1][(word >> 8) & 0xFF] ^ TABLES[row - 2][(word >> 16) & 0xFF] ^
           TABLES[row - 3][word >> 24];
}

}  // namespace

uint32_t TableEntry(unsigned char index)
{
    return TABLES[0][index];
}

uint32_t UpdateBytewise(uint32_t value, const unsigned char* data, size_t length)
{
    for (const unsigned char* end = data + length; data < end; ++data) {
        value = TABLES[0][(value ^ *data) & 0xFF] ^ (value >> 8);
    }
    return value;
}

uint32_t UpdateSliced(uint32_t value, const unsigned char* data, size_t length)
{
    for (; length >= SLICES; length -= SLICES, data += SLICES) {
        const uint32_t first = LoadLittleEndian(data) ^ value;
        value = Slice(first, 15) ^ Slice(LoadLittleEndian(data + 4), 11) ^ Slice(LoadLittleEndian(data + 8), 7) ^
                Slice(LoadLittleEndian(data + 12), 3);
    }
    return UpdateBytewise(value, data, length);
}

}  // namespace CRC32Kernels

}  // namespace VexlaLib
