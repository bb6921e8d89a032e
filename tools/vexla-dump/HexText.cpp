#include "HexText.h"

#include <cctype>

namespace {

int DigitValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

}  // namespace

bool CHexText::Parse(const std::string& text, VexlaLib::TByteArray* bytes)
{
    VexlaLib::TByteArray parsed;
    parsed.reserve(text.size() / 2);
    int high = -1;
    for (char c : text) {
        if (std::isspace(static_cast<unsigned char>(c)))
            continue;
        const int digit = DigitValue(c);
        if (digit < 0)
            return false;
        if (high < 0) {
            high = digit;
        } else {
            parsed.push_back(static_cast<unsigned char>(high * 16 + digit));
            high = -1;
        }
    }
    if (high >= 0)
        return false;
    bytes->swap(parsed);
    return true;
}
