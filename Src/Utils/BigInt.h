#pragma once

#include <cstdint>
#include <vector>

namespace VexlaLib {

// Immutable signed integer of any size: a sign (-1, 0, +1) and a magnitude of 32-bit words, most
// significant first, without leading zero words. Byte forms are two's-complement big-endian.
// Invalid arguments (empty byte form, sign out of range, division by zero, a modulus that is not
// positive, an even modulus in ModPow, no inverse) raise standard exceptions.
class CBigInt
{
public:
    static const CBigInt ZERO;
    static const CBigInt ONE;

    CBigInt();
    // Two's-complement big-endian bytes; must not be empty.
    explicit CBigInt(const std::vector<unsigned char>& bytes);
    // Sign and big-endian magnitude bytes; sign 0 gives zero whatever the bytes.
    CBigInt(int sign, const std::vector<unsigned char>& magnitude);
    // Sign and magnitude words, most significant first.
    CBigInt(int sign, const std::vector<uint32_t>& words);
    static CBigInt ValueOf(long long value);

    // Two's-complement big-endian form in BitLength() / 8 + 1 bytes.
    std::vector<unsigned char> ToByteArray() const;

    int Sign() const { return m_sign; }
    CBigInt Add(const CBigInt& other) const;
    CBigInt Subtract(const CBigInt& other) const;
    CBigInt Multiply(const CBigInt& other) const;
    // Quotient rounded towards zero.
    CBigInt Divide(const CBigInt& divisor) const;
    // Remainder of Divide: takes the sign of this value.
    CBigInt Remainder(const CBigInt& divisor) const;
    // Result in 0 ... modulus-1; the modulus must be positive.
    CBigInt Mod(const CBigInt& modulus) const;
    CBigInt Negate() const;
    // Bitwise complement in two's complement: -this - 1.
    CBigInt Not() const;
    CBigInt ShiftLeft(int bits) const;
    // Arithmetic shift: rounds towards negative infinity.
    CBigInt ShiftRight(int bits) const;
    // this^exponent mod modulus by Montgomery multiplication; the modulus must be positive and odd
    // (unless it is one). A negative exponent uses the inverse of this value.
    CBigInt ModPow(const CBigInt& exponent, const CBigInt& modulus) const;
    CBigInt ModInverse(const CBigInt& modulus) const;

    bool Equals(const CBigInt& other) const;
    int CompareTo(const CBigInt& other) const;
    // Bits of the minimal two's-complement form, without the sign bit.
    int BitLength() const;
    int HashCode() const;

private:
    typedef std::vector<uint32_t> TWords;

    // Takes least-significant-first words (as the arithmetic uses them) and trims them.
    static CBigInt FromLimbs(int sign, TWords limbs);
    TWords Limbs() const;
    bool TestBit(int bit) const;

    int m_sign;
    TWords m_mag;
    mutable int m_bitLength;
};

}  // namespace VexlaLib
