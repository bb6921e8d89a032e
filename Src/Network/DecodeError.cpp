#include "Network/DecodeError.h"

#include "Utils/LogStream.h"

namespace VexlaLib {

void LogDecodeError(const char* text) { LogError() << text << std::endl; }

bool IsWireSizeAcceptable(int size, size_t available, TWireSize kind)
{
    const bool isLength = kind == WIRE_LENGTH;
    if (size < 0) {
        LogDecodeError(isLength ? "Attribute length is negative." : "Attribute count is negative.");
        return false;
    }
    if (static_cast<size_t>(size) > available) {
        LogDecodeError(isLength ? "Attribute length exceeds the packet." : "Attribute count exceeds the packet.");
        return false;
    }
    return true;
}

}  // namespace VexlaLib
