#pragma once

#include <string>

#include "Tesk/Core/BusTypes.h"

// What the methods of com.vexla.call are handed to. Each operation answers its message, at once or
// later.
class ICallHandler {
public:
    virtual void CallUsingGateway(const TBusMessageSPtr& message, const std::wstring& to, const bool& isPhone) = 0;
    virtual void IncomingContactTranslate(const TBusMessageSPtr& message, const std::wstring& clid) = 0;
    virtual void IncomingGatewayQueryStart(const TBusMessageSPtr& message, const std::wstring& accountId) = 0;
    virtual void IncomingGatewayQueryStop(const TBusMessageSPtr& message, const std::wstring& accountId) = 0;
    virtual void BalanceQuery(const TBusMessageSPtr& message) = 0;
    virtual void BalanceQueryStart(const TBusMessageSPtr& message, const std::wstring& accountId) = 0;
    virtual void BalanceQueryStop(const TBusMessageSPtr& message, const std::wstring& accountId) = 0;
    virtual ~ICallHandler() = default;
};
