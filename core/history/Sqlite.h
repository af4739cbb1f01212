#pragma once
// Thin owners of an SQLite connection and a prepared statement: they close
// what they hold and turn the C interface's optional values into
// std::optional. Errors are returned as SQLite result codes, never thrown.

#include <sqlite3.h>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>

namespace velmor {

class CSqliteDb {
public:
    CSqliteDb() = default;
    ~CSqliteDb() { Close(); }
    CSqliteDb(const CSqliteDb&) = delete;
    CSqliteDb& operator=(const CSqliteDb&) = delete;

    // flags: SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE or SQLITE_OPEN_READONLY.
    int Open(const std::string& path, int flags);
    void Close();
    // Runs one or more statements without results.
    int Exec(const char* sql);
    sqlite3* Handle() const { return m_pDb; }
    bool IsOpen() const { return m_pDb != nullptr; }
    std::string ErrorText() const;

private:
    sqlite3* m_pDb = nullptr;
};

class CSqliteStatement {
public:
    CSqliteStatement() = default;
    ~CSqliteStatement() { Finalize(); }
    CSqliteStatement(const CSqliteStatement&) = delete;
    CSqliteStatement& operator=(const CSqliteStatement&) = delete;

    int Prepare(CSqliteDb& db, std::string_view sql);
    void Finalize();
    bool IsPrepared() const { return m_pStmt != nullptr; }

    void Bind(int index, std::int64_t value) { sqlite3_bind_int64(m_pStmt, index, value); }
    void Bind(int index, double value) { sqlite3_bind_double(m_pStmt, index, value); }
    void Bind(int index, std::string_view text)
    {
        sqlite3_bind_text(m_pStmt, index, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
    }
    void BindNull(int index) { sqlite3_bind_null(m_pStmt, index); }
    template <typename T>
    void BindOptional(int index, const std::optional<T>& value)
    {
        if (!value) BindNull(index);
        else if constexpr (std::is_floating_point_v<T>) Bind(index, static_cast<double>(*value));
        else if constexpr (std::is_same_v<T, char>) Bind(index, std::string_view(&*value, 1));
        else Bind(index, static_cast<std::int64_t>(*value));
    }

    // SQLITE_ROW, SQLITE_DONE or an error code.
    int Step() { return sqlite3_step(m_pStmt); }
    // Resets for the next execution and clears the bindings.
    void Reset()
    {
        sqlite3_reset(m_pStmt);
        sqlite3_clear_bindings(m_pStmt);
    }

    bool IsNull(int column) const { return sqlite3_column_type(m_pStmt, column) == SQLITE_NULL; }
    std::int64_t Int(int column) const { return sqlite3_column_int64(m_pStmt, column); }
    double Double(int column) const { return sqlite3_column_double(m_pStmt, column); }
    std::string Text(int column) const;
    std::optional<std::int64_t> OptionalInt(int column) const
    {
        return IsNull(column) ? std::nullopt : std::optional<std::int64_t>(Int(column));
    }
    std::optional<double> OptionalDouble(int column) const
    {
        return IsNull(column) ? std::nullopt : std::optional<double>(Double(column));
    }

private:
    sqlite3_stmt* m_pStmt = nullptr;
};

}  // namespace velmor
