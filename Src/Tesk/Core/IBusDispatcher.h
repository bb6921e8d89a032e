#pragma once
// What a connection asks of the service that serves its incoming method calls.

#include "Tesk/Core/BusTypes.h"

#include <string>
#include <vector>

class CBusConnection;

class IBusDispatcher
{
public:
    // The handler of `method` in `category` (an object path), or null when the service has none.
    virtual const TBusMessageHandler* FindMethod(const std::string& category, const std::string& method) const = 0;
    // Whether a call of `method` that came in on `connection` must be refused; `reason` then says why.
    virtual bool Refuses(const CBusConnection* connection, const std::string& category, const std::string& method,
                         std::string* reason) const = 0;
    // Every category (object path) with methods, and the method names of one, for introspection.
    virtual std::vector<std::string> Categories() const = 0;
    virtual std::vector<std::string> Methods(const std::string& category) const = 0;
    // A live message was cancelled: its caller sent Cancel or left the bus.
    virtual void OnMessageCancelled(const TBusMessageSPtr& message) = 0;

protected:
    ~IBusDispatcher() = default;
};
