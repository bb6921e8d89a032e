#include "PlatformSim/SqlStatement.h"

namespace PlatformSim
{
CSqlStatement::CSqlStatement(sqlite3* db, const char* sql)
{
    if (sqlite3_prepare_v2(db, sql, -1, &m_statement, nullptr) != SQLITE_OK)
    {
        sqlite3_finalize(m_statement);
        m_statement = nullptr;
    }
}

CSqlStatement::~CSqlStatement()
{
    sqlite3_finalize(m_statement);
}

CSqlStatement& CSqlStatement::Bind(int index, const std::string& text)
{
    sqlite3_bind_text(m_statement, index, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
    return *this;
}

CSqlStatement& CSqlStatement::Bind(int index, int64_t number)
{
    sqlite3_bind_int64(m_statement, index, number);
    return *this;
}

bool CSqlStatement::NextRow()
{
    return m_statement != nullptr && sqlite3_step(m_statement) == SQLITE_ROW;
}

bool CSqlStatement::Execute()
{
    return m_statement != nullptr && sqlite3_step(m_statement) == SQLITE_DONE;
}

std::string CSqlStatement::ColumnText(int index) const
{
    const unsigned char* text = sqlite3_column_text(m_statement, index);
    return text != nullptr ? std::string(reinterpret_cast<const char*>(text), static_cast<size_t>(sqlite3_column_bytes(m_statement, index)))
                           : std::string();
}

int64_t CSqlStatement::ColumnInt(int index) const
{
    return sqlite3_column_int64(m_statement, index);
}
} // namespace PlatformSim
