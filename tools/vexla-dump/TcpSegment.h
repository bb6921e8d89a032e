#pragma once

#include <cstdint>
#include <string>

#include "Utils/ByteArray.h"

// One captured TCP segment: who sent it to whom ("address:port"), when, and what it carried.
struct STcpSegment {
    double time = 0;  // seconds since the epoch, as captured
    std::string source;
    std::string destination;
    uint32_t sequence = 0;
    bool syn = false;
    bool ack = false;
    VexlaLib::TByteArray payload;
};
