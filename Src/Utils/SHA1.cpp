#include "Utils/SHA1.h"

#include <cassert>
#include <cstring>

#include "Utils/SHA1Kernels.h"

namespace VexlaLib {

namespace SHA1Kernels {

void Digest(const void* data, size_t length, unsigned char* out, TCompress compress)
{
    const size_t BLOCK_LENGTH = 64;
    uint32_t state[5] = {0x67452301, 0xEFCDAB89, 0x98BADCFE, 0x10325476, 0xC3D2E1F0};
    const unsigned char* input = static_cast<const unsigned char*>(data);
    const size_t whole = length / BLOCK_LENGTH;
    compress(state, input, whole);
    const size_t remaining = length - whole * BLOCK_LENGTH;

    // Padding: 0x80, zeros, then the length in bits (its high word is always 0 here).
    unsigned char tail[2 * BLOCK_LENGTH] = {};
    if (remaining > 0) {
        memcpy(tail, input + whole * BLOCK_LENGTH, remaining);
    }
    tail[remaining] = 0x80;
    const size_t tailLength = remaining + 1 + 8 <= BLOCK_LENGTH ? BLOCK_LENGTH : 2 * BLOCK_LENGTH;
    const uint32_t bitLength = uint32_t(length) << 3;
    for (int n = 0; n < 4; ++n) {
        tail[tailLength - 1 - n] = static_cast<unsigned char>(bitLength >> (8 * n));
    }
    compress(state, tail, tailLength / BLOCK_LENGTH);

    for (int n = 0; n < 5; ++n) {
        out[4 * n] = static_cast<unsigned char>(state[n] >> 24);
        out[4 * n + 1] = static_cast<unsigned char>(state[n] >> 16);
        out[4 * n + 2] = static_cast<unsigned char>(state[n] >> 8);
        out[4 * n + 3] = static_cast<unsigned char>(state[n]);
    }
}

}  // namespace SHA1Kernels

void CSHA1::Calc(const void* data, int length, unsigned char* out)
{
    assert(length >= 0 && "SHA1.cpp: negative length");
    SHA1Kernels::Digest(data, static_cast<size_t>(length), out,
                        SHA1Kernels::ShaNiAvailable() ? SHA1Kernels::CompressShaNi : SHA1Kernels::CompressPortable);
}

std::vector<unsigned char> CSHA1::Calc(const std::vector<unsigned char>& data)
{
    std::vector<unsigned char> digest(DIGEST_LENGTH);
    Calc(data.data(), static_cast<int>(data.size()), digest.data());
    return digest;
}

void CSHA1::ToHexString(const unsigned char* digest, char* out)
{
    static const char HEX_DIGITS[] = "0123456789abcdef";
    for (int n = 0; n < DIGEST_LENGTH; ++n) {
        out[2 * n] = HEX_DIGITS[digest[n] >> 4];
        out[2 * n + 1] = HEX_DIGITS[digest[n] & 0x0F];
    }
    out[2 * DIGEST_LENGTH] = 0;
}

}  // namespace VexlaLib
