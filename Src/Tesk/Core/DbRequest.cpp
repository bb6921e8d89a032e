#include "Tesk/Core/DbRequest.h"

namespace
{
CJSONObject WithQuery(const CDbQuery& query)
{
    CJSONObject payload;
    payload.SetObject("query", query.ToJSON());
    return payload;
}

CJSONObject WithIds(const std::vector<std::wstring>& ids)
{
    CJSONArray list;
    for (const std::wstring& id : ids)
    {
        list.AddString(id);
    }
    CJSONObject payload;
    payload.SetArray("ids", list);
    return payload;
}

CJSONObject WithObjects(const CJSONArray& objects)
{
    CJSONObject payload;
    payload.SetArray("objects", objects);
    return payload;
}

CJSONArray One(const CJSONObject& record)
{
    CJSONArray objects;
    objects.AddObject(record);
    return objects;
}
} // namespace

std::wstring CDbRequest::Uri(TDatabase db, const wchar_t* method)
{
    return std::wstring(db == DB_PERSISTENT ? L"nylo://com.nylo.db/" : L"nylo://com.nylo.tempdb/") + method;
}

CPlatformRequest CDbRequest::Find(TDatabase db, const CDbQuery& query)
{
    return {Uri(db, L"find"), WithQuery(query)};
}

CPlatformRequest CDbRequest::Get(TDatabase db, const std::vector<std::wstring>& ids)
{
    return {Uri(db, L"get"), WithIds(ids)};
}

CPlatformRequest CDbRequest::Put(TDatabase db, const CJSONArray& objects)
{
    return {Uri(db, L"put"), WithObjects(objects)};
}

CPlatformRequest CDbRequest::Put(TDatabase db, const CJSONObject& record)
{
    return Put(db, One(record));
}

CPlatformRequest CDbRequest::Merge(TDatabase db, const CJSONArray& objects)
{
    return {Uri(db, L"merge"), WithObjects(objects)};
}

CPlatformRequest CDbRequest::Merge(TDatabase db, const CJSONObject& record)
{
    return Merge(db, One(record));
}

CPlatformRequest CDbRequest::MergeMatching(TDatabase db, const CJSONObject& props, const CDbQuery& query)
{
    CJSONObject payload = WithQuery(query);
    payload.SetObject("props", props);
    return {Uri(db, L"merge"), payload};
}

CPlatformRequest CDbRequest::Del(TDatabase db, const std::vector<std::wstring>& ids)
{
    return {Uri(db, L"del"), WithIds(ids)};
}

CPlatformRequest CDbRequest::DelMatching(TDatabase db, const CDbQuery& query)
{
    return {Uri(db, L"del"), WithQuery(query)};
}

CJSONObject CDbRequest::WatchTrigger(TDatabase db, const CDbQuery& query)
{
    CJSONObject trigger;
    trigger.SetString("key", "fired");
    trigger.SetString("method", Uri(db, L"watch"));
    trigger.SetObject("params", WithQuery(query));
    return trigger;
}
