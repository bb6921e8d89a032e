#pragma once

#include <functional>
#include <string>

#include "Tesk/Core/BusTypes.h"
#include "Tesk/Core/PlatformRequest.h"

class CJSONObject;
class CTeskService;

// The calls every activity of the messaging transport goes through: create, cancel, and, when its
// callback came, adopt (a stream watched for "adopted" true, ended once it said so) and complete.
class CActivityCycle {
public:
    using TStep = std::function<void()>;

    explicit CActivityCycle(CTeskService* service) : m_pService(service) {}

    // Sends a create request; `onReply` (optional) runs on each reply.
    void Create(const CPlatformRequest& create, TBusReplies replies = BUS_ONE_REPLY, TStep onReply = nullptr);
    void Cancel(const std::wstring& name);
    // Adopts the running activity; once adopted runs `onAdopted` and ends the adopt stream.
    void Adopt(const std::wstring& name, TStep onAdopted);
    // Adopts, then completes the activity; `onCompleted` (optional) runs on the complete's reply.
    void AdoptAndComplete(const std::wstring& name, TStep onCompleted);

    // "$activity"."trigger"."fired" of a callback payload.
    static bool IsFired(const CJSONObject& payload);

private:
    CTeskService* m_pService;
};
