// The one file that includes sqlite3.h (tools/check-layering.sh checks it).
#include "base/sqlite_database.h"

#include <cstring>

#include "base/base.h"
#include "base/win_handles.h"
#include "sqlite3.h"

namespace {

SqliteError ErrorOf(int result) {
    switch (result & 0xff) {
        case SQLITE_OK:
        case SQLITE_ROW:
        case SQLITE_DONE:
            return SqliteError::None;
        case SQLITE_BUSY:
        case SQLITE_LOCKED:
            return SqliteError::Busy;
        case SQLITE_NOTADB:
            return SqliteError::NotADatabase;
        case SQLITE_CORRUPT:
            return SqliteError::Damaged;
        case SQLITE_TOOBIG:
            return SqliteError::TooLarge;
        case SQLITE_READONLY:
            // A journal or WAL that a writer left unfinished, which only a writer may roll back or recover.
            if (result == SQLITE_READONLY_ROLLBACK || result == SQLITE_READONLY_RECOVERY)
                return SqliteError::Busy;
            return SqliteError::CannotOpen;
        case SQLITE_CANTOPEN:
        case SQLITE_IOERR:
        case SQLITE_PERM:
            return SqliteError::CannotOpen;
        default:
            return SqliteError::Failed;
    }
}

bool FileExists(const std::wstring& path) {
    return GetFileAttributesW(LongPathForm(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

// The first 100 bytes, where SQLite keeps the file's format; fewer for a shorter file.
struct DatabaseHeader {
    unsigned char bytes[100] = {};
    DWORD length = 0;
    bool Wal() const {
        // "SQLite format 3" and a read version of 2: the pages may be newer in the -wal file.
        return length == sizeof(bytes) && std::memcmp(bytes, "SQLite format 3", 16) == 0 && bytes[19] == 2;
    }
};

SqliteError ReadHeader(const std::wstring& path, std::size_t maxBytes, DatabaseHeader* header) {
    DWORD attributes = GetFileAttributesW(LongPathForm(path).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return IsNotFoundError(GetLastError()) ? SqliteError::Missing : SqliteError::CannotOpen;
    if (attributes & FILE_ATTRIBUTE_DIRECTORY)
        return SqliteError::CannotOpen;
    // Shared as the browser shares it: reading the header disturbs no one.
    UniqueHandle file(CreateFileW(LongPathForm(path).c_str(), GENERIC_READ,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING, 0,
                                  nullptr));
    LARGE_INTEGER size = {};
    if (!file || !GetFileSizeEx(file.get(), &size))
        return SqliteError::CannotOpen;
    if (static_cast<unsigned long long>(size.QuadPart) > maxBytes)
        return SqliteError::TooLarge;
    if (!ReadFile(file.get(), header->bytes, sizeof(header->bytes), &header->length, nullptr))
        return SqliteError::CannotOpen;
    return SqliteError::None;
}

// A WAL database that no one has open: all of it is in the file. Read into
// memory and marked as a rollback-journal database there, so that SQLite looks
// for no -wal file (which it would otherwise create, with the -shm file).
SqliteError OpenSnapshot(const std::wstring& path, std::size_t maxBytes, SqliteConnection* connection) {
    std::string bytes;
    switch (ReadFileBytes(path, maxBytes, &bytes)) {
        case FileRead::Done:
            break;
        case FileRead::Missing:
            return SqliteError::Missing;
        case FileRead::TooLarge:
            return SqliteError::TooLarge;
        case FileRead::Unreadable:
            return SqliteError::CannotOpen;
    }
    if (bytes.size() < 100)
        return SqliteError::NotADatabase;
    bytes[18] = bytes[19] = 1;
    sqlite3* handle = nullptr;
    // An in-memory database: no file is opened or created.
    int result = sqlite3_open_v2(":memory:", &handle, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
    connection->reset(handle);
    if (result != SQLITE_OK)
        return ErrorOf(result);
    auto* copy = static_cast<unsigned char*>(sqlite3_malloc64(bytes.size()));
    if (!copy)
        return SqliteError::TooLarge;
    std::memcpy(copy, bytes.data(), bytes.size());
    return ErrorOf(sqlite3_deserialize(handle, "main", copy, bytes.size(), bytes.size(),
                                       SQLITE_DESERIALIZE_FREEONCLOSE | SQLITE_DESERIALIZE_READONLY));
}

// A folder of its own under %TEMP% for copies of a database, removed with what is in it.
class PrivateFolder {
public:
    PrivateFolder() {
        wchar_t temp[MAX_PATH + 1] = {};
        DWORD length = GetTempPathW(MAX_PATH + 1, temp);
        if (length == 0 || length > MAX_PATH)
            return;
        static volatile LONG counter = 0;
        for (int attempt = 0; attempt < 100 && path_.empty(); ++attempt) {
            std::wstring folder =
                FormatWide(L"%lsPopSwat-%lu-%ld", temp, GetCurrentProcessId(), InterlockedIncrement(&counter));
            if (CreateDirectoryW(folder.c_str(), nullptr))
                path_ = folder;
        }
    }
    ~PrivateFolder() {
        if (path_.empty())
            return;
        ForEachFolderEntry(path_,
                           [&](const std::wstring& name, uint32_t) { DeleteFileW((path_ + L"\\" + name).c_str()); });
        RemoveDirectoryW(path_.c_str());
    }
    PrivateFolder(const PrivateFolder&) = delete;
    PrivateFolder& operator=(const PrivateFolder&) = delete;
    const std::wstring& path() const { return path_; }

private:
    std::wstring path_;
};

SqliteError OpenFile(const std::wstring& path, SqliteAccess access, SqliteConnection* connection) {
    // Never SQLITE_OPEN_CREATE: a missing file stays missing. Not a URI either:
    // a name is only ever a file name.
    int flags =
        (access == SqliteAccess::ReadOnly ? SQLITE_OPEN_READONLY : SQLITE_OPEN_READWRITE) | SQLITE_OPEN_EXRESCODE;
    sqlite3* handle = nullptr;
    int result = sqlite3_open_v2(WideToUtf8(path).c_str(), &handle, flags, nullptr);
    connection->reset(handle);
    return ErrorOf(result);
}

// A WAL database whose -wal is there without its -shm: no one has it open, and
// the pages in the -wal count. SQLite would create the -shm beside it (or, in
// exclusive locking mode, lock the file for writing, which Wine refuses on a
// handle opened for reading), so both files are copied into a private folder,
// the copy's -wal is folded into it there, and that is read into memory.
SqliteError OpenFoldedCopy(const std::wstring& path, std::size_t maxBytes, SqliteConnection* connection) {
    DatabaseHeader walHeader;
    SqliteError error = ReadHeader(path + L"-wal", maxBytes, &walHeader);
    if (error != SqliteError::None)
        return error == SqliteError::Missing ? SqliteError::CannotOpen : error;
    PrivateFolder folder;
    std::wstring copy = folder.path() + L"\\permissions.sqlite";
    if (folder.path().empty() || !CopyFileW(LongPathForm(path).c_str(), copy.c_str(), FALSE) ||
        !CopyFileW(LongPathForm(path + L"-wal").c_str(), (copy + L"-wal").c_str(), FALSE))
        return SqliteError::CannotOpen;
    {
        SqliteConnection folding;
        error = OpenFile(copy, SqliteAccess::ReadWrite, &folding);
        if (error == SqliteError::None)
            error = ExecuteSqlite(folding, "PRAGMA journal_mode=DELETE");
    }
    return error == SqliteError::None ? OpenSnapshot(copy, maxBytes, connection) : error;
}

}  // namespace

void CloseSqliteConnection(sqlite3* connection) {
    sqlite3_close_v2(connection);
}

void FinalizeSqliteStatement(sqlite3_stmt* statement) {
    sqlite3_finalize(statement);
}

SqliteError OpenSqliteDatabase(const std::wstring& path,
                               SqliteAccess access,
                               std::size_t maxBytes,
                               SqliteConnection* connection) {
    connection->reset();
    DatabaseHeader header;
    SqliteError error = ReadHeader(path, maxBytes, &header);
    if (error != SqliteError::None)
        return error;
    bool readOnly = access == SqliteAccess::ReadOnly;
    bool wal = readOnly && header.Wal();
    if (wal && !FileExists(path + L"-wal"))
        error = OpenSnapshot(path, maxBytes, connection);
    else if (wal && !FileExists(path + L"-shm"))
        error = OpenFoldedCopy(path, maxBytes, connection);
    else
        error = OpenFile(path, access, connection);
    if (error == SqliteError::None) {
        sqlite3* handle = connection->get();
        sqlite3_busy_timeout(handle, DATABASE_BUSY_TIMEOUT_MS);
        // A file from anywhere may be hostile: its schema cannot call functions
        // with side effects, nor can any statement write the schema itself.
        sqlite3_db_config(handle, SQLITE_DBCONFIG_TRUSTED_SCHEMA, 0, nullptr);
        sqlite3_db_config(handle, SQLITE_DBCONFIG_DEFENSIVE, 1, nullptr);
        if (readOnly) {
            // The last connection to close would otherwise fold the -wal into the
            // database and delete it: a change, by a reader.
            sqlite3_db_config(handle, SQLITE_DBCONFIG_NO_CKPT_ON_CLOSE, 1, nullptr);
        }
    }
    // Reading the schema reads the header and the first page: a locked, foreign or damaged file shows here.
    if (error == SqliteError::None)
        error = ExecuteSqlite(*connection, "SELECT count(*) FROM sqlite_schema");
    if (error != SqliteError::None)
        connection->reset();
    return error;
}

std::string SqliteErrorMessage(const SqliteConnection& connection) {
    return connection ? sqlite3_errmsg(connection.get()) : "no connection";
}

SqliteError PrepareSqliteStatement(const SqliteConnection& connection, const char* sql, SqliteStatement* statement) {
    sqlite3_stmt* handle = nullptr;
    int result = sqlite3_prepare_v2(connection.get(), sql, -1, &handle, nullptr);
    statement->reset(handle);
    if (result == SQLITE_OK && !handle)
        return SqliteError::Failed;  // only white space or a comment
    return ErrorOf(result);
}

SqliteError StepSqliteStatement(const SqliteStatement& statement, bool* row) {
    int result = sqlite3_step(statement.get());
    *row = result == SQLITE_ROW;
    return ErrorOf(result);
}

SqliteError ResetSqliteStatement(const SqliteStatement& statement) {
    return ErrorOf(sqlite3_reset(statement.get()));
}

SqliteError ExecuteSqlite(const SqliteConnection& connection, const char* sql) {
    SqliteStatement statement;
    SqliteError error = PrepareSqliteStatement(connection, sql, &statement);
    for (bool row = true; error == SqliteError::None && row;)
        error = StepSqliteStatement(statement, &row);
    return error;
}

bool BindSqliteInt(const SqliteStatement& statement, int parameter, int64_t value) {
    return sqlite3_bind_int64(statement.get(), parameter, value) == SQLITE_OK;
}

bool BindSqliteText(const SqliteStatement& statement, int parameter, const std::string& utf8) {
    return sqlite3_bind_text64(statement.get(), parameter, utf8.data(), utf8.size(), SQLITE_TRANSIENT, SQLITE_UTF8) ==
           SQLITE_OK;
}

int64_t SqliteColumnInt(const SqliteStatement& statement, int column) {
    return sqlite3_column_int64(statement.get(), column);
}

std::string SqliteColumnText(const SqliteStatement& statement, int column) {
    const unsigned char* text = sqlite3_column_text(statement.get(), column);
    int length = sqlite3_column_bytes(statement.get(), column);
    return text ? std::string(reinterpret_cast<const char*>(text), static_cast<std::size_t>(length)) : std::string();
}

bool SqliteColumnIsNull(const SqliteStatement& statement, int column) {
    return sqlite3_column_type(statement.get(), column) == SQLITE_NULL;
}

SqliteError CheckSqliteIntegrity(const SqliteConnection& connection) {
    SqliteStatement statement;
    SqliteError error = PrepareSqliteStatement(connection, "PRAGMA integrity_check", &statement);
    bool row = false;
    if (error == SqliteError::None)
        error = StepSqliteStatement(statement, &row);
    if (error != SqliteError::None)
        return error;
    return row && SqliteColumnText(statement, 0) == "ok" ? SqliteError::None : SqliteError::Damaged;
}
