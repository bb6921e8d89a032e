#include "marloservice/MarloRequestBuilder.h"

#include <initializer_list>

#include <glib.h>

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
// The characters of the XML 1.0 Char production.
bool IsXmlCharacter(gunichar c)
{
    return c == 0x9 || c == 0xA || c == 0xD || (c >= 0x20 && c <= 0xD7FF) || (c >= 0xE000 && c <= 0xFFFD) ||
           (c >= 0x10000 && c <= 0x10FFFF);
}

// Calls visit(start, end, character) for each UTF-8 character of text; a byte that starts no valid
// character is passed alone as the invalid character (gunichar)-1.
template <typename TVisit> void ForEachCharacter(const std::string& text, TVisit visit)
{
    const char* at = text.data();
    const char* const end = at + text.size();
    while (at < end)
    {
        const gunichar c = g_utf8_get_char_validated(at, end - at);
        // A NUL byte is a character of its own here; glib reads it as the end of the text.
        const char* next = (c == static_cast<gunichar>(-1) || c == static_cast<gunichar>(-2) || c == 0)
                               ? at + 1
                               : g_utf8_next_char(at);
        visit(at, next, c == static_cast<gunichar>(-2) ? static_cast<gunichar>(-1) : c);
        at = next;
    }
}

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
    ForEachCharacter(text, [&escaped](const char* start, const char* end, gunichar c) {
        if (!IsXmlCharacter(c))
            return;
        switch (c)
        {
        case '&': escaped += "&amp;"; break;
        case '<': escaped += "&lt;"; break;
        case '>': escaped += "&gt;"; break;
        case '"': escaped += "&quot;"; break;
        case '\'': escaped += "&apos;"; break;
        default: escaped.append(start, end); break;
        }
    });
    return escaped;
}

bool CMarloRequestBuilder::IsXmlText(const std::string& text)
{
    bool carried = true;
    ForEachCharacter(text, [&carried](const char*, const char*, gunichar c) { carried = carried && IsXmlCharacter(c); });
    return carried;
}
