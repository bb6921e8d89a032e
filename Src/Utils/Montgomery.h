#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace VexlaLib {

// Exponentiation modulo an odd number by Montgomery multiplication, on limbs of type TLimb with
// products in TWide (twice as wide). Numbers come and go as 32-bit words, least significant first;
// with 64-bit limbs two words make one limb. CBigInt uses the widest limbs the compiler offers; the
// 32-bit form is the portable one, and the tests hold the two against each other.
template <typename TLimb, typename TWide>
class CMontgomery
{
public:
    typedef std::vector<uint32_t> TWords;

    // The modulus must be odd and without leading zero words.
    explicit CMontgomery(const TWords& modulus)
        : m_modulus(ToLimbs(modulus, (modulus.size() + WORDS_PER_LIMB - 1) / WORDS_PER_LIMB)),
          m_quotient(NegatedInverse(m_modulus[0]))
    {}

    // Numbers enter the Montgomery form as x * 2^RadixBits() mod m.
    int RadixBits() const { return int(LIMB_BITS * m_modulus.size()); }

    // base^exponent mod m, for a base already in Montgomery form and an exponent of exponentBits
    // bits (at least one). The result may carry leading zero words.
    TWords Power(const TWords& montgomeryBase, const TWords& exponent, int exponentBits) const
    {
        const size_t n = m_modulus.size();
        const std::vector<TLimb> base = ToLimbs(montgomeryBase, n);
        std::vector<TLimb> accumulator = base;
        std::vector<TLimb> product(n);
        std::vector<TLimb> scratch(n + 2);
        for (int bit = exponentBits - 2; bit >= 0; --bit) {
            Multiply(accumulator.data(), accumulator.data(), scratch.data(), product.data());
            accumulator.swap(product);
            if ((exponent[size_t(bit) / 32] >> (bit % 32)) & 1) {
                Multiply(accumulator.data(), base.data(), scratch.data(), product.data());
                accumulator.swap(product);
            }
        }
        std::vector<TLimb> one(n);
        one[0] = 1;
        Multiply(accumulator.data(), one.data(), scratch.data(), product.data());
        return ToWords(product);
    }

private:
    static const int LIMB_BITS = 8 * sizeof(TLimb);
    static const size_t WORDS_PER_LIMB = sizeof(TLimb) / sizeof(uint32_t);

    static std::vector<TLimb> ToLimbs(const TWords& words, size_t count)
    {
        std::vector<TLimb> limbs(count);
        for (size_t n = 0; n < words.size() && n / WORDS_PER_LIMB < count; ++n) {
            limbs[n / WORDS_PER_LIMB] |= TLimb(words[n]) << (32 * (n % WORDS_PER_LIMB));
        }
        return limbs;
    }

    static TWords ToWords(const std::vector<TLimb>& limbs)
    {
        TWords words(limbs.size() * WORDS_PER_LIMB);
        for (size_t n = 0; n < words.size(); ++n) {
            words[n] = uint32_t(limbs[n / WORDS_PER_LIMB] >> (32 * (n % WORDS_PER_LIMB)));
        }
        return words;
    }

    // -m^-1 mod 2^LIMB_BITS for the odd low limb, by Newton's iteration: each step doubles the number
    // of correct low bits, starting from 3, so five steps cover 64 bits.
    static TLimb NegatedInverse(TLimb low)
    {
        TLimb inverse = low;
        for (int step = 0; step < 5; ++step) {
            inverse *= TLimb(2) - low * inverse;
        }
        return TLimb(0) - inverse;
    }

    // a * b / R mod m for a, b < m; `scratch` holds n + 2 limbs, the result (n limbs, < m) goes to `out`.
    void Multiply(const TLimb* a, const TLimb* b, TLimb* scratch, TLimb* out) const
    {
        const size_t n = m_modulus.size();
        const TLimb* m = m_modulus.data();
        std::fill(scratch, scratch + n + 2, TLimb(0));
        for (size_t i = 0; i < n; ++i) {
            TWide carry = 0;
            for (size_t j = 0; j < n; ++j) {
                carry += TWide(scratch[j]) + TWide(a[j]) * b[i];
                scratch[j] = TLimb(carry);
                carry >>= LIMB_BITS;
            }
            carry += scratch[n];
            scratch[n] = TLimb(carry);
            scratch[n + 1] = TLimb(carry >> LIMB_BITS);

            const TLimb factor = TLimb(scratch[0] * m_quotient);
            carry = (TWide(scratch[0]) + TWide(factor) * m[0]) >> LIMB_BITS;
            for (size_t j = 1; j < n; ++j) {
                carry += TWide(scratch[j]) + TWide(factor) * m[j];
                scratch[j - 1] = TLimb(carry);
                carry >>= LIMB_BITS;
            }
            carry += scratch[n];
            scratch[n - 1] = TLimb(carry);
            scratch[n] = TLimb(scratch[n + 1] + TLimb(carry >> LIMB_BITS));
        }

        // The sum is below 2m: one conditional subtraction brings it under m.
        bool atLeastModulus = scratch[n] != 0;
        if (!atLeastModulus) {
            atLeastModulus = true;
            for (size_t j = n; j-- > 0;) {
                if (scratch[j] != m[j]) {
                    atLeastModulus = scratch[j] > m[j];
                    break;
                }
            }
        }
        TLimb borrow = 0;
        for (size_t j = 0; j < n; ++j) {
            const TLimb subtrahend = atLeastModulus ? m[j] : TLimb(0);
            const TLimb difference = TLimb(scratch[j] - subtrahend - borrow);
            borrow = (scratch[j] < subtrahend || (scratch[j] == subtrahend && borrow)) ? 1 : 0;
            out[j] = difference;
        }
    }

    std::vector<TLimb> m_modulus;
    TLimb m_quotient;
};

}  // namespace VexlaLib
