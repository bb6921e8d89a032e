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

bool IsSeparator(char c) { return c == ',' || std::isspace(static_cast<unsigned char>(c)); }

// One 0x-prefixed byte of one or two digits.
bool ParsePrefixedByte(const std::string& item, VexlaLib::TByteArray* bytes)
{
    if (item.size() < 3 || item.size() > 4)
        return false;
    int value = 0;
    for (size_t i = 2; i < item.size(); ++i) {
        const int digit = DigitValue(item[i]);
        if (digit < 0)
            return false;
        value = value * 16 + digit;
    }
    bytes->push_back(static_cast<unsigned char>(value));
    return true;
}

// A run of digit pairs.
bool ParsePairs(const std::string& item, VexlaLib::TByteArray* bytes)
{
    if (item.size() % 2 != 0)
        return false;
    for (size_t i = 0; i < item.size(); i += 2) {
        const int high = DigitValue(item[i]);
        const int low = DigitValue(item[i + 1]);
        if (high < 0 || low < 0)
            return false;
        bytes->push_back(static_cast<unsigned char>(high * 16 + low));
    }
    return true;
}

}  // namespace

bool CHexText::Parse(const std::string& text, VexlaLib::TByteArray* bytes)
{
    std::string content = text;
    const size_t open = text.find('{');
    if (open != std::string::npos) {
        const size_t close = text.find('}', open);
        if (close == std::string::npos)
            return false;
        content = text.substr(open + 1, close - open - 1);
    }
    VexlaLib::TByteArray parsed;
    parsed.reserve(content.size() / 2);
    size_t at = 0;
    while (at < content.size()) {
        if (IsSeparator(content[at])) {
            ++at;
            continue;
        }
        size_t end = at;
        while (end < content.size() && !IsSeparator(content[end]))
            ++end;
        const std::string item = content.substr(at, end - at);
        const bool prefixed = item.size() >= 2 && item[0] == '0' && (item[1] == 'x' || item[1] == 'X');
        if (!(prefixed ? ParsePrefixedByte(item, &parsed) : ParsePairs(item, &parsed)))
            return false;
        at = end;
    }
    bytes->swap(parsed);
    return true;
}
