#pragma once

#include <random>
#include <string>
#include <vector>

#include "Utils/ByteArray.h"

// Inputs shared by the micro benchmarks: fixed random bytes and the test keys kept in the tree.
namespace MicroBench {

inline VexlaLib::TByteArray RandomBytes(size_t length, unsigned seed = 1)
{
    std::mt19937 random(seed);
    VexlaLib::TByteArray bytes(length);
    for (auto& byte : bytes) {
        byte = static_cast<unsigned char>(random());
    }
    return bytes;
}

// The bytes of a hexadecimal file under the source tree.
VexlaLib::TByteArray ReadHexFile(const std::string& relative);

// Sizes of the throughput figures: a large transfer and one typical Ethernet-sized frame.
const int LARGE = 16384;
const int FRAME = 1500;

}  // namespace MicroBench
