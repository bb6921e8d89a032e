#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <string>

#include <unistd.h>

#include "marloservice/MarloConfig.h"

namespace
{
class MarloConfigFile : public ::testing::Test
{
protected:
    void TearDown() override { std::remove(m_path.c_str()); }

    bool Load(const std::string& text)
    {
        std::ofstream(m_path) << text;
        return m_config.LoadFile(m_path, m_error);
    }

    // One file per test and process: ctest runs the tests of this binary side by side.
    const std::string m_path = std::string(VEXLA_BINARY_DIR) + "/marlo-config-" +
                               ::testing::UnitTest::GetInstance()->current_test_info()->name() + "-" +
                               std::to_string(getpid()) + ".conf";
    CMarloConfig m_config;
    std::string m_error;
};
}  // namespace

TEST(MarloConfig, CompiledInDefaults)
{
    const CMarloConfig config;
    std::string error;
    EXPECT_TRUE(config.Validate(error)) << error;
    EXPECT_EQ(config.cert_path, "/usr/share/ssl/nylo.crt");
    EXPECT_EQ(config.priv_key_path, "/usr/share/ssl/nylo.key");
    EXPECT_EQ(config.pub_key_path, "/usr/share/ssl/pubkey.der");
    EXPECT_EQ(config.partner, "nylo");
    EXPECT_EQ(config.ca_file, "");
    EXPECT_EQ(config.connect_timeout, 15);
    EXPECT_EQ(config.transfer_timeout, 60);
    EXPECT_FALSE(config.store_host.empty());
    EXPECT_EQ(config.device_tok_get_url(),
              "https://" + config.store_host + "/DexelRESTInterface/protected/accountLink/deviceTokenGet.jsp");
    EXPECT_EQ(config.purchase_url(),
              "https://" + config.store_host + "/DexelRESTInterface/protected/purchase/offerPurchase.jsp");
}

TEST(MarloConfig, PassphraseIsTheXorOfTheTwoStrings)
{
    CMarloConfig config;
    config.partner_m = "2856Qj1T159P46sT2hWFw";
    config.partner_pp = "aLZD49X9rYP5ZB81KZgtA";
    char passphrase[CMarloConfig::PASSPHRASE_LENGTH + 1];
    config.BuildPassphrase(passphrase);
    EXPECT_STREQ(passphrase, "StoreSimClientKey2026");
}

TEST_F(MarloConfigFile, OverridesWhatItNames)
{
    ASSERT_TRUE(Load("# test store\n"
                     "store_host = 127.0.0.1:4433\n"
                     "\n"
                     "  cert_path=/tmp/c.crt  \r\n"
                     "priv_key_path = /tmp/c.key\n"
                     "pub_key_path = /tmp/p.der\n"
                     "ca_file = /tmp/ca.crt\n"
                     "partner_m = 2856Qj1T159P46sT2hWFw\n"
                     "partner_pp = aLZD49X9rYP5ZB81KZgtA\n"
                     "connect_timeout = 3\n"
                     "transfer_timeout = 5\n"))
        << m_error;
    EXPECT_TRUE(m_config.Validate(m_error)) << m_error;
    EXPECT_EQ(m_config.purchase_url(), "https://127.0.0.1:4433/DexelRESTInterface/protected/purchase/offerPurchase.jsp");
    EXPECT_EQ(m_config.cert_path, "/tmp/c.crt");
    EXPECT_EQ(m_config.priv_key_path, "/tmp/c.key");
    EXPECT_EQ(m_config.pub_key_path, "/tmp/p.der");
    EXPECT_EQ(m_config.ca_file, "/tmp/ca.crt");
    EXPECT_EQ(m_config.partner, "nylo");
    EXPECT_EQ(m_config.connect_timeout, 3);
    EXPECT_EQ(m_config.transfer_timeout, 5);
}

TEST_F(MarloConfigFile, RefusesUnknownKeysMalformedLinesAndBadTimeouts)
{
    EXPECT_FALSE(Load("store_host = a\npartner = evil\n"));
    EXPECT_NE(m_error.find(":2: unknown key \"partner\""), std::string::npos) << m_error;
    EXPECT_FALSE(Load("store_host\n"));
    EXPECT_NE(m_error.find(":1: expected"), std::string::npos) << m_error;
    EXPECT_FALSE(Load("transfer_timeout = 0\n"));
    EXPECT_FALSE(Load("transfer_timeout = -1\n"));
    EXPECT_FALSE(Load("connect_timeout = 99999999999999999999\n"));
    EXPECT_FALSE(Load("connect_timeout = 5s\n"));
    EXPECT_FALSE(m_config.LoadFile(m_path + ".missing", m_error));
}

TEST(MarloConfig, RefusesStringsThatDoNotMakeAFullPassphrase)
{
    CMarloConfig config;
    std::string error;
    config.partner_m = "2856Qj1T159P46sT2hWF";  // 20 characters
    EXPECT_FALSE(config.Validate(error));
    config.partner_m = "2856Qj1T159P46sT2hWFww";  // 22 characters
    EXPECT_FALSE(config.Validate(error));
    config.partner_m = "2856Qj1T159P46sT2hWFw";
    config.partner_pp = "aLZD49X9rYP5ZB81KZgtw";  // equal last characters: the XOR ends early
    EXPECT_FALSE(config.Validate(error));
    EXPECT_NE(error.find("character 21"), std::string::npos) << error;
}
