#include "Utils/SHA1Kernels.h"

namespace VexlaLib {

namespace SHA1Kernels {

namespace {

const size_t BLOCK_LENGTH = 64;

inline uint32_t RotateLeft(uint32_t value, int bits)
{
    return (value << bits) | (value >> (32 - bits));
}

void ProcessBlock(uint32_t state[5], const unsigned char* block)
{
    uint32_t w[80];
    for (int t = 0; t < 16; ++t) {
        w[t] = (uint32_t(block[4 * t]) << 24) | (uint32_t(block[4 * t + 1]) << 16) | (uint32_t(block[4 * t + 2]) << 8) |
               uint32_t(block[4 * t + 3]);
    }
    for (int t = 16; t < 80; ++t) {
        w[t] = RotateLeft(w[t - 3] ^ w[t - 8] ^ w[t - 14] ^ w[t - 16], 1);
    }
    uint32_t a = state[0], b = state[1], c = state[2], d = state[3], e = state[4];
    for (int t = 0; t < 80; ++t) {
        uint32_t f, k;
        if (t < 20) {
            f = (b & c) | (~b & d);
            k = 0x5A827999;
        } else if (t < 40) {
            f = b ^ c ^ d;
            k = 0x6ED9EBA1;
        } else if (t < 60) {
            f = (b & c) | (b & d) | (c & d);
            k = 0x8F1BBCDC;
        } else {
            f = b ^ c ^ d;
            k = 0xCA62C1D6;
        }
        uint32_t temp = RotateLeft(a, 5) + f + e + k + w[t];
        e = d;
        d = c;
        c = RotateLeft(b, 30);
        b = a;
        a = temp;
    }
    state[0] += a;
    state[1] += b;
    state[2] += c;
    state[3] += d;
    state[4] += e;
}

}  // namespace

void CompressPortable(uint32_t state[5], const unsigned char* blocks, size_t count)
{
    for (; count > 0; --count, blocks += BLOCK_LENGTH) {
        ProcessBlock(state, blocks);
    }
}

}  // namespace SHA1Kernels

}  // namespace VexlaLib
