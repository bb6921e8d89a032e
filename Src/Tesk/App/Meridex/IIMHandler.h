#pragma once

#include <string>

#include "Tesk/Core/BusTypes.h"

// The receiver of the com.vexla.im methods: the activity callbacks of the messaging framework's
// watches, the keep-alive schedule and the account deletion.
class IIMHandler {
public:
    // Answered by the handler once the account's records are gone.
    virtual void onDelete(const TBusMessageSPtr& message, const std::wstring& accountId) = 0;
    virtual void keepAlive(const TBusMessageSPtr& message) = 0;
    virtual void loginStateChanged(const TBusMessageSPtr& message) = 0;
    virtual void availabilityChanged(const TBusMessageSPtr& message) = 0;
    virtual void customMessageChanged(const TBusMessageSPtr& message) = 0;
    virtual void immessageChanged(const TBusMessageSPtr& message) = 0;
    virtual void imcommandChanged(const TBusMessageSPtr& message) = 0;
    virtual void connectionManagerStatusChanged(const TBusMessageSPtr& message) = 0;
    virtual void networkStatusQueryChanged(const TBusMessageSPtr& message) = 0;
    virtual ~IIMHandler() = default;
};
