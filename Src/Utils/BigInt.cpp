#include "Utils/BigInt.h"

#include <algorithm>
#include <climits>
#include <stdexcept>

#include "Utils/Montgomery.h"

namespace VexlaLib {

namespace {

// Magnitudes as the arithmetic below uses them: least significant word first.
typedef std::vector<uint32_t> TLimbs;

const uint64_t WORD_MASK = 0xFFFFFFFFull;

// Montgomery multiplication on the widest limbs the compiler has products for.
#ifdef __SIZEOF_INT128__
__extension__ typedef unsigned __int128 TUint128;
typedef CMontgomery<uint64_t, TUint128> TMontgomery;
#else
typedef CMontgomery<uint32_t, uint64_t> TMontgomery;
#endif

void Trim(TLimbs& a)
{
    while (!a.empty() && a.back() == 0) {
        a.pop_back();
    }
}

int CompareMagnitudes(const TLimbs& a, const TLimbs& b)
{
    if (a.size() != b.size()) {
        return a.size() < b.size() ? -1 : 1;
    }
    for (size_t n = a.size(); n-- > 0;) {
        if (a[n] != b[n]) {
            return a[n] < b[n] ? -1 : 1;
        }
    }
    return 0;
}

TLimbs AddMagnitudes(const TLimbs& a, const TLimbs& b)
{
    const TLimbs& longer = a.size() >= b.size() ? a : b;
    const TLimbs& shorter = a.size() >= b.size() ? b : a;
    TLimbs sum(longer.size() + 1);
    uint64_t carry = 0;
    for (size_t n = 0; n < longer.size(); ++n) {
        carry += uint64_t(longer[n]) + (n < shorter.size() ? shorter[n] : 0);
        sum[n] = uint32_t(carry);
        carry >>= 32;
    }
    sum[longer.size()] = uint32_t(carry);
    Trim(sum);
    return sum;
}

// a - b for a >= b.
TLimbs SubtractMagnitudes(const TLimbs& a, const TLimbs& b)
{
    TLimbs difference(a.size());
    int64_t borrow = 0;
    for (size_t n = 0; n < a.size(); ++n) {
        int64_t value = int64_t(a[n]) - (n < b.size() ? b[n] : 0) - borrow;
        borrow = value < 0 ? 1 : 0;
        difference[n] = uint32_t(value + (borrow << 32));
    }
    Trim(difference);
    return difference;
}

TLimbs MultiplyMagnitudes(const TLimbs& a, const TLimbs& b)
{
    if (a.empty() || b.empty()) {
        return TLimbs();
    }
    TLimbs product(a.size() + b.size());
    for (size_t i = 0; i < a.size(); ++i) {
        uint64_t carry = 0;
        for (size_t j = 0; j < b.size(); ++j) {
            carry += uint64_t(a[i]) * b[j] + product[i + j];
            product[i + j] = uint32_t(carry);
            carry >>= 32;
        }
        product[i + b.size()] = uint32_t(carry);
    }
    Trim(product);
    return product;
}

TLimbs ShiftLeftMagnitude(const TLimbs& a, int bits)
{
    if (a.empty()) {
        return TLimbs();
    }
    size_t words = size_t(bits) / 32;
    int rest = bits % 32;
    TLimbs shifted(a.size() + words + 1);
    for (size_t n = 0; n < a.size(); ++n) {
        uint64_t value = uint64_t(a[n]) << rest;
        shifted[n + words] |= uint32_t(value);
        shifted[n + words + 1] |= uint32_t(value >> 32);
    }
    Trim(shifted);
    return shifted;
}

// Shifts right; `lostBits` tells whether any one bit was shifted out.
TLimbs ShiftRightMagnitude(const TLimbs& a, int bits, bool& lostBits)
{
    size_t words = size_t(bits) / 32;
    int rest = bits % 32;
    lostBits = false;
    for (size_t n = 0; n < std::min(words, a.size()); ++n) {
        lostBits = lostBits || a[n] != 0;
    }
    if (words >= a.size()) {
        return TLimbs();
    }
    if (rest != 0 && (a[words] & ((1u << rest) - 1)) != 0) {
        lostBits = true;
    }
    TLimbs shifted(a.size() - words);
    for (size_t n = 0; n < shifted.size(); ++n) {
        uint64_t value = a[n + words];
        if (n + words + 1 < a.size()) {
            value |= uint64_t(a[n + words + 1]) << 32;
        }
        shifted[n] = uint32_t(value >> rest);
    }
    Trim(shifted);
    return shifted;
}

int LeadingZeros(uint32_t word)
{
    int count = 0;
    for (uint32_t bit = 0x80000000u; bit != 0 && (word & bit) == 0; bit >>= 1) {
        ++count;
    }
    return count;
}

// Long division of magnitudes (Knuth, algorithm D); the divisor is not zero.
void DivideMagnitudes(const TLimbs& u, const TLimbs& v, TLimbs& quotient, TLimbs& remainder)
{
    if (CompareMagnitudes(u, v) < 0) {
        quotient.clear();
        remainder = u;
        return;
    }
    const size_t n = v.size();
    const size_t m = u.size();
    if (n == 1) {
        quotient.assign(m, 0);
        uint64_t rest = 0;
        for (size_t j = m; j-- > 0;) {
            uint64_t value = (rest << 32) | u[j];
            quotient[j] = uint32_t(value / v[0]);
            rest = value % v[0];
        }
        Trim(quotient);
        remainder.assign(1, uint32_t(rest));
        Trim(remainder);
        return;
    }

    // Normalise so that the divisor's top bit is set; the estimates below are then off by at most 2.
    const int shift = LeadingZeros(v[n - 1]);
    TLimbs vn(n);
    TLimbs un(m + 1);
    for (size_t i = n; i-- > 0;) {
        vn[i] = (v[i] << shift) | (shift != 0 && i > 0 ? v[i - 1] >> (32 - shift) : 0);
    }
    un[m] = shift != 0 ? u[m - 1] >> (32 - shift) : 0;
    for (size_t i = m; i-- > 0;) {
        un[i] = (u[i] << shift) | (shift != 0 && i > 0 ? u[i - 1] >> (32 - shift) : 0);
    }

    quotient.assign(m - n + 1, 0);
    for (size_t j = m - n + 1; j-- > 0;) {
        uint64_t numerator = (uint64_t(un[j + n]) << 32) | un[j + n - 1];
        uint64_t qhat = numerator / vn[n - 1];
        uint64_t rhat = numerator % vn[n - 1];
        while (qhat > WORD_MASK || qhat * vn[n - 2] > ((rhat << 32) | un[j + n - 2])) {
            --qhat;
            rhat += vn[n - 1];
            if (rhat > WORD_MASK) {
                break;
            }
        }
        // Multiply and subtract qhat * vn from un[j ... j+n].
        int64_t borrow = 0;
        int64_t value = 0;
        for (size_t i = 0; i < n; ++i) {
            uint64_t product = qhat * vn[i];
            value = int64_t(un[i + j]) - borrow - int64_t(product & WORD_MASK);
            un[i + j] = uint32_t(value);
            borrow = int64_t(product >> 32) - (value >> 32);
        }
        value = int64_t(un[j + n]) - borrow;
        un[j + n] = uint32_t(value);
        quotient[j] = uint32_t(qhat);
        if (value < 0) {
            // The estimate was one too large: add the divisor back.
            --quotient[j];
            uint64_t carry = 0;
            for (size_t i = 0; i < n; ++i) {
                carry += uint64_t(un[i + j]) + vn[i];
                un[i + j] = uint32_t(carry);
                carry >>= 32;
            }
            un[j + n] = uint32_t(un[j + n] + carry);
        }
    }
    Trim(quotient);

    remainder.assign(n, 0);
    for (size_t i = 0; i < n; ++i) {
        remainder[i] = (un[i] >> shift) | (shift != 0 ? un[i + 1] << (32 - shift) : 0);
    }
    Trim(remainder);
}

}  // namespace

const CBigInt CBigInt::ZERO;
const CBigInt CBigInt::ONE = CBigInt::ValueOf(1);

CBigInt::CBigInt() : m_sign(0), m_bitLength(-1) {}

CBigInt::CBigInt(const std::vector<unsigned char>& bytes) : CBigInt()
{
    if (bytes.empty()) {
        throw std::invalid_argument("CBigInt: empty byte array");
    }
    const bool negative = (bytes[0] & 0x80) != 0;
    // A negative value's magnitude is the complement of its bytes plus one.
    TLimbs limbs((bytes.size() + 3) / 4);
    for (size_t n = 0; n < bytes.size(); ++n) {
        unsigned char byte =
            negative ? static_cast<unsigned char>(~bytes[bytes.size() - 1 - n]) : bytes[bytes.size() - 1 - n];
        limbs[n / 4] |= uint32_t(byte) << (8 * (n % 4));
    }
    if (negative) {
        limbs = AddMagnitudes(limbs, TLimbs(1, 1));
    }
    *this = FromLimbs(negative ? -1 : 1, limbs);
}

CBigInt::CBigInt(int sign, const std::vector<unsigned char>& magnitude) : CBigInt()
{
    if (sign < -1 || sign > 1) {
        throw std::invalid_argument("CBigInt: sign out of range");
    }
    TLimbs limbs((magnitude.size() + 3) / 4);
    for (size_t n = 0; n < magnitude.size(); ++n) {
        limbs[n / 4] |= uint32_t(magnitude[magnitude.size() - 1 - n]) << (8 * (n % 4));
    }
    *this = FromLimbs(sign, limbs);
}

CBigInt::CBigInt(int sign, const std::vector<uint32_t>& words) : CBigInt()
{
    if (sign < -1 || sign > 1) {
        throw std::invalid_argument("CBigInt: sign out of range");
    }
    *this = FromLimbs(sign, TLimbs(words.rbegin(), words.rend()));
}

CBigInt CBigInt::ValueOf(long long value)
{
    // The magnitude is taken in unsigned arithmetic so that LLONG_MIN works too.
    unsigned long long magnitude =
        value < 0 ? 0ull - static_cast<unsigned long long>(value) : static_cast<unsigned long long>(value);
    TLimbs limbs{uint32_t(magnitude), uint32_t(magnitude >> 32)};
    return FromLimbs(value < 0 ? -1 : 1, limbs);
}

CBigInt CBigInt::FromLimbs(int sign, TLimbs limbs)
{
    Trim(limbs);
    CBigInt result;
    if (sign != 0 && !limbs.empty()) {
        result.m_sign = sign;
        result.m_mag.assign(limbs.rbegin(), limbs.rend());
    }
    return result;
}

CBigInt::TWords CBigInt::Limbs() const
{
    return TWords(m_mag.rbegin(), m_mag.rend());
}

std::vector<unsigned char> CBigInt::ToByteArray() const
{
    const size_t length = size_t(BitLength()) / 8 + 1;
    std::vector<unsigned char> bytes(length);
    TLimbs limbs = Limbs();
    for (size_t n = 0; n < length && n / 4 < limbs.size(); ++n) {
        bytes[length - 1 - n] = static_cast<unsigned char>(limbs[n / 4] >> (8 * (n % 4)));
    }
    if (m_sign < 0) {
        // Two's complement: invert and add one, from the least significant byte up.
        bool carry = true;
        for (size_t n = length; n-- > 0;) {
            bytes[n] = static_cast<unsigned char>(~bytes[n] + (carry ? 1 : 0));
            carry = carry && bytes[n] == 0;
        }
    }
    return bytes;
}

CBigInt CBigInt::Add(const CBigInt& other) const
{
    if (other.m_sign == 0) {
        return *this;
    }
    if (m_sign == 0) {
        return other;
    }
    TLimbs a = Limbs();
    TLimbs b = other.Limbs();
    if (m_sign == other.m_sign) {
        return FromLimbs(m_sign, AddMagnitudes(a, b));
    }
    int order = CompareMagnitudes(a, b);
    if (order == 0) {
        return ZERO;
    }
    return order > 0 ? FromLimbs(m_sign, SubtractMagnitudes(a, b)) : FromLimbs(other.m_sign, SubtractMagnitudes(b, a));
}

CBigInt CBigInt::Subtract(const CBigInt& other) const
{
    return Add(other.Negate());
}

CBigInt CBigInt::Multiply(const CBigInt& other) const
{
    return FromLimbs(m_sign * other.m_sign, MultiplyMagnitudes(Limbs(), other.Limbs()));
}

CBigInt CBigInt::Divide(const CBigInt& divisor) const
{
    if (divisor.m_sign == 0) {
        throw std::domain_error("CBigInt: division by zero");
    }
    TLimbs quotient, remainder;
    DivideMagnitudes(Limbs(), divisor.Limbs(), quotient, remainder);
    return FromLimbs(m_sign * divisor.m_sign, quotient);
}

CBigInt CBigInt::Remainder(const CBigInt& divisor) const
{
    if (divisor.m_sign == 0) {
        throw std::domain_error("CBigInt: division by zero");
    }
    TLimbs quotient, remainder;
    DivideMagnitudes(Limbs(), divisor.Limbs(), quotient, remainder);
    return FromLimbs(m_sign, remainder);
}

CBigInt CBigInt::Mod(const CBigInt& modulus) const
{
    if (modulus.m_sign <= 0) {
        throw std::domain_error("CBigInt: modulus not positive");
    }
    CBigInt remainder = Remainder(modulus);
    return remainder.m_sign < 0 ? remainder.Add(modulus) : remainder;
}

CBigInt CBigInt::Negate() const
{
    CBigInt result = *this;
    result.m_sign = -m_sign;
    result.m_bitLength = -1;
    return result;
}

CBigInt CBigInt::Not() const
{
    return Negate().Subtract(ONE);
}

CBigInt CBigInt::ShiftLeft(int bits) const
{
    if (bits < 0) {
        return ShiftRight(-bits);
    }
    return FromLimbs(m_sign, ShiftLeftMagnitude(Limbs(), bits));
}

CBigInt CBigInt::ShiftRight(int bits) const
{
    if (bits < 0) {
        return ShiftLeft(-bits);
    }
    bool lostBits = false;
    TLimbs shifted = ShiftRightMagnitude(Limbs(), bits, lostBits);
    if (m_sign < 0 && lostBits) {
        // Rounding towards negative infinity: a negative value that lost bits moves one further down.
        shifted = AddMagnitudes(shifted, TLimbs(1, 1));
    }
    return FromLimbs(m_sign, shifted);
}

bool CBigInt::TestBit(int bit) const
{
    size_t word = size_t(bit) / 32;
    return word < m_mag.size() && (m_mag[m_mag.size() - 1 - word] >> (bit % 32)) & 1;
}

CBigInt CBigInt::ModPow(const CBigInt& exponent, const CBigInt& modulus) const
{
    if (modulus.m_sign <= 0) {
        throw std::domain_error("CBigInt: modulus not positive");
    }
    if (modulus.Equals(ONE)) {
        return ZERO;
    }
    if (exponent.m_sign == 0) {
        return ONE;
    }
    if (m_sign == 0) {
        return ZERO;
    }
    if (!modulus.TestBit(0)) {
        throw std::domain_error("CBigInt: even modulus");
    }
    if (exponent.m_sign < 0) {
        return ModInverse(modulus).ModPow(exponent.Negate(), modulus);
    }

    const TMontgomery montgomery(modulus.Limbs());
    const TLimbs base = ShiftLeft(montgomery.RadixBits()).Mod(modulus).Limbs();
    return FromLimbs(1, montgomery.Power(base, exponent.Limbs(), exponent.BitLength()));
}

CBigInt CBigInt::ModInverse(const CBigInt& modulus) const
{
    if (modulus.m_sign <= 0) {
        throw std::domain_error("CBigInt: modulus not positive");
    }
    if (modulus.Equals(ONE)) {
        return ZERO;
    }
    // Extended Euclid on (this mod m, m), tracking only the coefficient of this value.
    CBigInt previousRemainder = Mod(modulus);
    CBigInt remainder = modulus;
    CBigInt previousCoefficient = ONE;
    CBigInt coefficient = ZERO;
    while (remainder.m_sign != 0) {
        CBigInt quotient = previousRemainder.Divide(remainder);
        CBigInt nextRemainder = previousRemainder.Subtract(quotient.Multiply(remainder));
        CBigInt nextCoefficient = previousCoefficient.Subtract(quotient.Multiply(coefficient));
        previousRemainder = remainder;
        remainder = nextRemainder;
        previousCoefficient = coefficient;
        coefficient = nextCoefficient;
    }
    if (!previousRemainder.Equals(ONE)) {
        throw std::domain_error("CBigInt: not invertible");
    }
    return previousCoefficient.Mod(modulus);
}

bool CBigInt::Equals(const CBigInt& other) const
{
    return m_sign == other.m_sign && m_mag == other.m_mag;
}

int CBigInt::CompareTo(const CBigInt& other) const
{
    if (m_sign != other.m_sign) {
        return m_sign < other.m_sign ? -1 : 1;
    }
    return m_sign * CompareMagnitudes(Limbs(), other.Limbs());
}

int CBigInt::BitLength() const
{
    if (m_bitLength < 0) {
        int length = 0;
        if (!m_mag.empty()) {
            length = int(32 * (m_mag.size() - 1)) + (32 - LeadingZeros(m_mag[0]));
            if (m_sign < 0) {
                // -2^k needs no more bits than 2^k - 1.
                bool powerOfTwo = (m_mag[0] & (m_mag[0] - 1)) == 0 &&
                                  std::all_of(m_mag.begin() + 1, m_mag.end(), [](uint32_t w) { return w == 0; });
                length -= powerOfTwo ? 1 : 0;
            }
        }
        m_bitLength = length;
    }
    return m_bitLength;
}

int CBigInt::HashCode() const
{
    uint32_t hash = 0;
    for (uint32_t word : m_mag) {
        hash = 31 * hash + word;
    }
    return static_cast<int>(hash * uint32_t(m_sign));
}

}  // namespace VexlaLib
