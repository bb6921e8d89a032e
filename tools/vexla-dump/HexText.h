#pragma once

#include <string>

#include "Utils/ByteArray.h"

// Hexadecimal text as typed or pasted by a developer: pairs of digits, white space anywhere.
class CHexText {
public:
    // False when the text holds anything else or an odd number of digits.
    static bool Parse(const std::string& text, VexlaLib::TByteArray* bytes);
};
