#pragma once

#include <string>

#include "Utils/ILog.h"

// A library log sink that prints to the platform log at one fixed level.
class CSyslogLogger : public VexlaLib::ILog {
public:
    explicit CSyslogLogger(int level) : m_level(level) {}

    void log(const std::wstring& text) override;
    void flush() override {}

    int GetLevel() const { return m_level; }

private:
    int m_level;
};
