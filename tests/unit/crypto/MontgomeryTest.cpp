#include <gtest/gtest.h>
#include <openssl/bn.h>

#include <random>

#include "OpenSSLSupport.h"
#include "Utils/Montgomery.h"

using namespace CryptoTest;

namespace {

typedef std::vector<uint32_t> TWords;

TWords ToWords(const BIGNUM* value, size_t count)
{
    std::vector<unsigned char> bytes(4 * count);
    BN_bn2lebinpad(value, bytes.data(), int(bytes.size()));
    TWords words(count);
    for (size_t n = 0; n < bytes.size(); ++n) {
        words[n / 4] |= uint32_t(bytes[n]) << (8 * (n % 4));
    }
    return words;
}

TWords Trimmed(TWords words)
{
    while (!words.empty() && words.back() == 0) {
        words.pop_back();
    }
    return words;
}

TBignum RandomBignum(std::mt19937& random, int bits)
{
    TBignum value = NewBignum();
    std::vector<unsigned char> bytes(size_t(bits + 7) / 8);
    for (auto& byte : bytes) {
        byte = static_cast<unsigned char>(random());
    }
    BN_bin2bn(bytes.data(), int(bytes.size()), value.get());
    BN_mask_bits(value.get(), bits);
    return value;
}

// base^exponent mod modulus through one limb width, the base brought into its Montgomery form by OpenSSL.
template <typename TMontgomery>
TWords PowerWith(const BIGNUM* base, const BIGNUM* exponent, const BIGNUM* modulus, BN_CTX* context)
{
    const size_t words = size_t(BN_num_bits(modulus) + 31) / 32;
    const TMontgomery montgomery(ToWords(modulus, words));
    TBignum shifted = NewBignum();
    BN_lshift(shifted.get(), base, montgomery.RadixBits());
    BN_mod(shifted.get(), shifted.get(), modulus, context);
    const size_t exponentWords = std::max<size_t>(1, size_t(BN_num_bits(exponent) + 31) / 32);
    return Trimmed(
        montgomery.Power(ToWords(shifted.get(), words), ToWords(exponent, exponentWords), BN_num_bits(exponent)));
}

}  // namespace

// The portable 32-bit limbs and the 64-bit ones against OpenSSL, on moduli of an odd and an even
// number of words (the 64-bit form then has a half-used top limb), from one word to 2048 bits.
TEST(Montgomery, BothLimbWidthsAgreeWithOpenSSL)
{
    std::mt19937 random(65537);
    BN_CTX* context = BN_CTX_new();
    const int sizes[] = {1, 17, 32, 33, 63, 64, 65, 96, 127, 384, 385, 512, 1024, 1056, 2048};
    for (int bits : sizes) {
        for (int round = 0; round < 12; ++round) {
            TBignum modulus = RandomBignum(random, bits);
            BN_set_bit(modulus.get(), bits - 1);
            BN_set_bit(modulus.get(), 0);
            if (BN_is_one(modulus.get())) {
                continue;
            }
            TBignum base = RandomBignum(random, bits);
            BN_mod(base.get(), base.get(), modulus.get(), context);
            TBignum exponent = round == 0 ? NewBignum() : RandomBignum(random, round < 6 ? 17 : bits);
            if (round == 0) {
                BN_set_word(exponent.get(), 65537);
            }
            if (BN_is_zero(exponent.get())) {
                BN_one(exponent.get());
            }
            TBignum expected = NewBignum();
            BN_mod_exp(expected.get(), base.get(), exponent.get(), modulus.get(), context);
            const TWords want = Trimmed(ToWords(expected.get(), size_t(bits + 31) / 32));
            ASSERT_EQ(want, (PowerWith<VexlaLib::CMontgomery<uint32_t, uint64_t>>(base.get(), exponent.get(),
                                                                                  modulus.get(), context)))
                << bits << " bits, round " << round;
#ifdef __SIZEOF_INT128__
            __extension__ typedef unsigned __int128 TUint128;
            ASSERT_EQ(want, (PowerWith<VexlaLib::CMontgomery<uint64_t, TUint128>>(base.get(), exponent.get(),
                                                                                  modulus.get(), context)))
                << bits << " bits, round " << round;
#endif
        }
    }
    BN_CTX_free(context);
}
