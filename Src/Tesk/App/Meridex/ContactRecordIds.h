#pragma once

#include <functional>
#include <string>
#include <map>
#include <vector>

#include "Tesk/Core/JSONObject.h"

// The record ids of one kind of contact-sync record by the name they are found by ("displayName" of
// a contact record, "username" of a presence record), in the order the database listed them. Filled
// from one full listing and kept up to date with what the sync writes and deletes, so that a batch
// knows without a find per contact whether to put a new record or merge into the first one.
class CContactRecordIds {
public:
    explicit CContactRecordIds(const char* nameMember) : m_nameMember(nameMember) {}

    // Replaces everything with the records of a listing; a record without the name member is filed
    // under the empty name.
    void Load(const std::vector<CJSONObject>& records);
    void Add(const std::wstring& name, const std::wstring& id);
    void Erase(const std::wstring& name);
    void Clear() { m_ids.clear(); }

    // How many records carry the name, and the first of them (empty without one).
    size_t Count(const std::wstring& name) const;
    std::wstring First(const std::wstring& name) const;
    // Every id of the records whose name `keep` refuses, those names forgotten.
    std::vector<std::wstring> TakeAllBut(const std::function<bool(const std::wstring& name)>& keep);

private:
    const char* m_nameMember;
    std::map<std::wstring, std::vector<std::wstring>> m_ids;
};
