#pragma once
// JSON records in SQLite. Every record has "_id", "_kind" and "_rev"; "_rev" comes from one counter per
// store that every write advances, so a later write always carries a higher "_rev". Records keep the
// order they were first put in. Each operation is one transaction: it happens whole or not at all, so
// the file stays consistent whenever the process stops. A path of ":memory:" keeps the records in memory.

#include "PlatformSim/Json.h"
#include "PlatformSim/RecordQuery.h"

#include <sqlite3.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace PlatformSim
{
class CSqlStatement;

class CRecordStore
{
public:
    using TRecords = std::vector<TJsonPtr>;

    CRecordStore() = default;
    ~CRecordStore();
    CRecordStore(const CRecordStore&) = delete;
    CRecordStore& operator=(const CRecordStore&) = delete;

    bool Open(const std::string& path, std::string* error);

    // Each operation fills its list with the records as they are after it (deleted ones as they were).
    // `objects` is an array of records with "_kind"; one with an "_id" replaces that record.
    bool Put(json_object* objects, TRecords* written, std::string* error);
    // `ids` is an array of record ids; unknown ids are skipped.
    bool Get(json_object* ids, TRecords* found, std::string* error);
    bool Find(const CRecordQuery& query, TRecords* found, std::string* error);
    // `objects` is an array of partial records, each with the "_id" of an existing record. Members are
    // merged in: objects member by member at every depth, anything else replaced; "_id", "_kind" and
    // "_rev" are kept.
    bool Merge(json_object* objects, TRecords* written, std::string* error);
    // Merges `props` into every record the query finds.
    bool Merge(const CRecordQuery& query, json_object* props, TRecords* written, std::string* error);
    // `ids` as for Get; unknown ids are skipped.
    bool Delete(json_object* ids, TRecords* deleted, std::string* error);
    bool Delete(const CRecordQuery& query, TRecords* deleted, std::string* error);

private:
    bool Execute(const char* sql, std::string* error);
    // Runs `work` inside a transaction, committed when it succeeds and rolled back otherwise.
    bool InTransaction(const std::function<bool()>& work, std::string* error);
    bool FindIn(const CRecordQuery& query, TRecords* found, std::string* error);
    TJsonPtr Load(const std::string& id, std::string* error);
    // The record of a row selected as (id, kind, data); null when its data is not a JSON object.
    static TJsonPtr RecordFromRow(const CSqlStatement& row);
    bool Save(json_object* record, std::string* error);
    // Merges `patch` into `record`, gives it the next "_rev", saves it and adds it to `written`.
    bool Rewrite(TJsonPtr record, json_object* patch, TRecords* written, std::string* error);
    // Deletes every record of `records`, moving each into `deleted`.
    bool RemoveAll(TRecords* records, TRecords* deleted, std::string* error);
    int64_t NextRev();
    std::string NewId(std::string* error);
    std::string LastError() const;

    sqlite3* m_db = nullptr;
    int64_t m_rev = 0;
};
} // namespace PlatformSim
