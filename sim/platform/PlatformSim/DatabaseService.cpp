#include "PlatformSim/DatabaseService.h"

#include "Tesk/Core/BusMessage.h"

#include <set>

namespace PlatformSim
{
namespace
{
const int BAD_REQUEST = -1;

// The request as a JSON object; null (and the failure answered) when the payload is not one.
TJsonPtr ReadRequest(const TBusMessageSPtr& message)
{
    TJsonPtr request = ParseJson(message->Payload());
    if (!json_object_is_type(request.get(), json_type_object))
    {
        CPlatformBus::Respond(message, FailureReply(BAD_REQUEST, "The payload is not a JSON object"));
        return nullptr;
    }
    return request;
}
} // namespace

CDatabaseService::CDatabaseService(std::string name, CPlatformBus& bus, CSimEvents& events)
    : m_name(std::move(name)), m_bus(bus), m_events(events)
{
    m_bus.AddMethods(m_name, BUS_SCOPE_PRIVATE, "/",
                     {{"find", [this](const TBusMessageSPtr& m) { Find(m); }},
                      {"get", [this](const TBusMessageSPtr& m) { Get(m); }},
                      {"put", [this](const TBusMessageSPtr& m) { Put(m); }},
                      {"merge", [this](const TBusMessageSPtr& m) { Merge(m); }},
                      {"del", [this](const TBusMessageSPtr& m) { Delete(m); }},
                      {"watch", [this](const TBusMessageSPtr& m) { Watch(m); }}});
    m_bus.SetCancelHandler(m_name, [this](const TBusMessageSPtr& m) { OnCancelled(m); });
}

bool CDatabaseService::Open(const std::string& path, std::string* error)
{
    return m_store.Open(path, error);
}

std::string CDatabaseService::Dump(const std::string& kind)
{
    TJsonPtr queryJson(json_object_new_object());
    json_object_object_add(queryJson.get(), "from", json_object_new_string(kind.c_str()));
    CRecordQuery query;
    CRecordStore::TRecords found;
    std::string error;
    if (!CRecordQuery::Parse(queryJson.get(), &query, &error) || !m_store.Find(query, &found, &error))
    {
        return FailureReply(BAD_REQUEST, error);
    }
    return ResultsReply(found, false);
}

void CDatabaseService::Find(const TBusMessageSPtr& message)
{
    TJsonPtr request = ReadRequest(message);
    CRecordQuery query;
    if (!request || !ReadQuery(message, request.get(), &query))
    {
        return;
    }
    CRecordStore::TRecords found;
    std::string error;
    CPlatformBus::Respond(message, m_store.Find(query, &found, &error) ? ResultsReply(found, false)
                                                                        : FailureReply(BAD_REQUEST, error));
}

void CDatabaseService::Get(const TBusMessageSPtr& message)
{
    TJsonPtr request = ReadRequest(message);
    if (!request)
    {
        return;
    }
    CRecordStore::TRecords found;
    std::string error;
    CPlatformBus::Respond(message, m_store.Get(JsonMember(request.get(), "ids"), &found, &error)
                                       ? ResultsReply(found, false)
                                       : FailureReply(BAD_REQUEST, error));
}

void CDatabaseService::Put(const TBusMessageSPtr& message)
{
    TJsonPtr request = ReadRequest(message);
    if (!request)
    {
        return;
    }
    CRecordStore::TRecords written;
    std::string error;
    if (!m_store.Put(JsonMember(request.get(), "objects"), &written, &error))
    {
        CPlatformBus::Respond(message, FailureReply(BAD_REQUEST, error));
        return;
    }
    CPlatformBus::Respond(message, ResultsReply(written, true));
    AfterWrites("put", written);
}

void CDatabaseService::Merge(const TBusMessageSPtr& message)
{
    TJsonPtr request = ReadRequest(message);
    if (!request)
    {
        return;
    }
    CRecordStore::TRecords written;
    std::string error;
    bool merged = false;
    if (json_object* objects = JsonMember(request.get(), "objects"))
    {
        merged = m_store.Merge(objects, &written, &error);
    }
    else
    {
        CRecordQuery query;
        if (!ReadQuery(message, request.get(), &query))
        {
            return;
        }
        merged = m_store.Merge(query, JsonMember(request.get(), "props"), &written, &error);
    }
    if (!merged)
    {
        CPlatformBus::Respond(message, FailureReply(BAD_REQUEST, error));
        return;
    }
    CPlatformBus::Respond(message, ResultsReply(written, true));
    AfterWrites("merge", written);
}

void CDatabaseService::Delete(const TBusMessageSPtr& message)
{
    TJsonPtr request = ReadRequest(message);
    if (!request)
    {
        return;
    }
    CRecordStore::TRecords deleted;
    std::string error;
    bool done = false;
    if (json_object* ids = JsonMember(request.get(), "ids"))
    {
        done = m_store.Delete(ids, &deleted, &error);
    }
    else
    {
        CRecordQuery query;
        if (!ReadQuery(message, request.get(), &query))
        {
            return;
        }
        done = m_store.Delete(query, &deleted, &error);
    }
    if (!done)
    {
        CPlatformBus::Respond(message, FailureReply(BAD_REQUEST, error));
        return;
    }
    CPlatformBus::Respond(message, ResultsReply(deleted, true));
    AfterWrites("del", deleted);
}

void CDatabaseService::Watch(const TBusMessageSPtr& message)
{
    TJsonPtr request = ReadRequest(message);
    CRecordQuery query;
    if (!request || !ReadQuery(message, request.get(), &query))
    {
        return;
    }
    if (HasMatch(query))
    {
        CPlatformBus::Respond(message, R"({"returnValue":true,"fired":true})");
        return;
    }
    m_watches.push_back({message, std::move(query)});
}

void CDatabaseService::OnCancelled(const TBusMessageSPtr& message)
{
    for (auto it = m_watches.begin(); it != m_watches.end(); ++it)
    {
        if (it->message == message)
        {
            m_watches.erase(it);
            return;
        }
    }
}

bool CDatabaseService::ReadQuery(const TBusMessageSPtr& message, json_object* request, CRecordQuery* query)
{
    std::string error;
    if (!CRecordQuery::Parse(JsonMember(request, "query"), query, &error))
    {
        CPlatformBus::Respond(message, FailureReply(BAD_REQUEST, error));
        return false;
    }
    return true;
}

bool CDatabaseService::HasMatch(const CRecordQuery& query)
{
    CRecordStore::TRecords found;
    std::string error;
    return m_store.Find(query, &found, &error) && !found.empty();
}

void CDatabaseService::AfterWrites(const char* operation, const CRecordStore::TRecords& records)
{
    std::set<std::string> kinds;
    for (const TJsonPtr& record : records)
    {
        const char* kind = JsonStringMember(record.get(), "_kind");
        kinds.insert(kind);
        TJsonPtr event(json_object_new_object());
        json_object_object_add(event.get(), "event", json_object_new_string("write"));
        json_object_object_add(event.get(), "database", json_object_new_string(m_name.c_str()));
        json_object_object_add(event.get(), "kind", json_object_new_string(kind));
        json_object_object_add(event.get(), "operation", json_object_new_string(operation));
        json_object_object_add(event.get(), "record", json_object_get(record.get()));
        m_events.Publish(JsonText(event.get()));
    }
    for (auto it = m_watches.begin(); it != m_watches.end();)
    {
        if (kinds.count(it->query.Kind()) != 0 && HasMatch(it->query))
        {
            CPlatformBus::Respond(it->message, R"({"returnValue":true,"fired":true})");
            it = m_watches.erase(it);
        }
        else
        {
            ++it;
        }
    }
}

std::string CDatabaseService::ResultsReply(const CRecordStore::TRecords& records, bool idsOnly)
{
    TJsonPtr reply(json_object_new_object());
    json_object* results = json_object_new_array();
    for (const TJsonPtr& record : records)
    {
        if (idsOnly)
        {
            json_object* entry = json_object_new_object();
            json_object_object_add(entry, "id", json_object_get(JsonMember(record.get(), "_id")));
            json_object_object_add(entry, "rev", json_object_get(JsonMember(record.get(), "_rev")));
            json_object_array_add(results, entry);
        }
        else
        {
            json_object_array_add(results, json_object_get(record.get()));
        }
    }
    json_object_object_add(reply.get(), "returnValue", json_object_new_boolean(true));
    json_object_object_add(reply.get(), "results", results);
    json_object_object_add(reply.get(), "count", json_object_new_int(static_cast<int>(records.size())));
    return JsonText(reply.get());
}
} // namespace PlatformSim
