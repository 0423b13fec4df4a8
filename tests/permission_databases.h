// Firefox permission databases for tests, made by SQLite itself in the shape
// Firefox writes: moz_perms and the legacy moz_hosts, and for user_version 13
// moz_origin_interactions too.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "base/sqlite_database.h"

struct PermissionRowSpec {
    std::string origin;
    std::string type;
    int64_t permission = 1;
    int64_t expireType = 0;
    int64_t expireTime = 0;
};

enum class TestJournal { Rollback, Wal };

// Runs SQL on the connection; a failure fails the test.
void RunSql(const SqliteConnection& connection, const std::string& sql);
// Creates the database file (or opens the one there) for writing, as Firefox would.
SqliteConnection CreateTestDatabase(const std::wstring& path);
// A new permissions.sqlite at path with the rows, ids from 1 on. The connection
// stays open for the caller: with TestJournal::Wal the rows are still in the
// -wal file, not folded into the database, until it is closed.
SqliteConnection MakePermissionDatabase(const std::wstring& path,
                                        int userVersion,
                                        const std::vector<PermissionRowSpec>& rows,
                                        TestJournal journal = TestJournal::Rollback);
// Rows of "https://site<n>.example" alternating between the two types that count.
std::vector<PermissionRowSpec> ManyPermissionRows(std::size_t count);
