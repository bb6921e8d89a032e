#include "Utils/CRC32Kernels.h"

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define VEXLA_CRC32_CLMUL 1
#endif

namespace VexlaLib {

namespace CRC32Kernels {

#ifdef VEXLA_CRC32_CLMUL

namespace {

const size_t BLOCK = 64;
const size_t LANE = 16;

// Folding constants of the bit-reflected polynomial: x^(4*128+32) and x^(4*128-32) mod P for four
// lanes at a time, x^(128+32) and x^(128-32) for one lane, x^64 for the last 64 bits, then P itself
// and its Barrett quotient floor(x^64 / P), all bit-reflected and shifted for the reflected domain.
const uint64_t FOLD_BY_FOUR[2] = {0x0154442bd4ull, 0x01c6e41596ull};
const uint64_t FOLD_BY_ONE[2] = {0x01751997d0ull, 0x00ccaa009eull};
const uint64_t FOLD_64[2] = {0x0163cd6124ull, 0};
const uint64_t BARRETT[2] = {0x01db710641ull, 0x01f7011641ull};

__attribute__((target("pclmul,sse4.1"))) inline __m128i Load(const uint64_t constants[2])
{
    return _mm_set_epi64x(static_cast<long long>(constants[1]), static_cast<long long>(constants[0]));
}

// lane * x^(distance) folded onto `next`: both halves multiplied by their constant, then added.
__attribute__((target("pclmul,sse4.1"))) inline __m128i Fold(__m128i lane, __m128i constants, __m128i next)
{
    const __m128i low = _mm_clmulepi64_si128(lane, constants, 0x00);
    const __m128i high = _mm_clmulepi64_si128(lane, constants, 0x11);
    return _mm_xor_si128(_mm_xor_si128(high, low), next);
}

__attribute__((target("pclmul,sse4.1"))) uint32_t FoldBlocks(uint32_t value, const unsigned char* data, size_t length)
{
    const __m128i* in = reinterpret_cast<const __m128i*>(data);
    __m128i x1 = _mm_xor_si128(_mm_loadu_si128(in), _mm_cvtsi32_si128(static_cast<int>(value)));
    __m128i x2 = _mm_loadu_si128(in + 1);
    __m128i x3 = _mm_loadu_si128(in + 2);
    __m128i x4 = _mm_loadu_si128(in + 3);
    in += 4;
    length -= BLOCK;

    const __m128i byFour = Load(FOLD_BY_FOUR);
    for (; length >= BLOCK; length -= BLOCK, in += 4) {
        x1 = Fold(x1, byFour, _mm_loadu_si128(in));
        x2 = Fold(x2, byFour, _mm_loadu_si128(in + 1));
        x3 = Fold(x3, byFour, _mm_loadu_si128(in + 2));
        x4 = Fold(x4, byFour, _mm_loadu_si128(in + 3));
    }

    const __m128i byOne = Load(FOLD_BY_ONE);
    x1 = Fold(x1, byOne, x2);
    x1 = Fold(x1, byOne, x3);
    x1 = Fold(x1, byOne, x4);
    for (; length >= LANE; length -= LANE, ++in) {
        x1 = Fold(x1, byOne, _mm_loadu_si128(in));
    }

    // 128 bits to 64: the low half times its constant, added to the high half.
    const __m128i low32 = _mm_setr_epi32(~0, 0, ~0, 0);
    x1 = _mm_xor_si128(_mm_srli_si128(x1, 8), _mm_clmulepi64_si128(x1, byOne, 0x10));
    // 64 bits to 32 plus a 64-bit remainder.
    x1 = _mm_xor_si128(_mm_srli_si128(x1, 4), _mm_clmulepi64_si128(_mm_and_si128(x1, low32), Load(FOLD_64), 0x00));
    // Barrett reduction to the 32-bit remainder.
    const __m128i barrett = Load(BARRETT);
    __m128i quotient = _mm_clmulepi64_si128(_mm_and_si128(x1, low32), barrett, 0x10);
    quotient = _mm_clmulepi64_si128(_mm_and_si128(quotient, low32), barrett, 0x00);
    return static_cast<uint32_t>(_mm_extract_epi32(_mm_xor_si128(x1, quotient), 1));
}

}  // namespace

bool ClmulAvailable()
{
    static const bool available = [] {
        __builtin_cpu_init();
        return __builtin_cpu_supports("pclmul") && __builtin_cpu_supports("sse4.1");
    }();
    return available;
}

uint32_t UpdateClmul(uint32_t value, const unsigned char* data, size_t length)
{
    if (length < BLOCK) {
        return UpdateSliced(value, data, length);
    }
    const size_t folded = length & ~(LANE - 1);
    return UpdateSliced(FoldBlocks(value, data, folded), data + folded, length - folded);
}

#else

bool ClmulAvailable()
{
    return false;
}

uint32_t UpdateClmul(uint32_t value, const unsigned char* data, size_t length)
{
    return UpdateSliced(value, data, length);
}

#endif

}  // namespace CRC32Kernels

}  // namespace VexlaLib
