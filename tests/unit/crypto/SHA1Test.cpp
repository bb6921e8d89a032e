#include <gtest/gtest.h>
#include <openssl/evp.h>

#include <cstring>
#include <random>

#include "Utils/SHA1.h"

using VexlaLib::CSHA1;

namespace {

std::vector<unsigned char> ReferenceSha1(const std::vector<unsigned char>& data)
{
    std::vector<unsigned char> digest(EVP_MAX_MD_SIZE);
    unsigned int length = 0;
    EVP_Digest(data.data(), data.size(), digest.data(), &length, EVP_sha1(), nullptr);
    digest.resize(length);
    return digest;
}

}  // namespace

TEST(SHA1, DigestOfAbcPrintsAsLowercaseHex)
{
    const char* abc = "abc";
    unsigned char digest[CSHA1::DIGEST_LENGTH];
    CSHA1::Calc(abc, 3, digest);
    char hex[2 * CSHA1::DIGEST_LENGTH + 1];
    memset(hex, 'x', sizeof(hex));
    CSHA1::ToHexString(digest, hex);
    EXPECT_STREQ("a9993e364706816aba3e25717850c26c9cd0d89d", hex);
}

TEST(SHA1, HashesInPlace)
{
    std::vector<unsigned char> buffer(64, 0x5A);
    std::vector<unsigned char> expected = ReferenceSha1(buffer);
    CSHA1::Calc(buffer.data(), int(buffer.size()), buffer.data());
    EXPECT_EQ(expected, std::vector<unsigned char>(buffer.begin(), buffer.begin() + CSHA1::DIGEST_LENGTH));
}

// Every length around the padding boundaries, then random lengths up to several blocks.
TEST(SHA1, MatchesOpenSSLOnRandomInputs)
{
    std::mt19937 random(20261207);
    for (int round = 0; round < 3000; ++round) {
        size_t length = round < 200 ? size_t(round) : random() % 5000;
        std::vector<unsigned char> data(length);
        for (auto& byte : data) {
            byte = static_cast<unsigned char>(random());
        }
        ASSERT_EQ(ReferenceSha1(data), CSHA1::Calc(data)) << "length " << length;
    }
}
