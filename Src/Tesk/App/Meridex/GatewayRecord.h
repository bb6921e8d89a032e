#pragma once

#include <string>

#include "Tesk/Core/JSONObject.h"

// The tempdb record through which the phone learns the gateway number of incoming calls.
class CGatewayRecord {
public:
    // {"_kind": "com.vexla.gateway:1", "number": number}, with a leading "+1" of the number left out.
    static CJSONObject Build(const std::wstring& gatewayNumber);
};
