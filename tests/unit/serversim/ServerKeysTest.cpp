#include <gtest/gtest.h>

#include <fstream>
#include <random>
#include <stdexcept>

#include "ServerKeys.h"
#include "Utils/RSA.h"
#include "Utils/RootKeys.h"

using ServerSim::CServerKeys;
using ServerSim::TIdentityKey;
using VexlaLib::CRSA;
using VexlaLib::TByteArray;

namespace {

TByteArray ReadHex(const std::string& relative)
{
    std::ifstream file(std::string(VEXLA_SOURCE_DIR) + "/" + relative);
    std::string text;
    file >> text;
    TByteArray bytes;
    for (size_t i = 0; i + 1 < text.size(); i += 2) {
        bytes.push_back(static_cast<unsigned char>(std::stoi(text.substr(i, 2), nullptr, 16)));
    }
    return bytes;
}

TByteArray Exponent()
{
    return TByteArray(VexlaLib::RSA_PUBLIC_EXPONENT, VexlaLib::RSA_PUBLIC_EXPONENT + VexlaLib::RSA_PUBLIC_EXPONENT_LENGTH);
}

CRSA Root(const unsigned char* modulus)
{
    return CRSA(VexlaLib::ROOT_KEY_BITS, Exponent(), TByteArray(modulus, modulus + VexlaLib::ROOT_KEY_LENGTH));
}

class ServerKeysTest : public ::testing::Test {
protected:
    ServerKeysTest() : m_keys(VEXLA_SERVER_SIM_KEYS_DIR) {}
    CServerKeys m_keys;
};

TEST_F(ServerKeysTest, IdentitiesEqualTheReadyBlobsOfBothRootKeys)
{
    EXPECT_EQ(m_keys.MakeIdentity(TIdentityKey::ePrimary), ReadHex("tests/unit/crypto/data/test-server-identity.primary.hex"));
    EXPECT_EQ(m_keys.MakeIdentity(TIdentityKey::eBackup), ReadHex("tests/unit/crypto/data/test-server-identity.backup.hex"));
}

TEST_F(ServerKeysTest, CorruptIdentityVerifiesUnderNeitherRootKey)
{
    const TByteArray identity = m_keys.MakeIdentity(TIdentityKey::eCorrupt);
    EXPECT_THROW(CRSA::DecryptServerIdentity(identity, Root(VexlaLib::ROOT_KEY_TEST_PRIMARY)), std::exception);
    EXPECT_THROW(CRSA::DecryptServerIdentity(identity, Root(VexlaLib::ROOT_KEY_TEST_BACKUP)), std::exception);
}

TEST_F(ServerKeysTest, WrongDigestIdentityPassesOnlyWithoutTheDigestCheck)
{
    const TByteArray identity = m_keys.MakeIdentity(TIdentityKey::eWrongDigest);
    TByteArray modulus = m_keys.ServerModulus();
    modulus.insert(modulus.begin(), 0x00);
    EXPECT_EQ(CRSA::DecryptServerIdentity(identity, Root(VexlaLib::ROOT_KEY_TEST_PRIMARY)), modulus);
    EXPECT_THROW(CRSA::DecryptServerIdentity(identity, Root(VexlaLib::ROOT_KEY_TEST_PRIMARY), true), std::exception);
}

TEST_F(ServerKeysTest, RecoversSecretsTheClientEncrypted)
{
    TByteArray modulus = m_keys.ServerModulus();
    modulus.insert(modulus.begin(), 0x00);
    const CRSA serverKey(384, Exponent(), modulus);
    std::mt19937 random(7);
    for (int round = 0; round < 50; ++round) {
        TByteArray secret(20);
        for (unsigned char& byte : secret) {
            byte = static_cast<unsigned char>(random());
        }
        TByteArray recovered;
        ASSERT_TRUE(m_keys.DecryptSecret(CRSA::EncryptSecret(secret, serverKey), recovered));
        EXPECT_EQ(recovered, secret);
    }
}

TEST_F(ServerKeysTest, RefusesMalformedSecrets)
{
    TByteArray modulus = m_keys.ServerModulus();
    modulus.insert(modulus.begin(), 0x00);
    const TByteArray good = CRSA::EncryptSecret(TByteArray(20, 0x33), CRSA(384, Exponent(), modulus));
    TByteArray out;
    TByteArray noMark = good;
    noMark[0] = 'X';
    TByteArray tampered = good;
    tampered[30] ^= 0x40;
    EXPECT_FALSE(m_keys.DecryptSecret(noMark, out));
    EXPECT_FALSE(m_keys.DecryptSecret(tampered, out));
    EXPECT_FALSE(m_keys.DecryptSecret(TByteArray(good.begin(), good.end() - 1), out));
    EXPECT_FALSE(m_keys.DecryptSecret(TByteArray(50, 0xFF), out));
}

TEST(ServerKeysLoad, MissingFolderNamesTheFile)
{
    try {
        CServerKeys keys("/nonexistent");
        FAIL() << "no exception";
    } catch (const std::runtime_error& failure) {
        EXPECT_NE(std::string(failure.what()).find("test-root-primary.pem"), std::string::npos);
    }
}

}  // namespace
