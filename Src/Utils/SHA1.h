#pragma once

#include <vector>

namespace VexlaLib {

// SHA-1 message digest (FIPS 180-1). Stateless: every operation is static. Blocks go through the
// processor's SHA instructions where it has them (SHA1Kernels.h).
class CSHA1 {
public:
    static const int DIGEST_LENGTH = 20;

    // Writes the 20-byte digest of `length` bytes at `data` to `out`; `out` may overlap the input.
    static void Calc(const void* data, int length, unsigned char* out);
    static std::vector<unsigned char> Calc(const std::vector<unsigned char>& data);

    // Writes the digest as 40 lowercase hexadecimal characters and a terminating 0 (41 bytes).
    static void ToHexString(const unsigned char* digest, char* out);
};

}  // namespace VexlaLib
