#include <gtest/gtest.h>
#include <openssl/core_names.h>
#include <openssl/rsa.h>

#include <algorithm>
#include <random>
#include <stdexcept>

#include "OpenSSLSupport.h"
#include "Utils/RSA.h"
#include "Utils/RootKeys.h"
#include "Utils/SHA1.h"

using namespace CryptoTest;
using VexlaLib::CRSA;

namespace {

const char* SERVER_KEY = "sim/server/keys/test-server.pem";

TByteArray Exponent()
{
    return TByteArray(VexlaLib::RSA_PUBLIC_EXPONENT,
                      VexlaLib::RSA_PUBLIC_EXPONENT + VexlaLib::RSA_PUBLIC_EXPONENT_LENGTH);
}

CRSA RootKey(const unsigned char* modulus)
{
    return CRSA(VexlaLib::ROOT_KEY_BITS, Exponent(), TByteArray(modulus, modulus + VexlaLib::ROOT_KEY_LENGTH));
}

TByteArray Identity(const char* which)
{
    return ReadHexFile(std::string("tests/unit/crypto/data/test-server-identity.") + which + ".hex");
}

// 0x00 followed by the 48-byte modulus, as the identity check returns it.
TByteArray ServerModulus()
{
    TByteArray modulus = ReadHexFile("tests/unit/crypto/data/test-server.modulus.hex");
    modulus.insert(modulus.begin(), 0x00);
    return modulus;
}

TByteArray RandomBytes(std::mt19937& random, size_t length)
{
    TByteArray bytes(length);
    for (auto& byte : bytes)
        byte = static_cast<unsigned char>(random());
    return bytes;
}

// Raw RSA private-key operation on a big-endian block of the key's size, by OpenSSL.
TByteArray PrivateDecrypt(EVP_PKEY* key, const TByteArray& block)
{
    EVP_PKEY_CTX* context = EVP_PKEY_CTX_new(key, nullptr);
    EXPECT_EQ(1, EVP_PKEY_decrypt_init(context));
    EXPECT_EQ(1, EVP_PKEY_CTX_set_rsa_padding(context, RSA_NO_PADDING));
    size_t length = 0;
    EXPECT_EQ(1, EVP_PKEY_decrypt(context, nullptr, &length, block.data(), block.size()));
    TByteArray plain(length);
    EXPECT_EQ(1, EVP_PKEY_decrypt(context, plain.data(), &length, block.data(), block.size()));
    plain.resize(length);
    EVP_PKEY_CTX_free(context);
    return plain;
}

TByteArray PrivateExponent(EVP_PKEY* key)
{
    BIGNUM* d = nullptr;
    EVP_PKEY_get_bn_param(key, OSSL_PKEY_PARAM_RSA_D, &d);
    TByteArray bytes(BN_num_bytes(d) + 1);
    BN_bn2bin(d, bytes.data() + 1);
    BN_free(d);
    return bytes;
}

}  // namespace

TEST(RSA, EncodeTwentyByteMessage)
{
    TByteArray message(20);
    for (size_t n = 0; n < message.size(); ++n)
        message[n] = static_cast<unsigned char>(n + 1);
    TByteArray block = CRSA::Encode(message, 48);
    ASSERT_EQ(48u, block.size());
    EXPECT_EQ(TByteArray({0x4B, 0xBB, 0xBB, 0xBB, 0xBB, 0xBB, 0xBA}), TByteArray(block.begin(), block.begin() + 7));
    EXPECT_EQ(message, TByteArray(block.begin() + 7, block.begin() + 27));
    EXPECT_EQ(VexlaLib::CSHA1::Calc(message), TByteArray(block.begin() + 27, block.begin() + 47));
    EXPECT_EQ(0xBC, block[47]);
}

