#include "Tesk/Core/DbQuery.h"

#include "Tesk/Core/JSONArray.h"

CJSONObject& CDbQuery::AddClause(const char* prop, const char* op)
{
    m_clauses.emplace_back();
    m_clauses.back().SetString("prop", prop);
    m_clauses.back().SetString("op", op);
    return m_clauses.back();
}

CDbQuery& CDbQuery::Where(const char* prop, const char* op, const std::wstring& val)
{
    AddClause(prop, op).SetString("val", val);
    return *this;
}

CDbQuery& CDbQuery::Where(const char* prop, const char* op, long long val)
{
    AddClause(prop, op).SetLong("val", val);
    return *this;
}

CDbQuery& CDbQuery::Where(const char* prop, const char* op, bool val)
{
    AddClause(prop, op).SetBool("val", val);
    return *this;
}

CJSONObject CDbQuery::ToJSON() const
{
    CJSONObject query;
    query.SetString("from", m_kind);
    if (!m_clauses.empty())
    {
        CJSONArray where;
        for (const CJSONObject& clause : m_clauses)
        {
            where.AddObject(clause);
        }
        query.SetArray("where", where);
    }
    return query;
}
