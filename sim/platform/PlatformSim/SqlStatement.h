#pragma once
// One prepared SQLite statement, finalised when it goes out of scope.

#include <sqlite3.h>

#include <cstdint>
#include <string>

namespace PlatformSim
{
class CSqlStatement
{
public:
    CSqlStatement(sqlite3* db, const char* sql);
    ~CSqlStatement();
    CSqlStatement(const CSqlStatement&) = delete;
    CSqlStatement& operator=(const CSqlStatement&) = delete;

    bool IsValid() const { return m_statement != nullptr; }
    CSqlStatement& Bind(int index, const std::string& text);
    CSqlStatement& Bind(int index, int64_t number);
    // Steps once: true while a row is there (read it with the Column getters).
    bool NextRow();
    // Runs a statement that returns no rows; false on any error.
    bool Execute();
    std::string ColumnText(int index) const;
    int64_t ColumnInt(int index) const;

private:
    sqlite3_stmt* m_statement = nullptr;
};
} // namespace PlatformSim
