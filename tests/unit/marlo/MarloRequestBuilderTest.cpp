#include <gtest/gtest.h>

#include "marloservice/MarloRequestBuilder.h"

TEST(MarloRequestBuilder, DeviceTokenBodyByteForByte)
{
    EXPECT_EQ(CMarloRequestBuilder::DeviceTokenBody("nylo", "IMEI-42", "RU1B\nSUw=", "UEFTUw=="),
              "<?xml version=\"1.0\"?><deviceTokenGet><deviceEnabled>true</deviceEnabled>"
              "<deviceId>nylo:IMEI-42</deviceId><email>RU1B\nSUw=</email><partner>nylo</partner>"
              "<password>UEFTUw==</password></deviceTokenGet>");
}

TEST(MarloRequestBuilder, PurchaseBodyByteForByte)
{
    EXPECT_EQ(CMarloRequestBuilder::PurchaseBody("B000123", "tag-7", "DT-1"),
              "<?xml version=\"1.0\"?><offerPurchase><MSIN>B000123</MSIN><associateTag>tag-7</associateTag>"
              "<deviceToken>DT-1</deviceToken></offerPurchase>");
    EXPECT_EQ(CMarloRequestBuilder::PurchaseBody("B1", "", "T"),
              "<?xml version=\"1.0\"?><offerPurchase><MSIN>B1</MSIN><associateTag></associateTag>"
              "<deviceToken>T</deviceToken></offerPurchase>");
}

TEST(MarloRequestBuilder, CallerValuesAreEscaped)
{
    EXPECT_EQ(CMarloRequestBuilder::XmlEscape("a<b>&\"c'd"), "a&lt;b&gt;&amp;&quot;c&apos;d");
    EXPECT_EQ(CMarloRequestBuilder::XmlEscape("&amp;"), "&amp;amp;");
    EXPECT_EQ(CMarloRequestBuilder::XmlEscape("pl\xc3\xa4in"), "pl\xc3\xa4in");
    EXPECT_EQ(CMarloRequestBuilder::PurchaseBody("<B>", "x&y", "'t'"),
              "<?xml version=\"1.0\"?><offerPurchase><MSIN>&lt;B&gt;</MSIN><associateTag>x&amp;y</associateTag>"
              "<deviceToken>&apos;t&apos;</deviceToken></offerPurchase>");
    // Characters XML 1.0 cannot carry never reach the body.
    EXPECT_EQ(CMarloRequestBuilder::XmlEscape(std::string("a\x01\x1f\0b\t\xef\xbf\xbf\xed\xa0\x80\xff", 13)), "ab\t");
    EXPECT_EQ(CMarloRequestBuilder::XmlEscape("\xf0\x9f\x98\x80\r\n"), "\xf0\x9f\x98\x80\r\n");
    EXPECT_TRUE(CMarloRequestBuilder::IsXmlText("plain \xc3\xa4 \xf0\x9f\x98\x80\t"));
    EXPECT_FALSE(CMarloRequestBuilder::IsXmlText("bell\x07"));
    EXPECT_FALSE(CMarloRequestBuilder::IsXmlText("\xc3"));
    EXPECT_NE(CMarloRequestBuilder::DeviceTokenBody("nylo", "</deviceId><x>", "E", "P")
                  .find("<deviceId>nylo:&lt;/deviceId&gt;&lt;x&gt;</deviceId>"),
              std::string::npos);
}
