#include "StreamLog.h"

#include "Utils/Utils.h"

namespace {
const std::wstring kTimestampStart = L"Time: ";
}

CStreamLog::CStreamLog(FILE* stream)
    : m_stream(stream)
{
}

void CStreamLog::log(const std::wstring& text)
{
    size_t start = 0;
    if (text.compare(0, kTimestampStart.size(), kTimestampStart) == 0) {
        const size_t lineEnd = text.find(L'\n');
        start = lineEnd == std::wstring::npos ? text.size() : lineEnd + 1;
    }
    const std::string utf8 = VexlaLib::CUtils::ConvertWideToChar(text.substr(start));
    std::fwrite(utf8.data(), 1, utf8.size(), m_stream);
}

void CStreamLog::flush() { std::fflush(m_stream); }
