#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <string>

#include "Network/Attribute.h"
#include "Network/ByteArrayOutputStream.h"
#include "Network/Packet.h"
#include "Network/Value.h"

namespace VexlaTest {

// Runs `call` on its own thread; when it has not returned within twenty seconds `abort` ends it and
// the test fails, instead of waiting out the socket time-outs.
template <class TCall, class TAbort>
auto FinishOrAbort(TCall call, TAbort abort) -> decltype(call())
{
    auto result = std::async(std::launch::async, call);
    if (result.wait_for(std::chrono::seconds(20)) != std::future_status::ready) {
        ADD_FAILURE() << "the request did not end in time";
        abort();
    }
    return result.get();
}

// The same for a client with Abort().
template <class TClient, class TCall>
auto FinishWithin(TClient& client, TCall call) -> decltype(call())
{
    return FinishOrAbort(call, [&client] { client.Abort(); });
}

// The body of a packet holding the given discovery answer attributes.
inline std::string DiscoveryAnswer(const std::wstring* sessionId, const int* operatorId)
{
    VexlaLib::CPacket packet(VexlaLib::CPacket::OUTGOING);
    if (sessionId) {
        packet.AddAttr(std::make_shared<VexlaLib::CAttribute>(3, VexlaLib::TYPE_STRING, *sessionId));
    }
    if (operatorId) {
        packet.AddAttr(std::make_shared<VexlaLib::CAttribute>(4, VexlaLib::TYPE_INT32, *operatorId));
    }
    VexlaLib::CByteArrayOutputStream out;
    packet.Serialize(&out);
    const VexlaLib::TByteArraySPtr bytes = out.ToByteArray();
    return std::string(bytes->begin(), bytes->end());
}

}  // namespace VexlaTest
