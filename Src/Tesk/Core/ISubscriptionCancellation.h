#pragma once
// Hears that a subscriber went away (it cancelled its call or left the bus). Held by shared pointer,
// whose deleter knows the concrete type, so the destructor is not virtual.

#include "Tesk/Core/BusTypes.h"

#include <memory>

class ISubscriptionCancellation
{
public:
    virtual void OnCancelSubscription(const TBusMessageSPtr& message) = 0;

protected:
    ~ISubscriptionCancellation() = default;
};

using TSubscriptionCancellationSPtr = std::shared_ptr<ISubscriptionCancellation>;
