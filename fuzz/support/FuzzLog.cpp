#include "FuzzLog.h"

#include <string>

#include "Utils/ILog.h"
#include "Utils/Log.h"
#include "Utils/Utils.h"

namespace FuzzSupport {

namespace {

class CDiscardingLog : public VexlaLib::ILog {
public:
    void log(const std::wstring& text) override { VexlaLib::CUtils::ConvertWideToChar(text, &m_utf8); }

private:
    std::string m_utf8;
};

}  // namespace

void InstallDiscardingLog()
{
    static bool installed = false;
    if (installed)
        return;
    installed = true;
    const int every = VexlaLib::CLog::LOG_INFO | VexlaLib::CLog::LOG_DEBUG | VexlaLib::CLog::LOG_NOTICE |
                      VexlaLib::CLog::LOG_WARNING | VexlaLib::CLog::LOG_ERROR;
    VexlaLib::CLog::Instance().AddStream(every, new CDiscardingLog());
}

}  // namespace FuzzSupport
