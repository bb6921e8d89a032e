#include "PlatformSim/DatabaseService.h"

#include "Tesk/Core/BusMessage.h"


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
    Write(message, "put", "objects",
          [this](json_object* objects, CRecordStore::TRecords* written, std::string* error) {
              return m_store.Put(objects, written, error);
          },
          nullptr);
}

void CDatabaseService::Merge(const TBusMessageSPtr& message)
{
    Write(message, "merge", "objects",
          [this](json_object* objects, CRecordStore::TRecords* written, std::string* error) {
              return m_store.Merge(objects, written, error);
          },
          [this](const CRecordQuery& query, json_object* request, CRecordStore::TRecords* written, std::string* error) {
              return m_store.Merge(query, JsonMember(request, "props"), written, error);
          });
}

void CDatabaseService::Delete(const TBusMessageSPtr& message)
{
    Write(message, "del", "ids",
          [this](json_object* ids, CRecordStore::TRecords* deleted, std::string* error) {
              return m_store.Delete(ids, deleted, error);
          },
          [this](const CRecordQuery& query, json_object*, CRecordStore::TRecords* deleted, std::string* error) {
              return m_store.Delete(query, deleted, error);
          });
}

void CDatabaseService::Write(const TBusMessageSPtr& message, const char* operation, const char* listMember,
                             const TByList& byList, const TByQuery& byQuery)
{
    TJsonPtr request = ReadRequest(message);
    if (!request)
    {
        return;
    }
    CRecordStore::TRecords written;
    std::string error;
    json_object* list = JsonMember(request.get(), listMember);
    bool done = false;
    if (list != nullptr || !byQuery)
    {
        done = byList(list, &written, &error);
    }
    else
    {
        CRecordQuery query;
        if (!ReadQuery(message, request.get(), &query))
        {
            return;
        }
        done = byQuery(query, request.get(), &written, &error);
    }
    if (!done)
    {
        CPlatformBus::Respond(message, FailureReply(BAD_REQUEST, error));
        return;
    }
    CPlatformBus::Respond(message, ResultsReply(written, true));
    AfterWrites(operation, written);
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
    const std::string kind = query.Kind();
    m_watches[kind].push_back({message, std::move(query)});
}

void CDatabaseService::OnCancelled(const TBusMessageSPtr& message)
{
    for (auto& entry : m_watches)
    {
        std::vector<CWatch>& watches = entry.second;
        for (auto it = watches.begin(); it != watches.end(); ++it)
        {
            if (it->message == message)
            {
                watches.erase(it);
                return;
            }
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
    for (const TJsonPtr& record : records)
    {
        const char* kind = JsonStringMember(record.get(), "_kind");
        TJsonPtr event(json_object_new_object());
        json_object_object_add(event.get(), "event", json_object_new_string("write"));
        json_object_object_add(event.get(), "database", json_object_new_string(m_name.c_str()));
        json_object_object_add(event.get(), "kind", json_object_new_string(kind));
        json_object_object_add(event.get(), "operation", json_object_new_string(operation));
        json_object_object_add(event.get(), "record", json_object_get(record.get()));
        m_events.Publish(JsonText(event.get()));
    }
    if (std::string(operation) != "del")
    {
        FireWatchesMatching(records);
    }
}

void CDatabaseService::FireWatchesMatching(const CRecordStore::TRecords& records)
{
    for (const TJsonPtr& record : records)
    {
        auto held = m_watches.find(JsonStringMember(record.get(), "_kind"));
        if (held == m_watches.end())
        {
            continue;
        }
        std::vector<CWatch>& watches = held->second;
        for (auto it = watches.begin(); it != watches.end();)
        {
            if (it->query.Matches(record.get()))
            {
                CPlatformBus::Respond(it->message, R"({"returnValue":true,"fired":true})");
                it = watches.erase(it);
            }
            else
            {
                ++it;
            }
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
