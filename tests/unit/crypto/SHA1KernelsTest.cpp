#include <gtest/gtest.h>
#include <openssl/evp.h>

#include <random>
#include <vector>

#include "Utils/SHA1.h"
#include "Utils/SHA1Kernels.h"

namespace Kernels = VexlaLib::SHA1Kernels;

namespace {

std::vector<unsigned char> OpenSSLDigest(const unsigned char* data, size_t length)
{
    std::vector<unsigned char> digest(EVP_MAX_MD_SIZE);
    unsigned int digestLength = 0;
    EVP_Digest(data, length, digest.data(), &digestLength, EVP_sha1(), nullptr);
    digest.resize(digestLength);
    return digest;
}

std::vector<unsigned char> DigestWith(Kernels::TCompress compress, const unsigned char* data, size_t length)
{
    std::vector<unsigned char> digest(VexlaLib::CSHA1::DIGEST_LENGTH);
    Kernels::Digest(data, length, digest.data(), compress);
    return digest;
}

}  // namespace

// Both compressions against OpenSSL at each length up to three blocks and some large ones, from
// every start offset inside a 16-byte line.
TEST(SHA1Kernels, BothPathsAgreeWithOpenSSL)
{
    std::mt19937 random(1);
    std::vector<unsigned char> buffer(200000);
    for (auto& byte : buffer) {
        byte = static_cast<unsigned char>(random());
    }
    std::vector<size_t> lengths;
    for (size_t length = 0; length <= 192; ++length) {
        lengths.push_back(length);
    }
    lengths.insert(lengths.end(), {1000, 4096, 65537, 199000});
    for (size_t length : lengths) {
        const size_t offset = length % 16;
        const unsigned char* data = buffer.data() + offset;
        const std::vector<unsigned char> expected = OpenSSLDigest(data, length);
        ASSERT_EQ(expected, DigestWith(Kernels::CompressPortable, data, length)) << length;
        if (Kernels::ShaNiAvailable()) {
            ASSERT_EQ(expected, DigestWith(Kernels::CompressShaNi, data, length)) << length;
        }
    }
}

TEST(SHA1Kernels, ProcessorPathHashesInPlace)
{
    if (!Kernels::ShaNiAvailable()) {
        GTEST_SKIP() << "no SHA instructions on this processor";
    }
    std::vector<unsigned char> buffer(130, 0xA5);
    const std::vector<unsigned char> expected = OpenSSLDigest(buffer.data(), buffer.size());
    Kernels::Digest(buffer.data(), buffer.size(), buffer.data(), Kernels::CompressShaNi);
    EXPECT_EQ(expected, std::vector<unsigned char>(buffer.begin(), buffer.begin() + VexlaLib::CSHA1::DIGEST_LENGTH));
}
