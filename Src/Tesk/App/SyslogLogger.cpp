#include "Tesk/App/SyslogLogger.h"

#include "Tesk/App/PlatformLog.h"
#include "Utils/Utils.h"

void CSyslogLogger::log(const std::wstring& text)
{
    CPlatformLog::Print(m_level, VexlaLib::CUtils::ConvertWideToChar(text));
}
