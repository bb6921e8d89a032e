#pragma once
// A message bus for the transport's message side that records every call instead of sending it; the
// test answers each call itself, in its own time.

#include <gtest/gtest.h>

#include <deque>
#include <string>
#include <vector>

#include "Tesk/App/Meridex/IIMChatBus.h"
#include "Tesk/Core/BusReply.h"
#include "Utils/Utils.h"

namespace VexlaTest {

// The database calls of the message writer, and the answers that find nothing and that put a record.
const wchar_t PUT[] = L"nylo://com.nylo.db/put";
const wchar_t FIND[] = L"nylo://com.nylo.db/find";
const char NOTHING[] = "{\"returnValue\":true,\"results\":[]}";
const char PUT_DONE[] = "{\"returnValue\":true,\"results\":[{\"id\":\"r\",\"rev\":1}]}";

struct CRecordedCall
{
    std::wstring uri;
    std::string payload;
    TBusReplyHandler handler;
    bool stream = false;

    bool Contains(const char* text) const { return payload.find(text) != std::string::npos; }
    void Answer(const std::string& reply) const
    {
        if (handler)
            handler(CBusReply(1, ":1.1", reply, false));
    }
};

class CRecordingBus : public IIMChatBus
{
public:
    void Call(const CPlatformRequest& request, TBusReplyHandler handler) override { Record(request, handler, false); }
    void Stream(const CPlatformRequest& request, TBusReplyHandler handler) override { Record(request, handler, true); }
    void EndStream(const CBusReply& reply) override { ended.push_back(reply.Payload()); }
    void AddIncomingMessage(const std::wstring& userName, const std::wstring& text, long long timestampMs,
                            const std::wstring& from, const std::wstring& recipient) override
    {
        messages.push_back(userName + L"|" + text + L"|" + std::to_wstring(timestampMs) + L"|" + from + L"|" +
                           recipient);
    }

    // The oldest call not yet taken; fails the test when there is none or its URI differs.
    CRecordedCall Next(const wchar_t* uri)
    {
        EXPECT_FALSE(calls.empty()) << "no call to " << VexlaLib::CUtils::ConvertWideToChar(uri);
        if (calls.empty())
            return CRecordedCall();
        CRecordedCall call = calls.front();
        calls.pop_front();
        EXPECT_EQ(call.uri, uri) << call.payload;
        return call;
    }

    std::deque<CRecordedCall> calls;
    std::vector<std::wstring> messages;
    std::vector<std::string> ended;

private:
    void Record(const CPlatformRequest& request, TBusReplyHandler handler, bool stream)
    {
        std::string payload;
        request.payload.ToString(&payload);
        calls.push_back({request.uri, payload, std::move(handler), stream});
    }
};

}  // namespace VexlaTest
