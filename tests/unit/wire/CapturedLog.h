#pragma once

#include <string>

#include "Utils/ILog.h"

namespace VexlaTest {

// A log sink that keeps the text of the error and debug categories, registered once per process
// (the log owns its sinks for the life of the process). Tests clear it before the step they check.
class CCapturedLog : public VexlaLib::ILog {
 public:
  static CCapturedLog& Instance();

  void log(const std::wstring& text) override { m_text += text; }
  void Clear() { m_text.clear(); }
  const std::wstring& Text() const { return m_text; }
  bool Contains(const std::wstring& part) const { return m_text.find(part) != std::wstring::npos; }

 private:
  CCapturedLog() = default;

  std::wstring m_text;
};

}  // namespace VexlaTest
