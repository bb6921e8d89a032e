#pragma once

#include <cstddef>
#include <cstdint>

namespace VexlaLib {

// The ways CCRC32 advances its running value (the register before the final complement) over a
// buffer. All give the same result; CCRC32 picks the fastest one the processor offers. They are
// exposed so that tests and benchmarks can hold each one against the others.
namespace CRC32Kernels {

// One table lookup per byte: the reference the other two are checked against.
uint32_t UpdateBytewise(uint32_t value, const unsigned char* data, size_t length);
// Sixteen tables, sixteen bytes per step (slicing-by-16); portable.
uint32_t UpdateSliced(uint32_t value, const unsigned char* data, size_t length);
// Folding with the carry-less multiply (PCLMULQDQ), 64 bytes per step; only where
// ClmulAvailable() is true. Lengths below 64 bytes and the tail go through UpdateSliced.
uint32_t UpdateClmul(uint32_t value, const unsigned char* data, size_t length);
bool ClmulAvailable();

// The table of the reflected polynomial 0xEDB88320 indexed by one byte.
uint32_t TableEntry(unsigned char index);

}  // namespace CRC32Kernels

}  // namespace VexlaLib
