#include "marloservice/MarloRequestBuilder.h"

#include <initializer_list>

const char* const CMarloRequestBuilder::get_token_req_1 =
    "<?xml version=\"1.0\"?><deviceTokenGet><deviceEnabled>true</deviceEnabled><deviceId>";
const char* const CMarloRequestBuilder::get_token_req_2 = "</deviceId><email>";
const char* const CMarloRequestBuilder::get_token_req_3 = "</email><partner>";
const char* const CMarloRequestBuilder::get_token_req_4 = "</partner><password>";
const char* const CMarloRequestBuilder::get_token_req_5 = "</password></deviceTokenGet>";
const char* const CMarloRequestBuilder::purchase_req_1 = "<?xml version=\"1.0\"?><offerPurchase><MSIN>";
const char* const CMarloRequestBuilder::purchase_req_2 = "</MSIN><associateTag>";
const char* const CMarloRequestBuilder::purchase_req_3 = "</associateTag><deviceToken>";
const char* const CMarloRequestBuilder::purchase_req_4 = "</deviceToken></offerPurchase>";

namespace
{
std::string Concatenate(std::initializer_list<std::string> pieces)
{
    std::size_t length = 0;
    for (const std::string& piece : pieces)
        length += piece.size();
    std::string result;
    result.reserve(length);
    for (const std::string& piece : pieces)
        result += piece;
    return result;
}
}  // namespace

std::string CMarloRequestBuilder::DeviceTokenBody(const std::string& partner, const std::string& deviceId,
                                                  const std::string& encryptedEmail,
                                                  const std::string& encryptedPassword)
{
    const std::string escapedPartner = XmlEscape(partner);
    return Concatenate({get_token_req_1, escapedPartner, ":", XmlEscape(deviceId), get_token_req_2,
                        encryptedEmail, get_token_req_3, escapedPartner, get_token_req_4, encryptedPassword,
                        get_token_req_5});
}

std::string CMarloRequestBuilder::PurchaseBody(const std::string& msin, const std::string& associateTag,
                                               const std::string& deviceToken)
{
    return Concatenate({purchase_req_1, XmlEscape(msin), purchase_req_2, XmlEscape(associateTag),
                        purchase_req_3, XmlEscape(deviceToken), purchase_req_4});
}

std::string CMarloRequestBuilder::XmlEscape(const std::string& text)
{
    std::string escaped;
    escaped.reserve(text.size());
    for (const char c : text)
    {
        switch (c)
        {
        case '&': escaped += "&amp;"; break;
        case '<': escaped += "&lt;"; break;
        case '>': escaped += "&gt;"; break;
        case '"': escaped += "&quot;"; break;
        case '\'': escaped += "&apos;"; break;
        default: escaped += c; break;
        }
    }
    return escaped;
}
