#include "StderrLog.h"

#include <cstdio>

#include "Utils/Log.h"
#include "Utils/Utils.h"

namespace ServerSim {

using VexlaLib::CLog;

void CStderrLog::log(const std::wstring& text)
{
    std::string bytes = VexlaLib::CUtils::ConvertWideToChar(text);
    if (bytes.empty() || bytes.back() != '\n') {
        bytes += '\n';
    }
    std::fwrite(bytes.data(), 1, bytes.size(), stderr);
}

void CStderrLog::Install(int level)
{
    int mask = 0;
    mask |= level >= 3 ? CLog::LOG_ERROR : 0;
    mask |= level >= 4 ? CLog::LOG_WARNING : 0;
    mask |= level >= 5 ? CLog::LOG_NOTICE : 0;
    mask |= level >= 6 ? CLog::LOG_INFO : 0;
    mask |= level >= 7 ? CLog::LOG_DEBUG : 0;
    if (mask != 0) {
        CLog::Instance().AddStream(mask, new CStderrLog());
    }
}

}  // namespace ServerSim
