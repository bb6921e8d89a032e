#include "FuzzLog.h"

#include <string>

#include "Utils/ILog.h"
#include "Utils/Log.h"
#include "Utils/Utils.h"

namespace FuzzSupport {

namespace {

// Library threads log too, so each message is encoded into a buffer of its own.
class CDiscardingLog : public VexlaLib::ILog {
public:
    void log(const std::wstring& text) override
    {
        std::string utf8;
        VexlaLib::CUtils::ConvertWideToChar(text, &utf8);
    }
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
