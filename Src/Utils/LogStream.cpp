#include "Utils/LogStream.h"

#include <cstring>

#include "Utils/ILog.h"
#include "Utils/Utils.h"

namespace VexlaLib {

CLogStream::CLogStream(CLog::TStreamCategory category, TTimestamp timestamp)
    : m_timestamp(timestamp), m_enabled(CLog::Instance().IsEnabled(category))
{
    if (!m_enabled)
        return;
    m_streams = CLog::Instance().GetStreams(category);
    if (m_timestamp == TIMESTAMP_AT_START)
        Buffer() << DumpTimeStamp(std::wstring());
}

CLogStream::~CLogStream()
{
    if (m_buffer) {
        *m_buffer << L'\n';
        flush();
    }
}

CLogStream& CLogStream::operator<<(std::wostream& (*manipulator)(std::wostream&))
{
    if (!m_enabled)
        return *this;
    manipulator(Buffer());
    flush();
    return *this;
}

CLogStream& CLogStream::operator<<(std::ios_base& (*manipulator)(std::ios_base&))
{
    if (!m_enabled)
        return *this;
    manipulator(Buffer());
    return *this;
}

void CLogStream::flush()
{
    if (!m_buffer)
        return;
    std::wstring text = m_buffer->str();
    if (m_timestamp == TIMESTAMP_AT_FLUSH)
        text = DumpTimeStamp(text);
    for (ILog* sink : m_streams) {
        sink->log(text);
        sink->flush();
    }
    m_buffer.reset();
}

std::wstring CLogStream::DumpTimeStamp(const std::wstring& text)
{
    int hour = 0;
    int minute = 0;
    int second = 0;
    int ms = 0;
    CUtils::CurrentClock(&hour, &minute, &second, &ms);
    return L"Time: " + std::to_wstring(hour) + L":" + std::to_wstring(minute) + L":" +
           std::to_wstring(second) + L"." + std::to_wstring(ms) + L"\n" + text;
}

void CLogStream::WriteHexBytes(const unsigned char* data, size_t length, size_t limit)
{
    if (!m_enabled)
        return;
    static const char kDigits[] = "0123456789abcdef";
    const size_t shown = length < limit ? length : limit;
    std::wstring text;
    text.reserve(shown * 6 + 5);
    for (size_t i = 0; i < shown; ++i) {
        if (i > 0)
            text += L", ";
        text += L"0x";
        if (data[i] >= 0x10)
            text += static_cast<wchar_t>(kDigits[data[i] >> 4]);
        text += static_cast<wchar_t>(kDigits[data[i] & 0x0F]);
    }
    if (shown < length)
        text += shown > 0 ? L", ..." : L"...";
    Buffer() << text;
}

std::wostringstream& CLogStream::Buffer()
{
    if (!m_buffer)
        m_buffer.reset(new std::wostringstream);
    return *m_buffer;
}

void CLogStream::WriteNarrow(const char* text)
{
    if (text != nullptr)
        WriteNarrow(text, strlen(text));
}

void CLogStream::WriteNarrow(const char* text, size_t length)
{
    // Straight into the buffer: no wide copy of the text.
    std::wostringstream& buffer = Buffer();
    for (size_t i = 0; i < length; ++i)
        buffer.put(static_cast<wchar_t>(static_cast<unsigned char>(text[i])));
}

}  // namespace VexlaLib
