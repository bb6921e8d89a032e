#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "StoreTestKeys.h"
#include "marloservice/MarloRequestHandler.h"

namespace
{
const char* const FAILURE_REPLY = R"({"returnValue":false,"errorCode":-1,"errorText":"Command failed."})";

struct CPost
{
    std::string m_url;
    std::string m_body;
};

class CFakeStore : public IStoreTransport
{
public:
    TStoreResponse curl_send(const std::string& url, const std::string& body) override
    {
        m_posts.push_back({url, body});
        return m_response;
    }

    TStoreResponse m_response{true, 200, "<ok/>"};
    std::vector<CPost> m_posts;
};

// The text between <name> and </name> in xml.
std::string Element(const std::string& xml, const std::string& name)
{
    const std::string open = "<" + name + ">";
    const std::size_t start = xml.find(open);
    if (start == std::string::npos)
        return "<missing>";
    const std::size_t end = xml.find("</" + name + ">", start);
    return xml.substr(start + open.size(), end - start - open.size());
}

class MarloRequestHandlerTest : public ::testing::Test
{
protected:
    MarloRequestHandlerTest()
    {
        m_config.store_host = "store.test:4433";
        m_config.pub_key_path = StoreTestKeys::Path("pubkey.der");
    }

    CMarloConfig m_config;
    CFakeStore m_store;
    std::ostringstream m_messages;
    CMarloRequestHandler m_handler{m_config, m_store, m_messages};
};
}  // namespace

TEST_F(MarloRequestHandlerTest, DeviceTokenGetPostsEncryptedCredentials)
{
    m_store.m_response = {true, 200, "<deviceTokenGetResponse>\"T\"</deviceTokenGetResponse>"};
    EXPECT_EQ(m_handler.device_token_get(R"({"email":"user@example.com","password":"s3cr&t","deviceid":"IMEI<1>"})"),
              R"({"returnValue":true,"xml":"<deviceTokenGetResponse>\"T\"</deviceTokenGetResponse>","httpStatus":200})");
    ASSERT_EQ(m_store.m_posts.size(), 1u);
    const CPost& post = m_store.m_posts[0];
    EXPECT_EQ(post.m_url, "https://store.test:4433/DexelRESTInterface/protected/accountLink/deviceTokenGet.jsp");
    EXPECT_EQ(Element(post.m_body, "deviceId"), "nylo:IMEI&lt;1&gt;");
    EXPECT_EQ(Element(post.m_body, "partner"), "nylo");
    EXPECT_EQ(StoreTestKeys::Decrypt(Element(post.m_body, "email")), "user@example.com");
    EXPECT_EQ(StoreTestKeys::Decrypt(Element(post.m_body, "password")), "s3cr&t");
    EXPECT_EQ(m_messages.str(), "");
}

