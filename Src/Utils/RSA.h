#pragma once

#include "Utils/BigInt.h"
#include "Utils/ByteArray.h"

namespace VexlaLib {

// Raw RSA with the protocol's block conventions: server identity verification with message
// recovery under a root key, and encryption of the master secret under the server key.
// Failures raise standard exceptions; the caller treats them as a failed handshake step.
class CRSA
{
public:
    // Key lengths are given in bits; byte vectors are two's-complement big-endian.
    CRSA(int bits, const TByteArray& exponent);
    CRSA(int bits, const TByteArray& exponent, const TByteArray& modulus);

    CBigInt GetServerExp() const { return m_exponent; }
    CBigInt GetServerMod() const { return m_modulus; }
    void SetServerMod(const TByteArray& modulus);

    // x^exponent mod modulus; both must be set.
    CBigInt Encrypt(const CBigInt& value) const;
    // Each run of k-1 bytes, topped with 0x01, becomes one k-byte little-endian block.
    TByteArray Encrypt(const TByteArray& data) const;
    // Each whole k-byte little-endian block is raised to the exponent; the low k-1 bytes of each
    // result are kept. The output has the input's length; a trailing partial block stays zero.
    TByteArray Decrypt(const TByteArray& data) const;

    // Checks an identity ("SK" and a 128-byte signature block) under a 1024-bit root key and returns
    // the server modulus it carries: 49 bytes, a zero byte then 48 bytes big-endian. With checkDigest
    // the 20 bytes beside the modulus must also be its SHA-1; without it only the trailer and the
    // marker (three bytes) are checked.
    static TByteArray DecryptServerIdentity(const TByteArray& identity, const CRSA& rootKey, bool checkDigest = false);
    // Recovers the server modulus from a verified block R (little-endian, at least 128 bytes):
    // R[0] must be 0xBC and R[0x46], R[0x45] must be "S", "U". On success `out` holds 49 bytes.
    static bool Decode(const TByteArray& block, TByteArray& out);
    // Whether the decoded block R carries the SHA-1 of the recovered modulus (49 bytes from Decode).
    static bool HasModulusDigest(const TByteArray& block, const TByteArray& modulus);
    // Message-recovery encoding of at most length-22 bytes into `length` bytes (SHA-1, trailer 0xBC).
    static TByteArray Encode(const TByteArray& message, int length);
    // The 50-byte master key packet value: "P" "S" and the encoded secret encrypted with the server key.
    static TByteArray EncryptSecret(const TByteArray& secret, const CRSA& serverKey);

    // `length` bytes holding `bytes` reversed, zero-filled; surplus leading input bytes are dropped.
    static TByteArray ToLittleEndian(const TByteArray& bytes, int length);
    // A zero byte followed by `bytes` reversed: a little-endian block as a non-negative big-endian number.
    static TByteArray FromLittleEndian(const TByteArray& bytes);

private:
    CBigInt m_exponent;
    bool m_exponentSet;
    CBigInt m_modulus;
    bool m_modulusSet;
    int m_keyLength;
};

}  // namespace VexlaLib
