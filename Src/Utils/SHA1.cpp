#include "Utils/SHA1.h"

#include <cassert>
#include <cstdint>
#include <cstring>

namespace VexlaLib {

namespace {

const int BLOCK_LENGTH = 64;

uint32_t RotateLeft(uint32_t value, int bits) {
    return (value << bits) | (value >> (32 - bits));
}

void ProcessBlock(uint32_t state[5], const unsigned char* block) {
    uint32_t w[80];
    for (int t = 0; t < 16; ++t) {
        w[t] = (uint32_t(block[4 * t]) << 24) | (uint32_t(block[4 * t + 1]) << 16) |
               (uint32_t(block[4 * t + 2]) << 8) | uint32_t(block[4 * t + 3]);
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

void CSHA1::Calc(const void* data, int length, unsigned char* out) {
    assert(length >= 0 && "SHA1.cpp: negative length");
    uint32_t state[5] = {0x67452301, 0xEFCDAB89, 0x98BADCFE, 0x10325476, 0xC3D2E1F0};
    const unsigned char* input = static_cast<const unsigned char*>(data);
    int remaining = length;
    for (; remaining >= BLOCK_LENGTH; remaining -= BLOCK_LENGTH, input += BLOCK_LENGTH) {
        ProcessBlock(state, input);
    }

    // Padding: 0x80, zeros, then the length in bits (its high word is always 0 here).
    unsigned char tail[2 * BLOCK_LENGTH] = {};
    if (remaining > 0) {
        memcpy(tail, input, remaining);
    }
    tail[remaining] = 0x80;
    int tailLength = remaining + 1 + 8 <= BLOCK_LENGTH ? BLOCK_LENGTH : 2 * BLOCK_LENGTH;
    uint32_t bitLength = uint32_t(length) << 3;
    for (int n = 0; n < 4; ++n) {
        tail[tailLength - 1 - n] = static_cast<unsigned char>(bitLength >> (8 * n));
    }
    for (int offset = 0; offset < tailLength; offset += BLOCK_LENGTH) {
        ProcessBlock(state, tail + offset);
    }

    for (int n = 0; n < 5; ++n) {
        out[4 * n] = static_cast<unsigned char>(state[n] >> 24);
        out[4 * n + 1] = static_cast<unsigned char>(state[n] >> 16);
        out[4 * n + 2] = static_cast<unsigned char>(state[n] >> 8);
        out[4 * n + 3] = static_cast<unsigned char>(state[n]);
    }
}

std::vector<unsigned char> CSHA1::Calc(const std::vector<unsigned char>& data) {
    std::vector<unsigned char> digest(DIGEST_LENGTH);
    Calc(data.data(), static_cast<int>(data.size()), digest.data());
    return digest;
}

void CSHA1::ToHexString(const unsigned char* digest, char* out) {
    static const char HEX_DIGITS[] = "0123456789abcdef";
    for (int n = 0; n < DIGEST_LENGTH; ++n) {
        out[2 * n] = HEX_DIGITS[digest[n] >> 4];
        out[2 * n + 1] = HEX_DIGITS[digest[n] & 0x0F];
    }
    out[2 * DIGEST_LENGTH] = 0;
}

}  // namespace VexlaLib
