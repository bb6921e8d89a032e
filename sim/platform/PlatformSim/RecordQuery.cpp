#include "PlatformSim/RecordQuery.h"

#include <cstring>
#include <optional>

namespace PlatformSim
{
namespace
{
bool IsNumber(json_object* value)
{
    return json_object_is_type(value, json_type_int) || json_object_is_type(value, json_type_double);
}

// Negative, zero or positive as `a` orders before, with or after `b`; nothing when they do not order.
std::optional<int> Order(json_object* a, json_object* b)
{
    if (IsNumber(a) && IsNumber(b))
    {
        if (json_object_is_type(a, json_type_int) && json_object_is_type(b, json_type_int))
        {
            const int64_t x = json_object_get_int64(a);
            const int64_t y = json_object_get_int64(b);
            return x < y ? -1 : (x > y ? 1 : 0);
        }
        const double x = json_object_get_double(a);
        const double y = json_object_get_double(b);
        return x < y ? -1 : (x > y ? 1 : 0);
    }
    const json_type type = json_object_get_type(a);
    if (type != json_object_get_type(b))
    {
        return std::nullopt;
    }
    switch (type)
    {
    case json_type_null:
        return 0;
    case json_type_boolean:
        return static_cast<int>(json_object_get_boolean(a)) - static_cast<int>(json_object_get_boolean(b));
    case json_type_string:
    {
        const int len = std::min(json_object_get_string_len(a), json_object_get_string_len(b));
        const int prefix = std::memcmp(json_object_get_string(a), json_object_get_string(b), static_cast<size_t>(len));
        return prefix != 0 ? prefix : json_object_get_string_len(a) - json_object_get_string_len(b);
    }
    default:
        return std::nullopt;
    }
}

bool Equal(json_object* a, json_object* b)
{
    const std::optional<int> order = Order(a, b);
    if (order)
    {
        return *order == 0;
    }
    return json_object_get_type(a) == json_object_get_type(b) && json_object_equal(a, b) != 0;
}

std::vector<std::string> SplitPath(const char* path)
{
    std::vector<std::string> parts;
    const char* start = path;
    for (const char* p = path;; ++p)
    {
        if (*p == '.' || *p == '\0')
        {
            parts.emplace_back(start, p);
            if (*p == '\0')
            {
                return parts;
            }
            start = p + 1;
        }
    }
}
} // namespace

bool CRecordQuery::Parse(json_object* query, CRecordQuery* out, std::string* error)
{
    if (!json_object_is_type(query, json_type_object))
    {
        *error = "The query is not an object";
        return false;
    }
    const char* kind = JsonStringMember(query, "from");
    if (kind == nullptr || kind[0] == '\0')
    {
        *error = "The query lacks \"from\"";
        return false;
    }
    CRecordQuery parsed;
    parsed.m_kind = kind;
    json_object* where = JsonMember(query, "where");
    if (where != nullptr)
    {
        if (!json_object_is_type(where, json_type_array))
        {
            *error = "\"where\" is not an array";
            return false;
        }
        for (size_t i = 0; i < json_object_array_length(where); ++i)
        {
            CClause clause;
            if (!ParseClause(json_object_array_get_idx(where, i), &clause, error))
            {
                return false;
            }
            parsed.m_clauses.push_back(std::move(clause));
        }
    }
    *out = std::move(parsed);
    return true;
}

bool CRecordQuery::ParseClause(json_object* clause, CClause* out, std::string* error)
{
    static const struct
    {
        const char* text;
        TOperator op;
    } operators[] = {{"=", OP_EQUAL},   {"!=", OP_NOT_EQUAL}, {"<", OP_LESS},
                     {"<=", OP_LESS_OR_EQUAL}, {">", OP_GREATER}, {">=", OP_GREATER_OR_EQUAL}};

    const char* prop = JsonStringMember(clause, "prop");
    const char* op = JsonStringMember(clause, "op");
    json_object* value = nullptr;
    if (prop == nullptr || prop[0] == '\0' || op == nullptr || !json_object_object_get_ex(clause, "val", &value))
    {
        *error = "A where clause needs \"prop\", \"op\" and \"val\"";
        return false;
    }
    for (const auto& known : operators)
    {
        if (std::strcmp(op, known.text) == 0)
        {
            out->path = SplitPath(prop);
            out->op = known.op;
            out->value = std::shared_ptr<json_object>(json_object_get(value), json_object_put);
            return true;
        }
    }
    *error = std::string("Unknown operator \"") + op + "\"";
    return false;
}

bool CRecordQuery::Matches(json_object* record) const
{
    const char* kind = JsonStringMember(record, "_kind");
    if (kind == nullptr || m_kind != kind)
    {
        return false;
    }
    for (const CClause& clause : m_clauses)
    {
        if (!Holds(clause, record))
        {
            return false;
        }
    }
    return true;
}

bool CRecordQuery::Holds(const CClause& clause, json_object* record)
{
    json_object* member = record;
    for (const std::string& part : clause.path)
    {
        member = JsonMember(member, part.c_str());
    }
    json_object* value = clause.value.get();
    switch (clause.op)
    {
    case OP_EQUAL:
        return Equal(member, value);
    case OP_NOT_EQUAL:
        return !Equal(member, value);
    default:
        break;
    }
    const std::optional<int> order = Order(member, value);
    if (!order || json_object_is_type(value, json_type_null))
    {
        return false;
    }
    switch (clause.op)
    {
    case OP_LESS:
        return *order < 0;
    case OP_LESS_OR_EQUAL:
        return *order <= 0;
    case OP_GREATER:
        return *order > 0;
    default:
        return *order >= 0;
    }
}
} // namespace PlatformSim
