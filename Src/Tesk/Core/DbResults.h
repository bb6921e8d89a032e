#pragma once
// The records of a database reply.

#include <vector>

#include "Tesk/Core/JSONObject.h"

class CBusReply;

class CDbResults
{
public:
    // The objects of "results" in a find, get or put reply; empty when there are none or the reply failed.
    static std::vector<CJSONObject> Records(const CBusReply& reply);
};
