#pragma once

#include <string>
#include <vector>

#include "Tesk/Core/BusTypes.h"
#include "Tesk/Core/TeskService.h"

// Platform requests made on behalf of the daemon: a message record in the platform's message
// database, and the phone application launched on a number. A short-lived client built on the stack
// from another service, whose connection it calls out on.
class CNyloSystemServices : public CTeskService {
public:
    explicit CNyloSystemServices(CTeskService& other);

    // Puts one incoming "com.nylo.immessage.vexla:1" record into the inbox; the reply goes to callback.
    bool AddIncomingVexlaMessage(const std::wstring& username, const std::wstring& messageText, long long timestamp,
                                 const std::wstring& from, const std::vector<std::wstring>& recipients,
                                 TBusReplyHandler callback);
    // Launches the phone application on the number; the reply is not examined.
    bool MakeCall(const std::wstring& number);
};
