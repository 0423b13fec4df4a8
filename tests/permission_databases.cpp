#include "tests/permission_databases.h"

#include <gtest/gtest.h>

#include "base/base.h"
#include "sqlite3.h"

void RunSql(const SqliteConnection& connection, const std::string& sql) {
    char* message = nullptr;
    int result = sqlite3_exec(connection.get(), sql.c_str(), nullptr, nullptr, &message);
    EXPECT_EQ(result, SQLITE_OK) << sql << ": " << (message ? message : "");
    sqlite3_free(message);
}

SqliteConnection CreateTestDatabase(const std::wstring& path) {
    sqlite3* handle = nullptr;
    int result =
        sqlite3_open_v2(WideToUtf8(path).c_str(), &handle, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
    EXPECT_EQ(result, SQLITE_OK) << WideToUtf8(path);
    return SqliteConnection(handle);
}

SqliteConnection MakePermissionDatabase(const std::wstring& path,
                                        int userVersion,
                                        const std::vector<PermissionRowSpec>& rows,
                                        TestJournal journal) {
    SqliteConnection database = CreateTestDatabase(path);
    // Firefox's pages are 32 KB; its statements, from PermissionManager.cpp.
    RunSql(database, "PRAGMA page_size = 32768");
    if (journal == TestJournal::Wal)
        RunSql(database, "PRAGMA journal_mode = WAL");
    RunSql(database, "PRAGMA user_version = " + std::to_string(userVersion));
    RunSql(database,
           "CREATE TABLE moz_perms ( id INTEGER PRIMARY KEY,origin TEXT,type TEXT,permission INTEGER,"
           "expireType INTEGER,expireTime INTEGER,modificationTime INTEGER);"
           "CREATE TABLE moz_hosts ( id INTEGER PRIMARY KEY,host TEXT,type TEXT,permission INTEGER,"
           "expireType INTEGER,expireTime INTEGER,modificationTime INTEGER,isInBrowserElement INTEGER)");
    if (userVersion >= 13)
        RunSql(database, "CREATE TABLE moz_origin_interactions ( origin TEXT PRIMARY KEY,lastInteractionTime INTEGER)");
    // What comes next stays in the -wal file while the connection is open.
    RunSql(database, "PRAGMA wal_autocheckpoint = 0; BEGIN");
    sqlite3_stmt* insert = nullptr;
    EXPECT_EQ(sqlite3_prepare_v2(database.get(),
                                 "INSERT INTO moz_perms (origin, type, permission, expireType, expireTime, "
                                 "modificationTime) VALUES (?1, ?2, ?3, ?4, ?5, 1700000000000)",
                                 -1, &insert, nullptr),
              SQLITE_OK);
    SqliteStatement statement(insert);
    for (const PermissionRowSpec& row : rows) {
        sqlite3_bind_text(insert, 1, row.origin.c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_text(insert, 2, row.type.c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_int64(insert, 3, row.permission);
        sqlite3_bind_int64(insert, 4, row.expireType);
        sqlite3_bind_int64(insert, 5, row.expireTime);
        EXPECT_EQ(sqlite3_step(insert), SQLITE_DONE);
        sqlite3_reset(insert);
    }
    statement.reset();
    if (userVersion >= 13)
        RunSql(database,
               "INSERT OR IGNORE INTO moz_origin_interactions SELECT DISTINCT origin, 1700000000000 "
               "FROM moz_perms");
    RunSql(database, "COMMIT");
    return database;
}

std::vector<PermissionRowSpec> ManyPermissionRows(std::size_t count) {
    std::vector<PermissionRowSpec> rows;
    rows.reserve(count);
    for (std::size_t i = 0; i < count; ++i)
        rows.push_back({"https://site" + std::to_string(i) + ".example", i % 2 ? "popup" : "desktop-notification"});
    return rows;
}
