#include <gtest/gtest.h>

#include <climits>
#include <random>
#include <stdexcept>

#include "OpenSSLSupport.h"

using namespace CryptoTest;

namespace {

class BigIntRandom
{
public:
    explicit BigIntRandom(unsigned seed) : m_random(seed) {}

    // Random two's-complement bytes (1 to maxLength), biased towards edge patterns in the top bytes.
    TByteArray Bytes(size_t maxLength)
    {
        TByteArray bytes(1 + m_random() % maxLength);
        for (auto& byte : bytes)
            byte = static_cast<unsigned char>(m_random());
        switch (m_random() % 6) {
        case 0:
            bytes[0] = 0x00;
            break;
        case 1:
            bytes[0] = 0xFF;
            break;
        case 2:
            bytes[0] = 0x80;
            break;
        default:
            break;
        }
        return bytes;
    }
    CBigInt Value(size_t maxLength) { return CBigInt(Bytes(maxLength)); }
    CBigInt Positive(size_t maxLength)
    {
        TByteArray bytes = Bytes(maxLength);
        bytes[0] &= 0x7F;
        bytes.back() |= 0x01;  // odd and non-zero
        return CBigInt(bytes);
    }
    unsigned Next() { return m_random(); }

private:
    std::mt19937 m_random;
};

void ExpectSame(const BIGNUM* expected, const CBigInt& actual, const char* what)
{
    TBignum converted = ToBignum(actual);
    ASSERT_EQ(0, BN_cmp(expected, converted.get()))
        << what << ": expected " << ToDecimal(expected) << " got " << ToDecimal(converted.get());
}

TByteArray Bytes(std::initializer_list<unsigned char> bytes)
{
    return TByteArray(bytes);
}

}  // namespace

TEST(BigInt, TwosComplementByteForms)
{
    EXPECT_TRUE(CBigInt(Bytes({0x80})).Equals(CBigInt::ValueOf(-128)));
    EXPECT_TRUE(CBigInt(Bytes({0x00, 0x80})).Equals(CBigInt::ValueOf(128)));
    EXPECT_EQ(Bytes({0x00, 0x80}), CBigInt::ValueOf(128).ToByteArray());
    EXPECT_EQ(Bytes({0x00}), CBigInt::ZERO.ToByteArray());
    EXPECT_EQ(Bytes({0xFF}), CBigInt::ValueOf(-1).ToByteArray());
    EXPECT_EQ(Bytes({0xFF, 0x7F}), CBigInt::ValueOf(-129).ToByteArray());
    EXPECT_EQ(Bytes({0x80, 0, 0, 0, 0, 0, 0, 0}), CBigInt::ValueOf(LLONG_MIN).ToByteArray());
    EXPECT_TRUE(CBigInt(Bytes({0x00, 0x00, 0x00})).Equals(CBigInt::ZERO));
    EXPECT_THROW(CBigInt{TByteArray()}, std::invalid_argument);
}

TEST(BigInt, SignAndMagnitudeForms)
{
    EXPECT_TRUE(CBigInt(-1, Bytes({0x80})).Equals(CBigInt::ValueOf(-128)));
    EXPECT_TRUE(CBigInt(0, Bytes({0x12, 0x34})).Equals(CBigInt::ZERO));
    EXPECT_TRUE(CBigInt(1, Bytes({0x00, 0x00})).Equals(CBigInt::ZERO));
    EXPECT_TRUE(CBigInt(1, std::vector<uint32_t>{1, 0}).Equals(CBigInt::ONE.ShiftLeft(32)));
    EXPECT_THROW(CBigInt(2, Bytes({1})), std::invalid_argument);
    EXPECT_THROW(CBigInt(-2, std::vector<uint32_t>{1}), std::invalid_argument);
}

