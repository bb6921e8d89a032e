#pragma once

#include <memory>
#include <vector>

namespace VexlaLib {

// A byte buffer shared between its producer and its readers (packets, keys, frames).
typedef std::vector<unsigned char> TByteArray;
typedef std::shared_ptr<TByteArray> TByteArraySPtr;

}  // namespace VexlaLib
