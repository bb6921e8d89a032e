#include "PlatformSim/RecordStore.h"

#include "PlatformSim/SqlStatement.h"

namespace PlatformSim
{
namespace
{
// A write-ahead log synchronised at checkpoints: every operation stays one atomic transaction (the file
// is consistent whenever the process stops) without an fsync per write.
const char JOURNAL[] = "PRAGMA journal_mode = WAL; PRAGMA synchronous = NORMAL;";
const char SCHEMA[] = "CREATE TABLE IF NOT EXISTS records (id TEXT PRIMARY KEY, kind TEXT NOT NULL, data TEXT NOT NULL);"
                      "CREATE INDEX IF NOT EXISTS records_by_kind ON records (kind);"
                      "CREATE TABLE IF NOT EXISTS counters (name TEXT PRIMARY KEY, value INTEGER NOT NULL);"
                      "INSERT OR IGNORE INTO counters VALUES ('rev', 0);";

bool IsReserved(const char* key)
{
    return key[0] == '_' && (std::string(key) == "_id" || std::string(key) == "_kind" || std::string(key) == "_rev");
}

void MergeInto(json_object* target, json_object* patch, bool keepReserved)
{
    json_object_object_foreach(patch, key, value)
    {
        if (keepReserved && IsReserved(key))
        {
            continue;
        }
        json_object* existing = JsonMember(target, key);
        if (json_object_is_type(existing, json_type_object) && json_object_is_type(value, json_type_object))
        {
            MergeInto(existing, value, false);
        }
        else
        {
            json_object_object_add(target, key, CopyJson(value).release());
        }
    }
}

bool CheckArray(json_object* value, const char* name, std::string* error)
{
    if (!json_object_is_type(value, json_type_array))
    {
        *error = std::string("\"") + name + "\" must be an array";
        return false;
    }
    return true;
}

std::string Base36(int64_t number)
{
    const char digits[] = "0123456789abcdefghijklmnopqrstuvwxyz";
    std::string text;
    do
    {
        text.insert(text.begin(), digits[number % 36]);
        number /= 36;
    } while (number > 0);
    return text;
}
} // namespace

CRecordStore::~CRecordStore()
{
    sqlite3_close(m_db);
}

bool CRecordStore::Open(const std::string& path, std::string* error)
{
    if (sqlite3_open_v2(path.c_str(), &m_db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) != SQLITE_OK)
    {
        *error = "Cannot open " + path + ": " + LastError();
        return false;
    }
    if (!Execute(JOURNAL, error) || !Execute(SCHEMA, error))
    {
        return false;
    }
    CSqlStatement rev(m_db, "SELECT value FROM counters WHERE name = 'rev'");
    if (!rev.NextRow())
    {
        *error = "Cannot read the revision counter: " + LastError();
        return false;
    }
    m_rev = rev.ColumnInt(0);
    return true;
}

bool CRecordStore::Put(json_object* objects, TRecords* written, std::string* error)
{
    if (!CheckArray(objects, "objects", error))
    {
        return false;
    }
    return InTransaction(
        [&] {
            for (size_t i = 0; i < json_object_array_length(objects); ++i)
            {
                json_object* object = json_object_array_get_idx(objects, i);
                const char* kind = JsonStringMember(object, "_kind");
                json_object* id = JsonMember(object, "_id");
                if (kind == nullptr || kind[0] == '\0' || (id != nullptr && !json_object_is_type(id, json_type_string)))
                {
                    *error = "Every object needs a \"_kind\" (and a string \"_id\", if any)";
                    return false;
                }
                TJsonPtr record = CopyJson(object);
                if (id == nullptr)
                {
                    const std::string newId = NewId(error);
                    if (newId.empty())
                    {
                        return false;
                    }
                    json_object_object_add(record.get(), "_id", json_object_new_string(newId.c_str()));
                }
                json_object_object_add(record.get(), "_rev", json_object_new_int64(NextRev()));
                if (!Save(record.get(), error))
                {
                    return false;
                }
                written->push_back(std::move(record));
            }
            return true;
        },
        error);
}

bool CRecordStore::Get(json_object* ids, TRecords* found, std::string* error)
{
    if (!CheckArray(ids, "ids", error))
    {
        return false;
    }
    for (size_t i = 0; i < json_object_array_length(ids); ++i)
    {
        json_object* id = json_object_array_get_idx(ids, i);
        if (!json_object_is_type(id, json_type_string))
        {
            *error = "Record ids are strings";
            return false;
        }
        error->clear();
        TJsonPtr record = Load(json_object_get_string(id), error);
        if (record)
        {
            found->push_back(std::move(record));
        }
        else if (!error->empty())
        {
            return false;
        }
    }
    return true;
}

bool CRecordStore::Find(const CRecordQuery& query, TRecords* found, std::string* error)
{
    return FindIn(query, found, error);
}

bool CRecordStore::Merge(json_object* objects, TRecords* written, std::string* error)
{
    if (!CheckArray(objects, "objects", error))
    {
        return false;
    }
    return InTransaction(
        [&] {
            for (size_t i = 0; i < json_object_array_length(objects); ++i)
            {
                json_object* patch = json_object_array_get_idx(objects, i);
                const char* id = JsonStringMember(patch, "_id");
                if (id == nullptr)
                {
                    *error = "Every object to merge needs an \"_id\"";
                    return false;
                }
                error->clear();
                TJsonPtr record = Load(id, error);
                if (!record)
                {
                    if (error->empty())
                    {
                        *error = std::string("No record with id ") + id;
                    }
                    return false;
                }
                if (!Rewrite(std::move(record), patch, written, error))
                {
                    return false;
                }
            }
            return true;
        },
        error);
}

bool CRecordStore::Merge(const CRecordQuery& query, json_object* props, TRecords* written, std::string* error)
{
    if (!json_object_is_type(props, json_type_object))
    {
        *error = "\"props\" must be an object";
        return false;
    }
    return InTransaction(
        [&] {
            TRecords found;
            if (!FindIn(query, &found, error))
            {
                return false;
            }
            for (TJsonPtr& record : found)
            {
                if (!Rewrite(std::move(record), props, written, error))
                {
                    return false;
                }
            }
            return true;
        },
        error);
}

bool CRecordStore::Delete(json_object* ids, TRecords* deleted, std::string* error)
{
    return InTransaction(
        [&] {
            TRecords found;
            return Get(ids, &found, error) && RemoveAll(&found, deleted, error);
        },
        error);
}

bool CRecordStore::Delete(const CRecordQuery& query, TRecords* deleted, std::string* error)
{
    return InTransaction(
        [&] {
            TRecords found;
            return FindIn(query, &found, error) && RemoveAll(&found, deleted, error);
        },
        error);
}

bool CRecordStore::Execute(const char* sql, std::string* error)
{
    char* message = nullptr;
    if (sqlite3_exec(m_db, sql, nullptr, nullptr, &message) != SQLITE_OK)
    {
        *error = message != nullptr ? message : LastError();
        sqlite3_free(message);
        return false;
    }
    return true;
}

bool CRecordStore::InTransaction(const std::function<bool()>& work, std::string* error)
{
    if (!Execute("BEGIN IMMEDIATE", error))
    {
        return false;
    }
    const int64_t revBefore = m_rev;
    if (work())
    {
        CSqlStatement saveRev(m_db, "UPDATE counters SET value = ? WHERE name = 'rev'");
        if (saveRev.Bind(1, m_rev).Execute() && Execute("COMMIT", error))
        {
            return true;
        }
        if (error->empty())
        {
            *error = LastError();
        }
    }
    std::string ignored;
    Execute("ROLLBACK", &ignored);
    m_rev = revBefore;
    return false;
}

bool CRecordStore::FindIn(const CRecordQuery& query, TRecords* found, std::string* error)
{
    CSqlStatement select(m_db, "SELECT id, kind, data FROM records WHERE kind = ? ORDER BY rowid");
    if (!select.IsValid())
    {
        *error = LastError();
        return false;
    }
    select.Bind(1, query.Kind());
    while (select.NextRow())
    {
        TJsonPtr record = RecordFromRow(select);
        if (record && query.Matches(record.get()))
        {
            found->push_back(std::move(record));
        }
    }
    return true;
}

TJsonPtr CRecordStore::Load(const std::string& id, std::string* error)
{
    CSqlStatement select(m_db, "SELECT id, kind, data FROM records WHERE id = ?");
    if (!select.IsValid())
    {
        *error = LastError();
        return nullptr;
    }
    select.Bind(1, id);
    return select.NextRow() ? RecordFromRow(select) : nullptr;
}

TJsonPtr CRecordStore::RecordFromRow(const CSqlStatement& row)
{
    // The columns are the truth: a file edited by hand may hold data that is not an object, or an
    // object whose "_id" or "_kind" disagrees with its row.
    TJsonPtr record = ParseJson(row.ColumnText(2));
    if (!json_object_is_type(record.get(), json_type_object))
    {
        return nullptr;
    }
    json_object_object_add(record.get(), "_id", json_object_new_string(row.ColumnText(0).c_str()));
    json_object_object_add(record.get(), "_kind", json_object_new_string(row.ColumnText(1).c_str()));
    return record;
}

bool CRecordStore::Save(json_object* record, std::string* error)
{
    CSqlStatement upsert(m_db, "INSERT INTO records (id, kind, data) VALUES (?, ?, ?) "
                               "ON CONFLICT (id) DO UPDATE SET kind = excluded.kind, data = excluded.data");
    upsert.Bind(1, JsonStringMember(record, "_id")).Bind(2, JsonStringMember(record, "_kind")).Bind(3, JsonText(record));
    if (!upsert.Execute())
    {
        *error = "Cannot save a record: " + LastError();
        return false;
    }
    return true;
}

bool CRecordStore::Rewrite(TJsonPtr record, json_object* patch, TRecords* written, std::string* error)
{
    MergeInto(record.get(), patch, true);
    json_object_object_add(record.get(), "_rev", json_object_new_int64(NextRev()));
    if (!Save(record.get(), error))
    {
        return false;
    }
    written->push_back(std::move(record));
    return true;
}

bool CRecordStore::RemoveAll(TRecords* records, TRecords* deleted, std::string* error)
{
    for (TJsonPtr& record : *records)
    {
        CSqlStatement remove(m_db, "DELETE FROM records WHERE id = ?");
        if (!remove.Bind(1, JsonStringMember(record.get(), "_id")).Execute())
        {
            *error = "Cannot delete a record: " + LastError();
            return false;
        }
        deleted->push_back(std::move(record));
    }
    return true;
}

int64_t CRecordStore::NextRev()
{
    return ++m_rev;
}

std::string CRecordStore::NewId(std::string* error)
{
    // Ids come from the revision counter, which never repeats; one an earlier put chose itself is skipped.
    for (;;)
    {
        const std::string id = "r" + Base36(NextRev());
        error->clear();
        if (!Load(id, error))
        {
            return error->empty() ? id : std::string();
        }
    }
}

std::string CRecordStore::LastError() const
{
    return m_db != nullptr ? sqlite3_errmsg(m_db) : "out of memory";
}
} // namespace PlatformSim