TEST(BigInt, ModPowEdgeCases)
{
    CBigInt seven = CBigInt::ValueOf(7);
    EXPECT_TRUE(seven.ModPow(CBigInt::ZERO, CBigInt::ValueOf(11)).Equals(CBigInt::ONE));
    EXPECT_TRUE(seven.ModPow(CBigInt::ValueOf(5), CBigInt::ONE).Equals(CBigInt::ZERO));
    EXPECT_TRUE(CBigInt::ZERO.ModPow(CBigInt::ValueOf(5), CBigInt::ValueOf(11)).Equals(CBigInt::ZERO));
    EXPECT_THROW(seven.ModPow(CBigInt::ValueOf(5), CBigInt::ValueOf(10)), std::domain_error);
    EXPECT_THROW(seven.ModPow(CBigInt::ValueOf(5), CBigInt::ZERO), std::domain_error);
    EXPECT_THROW(seven.ModPow(CBigInt::ValueOf(5), CBigInt::ValueOf(-11)), std::domain_error);
    // 7^-1 mod 11 = 8, so 7^-2 = 64 mod 11 = 9.
    EXPECT_TRUE(seven.ModPow(CBigInt::ValueOf(-2), CBigInt::ValueOf(11)).Equals(CBigInt::ValueOf(9)));
    EXPECT_THROW(CBigInt::ValueOf(6).ModInverse(CBigInt::ValueOf(9)), std::domain_error);
    EXPECT_THROW(seven.Divide(CBigInt::ZERO), std::domain_error);
}

TEST(BigInt, HashCodeFollowsWordsAndSign)
{
    EXPECT_EQ(0, CBigInt::ZERO.HashCode());
    EXPECT_EQ(-5, CBigInt::ValueOf(-5).HashCode());
    EXPECT_EQ(31 * 1 + 2, CBigInt::ValueOf((1ll << 32) + 2).HashCode());
    EXPECT_EQ(CBigInt::ValueOf(1234567).HashCode(), CBigInt(Bytes({0x12, 0xD6, 0x87})).HashCode());
}

TEST(BigInt, ByteFormsMatchOpenSSL)
{
    BigIntRandom random(1);
    for (int round = 0; round < 3000; ++round) {
        TByteArray bytes = random.Bytes(70);
        CBigInt value(bytes);
        TBignum expected = BignumFromTwosComplement(bytes);
        TByteArray minimal = value.ToByteArray();
        ASSERT_EQ(size_t(value.BitLength() / 8 + 1), minimal.size());
        ASSERT_TRUE(CBigInt(minimal).Equals(value));
        ASSERT_EQ(0, BN_cmp(expected.get(), BignumFromTwosComplement(minimal).get()));
        ASSERT_EQ(BN_is_negative(expected.get()) ? -1 : (BN_is_zero(expected.get()) ? 0 : 1), value.Sign());

        // Bit length without the sign bit: that of the value, or of -value-1 when negative.
        TBignum plain = NewBignum();
        BN_copy(plain.get(), expected.get());
        if (BN_is_negative(plain.get())) {
            BN_add_word(plain.get(), 1);
            BN_set_negative(plain.get(), 0);
        }
        ASSERT_EQ(BN_num_bits(plain.get()), value.BitLength());
    }
}

