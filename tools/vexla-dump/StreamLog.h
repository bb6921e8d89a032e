#pragma once

#include <cstdio>
#include <string>

#include "Utils/ILog.h"

// A log sink that writes each message in UTF-8 to a C stream, without the timestamp line that
// messages start with: the tool's output is the dump and the decoder's messages, nothing else.
class CStreamLog : public VexlaLib::ILog {
public:
    explicit CStreamLog(FILE* stream);

    void log(const std::wstring& text) override;
    void flush() override;

private:
    FILE* m_stream;
};
