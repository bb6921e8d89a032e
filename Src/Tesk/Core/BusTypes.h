#pragma once
// Names shared by the classes of the bus layer.

#include <functional>
#include <memory>
#include <string>

class CBusConnection;
class CBusMessage;
class CBusReply;

using TBusConnectionSPtr = std::shared_ptr<CBusConnection>;
using TBusMessageSPtr = std::shared_ptr<CBusMessage>;

// Called for every reply of an outgoing call (the first one and each later one).
using TBusReplyHandler = std::function<void(const CBusReply& reply)>;
// Called for an incoming message (a method of a category, or a cancellation of one).
using TBusMessageHandler = std::function<void(const TBusMessageSPtr& message)>;

// The interface every Tesk method, the Cancel method and the Reply signal belong to.
inline constexpr char TESK_INTERFACE[] = "com.nylo.Tesk1";

// The two buses a process can talk on.
enum TBusKind { BUS_PRIVATE, BUS_PUBLIC };

// Where a service owns its name.
enum TBusScope { BUS_SCOPE_PRIVATE, BUS_SCOPE_PUBLIC, BUS_SCOPE_BOTH };

// Whether an outgoing call ends after its first reply or stays open for later ones.
enum TBusReplies { BUS_ONE_REPLY, BUS_MANY_REPLIES };
