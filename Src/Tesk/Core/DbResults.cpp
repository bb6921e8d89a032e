#include "Tesk/Core/DbResults.h"

#include "Tesk/Core/BusReply.h"
#include "Tesk/Core/JSONArray.h"

std::vector<CJSONObject> CDbResults::Records(const CBusReply& reply)
{
    std::vector<CJSONObject> records;
    CJSONArray results;
    if (!CJSONObject(reply.Payload().c_str()).GetArray("results", &results))
        return records;
    for (int i = 0; i < results.arraySize(); ++i) {
        CJSONObject record;
        if (results.GetObject(i, &record))
            records.push_back(record);
    }
    return records;
}

bool CDbResults::Failed(const CBusReply& reply)
{
    bool returnValue = true;
    CJSONObject(reply.Payload().c_str()).GetBool("returnValue", &returnValue);
    return reply.IsBusFailure() || !returnValue;
}
