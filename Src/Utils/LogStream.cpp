#include "Utils/LogStream.h"

#include <cstring>

#include "Utils/ILog.h"
#include "Utils/Utils.h"

namespace VexlaLib {

CLogStream::CLogStream(CLog::TStreamCategory category, TTimestamp timestamp)
    : m_streams(CLog::Instance().GetStreams(category)), m_timestamp(timestamp)
{
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
    manipulator(Buffer());
    flush();
    return *this;
}

CLogStream& CLogStream::operator<<(std::ios_base& (*manipulator)(std::ios_base&))
{
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
    std::wstring wide;
    wide.reserve(length);
    for (size_t i = 0; i < length; ++i)
        wide.push_back(static_cast<wchar_t>(static_cast<unsigned char>(text[i])));
    Buffer() << wide;
}

}  // namespace VexlaLib
