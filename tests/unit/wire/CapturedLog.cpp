#include "CapturedLog.h"

#include "Utils/Log.h"

namespace VexlaTest {

CCapturedLog& CCapturedLog::Instance() {
  static CCapturedLog* sink = [] {
    CCapturedLog* created = new CCapturedLog();
    VexlaLib::CLog::Instance().AddStream(VexlaLib::CLog::LOG_ERROR | VexlaLib::CLog::LOG_DEBUG, created);
    return created;
  }();
  return *sink;
}

}  // namespace VexlaTest
