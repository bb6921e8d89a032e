#pragma once
// com.nylo.db and com.nylo.tempdb: find, get, put, merge, del and watch over a CRecordStore (a file for
// the db, memory for the tempdb). A watch is held until its query finds a record: at once when one
// exists, else after the write that makes it so; it then answers {"returnValue": true, "fired": true}
// and ends. A watch whose caller cancels first is dropped and never fires. Every write is published on
// the event stream as {"event": "write", "database", "kind", "operation", "record"}.
// A held watch has no match, so only a record a put or merge just wrote can make it fire: a write
// tests its own records against the watches of their kind, never the whole store.

#include "PlatformSim/PlatformBus.h"
#include "PlatformSim/RecordStore.h"
#include "PlatformSim/SimEvents.h"

#include <functional>
#include <map>
#include <string>
#include <vector>

namespace PlatformSim
{
class CDatabaseService
{
public:
    CDatabaseService(std::string name, CPlatformBus& bus, CSimEvents& events);

    // ":memory:" for the temporary database.
    bool Open(const std::string& path, std::string* error);
    const std::string& Name() const { return m_name; }
    // Every record of `kind`, as a JSON array.
    std::string Dump(const std::string& kind);

private:
    struct CWatch
    {
        TBusMessageSPtr message;
        CRecordQuery query;
    };
    void Find(const TBusMessageSPtr& message);
    void Get(const TBusMessageSPtr& message);
    void Put(const TBusMessageSPtr& message);
    void Merge(const TBusMessageSPtr& message);
    void Delete(const TBusMessageSPtr& message);
    void Watch(const TBusMessageSPtr& message);
    using TByList = std::function<bool(json_object* list, CRecordStore::TRecords* written, std::string* error)>;
    using TByQuery = std::function<bool(const CRecordQuery& query, json_object* request, CRecordStore::TRecords* written,
                                        std::string* error)>;
    // A write naming its records by the array `listMember` (done by `byList`) or, when that is absent
    // and `byQuery` is given, by "query"; answers the results and publishes the writes.
    void Write(const TBusMessageSPtr& message, const char* operation, const char* listMember, const TByList& byList,
               const TByQuery& byQuery);
    void OnCancelled(const TBusMessageSPtr& message);

    // Reads the "query" member of `request`; answers the failure itself when it is missing or malformed.
    bool ReadQuery(const TBusMessageSPtr& message, json_object* request, CRecordQuery* query);
    bool HasMatch(const CRecordQuery& query);
    // Publishes the writes, then fires the watches that a written record matches (none for deletes).
    void AfterWrites(const char* operation, const CRecordStore::TRecords& records);
    void FireWatchesMatching(const CRecordStore::TRecords& records);
    // {"returnValue": true, "results": [...], "count": n}: whole records, or only "id" and "rev" of each.
    static std::string ResultsReply(const CRecordStore::TRecords& records, bool idsOnly);

    std::string m_name;
    CPlatformBus& m_bus;
    CSimEvents& m_events;
    CRecordStore m_store;
    // Held watches by the kind they query, each list in the order the watches came.
    std::map<std::string, std::vector<CWatch>> m_watches;
};
} // namespace PlatformSim
