#include "Utils/SHA1Kernels.h"

#include <utility>

#if defined(__x86_64__) || defined(__i386__)
#include <cpuid.h>
#include <immintrin.h>
#define VEXLA_SHA1_SHANI 1
#endif

namespace VexlaLib {

namespace SHA1Kernels {

#ifdef VEXLA_SHA1_SHANI

namespace {

#define VEXLA_SHANI_TARGET __attribute__((target("sha,ssse3,sse4.1")))

// The working state of one block: ABCD in one register, E carried in two that alternate, and the
// message schedule as a ring of four registers of four words each.
struct CRounds
{
    __m128i abcd;
    __m128i e[2];
    __m128i message[4];
};

// Four rounds, group G of the twenty: feeds E and the schedule word into ABCD and advances the
// schedule as far as the later groups need it.
template <int G>
VEXLA_SHANI_TARGET __attribute__((always_inline)) inline void FourRounds(CRounds& r)
{
    const int current = G % 4;
    __m128i& e = r.e[G % 2];
    if constexpr (G == 0) {
        e = _mm_add_epi32(e, r.message[0]);
    } else {
        e = _mm_sha1nexte_epu32(e, r.message[current]);
    }
    r.e[(G + 1) % 2] = r.abcd;
    if constexpr (G >= 3 && G <= 18) {
        r.message[(current + 1) % 4] = _mm_sha1msg2_epu32(r.message[(current + 1) % 4], r.message[current]);
    }
    r.abcd = _mm_sha1rnds4_epu32(r.abcd, e, G / 5);
    if constexpr (G >= 1 && G <= 16) {
        r.message[(current + 3) % 4] = _mm_sha1msg1_epu32(r.message[(current + 3) % 4], r.message[current]);
    }
    if constexpr (G >= 2 && G <= 17) {
        r.message[(current + 2) % 4] = _mm_xor_si128(r.message[(current + 2) % 4], r.message[current]);
    }
}

template <int... G>
VEXLA_SHANI_TARGET __attribute__((always_inline)) inline void AllRounds(CRounds& r, std::integer_sequence<int, G...>)
{
    (FourRounds<G>(r), ...);
}

}  // namespace

bool ShaNiAvailable()
{
    // Not every compiler's __builtin_cpu_supports knows "sha": the extended features of leaf 7 tell it
    // (EBX bit 29).
    static const bool available = [] {
        __builtin_cpu_init();
        unsigned int eax = 0, ebx = 0, ecx = 0, edx = 0;
        const bool sha = __get_cpuid_count(7, 0, &eax, &ebx, &ecx, &edx) && (ebx & (1u << 29)) != 0;
        return sha && __builtin_cpu_supports("sse4.1") && __builtin_cpu_supports("ssse3");
    }();
    return available;
}

VEXLA_SHANI_TARGET void CompressShaNi(uint32_t state[5], const unsigned char* blocks, size_t count)
{
    const __m128i byteSwap = _mm_set_epi64x(0x0001020304050607LL, 0x08090a0b0c0d0e0fLL);
    __m128i abcd = _mm_shuffle_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(state)), 0x1B);
    __m128i e = _mm_set_epi32(static_cast<int>(state[4]), 0, 0, 0);
    for (; count > 0; --count, blocks += 64) {
        CRounds r;
        r.abcd = abcd;
        r.e[0] = e;
        r.e[1] = _mm_setzero_si128();
        for (int n = 0; n < 4; ++n) {
            r.message[n] = _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(blocks) + n), byteSwap);
        }
        AllRounds(r, std::make_integer_sequence<int, 20>());
        // After group 19 the next E sits in e[0].
        e = _mm_sha1nexte_epu32(r.e[0], e);
        abcd = _mm_add_epi32(r.abcd, abcd);
    }
    _mm_storeu_si128(reinterpret_cast<__m128i*>(state), _mm_shuffle_epi32(abcd, 0x1B));
    state[4] = static_cast<uint32_t>(_mm_extract_epi32(e, 3));
}

#else

bool ShaNiAvailable()
{
    return false;
}

void CompressShaNi(uint32_t state[5], const unsigned char* blocks, size_t count)
{
    CompressPortable(state, blocks, count);
}

#endif

}  // namespace SHA1Kernels

}  // namespace VexlaLib
