#pragma once

#include "Network/PacketPtr.h"

#include <string>

namespace VexlaLib {

// Common base of the protocol handlers: the facade offers each of them every CHUNK_ERROR and asks
// each to drop its session state when a session ends.
class CBaseHandler
{
public:
    virtual ~CBaseHandler() = default;

    // Returns true when the handler claims the error.
    virtual bool HandleError(const TPacketSPtr& packet, int code) = 0;
    virtual void ClearSessionData() = 0;

protected:
    // Logs "Required attribute '<attribute>' is missing in chunk '<chunk>'.".
    static void LogMissingAttr(const std::wstring& attribute, const std::wstring& chunk);
    // The same, naming both by their codes.
    static void LogMissingAttr(int key, int chunk);
};

}  // namespace VexlaLib
