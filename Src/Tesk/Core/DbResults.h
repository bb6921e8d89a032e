#pragma once
// The records of a database reply, and whether it failed.

#include <vector>

#include "Tesk/Core/JSONObject.h"

class CBusReply;

class CDbResults
{
public:
    // The objects of "results" in a find, get or put reply; empty when there are none or the reply failed.
    static std::vector<CJSONObject> Records(const CBusReply& reply);
    // Whether the call failed: the bus could not deliver it, or the reply's "returnValue" is false.
    static bool Failed(const CBusReply& reply);
};
