#pragma once

#include <string>

// Builds the XML bodies of the two store requests. Values from the caller are XML-escaped; the
// encrypted e-mail and password are Base64 and need no escaping.
class CMarloRequestBuilder
{
public:
    static const char* const get_token_req_1;
    static const char* const get_token_req_2;
    static const char* const get_token_req_3;
    static const char* const get_token_req_4;
    static const char* const get_token_req_5;
    static const char* const purchase_req_1;
    static const char* const purchase_req_2;
    static const char* const purchase_req_3;
    static const char* const purchase_req_4;

    // The device id element carries "partner:deviceId"; the partner is sent again in its own element.
    static std::string DeviceTokenBody(const std::string& partner, const std::string& deviceId,
                                       const std::string& encryptedEmail, const std::string& encryptedPassword);

    static std::string PurchaseBody(const std::string& msin, const std::string& associateTag,
                                    const std::string& deviceToken);

    // Replaces &, <, >, " and ' by their entities. Characters XML 1.0 cannot carry (most control
    // characters, surrogates, U+FFFE and U+FFFF) and bytes that are not UTF-8 are left out.
    static std::string XmlEscape(const std::string& text);

    // Whether text is UTF-8 made only of characters XML 1.0 can carry.
    static bool IsXmlText(const std::string& text);
};