TEST(RSA, EncodeTwentySixByteMessageAndLimit)
{
    TByteArray message(26, 0x61);
    TByteArray block = CRSA::Encode(message, 48);
    EXPECT_EQ(0x4A, block[0]);
    EXPECT_EQ(message, TByteArray(block.begin() + 1, block.begin() + 27));
    EXPECT_EQ(VexlaLib::CSHA1::Calc(message), TByteArray(block.begin() + 27, block.begin() + 47));
    EXPECT_EQ(0xBC, block[47]);
    EXPECT_THROW(CRSA::Encode(TByteArray(27), 48), std::length_error);
}

TEST(RSA, LittleEndianHelpers)
{
    EXPECT_EQ(TByteArray({3, 2, 1, 0, 0}), CRSA::ToLittleEndian(TByteArray({1, 2, 3}), 5));
    EXPECT_EQ(TByteArray({3, 2}), CRSA::ToLittleEndian(TByteArray({1, 2, 3}), 2));
    EXPECT_EQ(TByteArray({0, 3, 2, 1}), CRSA::FromLittleEndian(TByteArray({1, 2, 3})));
}

TEST(RSA, PrimaryIdentityVerifiesUnderPrimaryRootKey)
{
    EXPECT_EQ(ServerModulus(),
              CRSA::DecryptServerIdentity(Identity("primary"), RootKey(VexlaLib::ROOT_KEY_TEST_PRIMARY)));
}

TEST(RSA, BackupIdentityVerifiesOnlyUnderBackupRootKey)
{
    EXPECT_THROW(CRSA::DecryptServerIdentity(Identity("backup"), RootKey(VexlaLib::ROOT_KEY_TEST_PRIMARY)),
                 std::runtime_error);
    EXPECT_EQ(ServerModulus(),
              CRSA::DecryptServerIdentity(Identity("backup"), RootKey(VexlaLib::ROOT_KEY_TEST_BACKUP)));
    EXPECT_THROW(CRSA::DecryptServerIdentity(Identity("primary"), RootKey(VexlaLib::ROOT_KEY_LIVE_PRIMARY)),
                 std::runtime_error);
}

TEST(RSA, TestIdentitiesCarryTheDigestOfTheirModulus)
{
    EXPECT_EQ(ServerModulus(),
              CRSA::DecryptServerIdentity(Identity("primary"), RootKey(VexlaLib::ROOT_KEY_TEST_PRIMARY), true));
    EXPECT_EQ(ServerModulus(),
              CRSA::DecryptServerIdentity(Identity("backup"), RootKey(VexlaLib::ROOT_KEY_TEST_BACKUP), true));
}

TEST(RSA, DigestCheckRefusesAnyChangedDigestByte)
{
    const TByteArray identity = Identity("primary");
    const TByteArray signature(identity.rbegin(), identity.rend() - 2);
    const TByteArray block = RootKey(VexlaLib::ROOT_KEY_TEST_PRIMARY).Decrypt(signature);
    TByteArray modulus;
    ASSERT_TRUE(CRSA::Decode(block, modulus));
    ASSERT_TRUE(CRSA::HasModulusDigest(block, modulus));
    for (size_t n = 1; n <= 20; ++n) {
        TByteArray changed = block;
        changed[n] ^= 0x80;
        EXPECT_TRUE(CRSA::Decode(changed, modulus)) << "byte " << n;
        EXPECT_FALSE(CRSA::HasModulusDigest(changed, modulus)) << "byte " << n;
    }
}

// A root key without modulus would fail any arithmetic with another error: the header is checked first.
TEST(RSA, IdentityWithoutHeaderFailsBeforeAnyArithmetic)
{
    CRSA incompleteKey(VexlaLib::ROOT_KEY_BITS, Exponent());
    TByteArray identity = Identity("primary");
    identity[1] = 'X';
    try {
        CRSA::DecryptServerIdentity(identity, incompleteKey);
        FAIL() << "accepted an identity without SK";
    } catch (const std::runtime_error& error) {
        EXPECT_NE(std::string::npos, std::string(error.what()).find("SK"));
    }
    EXPECT_THROW(CRSA::DecryptServerIdentity(TByteArray(), incompleteKey), std::runtime_error);
    EXPECT_THROW(CRSA::DecryptServerIdentity(TByteArray({'S', 'K', 1, 2, 3}), incompleteKey), std::runtime_error);
    EXPECT_THROW(incompleteKey.Encrypt(CBigInt::ONE), std::logic_error);
}

