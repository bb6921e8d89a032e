#include <gtest/gtest.h>
#include <openssl/evp.h>
#include <openssl/provider.h>

#include <random>
#include <string>
#include <utility>

#include "Utils/ARC4.h"

using VexlaLib::CARC4;

namespace {

// Textbook RC4 without any drop, for comparison.
std::vector<unsigned char> ReferenceKeyStream(const std::vector<unsigned char>& key, size_t length)
{
    unsigned char s[256];
    for (int n = 0; n < 256; ++n)
        s[n] = static_cast<unsigned char>(n);
    int j = 0;
    for (int n = 0; n < 256; ++n) {
        j = (j + s[n] + key[n % key.size()]) % 256;
        std::swap(s[n], s[j]);
    }
    std::vector<unsigned char> stream(length);
    int i = 0;
    j = 0;
    for (size_t n = 0; n < length; ++n) {
        i = (i + 1) % 256;
        j = (j + s[i]) % 256;
        std::swap(s[i], s[j]);
        stream[n] = s[(s[i] + s[j]) % 256];
    }
    return stream;
}

std::vector<unsigned char> Bytes(const std::string& text)
{
    return std::vector<unsigned char>(text.begin(), text.end());
}

}  // namespace

// Published RC4 vectors, to make sure the reference itself is RC4.
TEST(ARC4, ReferenceMatchesPublishedVectors)
{
    EXPECT_EQ((std::vector<unsigned char>{0xEB, 0x9F, 0x77, 0x81, 0xB7, 0x34, 0xCA, 0x72, 0xA7, 0x19}),
              ReferenceKeyStream(Bytes("Key"), 10));
    EXPECT_EQ((std::vector<unsigned char>{0x60, 0x44, 0xDB, 0x6D, 0x41, 0xB7}), ReferenceKeyStream(Bytes("Wiki"), 6));
    EXPECT_EQ((std::vector<unsigned char>{0x04, 0xD4, 0x6B, 0x05, 0x3C, 0xA8, 0x7B, 0x59}),
              ReferenceKeyStream(Bytes("Secret"), 8));
}

TEST(ARC4, KeyStreamStartsAtThe769thByte)
{
    std::mt19937 random(4);
    for (size_t keyLength : {1, 3, 5, 16, 20, 255, 256, 300}) {
        std::vector<unsigned char> key(keyLength);
        for (auto& byte : key)
            byte = static_cast<unsigned char>(random());
        std::vector<unsigned char> reference = ReferenceKeyStream(key, CARC4::DROP_LENGTH + 4096);

        CARC4 cipher(key);
        for (size_t n = CARC4::DROP_LENGTH; n < reference.size(); ++n) {
            ASSERT_EQ(reference[n], cipher.NextByte()) << "key length " << keyLength << " byte " << n;
        }
    }
}

TEST(ARC4, EncryptsInPlaceFromOffsetAndDecryptsBack)
{
    const std::vector<unsigned char> key(20, 0x11);
    std::vector<unsigned char> reference = ReferenceKeyStream(key, 2 * CARC4::DROP_LENGTH + 100);

    std::vector<unsigned char> buffer(64, 0xA5);
    CARC4 encryptor(key);
    EXPECT_EQ(50, encryptor.EncryptBytes(buffer.data(), 10, 50));
    for (size_t n = 0; n < buffer.size(); ++n) {
        unsigned char expected = (n >= 10 && n < 60) ? (0xA5 ^ reference[CARC4::DROP_LENGTH + n - 10]) : 0xA5;
        ASSERT_EQ(expected, buffer[n]) << n;
    }
    EXPECT_EQ(0x33 ^ reference[CARC4::DROP_LENGTH + 50], encryptor.EncryptByte(0x33));

    CARC4 decryptor(key);
    EXPECT_EQ(50, decryptor.DecryptBytes(buffer.data(), 10, 50));
    EXPECT_EQ(std::vector<unsigned char>(64, 0xA5), buffer);
    EXPECT_EQ(0x33, decryptor.DecryptByte(0x33 ^ reference[CARC4::DROP_LENGTH + 50]));

    // A further drop skips another 768 bytes of the stream.
    decryptor.Drop();
    EXPECT_EQ(reference[2 * CARC4::DROP_LENGTH + 51], decryptor.NextByte());
}

// The buffer loop, fed pieces of every awkward length, against OpenSSL's RC4 after the same drop
// and against the byte-at-a-time path.
TEST(ARC4, BufferPiecesMatchOpenSSLAndTheBytePath)
{
    OSSL_PROVIDER* legacy = OSSL_PROVIDER_load(nullptr, "legacy");
    OSSL_PROVIDER* base = OSSL_PROVIDER_load(nullptr, "default");
    EVP_CIPHER* rc4 = EVP_CIPHER_fetch(nullptr, "RC4", nullptr);
    const std::vector<unsigned char> key(20, 0x5C);
    const std::vector<size_t> pieces = {0, 1, 15, 16, 17, 3, 255, 256, 257, 1500, 0, 16384, 7};
    size_t total = 0;
    for (size_t piece : pieces)
        total += piece;
    std::vector<unsigned char> data(total);
    std::mt19937 random(5);
    for (auto& byte : data)
        byte = static_cast<unsigned char>(random());

    std::vector<unsigned char> ours = data;
    CARC4 cipher(key);
    size_t at = 0;
    for (size_t piece : pieces) {
        EXPECT_EQ(int(piece), cipher.EncryptBytes(ours.data(), int(at), int(piece)));
        at += piece;
    }
    CARC4 bytewise(key);
    for (size_t n = 0; n < data.size(); ++n) {
        ASSERT_EQ(ours[n], data[n] ^ bytewise.NextByte()) << n;
    }

    if (rc4) {
        EVP_CIPHER_CTX* context = EVP_CIPHER_CTX_new();
        EVP_EncryptInit_ex2(context, rc4, nullptr, nullptr, nullptr);
        EVP_CIPHER_CTX_set_key_length(context, int(key.size()));
        EVP_EncryptInit_ex2(context, nullptr, key.data(), nullptr, nullptr);
        std::vector<unsigned char> dropped(CARC4::DROP_LENGTH);
        std::vector<unsigned char> theirs(data.size());
        int length = 0;
        EVP_EncryptUpdate(context, dropped.data(), &length, dropped.data(), int(dropped.size()));
        EVP_EncryptUpdate(context, theirs.data(), &length, data.data(), int(data.size()));
        EXPECT_EQ(theirs, ours);
        EVP_CIPHER_CTX_free(context);
        EVP_CIPHER_free(rc4);
    }
    for (OSSL_PROVIDER* provider : {legacy, base}) {
        if (provider)
            OSSL_PROVIDER_unload(provider);
    }
    if (!rc4)
        GTEST_SKIP() << "this OpenSSL has no RC4: only the byte path was compared";
}
