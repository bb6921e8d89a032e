#pragma once
// The request forms of the persistent ("nylo://com.nylo.db/") and temporary ("nylo://com.nylo.tempdb/")
// databases. Replies carry "returnValue" and, for find and get, "results" (records with "_id").

#include "Tesk/Core/DbQuery.h"
#include "Tesk/Core/JSONArray.h"
#include "Tesk/Core/PlatformRequest.h"

#include <string>
#include <vector>

enum TDatabase { DB_PERSISTENT, DB_TEMPORARY };

class CDbRequest
{
public:
    // {"query": query}
    static CPlatformRequest Find(TDatabase db, const CDbQuery& query);
    // {"ids": [ids]}
    static CPlatformRequest Get(TDatabase db, const std::vector<std::wstring>& ids);
    // {"objects": [records]}, each record with "_kind"
    static CPlatformRequest Put(TDatabase db, const CJSONArray& objects);
    // {"objects": [record]}
    static CPlatformRequest Put(TDatabase db, const CJSONObject& record);
    // {"objects": [partial records]}, each with "_id"
    static CPlatformRequest Merge(TDatabase db, const CJSONArray& objects);
    // {"objects": [partial record]}
    static CPlatformRequest Merge(TDatabase db, const CJSONObject& record);
    // {"props": props, "query": query}
    static CPlatformRequest MergeMatching(TDatabase db, const CJSONObject& props, const CDbQuery& query);
    // {"ids": [ids]}
    static CPlatformRequest Del(TDatabase db, const std::vector<std::wstring>& ids);
    // {"query": query}
    static CPlatformRequest DelMatching(TDatabase db, const CDbQuery& query);
    // An activity trigger that fires when a record matching `query` changes:
    // {"key": "fired", "method": ".../watch", "params": {"query": query}}
    static CJSONObject WatchTrigger(TDatabase db, const CDbQuery& query);

    static std::wstring Uri(TDatabase db, const wchar_t* method);
};