TEST(RSA, AnyFlippedSignatureByteFails)
{
    const CRSA rootKey = RootKey(VexlaLib::ROOT_KEY_TEST_PRIMARY);
    const TByteArray identity = Identity("primary");
    for (size_t n = 2; n < identity.size(); ++n) {
        TByteArray damaged = identity;
        damaged[n] ^= 0xFF;
        EXPECT_THROW(CRSA::DecryptServerIdentity(damaged, rootKey), std::runtime_error) << "byte " << n;
    }
}

TEST(RSA, DecodeRequiresTrailerAndMarker)
{
    TByteArray block(128);
    block[0] = 0xBC;
    block[0x46] = 'S';
    block[0x45] = 'U';
    for (int n = 0; n < 48; ++n)
        block[0x44 - n] = static_cast<unsigned char>(n + 1);
    TByteArray out;
    ASSERT_TRUE(CRSA::Decode(block, out));
    ASSERT_EQ(49u, out.size());
    EXPECT_EQ(0, out[0]);
    EXPECT_EQ(1, out[1]);
    EXPECT_EQ(48, out[48]);

    TByteArray noMarker = block;
    noMarker[0x45] = 'X';
    EXPECT_FALSE(CRSA::Decode(noMarker, out));
    TByteArray noTrailer = block;
    noTrailer[0] = 0xBD;
    EXPECT_FALSE(CRSA::Decode(noTrailer, out));
    EXPECT_FALSE(CRSA::Decode(TByteArray(block.begin(), block.begin() + 127), out));
}

TEST(RSA, EncryptedSecretDecryptsToTheEncodedBlock)
{
    TPkey serverKey = ReadPrivateKey(SERVER_KEY);
    ASSERT_TRUE(serverKey);
    const CRSA publicKey(384, Exponent(), ServerModulus());
    std::mt19937 random(48);
    for (size_t length : {20, 26, 0, 1}) {
        TByteArray secret = RandomBytes(random, length);
        TByteArray packet = CRSA::EncryptSecret(secret, publicKey);
        ASSERT_EQ(50u, packet.size());
        EXPECT_EQ('P', packet[0]);
        EXPECT_EQ('S', packet[1]);
        EXPECT_EQ(CRSA::Encode(secret, 48),
                  PrivateDecrypt(serverKey.get(), TByteArray(packet.begin() + 2, packet.end())));
    }
    EXPECT_THROW(CRSA::EncryptSecret(TByteArray(27), publicKey), std::length_error);
    EXPECT_THROW(CRSA::EncryptSecret(TByteArray(20), CRSA(384, Exponent())), std::logic_error);
}

TEST(RSA, BlockEncryptionRoundTripsThroughPrivateExponent)
{
    TPkey serverKey = ReadPrivateKey(SERVER_KEY);
    ASSERT_TRUE(serverKey);
    const CRSA publicKey(384, Exponent(), ServerModulus());
    const CRSA privateKey(384, PrivateExponent(serverKey.get()), ServerModulus());
    std::mt19937 random(7);
    TByteArray data = RandomBytes(random, 100);

    TByteArray encrypted = publicKey.Encrypt(data);
    ASSERT_EQ(3u * 48, encrypted.size());  // 47 bytes of data per block
    TByteArray decrypted = privateKey.Decrypt(encrypted);
    ASSERT_EQ(encrypted.size(), decrypted.size());
    EXPECT_EQ(data, TByteArray(decrypted.begin(), decrypted.begin() + 100));
    EXPECT_TRUE(std::all_of(decrypted.begin() + 100, decrypted.end(), [](unsigned char b) { return b == 0; }));
}
