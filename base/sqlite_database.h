// SQLite plumbing for the readers of browser databases and the fixes that change
// them: opening a database that exists (never creating one), statements, columns
// and the integrity check, each handle in a move-only holder. Only
// base/sqlite_database.cpp includes sqlite3.h; the handles are named here by
// their declarations alone.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>

struct sqlite3;
struct sqlite3_stmt;

// Why a database, or a statement on it, could not be used.
enum class SqliteError {
    None,
    Missing,       // no such file
    CannotOpen,    // a folder, no access, held without sharing, a read error, read-only for a writer
    TooLarge,      // larger than the caller's limit, or a value larger than SQLite takes
    Busy,          // locked by another connection beyond the busy timeout, or a change it left unfinished
    NotADatabase,  // not an SQLite database
    Damaged,       // malformed pages, or a fault the integrity check names
    Failed         // anything else, such as a statement naming a table or column that is not there
};

enum class SqliteAccess {
    // Reads the database as it is, while a browser may be writing it, and
    // leaves no journal, -wal or -shm file behind that was not there.
    ReadOnly,
    // Changes a database that exists (SQLITE_OPEN_READWRITE without SQLITE_OPEN_CREATE).
    ReadWrite
};

// How long a statement waits for another connection's lock before it reports Busy.
constexpr int DATABASE_BUSY_TIMEOUT_MS = 250;

void CloseSqliteConnection(sqlite3* connection);
void FinalizeSqliteStatement(sqlite3_stmt* statement);

// Owns one SQLite handle and gives it back once.
template <typename Handle, void (*Close)(Handle*)>
class UniqueSqliteHandle {
public:
    UniqueSqliteHandle() = default;
    explicit UniqueSqliteHandle(Handle* handle) : handle_(handle) {}
    ~UniqueSqliteHandle() { reset(); }
    UniqueSqliteHandle(const UniqueSqliteHandle&) = delete;
    UniqueSqliteHandle& operator=(const UniqueSqliteHandle&) = delete;
    UniqueSqliteHandle(UniqueSqliteHandle&& other) noexcept : handle_(std::exchange(other.handle_, nullptr)) {}
    UniqueSqliteHandle& operator=(UniqueSqliteHandle&& other) noexcept {
        if (this != &other) {
            reset();
            handle_ = std::exchange(other.handle_, nullptr);
        }
        return *this;
    }

    Handle* get() const { return handle_; }
    explicit operator bool() const { return handle_ != nullptr; }
    void reset(Handle* handle = nullptr) {
        if (handle_)
            Close(handle_);
        handle_ = handle;
    }

private:
    Handle* handle_ = nullptr;
};

// sqlite3_close_v2: a connection (closed for good once its last statement is finalized).
using SqliteConnection = UniqueSqliteHandle<sqlite3, CloseSqliteConnection>;
// sqlite3_finalize: a prepared statement.
using SqliteStatement = UniqueSqliteHandle<sqlite3_stmt, FinalizeSqliteStatement>;

// Opens the database file at path (a plain full path) when it holds at most
// maxBytes bytes, with the short busy timeout, and reads its schema once, so
// that a file that is locked, not SQLite or damaged is reported here.
// ReadOnly never writes the file or leaves a file beside it: a database that
// says it is in WAL mode while no -wal file is there (the browser closed it
// cleanly) is read from a copy in memory, since SQLite would otherwise create
// the -wal and -shm files; one whose -wal is there without its -shm (no browser
// has it open) is read from a copy of both, made in a private folder under
// %TEMP% that is removed at once, since SQLite would create the -shm file. A
// read-only connection never folds the -wal into the database when it closes.
SqliteError OpenSqliteDatabase(const std::wstring& path,
                               SqliteAccess access,
                               std::size_t maxBytes,
                               SqliteConnection* connection);

// sqlite3_errmsg of the connection, for a line that says what went wrong.
std::string SqliteErrorMessage(const SqliteConnection& connection);

SqliteError PrepareSqliteStatement(const SqliteConnection& connection, const char* sql, SqliteStatement* statement);
// One step: *row is true while a row is ready, false once the statement is done.
SqliteError StepSqliteStatement(const SqliteStatement& statement, bool* row);
// Makes the statement ready to run again with new parameters (sqlite3_reset).
SqliteError ResetSqliteStatement(const SqliteStatement& statement);
// Runs a statement that returns no rows to the caller (BEGIN, COMMIT, ...) to its end.
SqliteError ExecuteSqlite(const SqliteConnection& connection, const char* sql);

// Parameters are numbered from 1, columns from 0, as in SQLite.
bool BindSqliteInt(const SqliteStatement& statement, int parameter, int64_t value);
bool BindSqliteText(const SqliteStatement& statement, int parameter, const std::string& utf8);
// The column as SQLite converts it: NULL and text that is no number are 0.
int64_t SqliteColumnInt(const SqliteStatement& statement, int column);
// The column's text as UTF-8 bytes; "" for NULL.
std::string SqliteColumnText(const SqliteStatement& statement, int column);
bool SqliteColumnIsNull(const SqliteStatement& statement, int column);

// PRAGMA integrity_check: None when it answers "ok", Damaged when it names a
// fault, otherwise why it could not run.
SqliteError CheckSqliteIntegrity(const SqliteConnection& connection);
