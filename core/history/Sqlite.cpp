#include "history/Sqlite.h"

namespace velmor {

int CSqliteDb::Open(const std::string& path, int flags)
{
    Close();
    const int rc = sqlite3_open_v2(path.c_str(), &m_pDb, flags, nullptr);
    if (rc != SQLITE_OK) return rc;
    // Extended codes tell a full disk from other I/O errors.
    sqlite3_extended_result_codes(m_pDb, 1);
    return SQLITE_OK;
}

void CSqliteDb::Close()
{
    if (m_pDb) sqlite3_close_v2(m_pDb);
    m_pDb = nullptr;
}

int CSqliteDb::Exec(const char* sql) { return sqlite3_exec(m_pDb, sql, nullptr, nullptr, nullptr); }

std::string CSqliteDb::ErrorText() const
{
    return m_pDb ? std::string(sqlite3_errmsg(m_pDb)) : std::string("out of memory");
}

int CSqliteStatement::Prepare(CSqliteDb& db, std::string_view sql)
{
    Finalize();
    return sqlite3_prepare_v3(db.Handle(), sql.data(), static_cast<int>(sql.size()), SQLITE_PREPARE_PERSISTENT,
                              &m_pStmt, nullptr);
}

void CSqliteStatement::Finalize()
{
    if (m_pStmt) sqlite3_finalize(m_pStmt);
    m_pStmt = nullptr;
}

std::string CSqliteStatement::Text(int column) const
{
    const unsigned char* text = sqlite3_column_text(m_pStmt, column);
    if (!text) return {};
    return std::string(reinterpret_cast<const char*>(text), static_cast<std::size_t>(sqlite3_column_bytes(m_pStmt, column)));
}

}  // namespace velmor
