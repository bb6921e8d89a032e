#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "StoreTestKeys.h"
#include "marloservice/StoreKeyEncryptor.h"

namespace
{
std::string Base64OfBytes(std::size_t count)
{
    std::vector<unsigned char> data(count);
    for (std::size_t i = 0; i < count; ++i)
        data[i] = static_cast<unsigned char>(i * 37 + 11);
    return CStoreKeyEncryptor::base64(data.data(), data.size());
}

std::vector<std::size_t> LineLengths(const std::string& text)
{
    std::vector<std::size_t> lengths;
    std::size_t start = 0;
    for (std::size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1)
        lengths.push_back(end - start);
    lengths.push_back(text.size() - start);
    return lengths;
}
}  // namespace

TEST(StoreKeyEncryptor, Base64Of128BytesIsTwoFullLinesAndOneOf44WithoutFinalLineFeed)
{
    const std::string encoded = Base64OfBytes(128);
    EXPECT_EQ(LineLengths(encoded), (std::vector<std::size_t>{64, 64, 44}));
    EXPECT_EQ(encoded,
              "CzBVep/E6Q4zWH2ix+wRNluApcrvFDleg6jN8hc8YYar0PUaP2SJrtP4HUJnjLHW\n"
              "+yBFao+02f4jSG2St9wBJktwlbrfBClOc5i94gcsUXabwOUKL1R5nsPoDTJXfKHG\n"
              "6xA1Wn+kye4TOF2Cp8zxFjtgharP9Bk+Y4it0vccQWY=");
}

TEST(StoreKeyEncryptor, Base64LineBreaksOnlyBetweenFullLines)
{
    EXPECT_EQ(LineLengths(Base64OfBytes(48)), (std::vector<std::size_t>{64}));
    EXPECT_EQ(LineLengths(Base64OfBytes(96)), (std::vector<std::size_t>{64, 64}));
    EXPECT_EQ(LineLengths(Base64OfBytes(256)), (std::vector<std::size_t>{64, 64, 64, 64, 64, 24}));
    EXPECT_EQ(CStoreKeyEncryptor::base64(nullptr, 0), "");
    const unsigned char text[] = {'M', 'a', 'r', 'l', 'o'};
    EXPECT_EQ(CStoreKeyEncryptor::base64(text, sizeof(text)), "TWFybG8=");
}

TEST(StoreKeyEncryptor, EncryptsForTheStoresPrivateKey)
{
    CStoreKeyEncryptor encryptor;
    ASSERT_TRUE(encryptor.Load(StoreTestKeys::Path("pubkey.der")));
    const std::optional<std::string> first = encryptor.rsa_encrypt_string("user@example.com");
    const std::optional<std::string> second = encryptor.rsa_encrypt_string("user@example.com");
    ASSERT_TRUE(first && second);
    EXPECT_EQ(LineLengths(*first), (std::vector<std::size_t>{64, 64, 44}));  // 1024-bit key
    EXPECT_EQ(StoreTestKeys::Decrypt(*first), "user@example.com");
    EXPECT_NE(*first, *second) << "PKCS #1 v1.5 padding is random";
}

TEST(StoreKeyEncryptor, TextMustFitTheKeyMinusPadding)
{
    CStoreKeyEncryptor encryptor;
    ASSERT_TRUE(encryptor.Load(StoreTestKeys::Path("pubkey.der")));
    const std::string longest(128 - 11, 'x');
    const std::optional<std::string> fits = encryptor.rsa_encrypt_string(longest);
    ASSERT_TRUE(fits);
    EXPECT_EQ(StoreTestKeys::Decrypt(*fits), longest);
    EXPECT_FALSE(encryptor.rsa_encrypt_string(longest + "x"));
    EXPECT_FALSE(encryptor.rsa_encrypt_string(std::string(1000, 'x')));
    EXPECT_FALSE(encryptor.rsa_encrypt_string(""));
}

TEST(StoreKeyEncryptor, RefusesMissingOrWrongKeyFiles)
{
    CStoreKeyEncryptor encryptor;
    EXPECT_FALSE(encryptor.Load(StoreTestKeys::Path("no-such-key.der")));
    EXPECT_FALSE(encryptor.rsa_encrypt_string("user@example.com"));
    EXPECT_FALSE(encryptor.Load(StoreTestKeys::Path("ca.crt")));  // PEM, not DER
    EXPECT_FALSE(encryptor.Load(StoreTestKeys::Path("")));          // a directory

    const std::string truncated = std::string(VEXLA_BINARY_DIR) + "/marlo-truncated-key.der";
    FILE* file = std::fopen(truncated.c_str(), "wb");
    ASSERT_NE(file, nullptr);
    std::fwrite("\x30\x81\x9f\x30\x0d", 1, 5, file);
    std::fclose(file);
    EXPECT_FALSE(encryptor.Load(truncated));
    std::remove(truncated.c_str());
}
