#pragma once

#include <mutex>
#include <string>

#include "Utils/ILog.h"
#include "Utils/Log.h"

namespace VexlaTest {

// A sink on every category of the process log that keeps what it was given, for tests that check
// log texts. It is registered once per process (the log owns it); Clear() forgets earlier text.
class CLogCapture : public VexlaLib::ILog {
public:
    static CLogCapture& Get()
    {
        static CLogCapture* capture = [] {
            CLogCapture* sink = new CLogCapture;
            VexlaLib::CLog::Instance().AddStream(0x1F, sink);
            return sink;
        }();
        return *capture;
    }

    void log(const std::wstring& text) override
    {
        std::lock_guard<std::mutex> guard(m_mutex);
        m_text += text;
    }

    void Clear()
    {
        std::lock_guard<std::mutex> guard(m_mutex);
        m_text.clear();
    }

    std::wstring Text() const
    {
        std::lock_guard<std::mutex> guard(m_mutex);
        return m_text;
    }

    bool Contains(const std::wstring& part) const { return Text().find(part) != std::wstring::npos; }

    size_t Count(const std::wstring& part) const
    {
        const std::wstring text = Text();
        size_t count = 0;
        for (size_t at = text.find(part); at != std::wstring::npos; at = text.find(part, at + part.size()))
            ++count;
        return count;
    }

private:
    CLogCapture() = default;

    mutable std::mutex m_mutex;
    std::wstring m_text;
};

}  // namespace VexlaTest