TEST(BigInt, ArithmeticMatchesOpenSSL)
{
    BigIntRandom random(2);
    BN_CTX* context = BN_CTX_new();
    for (int round = 0; round < 4000; ++round) {
        CBigInt a = random.Value(80);
        CBigInt b = random.Value(round % 2 ? 80 : 12);
        TBignum bnA = ToBignum(a);
        TBignum bnB = ToBignum(b);
        TBignum expected = NewBignum();
        TBignum rest = NewBignum();

        BN_add(expected.get(), bnA.get(), bnB.get());
        ExpectSame(expected.get(), a.Add(b), "add");
        BN_sub(expected.get(), bnA.get(), bnB.get());
        ExpectSame(expected.get(), a.Subtract(b), "subtract");
        BN_mul(expected.get(), bnA.get(), bnB.get(), context);
        ExpectSame(expected.get(), a.Multiply(b), "multiply");
        ASSERT_EQ(BN_cmp(bnA.get(), bnB.get()), a.CompareTo(b));
        ASSERT_EQ(BN_cmp(bnA.get(), bnB.get()) == 0, a.Equals(b));

        BN_copy(expected.get(), bnA.get());
        BN_set_negative(expected.get(), !BN_is_negative(bnA.get()) && !BN_is_zero(bnA.get()));
        ExpectSame(expected.get(), a.Negate(), "negate");
        BN_sub_word(expected.get(), 1);
        ExpectSame(expected.get(), a.Not(), "not");

        int bits = int(random.Next() % 200);
        BN_lshift(expected.get(), bnA.get(), bits);
        ExpectSame(expected.get(), a.ShiftLeft(bits), "shift left");
        ExpectSame(expected.get(), a.ShiftRight(-bits), "negative shift right");
        // Arithmetic shift right is division by 2^bits rounded down.
        TBignum power = NewBignum();
        BN_set_bit(power.get(), bits);
        BN_div(expected.get(), rest.get(), bnA.get(), power.get(), context);
        if (BN_is_negative(rest.get())) {
            BN_sub_word(expected.get(), 1);
        }
        ExpectSame(expected.get(), a.ShiftRight(bits), "shift right");

        if (b.Sign() == 0) {
            continue;
        }
        BN_div(expected.get(), rest.get(), bnA.get(), bnB.get(), context);
        ExpectSame(expected.get(), a.Divide(b), "divide");
        ExpectSame(rest.get(), a.Remainder(b), "remainder");
        if (b.Sign() > 0) {
            BN_nnmod(expected.get(), bnA.get(), bnB.get(), context);
            ExpectSame(expected.get(), a.Mod(b), "mod");
        } else {
            ASSERT_THROW(a.Mod(b), std::domain_error);
        }
    }
    BN_CTX_free(context);
}

// Divisors whose top words make the quotient estimate overshoot exercise the add-back step.
TEST(BigInt, DivisionWithExtremeWords)
{
    BN_CTX* context = BN_CTX_new();
    const uint32_t patterns[] = {0x00000000, 0x00000001, 0x7FFFFFFF, 0x80000000, 0xFFFFFFFF, 0x80000001};
    BigIntRandom random(3);
    for (int round = 0; round < 3000; ++round) {
        std::vector<uint32_t> dividendWords(2 + random.Next() % 6), divisorWords(2 + random.Next() % 3);
        for (auto& word : dividendWords)
            word = patterns[random.Next() % 6];
        for (auto& word : divisorWords)
            word = patterns[random.Next() % 6];
        divisorWords[0] |= 1;
        CBigInt a(1, dividendWords), b(1, divisorWords);
        TBignum expected = NewBignum(), rest = NewBignum();
        BN_div(expected.get(), rest.get(), ToBignum(a).get(), ToBignum(b).get(), context);
        ExpectSame(expected.get(), a.Divide(b), "divide");
        ExpectSame(rest.get(), a.Remainder(b), "remainder");
    }
    BN_CTX_free(context);
}

TEST(BigInt, ModPowAndModInverseMatchOpenSSL)
{
    BigIntRandom random(5);
    BN_CTX* context = BN_CTX_new();
    for (int round = 0; round < 2000; ++round) {
        // Mostly small and medium moduli; every tenth one of RSA size.
        CBigInt modulus = random.Positive(round % 10 == 0 ? 129 : 40);
        CBigInt base = random.Value(round % 10 == 0 ? 140 : 50);
        CBigInt exponent = random.Positive(round % 3 == 0 ? 3 : 24).ShiftRight(int(random.Next() % 2));
        TBignum bnModulus = ToBignum(modulus), bnBase = ToBignum(base), bnExponent = ToBignum(exponent);
        TBignum reduced = NewBignum(), expected = NewBignum();

        BN_nnmod(reduced.get(), bnBase.get(), bnModulus.get(), context);
        BN_mod_exp(expected.get(), reduced.get(), bnExponent.get(), bnModulus.get(), context);
        ExpectSame(expected.get(), base.ModPow(exponent, modulus), "modpow");

        if (modulus.Equals(CBigInt::ONE)) {
            ASSERT_TRUE(base.ModInverse(modulus).Equals(CBigInt::ZERO));  // everything is 0 mod 1
        } else if (BN_mod_inverse(expected.get(), bnBase.get(), bnModulus.get(), context) != nullptr) {
            ExpectSame(expected.get(), base.ModInverse(modulus), "modinverse");
        } else {
            ASSERT_THROW(base.ModInverse(modulus), std::domain_error);
        }
    }
    BN_CTX_free(context);
}
