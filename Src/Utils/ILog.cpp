#include "Utils/ILog.h"

#include <cstdio>

#include "Utils/Utils.h"

namespace VexlaLib {

void ILog::log(const std::wstring& text)
{
    const std::string bytes = CUtils::ConvertWideToChar(text);
    fwrite(bytes.data(), 1, bytes.size(), stdout);
}

}  // namespace VexlaLib
