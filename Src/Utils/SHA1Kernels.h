#pragma once

#include <cstddef>
#include <cstdint>

namespace VexlaLib {

// The SHA-1 compression function over whole 64-byte blocks, portable and with the processor's SHA
// instructions. CSHA1 uses the fastest one present; tests and benchmarks hold them against each other.
namespace SHA1Kernels {

typedef void (*TCompress)(uint32_t state[5], const unsigned char* blocks, size_t count);

void CompressPortable(uint32_t state[5], const unsigned char* blocks, size_t count);
// Only where ShaNiAvailable() is true.
void CompressShaNi(uint32_t state[5], const unsigned char* blocks, size_t count);
bool ShaNiAvailable();

// The 20-byte digest of `length` bytes at `data` computed with `compress`; `out` may overlap the input.
void Digest(const void* data, size_t length, unsigned char* out, TCompress compress);

}  // namespace SHA1Kernels

}  // namespace VexlaLib
