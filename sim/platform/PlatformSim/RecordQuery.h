#pragma once
// A query on one kind of record: {"from": KIND, "where": [{"prop": PATH, "op": OP, "val": VALUE}, ...]}.
// A record matches when every clause holds. PATH names a member, nested members joined by "."
// ("from.addr"); OP is one of = != < <= > >=. A missing member reads as null. Values of different
// types are unequal and unordered (only != holds); numbers compare by value whatever their JSON
// form, strings byte-wise, false < true; objects and arrays compare for equality only.

#include "PlatformSim/Json.h"

#include <memory>
#include <string>
#include <vector>

namespace PlatformSim
{
class CRecordQuery
{
public:
    // Reads `query`; false with `error` set when it is malformed (no "from", an unknown operator...).
    static bool Parse(json_object* query, CRecordQuery* out, std::string* error);

    const std::string& Kind() const { return m_kind; }
    bool Matches(json_object* record) const;

private:
    enum TOperator
    {
        OP_EQUAL,
        OP_NOT_EQUAL,
        OP_LESS,
        OP_LESS_OR_EQUAL,
        OP_GREATER,
        OP_GREATER_OR_EQUAL
    };

    struct CClause
    {
        std::vector<std::string> path;
        TOperator op;
        std::shared_ptr<json_object> value;
    };

    static bool ParseClause(json_object* clause, CClause* out, std::string* error);
    static bool Holds(const CClause& clause, json_object* record);

    std::string m_kind;
    std::vector<CClause> m_clauses;
};
} // namespace PlatformSim
