#pragma once

#include <string>

#include "Utils/ByteArray.h"

// The command line of vexla-dump.
class CDumpOptions {
public:
    // Parses the arguments; false with *error set when they are not usable.
    bool Parse(int argc, char** argv, std::string* error);

    static const char* Usage();

    bool help = false;
    bool binary = false;  // raw bytes instead of hex text
    bool frames = false;  // frames (length, body, checksum) instead of one packet body
    VexlaLib::TByteArraySPtr key;  // checksum key of the frames; empty for the plain CRC-32
    VexlaLib::TByteArray rc4Key;  // when set, the input is decrypted with it first
    std::string inputPath;  // empty or "-": standard input
    std::string pcapPath;  // when set, a packet capture to decode instead of the input
    std::string keyLogPath;  // the key log of the captured sessions
};
