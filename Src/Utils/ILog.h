#pragma once

#include <string>

namespace VexlaLib {

// A log sink. The default writes each text to standard output as it is, in UTF-8.
class ILog {
public:
    virtual ~ILog() = default;
    virtual void log(const std::wstring& text);
    virtual void flush() {}
};

}  // namespace VexlaLib
