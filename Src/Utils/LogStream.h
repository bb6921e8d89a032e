#pragma once

#include <memory>
#include <sstream>
#include <string>
#include <type_traits>
#include <vector>

#include "Utils/Log.h"

namespace VexlaLib {

class ILog;

// One log message, built with << and delivered to the sinks of its category when it is flushed:
// by std::endl, by flush(), or at destruction (with a newline appended).
//
//   CLogStream(CLog::LOG_INFO, CLogStream::TIMESTAMP_AT_START) << "Connected to " << host << std::endl;
//
// Wide text is written as it is; narrow text (char arrays, const char*, std::string) is widened byte
// by byte, without UTF-8 decoding; bool reads 1 or 0; unsigned char and enumerations read as numbers;
// std::hex and std::dec switch the base of the later numbers of the same message.
//
// A message of a category without sinks costs nothing: no timestamp, no buffer, and every << returns
// at once. Code that must compute a value only to log it asks IsEnabled() first.
class CLogStream {
public:
    enum TTimestamp { TIMESTAMP_NONE = 0, TIMESTAMP_AT_START = 1, TIMESTAMP_AT_FLUSH = 2 };

    CLogStream(CLog::TStreamCategory category, TTimestamp timestamp);
    ~CLogStream();

    CLogStream(const CLogStream&) = delete;
    CLogStream& operator=(const CLogStream&) = delete;

    template <typename T>
    CLogStream& operator<<(const T& value)
    {
        using TValue = std::decay_t<T>;
        if (!m_enabled)
            return *this;
        if constexpr (std::is_same_v<TValue, char*> || std::is_same_v<TValue, const char*>)
            WriteNarrow(value);
        else if constexpr (std::is_same_v<T, wchar_t*> || std::is_same_v<T, const wchar_t*>)
            Buffer() << (value != nullptr ? value : L"");
        else if constexpr (std::is_same_v<TValue, std::string>)
            WriteNarrow(value.data(), value.size());
        else if constexpr (std::is_same_v<TValue, char>)
            Buffer() << static_cast<wchar_t>(static_cast<unsigned char>(value));
        else if constexpr (std::is_same_v<TValue, bool>)
            Buffer() << (value ? L'1' : L'0');
        else if constexpr (std::is_same_v<TValue, unsigned char> || std::is_same_v<TValue, signed char>)
            Buffer() << static_cast<int>(value);
        else if constexpr (std::is_enum_v<TValue>)
            Buffer() << static_cast<long long>(value);
        else
            Buffer() << value;
        return *this;
    }

    // std::endl and the other stream manipulators: applied, then the message is delivered.
    CLogStream& operator<<(std::wostream& (*manipulator)(std::wostream&));
    // std::hex, std::dec and the other format manipulators.
    CLogStream& operator<<(std::ios_base& (*manipulator)(std::ios_base&));

    // Whether any sink takes this message.
    bool IsEnabled() const { return m_enabled; }

    // Writes up to limit bytes as "0x41, 0x1, ...", adding ", ..." when the data is longer; one
    // formatting pass, no text per byte.
    void WriteHexBytes(const unsigned char* data, size_t length, size_t limit);

    // Delivers the text written so far to every sink of the category; a later << starts a new text.
    void flush();

    // "Time: H:M:S.MS" and a newline (local time, decimal, no padding), followed by text.
    static std::wstring DumpTimeStamp(const std::wstring& text);

private:
    std::wostringstream& Buffer();
    void WriteNarrow(const char* text);
    void WriteNarrow(const char* text, size_t length);

    std::unique_ptr<std::wostringstream> m_buffer;
    std::vector<ILog*> m_streams;
    TTimestamp m_timestamp;
    bool m_enabled;
};

// Shorthands for the usual form of a message: the category and a timestamp taken at its start.
inline CLogStream LogInfo() { return CLogStream(CLog::LOG_INFO, CLogStream::TIMESTAMP_AT_START); }
inline CLogStream LogDebug() { return CLogStream(CLog::LOG_DEBUG, CLogStream::TIMESTAMP_AT_START); }
inline CLogStream LogNotice() { return CLogStream(CLog::LOG_NOTICE, CLogStream::TIMESTAMP_AT_START); }
inline CLogStream LogWarning() { return CLogStream(CLog::LOG_WARNING, CLogStream::TIMESTAMP_AT_START); }
inline CLogStream LogError() { return CLogStream(CLog::LOG_ERROR, CLogStream::TIMESTAMP_AT_START); }

}  // namespace VexlaLib