TEST_F(MarloRequestHandlerTest, PurchasePostsEscapedValues)
{
    EXPECT_EQ(m_handler.purchase(R"({"msin":"B<1>","devicetoken":"DT&1","associatetag":"it's"})"),
              R"({"returnValue":true,"xml":"<ok/>","httpStatus":200})");
    EXPECT_EQ(m_handler.purchase(R"({"msin":"B2","devicetoken":"DT"})"),
              R"({"returnValue":true,"xml":"<ok/>","httpStatus":200})");
    ASSERT_EQ(m_store.m_posts.size(), 2u);
    EXPECT_EQ(m_store.m_posts[0].m_url, "https://store.test:4433/DexelRESTInterface/protected/purchase/offerPurchase.jsp");
    EXPECT_EQ(m_store.m_posts[0].m_body,
              "<?xml version=\"1.0\"?><offerPurchase><MSIN>B&lt;1&gt;</MSIN><associateTag>it&apos;s</associateTag>"
              "<deviceToken>DT&amp;1</deviceToken></offerPurchase>");
    EXPECT_EQ(Element(m_store.m_posts[1].m_body, "associateTag"), "");
}

TEST_F(MarloRequestHandlerTest, MissingParametersFailWithoutTransfer)
{
    const char* const payloads[] = {
        R"({"password":"p","deviceid":"d"})", R"({"email":"e","deviceid":"d"})",
        R"({"email":"e","password":"p"})",    R"({"email":"e","password":"p","deviceid":null})",
        R"([1,2])",
    };
    for (const char* payload : payloads)
    {
        m_messages.str("");
        EXPECT_EQ(m_handler.device_token_get(payload), FAILURE_REPLY) << payload;
        EXPECT_EQ(m_messages.str(), "ERROR: no params\nERROR! returning false reply\n") << payload;
    }
    m_messages.str("");
    EXPECT_EQ(m_handler.purchase(R"({"devicetoken":"DT","associatetag":"a"})"), FAILURE_REPLY);
    EXPECT_EQ(m_handler.purchase(R"({"msin":"B1","associatetag":"a"})"), FAILURE_REPLY);
    EXPECT_EQ(m_messages.str(), "ERROR: no params\nERROR! returning false reply\n"
                                "ERROR: no params\nERROR! returning false reply\n");
    EXPECT_TRUE(m_store.m_posts.empty());
}

TEST_F(MarloRequestHandlerTest, ValuesXmlCannotCarryFailWithoutTransfer)
{
    EXPECT_EQ(m_handler.device_token_get(R"({"email":"e","password":"p","deviceid":"IMEI\u0001"})"), FAILURE_REPLY);
    EXPECT_EQ(m_handler.purchase(R"({"msin":"B\u001b1","devicetoken":"DT"})"), FAILURE_REPLY);
    EXPECT_EQ(m_handler.purchase(R"({"msin":"B1","devicetoken":"DT\uffff"})"), FAILURE_REPLY);
    EXPECT_EQ(m_handler.purchase(R"({"msin":"B1","devicetoken":"DT","associatetag":"tag\u001f"})"), FAILURE_REPLY);
    EXPECT_EQ(m_messages.str(), "ERROR: deviceid holds a character that XML 1.0 cannot carry\nERROR! returning false reply\n"
                                "ERROR: msin holds a character that XML 1.0 cannot carry\nERROR! returning false reply\n"
                                "ERROR: devicetoken holds a character that XML 1.0 cannot carry\nERROR! returning false reply\n"
                                "ERROR: associatetag holds a character that XML 1.0 cannot carry\nERROR! returning false reply\n");
    EXPECT_TRUE(m_store.m_posts.empty());
    // Tabs, line ends and characters beyond the first plane are text.
    EXPECT_NE(m_handler.purchase(R"({"msin":"B\t1\n","devicetoken":"DT\ud83d\ude00"})"), FAILURE_REPLY);
}

TEST_F(MarloRequestHandlerTest, PayloadThatIsNotJsonFails)
{
    EXPECT_EQ(m_handler.purchase("{\"msin\": "), FAILURE_REPLY);
    EXPECT_EQ(m_handler.device_token_get(""), FAILURE_REPLY);
    EXPECT_EQ(m_messages.str(), "ERROR! returning false reply\nERROR! returning false reply\n");
    EXPECT_TRUE(m_store.m_posts.empty());
}

TEST_F(MarloRequestHandlerTest, CredentialsThatCannotBeEncryptedFailWithoutTransfer)
{
    const std::string longEmail(118, 'e');  // the 1024-bit test key takes at most 117 bytes
    EXPECT_EQ(m_handler.device_token_get(R"({"email":")" + longEmail + R"(","password":"p","deviceid":"d"})"),
              FAILURE_REPLY);
    EXPECT_EQ(m_handler.device_token_get(R"({"email":"e","password":"","deviceid":"d"})"), FAILURE_REPLY);
    m_config.pub_key_path = StoreTestKeys::Path("missing.der");
    EXPECT_EQ(m_handler.device_token_get(R"({"email":"e","password":"p","deviceid":"d"})"), FAILURE_REPLY);
    EXPECT_NE(m_messages.str().find("missing.der"), std::string::npos);
    EXPECT_TRUE(m_store.m_posts.empty());
}

TEST_F(MarloRequestHandlerTest, StoreAnswersThatCannotBePassedOnFail)
{
    const std::string purchase = R"({"msin":"B1","devicetoken":"DT"})";
    m_store.m_response = {false, 0, ""};
    EXPECT_EQ(m_handler.purchase(purchase), FAILURE_REPLY);
    m_store.m_response = {true, 200, ""};
    EXPECT_EQ(m_handler.purchase(purchase), FAILURE_REPLY);
    m_store.m_response = {true, 200, "<a>\xff\xfe</a>"};
    EXPECT_EQ(m_handler.purchase(purchase), FAILURE_REPLY);
    EXPECT_EQ(m_messages.str(), "ERROR! returning false reply\nERROR! returning false reply\n"
                                "ERROR: the store's answer is not UTF-8 text\nERROR! returning false reply\n");
}

TEST_F(MarloRequestHandlerTest, AnHttpErrorPageIsPassedOnWithItsStatus)
{
    m_store.m_response = {true, 500, "<html>oops</html>"};
    EXPECT_EQ(m_handler.purchase(R"({"msin":"B1","devicetoken":"DT"})"),
              R"({"returnValue":true,"xml":"<html>oops</html>","httpStatus":500})");
}
