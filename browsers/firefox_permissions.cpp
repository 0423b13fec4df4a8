// Firefox's site permissions: the rows of a profile's permissions.sqlite, read
// while Firefox may have it open, and which of them let a site notify or open
// pop-ups. Firefox's own reading (extensions/permissions/PermissionManager.cpp)
// accepts any moz_perms that has the columns it selects, and creates the table
// when it is missing.
#include <windows.h>

#include <iterator>

#include "base/sqlite_database.h"
#include "browsers/browsers.h"

namespace {

const char* const COLUMNS[] = {"id", "origin", "type", "permission", "expireType", "expireTime", "modificationTime"};

JsonLoad LoadOf(SqliteError error) {
    switch (error) {
        case SqliteError::None:
            return JsonLoad::Done;
        case SqliteError::Missing:
            return JsonLoad::Missing;
        case SqliteError::TooLarge:
            return JsonLoad::TooLarge;
        case SqliteError::Busy:
            return JsonLoad::Locked;
        case SqliteError::NotADatabase:
            return JsonLoad::NotADatabase;
        case SqliteError::Damaged:
            return JsonLoad::Damaged;
        case SqliteError::CannotOpen:
        case SqliteError::Failed:
            break;
    }
    return JsonLoad::Unreadable;
}

// The first column of the first row of a statement that takes no parameters.
SqliteError QueryInt(const SqliteConnection& database, const char* sql, int64_t* value) {
    SqliteStatement statement;
    SqliteError error = PrepareSqliteStatement(database, sql, &statement);
    bool row = false;
    if (error == SqliteError::None)
        error = StepSqliteStatement(statement, &row);
    *value = row ? SqliteColumnInt(statement, 0) : 0;
    return error;
}

// Done when moz_perms is a table with every column Firefox reads, OtherShape when
// it is something else or lacks one; Missing when there is no moz_perms at all.
JsonLoad CheckShape(const SqliteConnection& database) {
    SqliteStatement statement;
    SqliteError error = PrepareSqliteStatement(
        database, "SELECT type FROM sqlite_schema WHERE name = 'moz_perms' COLLATE NOCASE", &statement);
    bool row = false;
    if (error == SqliteError::None)
        error = StepSqliteStatement(statement, &row);
    if (error != SqliteError::None)
        return LoadOf(error);
    if (!row)
        return JsonLoad::Missing;
    if (SqliteColumnText(statement, 0) != "table")
        return JsonLoad::OtherShape;  // a view or an index of that name

    unsigned found = 0;
    error = PrepareSqliteStatement(database, "SELECT name FROM pragma_table_info('moz_perms')", &statement);
    for (row = true; error == SqliteError::None && row;) {
        error = StepSqliteStatement(statement, &row);
        std::string name = row ? SqliteColumnText(statement, 0) : std::string();
        for (std::size_t i = 0; i < std::size(COLUMNS); ++i) {
            if (EqualsIgnoringAsciiCase(name, COLUMNS[i]))
                found |= 1u << i;
        }
    }
    if (error != SqliteError::None)
        return LoadOf(error);
    return found == (1u << std::size(COLUMNS)) - 1 ? JsonLoad::Done : JsonLoad::OtherShape;
}

JsonLoad ReadRows(const SqliteConnection& database, std::vector<FirefoxPermissionRow>* rows) {
    SqliteStatement statement;
    SqliteError error = PrepareSqliteStatement(
        database, "SELECT " FIREFOX_PERMISSION_COLUMNS " FROM moz_perms ORDER BY id LIMIT ?1", &statement);
    if (error != SqliteError::None)
        return error == SqliteError::Failed ? JsonLoad::OtherShape : LoadOf(error);
    BindSqliteInt(statement, 1, static_cast<int64_t>(MAX_FIREFOX_PERMISSION_ROWS) + 1);
    for (bool row = true;;) {
        error = StepSqliteStatement(statement, &row);
        if (error != SqliteError::None || !row)
            break;
        if (rows->size() == MAX_FIREFOX_PERMISSION_ROWS)
            return JsonLoad::TooLarge;
        rows->push_back(FirefoxPermissionRowAt(statement));
    }
    return LoadOf(error);
}

}  // namespace

FirefoxPermissionRow FirefoxPermissionRowAt(const SqliteStatement& statement) {
    FirefoxPermissionRow row;
    row.id = SqliteColumnInt(statement, 0);
    row.origin = SqliteColumnText(statement, 1);
    row.type = SqliteColumnText(statement, 2);
    row.permission = SqliteColumnInt(statement, 3);
    row.expireType = SqliteColumnInt(statement, 4);
    row.expireTime = SqliteColumnInt(statement, 5);
    row.modificationTime = SqliteColumnInt(statement, 6);
    return row;
}

FirefoxPermissions ReadFirefoxPermissions(const std::wstring& profileFolder) {
    FirefoxPermissions result;
    SqliteConnection database;
    SqliteError error = OpenSqliteDatabase(profileFolder + L"\\permissions.sqlite", SqliteAccess::ReadOnly,
                                           MaxBytes(BrowserFile::FirefoxPermissions), &database);
    if (error != SqliteError::None) {
        result.result = LoadOf(error);
        return result;
    }
    JsonLoad shape = CheckShape(database);
    if (shape == JsonLoad::Missing) {
        result.result = JsonLoad::Done;  // Firefox creates the table: no permission is kept here
        return result;
    }
    if (shape == JsonLoad::Done)
        shape = LoadOf(QueryInt(database, "PRAGMA user_version", &result.userVersion));
    if (shape == JsonLoad::Done)
        shape = ReadRows(database, &result.rows);
    if (shape != JsonLoad::Done)
        result.rows.clear();
    result.result = shape;
    return result;
}

int64_t FirefoxTimeNow() {
    FILETIME now = {};
    GetSystemTimeAsFileTime(&now);
    ULARGE_INTEGER ticks = {};
    ticks.LowPart = now.dwLowDateTime;
    ticks.HighPart = now.dwHighDateTime;
    // 100-nanosecond ticks since 1601 to milliseconds since 1970.
    return static_cast<int64_t>(ticks.QuadPart / 10000) - 11644473600000LL;
}

bool IsFirefoxSiteGrant(const FirefoxPermissionRow& row, int64_t nowMs, SitePermission* permission) {
    constexpr int64_t ALLOW = 1, EXPIRE_SESSION = 1, EXPIRE_TIME = 2, EXPIRE_POLICY = 3;
    if (row.type == "desktop-notification")
        *permission = SitePermission::Notifications;
    else if (row.type == "popup")
        *permission = SitePermission::Popups;
    else
        return false;
    bool expired = (row.expireType == EXPIRE_TIME || (row.expireType == EXPIRE_SESSION && row.expireTime != 0)) &&
                   row.expireTime <= nowMs;
    return row.permission == ALLOW && row.expireType != EXPIRE_POLICY && !expired;
}
