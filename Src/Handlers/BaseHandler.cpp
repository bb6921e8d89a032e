#include "Handlers/BaseHandler.h"

#include "Network/AttrChunk.h"
#include "Network/AttrKey.h"
#include "Utils/LogStream.h"

namespace VexlaLib {

void CBaseHandler::LogMissingAttr(const std::wstring& attribute, const std::wstring& chunk)
{
    LogError() << L"Required attribute '" << attribute << L"' is missing in chunk '" << chunk << L"'." << std::endl;
}

void CBaseHandler::LogMissingAttr(int key, int chunk)
{
    LogMissingAttr(CAttrKey::Lookup(key), CAttrChunk::Lookup(chunk));
}

}  // namespace VexlaLib
