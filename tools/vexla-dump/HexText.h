#pragma once

#include <string>

#include "Utils/ByteArray.h"

// Hexadecimal text as a developer pastes it: runs of digit pairs with white space anywhere
// ("41 02 0005"), or the byte list that the library logs for a body it could not decode
// ("BINARY, [3]{0x41, 0x1, 0x0}": the part between the braces, one 0x-prefixed byte per item).
class CHexText {
public:
    // False when the text holds anything else or a run with an odd number of digits.
    static bool Parse(const std::string& text, VexlaLib::TByteArray* bytes);
};
