// Takes back what sites were allowed to do in a Firefox profile: the rows of its
// permissions.sqlite (table moz_perms) that let a site notify or open pop-ups,
// deleted in one transaction, and put back by inserting the same rows again.
// Firefox deletes a database it cannot read, with every permission in it, so
// this file never creates one, never touches the schema or user_version, and
// writes only to a database that passes PRAGMA integrity_check. Before anything
// is written the database, with any -wal or -shm beside it, is copied into the
// run's folder, and each row is in the record as it was.
#include <windows.h>

#include "base/sqlite_database.h"
#include "base/win_handles.h"
#include "engine/engine_parts.h"

namespace {

const wchar_t DATABASE_NAME[] = L"permissions.sqlite";
const wchar_t* const DATABASE_FILES[] = {L"permissions.sqlite", L"permissions.sqlite-wal", L"permissions.sqlite-shm"};

const char SELECT_GRANTS[] =
    "SELECT id, origin, type, permission, expireType, expireTime, modificationTime FROM moz_perms "
    "WHERE type IN ('desktop-notification', 'popup') ORDER BY id";

const wchar_t* PermissionText(SitePermission permission) {
    return permission == SitePermission::Popups ? L"pop-ups" : L"notifications";
}

std::wstring RowSite(const FirefoxPermissionRow& row) {
    // The origin comes from the file: it must not be able to break or forge a line.
    return MaskUnsafeCharacters(Utf8ToWide(row.origin));
}

// Firefox holds parent.lock open without sharing for as long as it runs with
// the profile (and removes it when it exits): a file there that cannot be
// opened is held. Opened for reading only, never created.
bool ProfileInUse(const std::wstring& profile) {
    UniqueHandle lock(CreateFileW(LongPathForm(profile + L"\\parent.lock").c_str(), GENERIC_READ,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    if (lock)
        return false;
    DWORD error = GetLastError();
    return error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION;
}

// Why a database is left as it is, as the "(... , left alone)" line says it; "" when it may be changed.
const wchar_t* ReadProblem(JsonLoad result) {
    switch (result) {
        case JsonLoad::Done:
            return L"";
        case JsonLoad::Locked:
            return L"locked by another program";
        case JsonLoad::NotADatabase:
            return L"not an SQLite database";
        case JsonLoad::Damaged:
            return L"damaged: Firefox would delete it";
        case JsonLoad::OtherShape:
            return L"a table of another shape";
        case JsonLoad::TooLarge:
            return L"too large or too many rows";
        default:
            break;
    }
    return L"unreadable";
}

const wchar_t* SqliteProblem(SqliteError error) {
    switch (error) {
        case SqliteError::Busy:
            return L"locked by another program";
        case SqliteError::NotADatabase:
            return L"not an SQLite database";
        case SqliteError::Damaged:
            return L"damaged: Firefox would delete it";
        case SqliteError::TooLarge:
            return L"too large or too many rows";
        default:
            break;
    }
    return L"could not be opened for writing";
}

// Why the database at file may not be written now, "" when it may: the profile
// in use, a link, a read-only file, or a database SQLite or its integrity check
// finds fault with (checked on a read-only connection, which changes nothing).
std::wstring WritingProblem(const std::wstring& profile, const std::wstring& file) {
    if (ProfileInUse(profile))
        return L"Firefox is running with this profile";
    DWORD attributes = GetFileAttributesW(LongPathForm(file).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return L"the file is no longer there";
    std::wstring folderPath = FinalPath(profile), filePath = FinalPath(file);
    if (folderPath.empty() || filePath.empty())
        return L"could not be opened";
    if (!IsAtItsOwnName(filePath, folderPath, DATABASE_NAME) || (attributes & FILE_ATTRIBUTE_REPARSE_POINT))
        return L"a link";
    if (attributes & FILE_ATTRIBUTE_DIRECTORY)
        return L"a folder";
    if (attributes & FILE_ATTRIBUTE_READONLY)
        return L"read-only";
    SqliteConnection reader;
    SqliteError error =
        OpenSqliteDatabase(file, SqliteAccess::ReadOnly, MaxBytes(BrowserFile::FirefoxPermissions), &reader);
    if (error == SqliteError::None)
        error = CheckSqliteIntegrity(reader);
    return error == SqliteError::None ? L"" : SqliteProblem(error);
}

// A connection that writes, with a write transaction begun (BEGIN IMMEDIATE:
// no other connection can write until it ends); rolled back unless committed.
class WriteTransaction {
public:
    SqliteError Begin(const std::wstring& file) {
        SqliteError error =
            OpenSqliteDatabase(file, SqliteAccess::ReadWrite, MaxBytes(BrowserFile::FirefoxPermissions), &database_);
        if (error == SqliteError::None)
            error = ExecuteSqlite(database_, "BEGIN IMMEDIATE");
        open_ = error == SqliteError::None;
        return error;
    }
    SqliteError Commit() {
        SqliteError error = ExecuteSqlite(database_, "COMMIT");
        open_ = error != SqliteError::None;
        return error;
    }
    ~WriteTransaction() {
        if (open_)
            ExecuteSqlite(database_, "ROLLBACK");
    }
    const SqliteConnection& database() const { return database_; }

private:
    SqliteConnection database_;
    bool open_ = false;
};

FirefoxPermissionRow RowOf(const SqliteStatement& statement) {
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

// The grant rows as they are inside the transaction.
SqliteError GrantRows(const SqliteConnection& database,
                      std::vector<std::pair<FirefoxPermissionRow, SitePermission>>* grants) {
    SqliteStatement statement;
    SqliteError error = PrepareSqliteStatement(database, SELECT_GRANTS, &statement);
    int64_t now = FirefoxTimeNow();
    for (bool row = true; error == SqliteError::None;) {
        error = StepSqliteStatement(statement, &row);
        if (error != SqliteError::None || !row)
            break;
        FirefoxPermissionRow read = RowOf(statement);
        SitePermission permission = SitePermission::Notifications;
        if (IsFirefoxSiteGrant(read, now, &permission))
            grants->push_back({std::move(read), permission});
    }
    return error;
}

// The grant the review named is this row, unchanged since: the same id, site,
// type and time of the last change.
bool IsReviewedRow(const SitePermissionGrant& grant, const FirefoxPermissionRow& row, SitePermission permission) {
    if (grant.firefoxRowId != 0 && (grant.firefoxRowId != row.id || grant.firefoxModified != row.modificationTime))
        return false;
    return grant.permission == permission && !grant.allSites && WideToUtf8(grant.site) == row.origin;
}

// Copies the database and the files beside it into a folder of the run's own;
// its name there, or "" when any copy failed.
std::wstring CopyDatabase(ChangeLog* log, const std::wstring& profile) {
    std::wstring name = MakeFolderInRun(log);
    if (name.empty())
        return name;
    for (const wchar_t* file : DATABASE_FILES) {
        std::wstring from = profile + L"\\" + file;
        if (PathIsGone(from))
            continue;
        if (!CopyFileW(LongPathForm(from).c_str(), LongPathForm(log->folder + L"\\" + name + L"\\" + file).c_str(),
                       TRUE))
            return L"";
    }
    return name;
}

// Removes a copy CopyDatabase made that no entry of the record names.
void DropCopy(const ChangeLog& log, const std::wstring& name) {
    if (name.empty())
        return;
    std::wstring folder = log.folder + L"\\" + name;
    for (const wchar_t* file : DATABASE_FILES)
        DeleteFileW(LongPathForm(folder + L"\\" + file).c_str());
    RemoveDirectoryW(LongPathForm(folder).c_str());
}

void NoteLeft(const CleanupOptions& options,
              const std::wstring& why,
              const std::wstring& file,
              CleanupOutcome* outcome) {
    WriteLine(options, L"  (" + why + L", left alone) " + MaskUnsafeCharacters(file));
    if (!outcome)
        return;
    outcome->settingsLeftAlone.push_back(file);
    if (why == L"Firefox is running with this profile" || why == L"locked by another program")
        outcome->inUse.push_back(file);
}

}  // namespace

std::size_t ResetFirefoxSitePermissions(const CleanupOptions& options,
                                        const ProfileOfBrowser& profile,
                                        ChangeLog* log,
                                        CleanupOutcome* outcome,
                                        const std::vector<SitePermissionGrant>* chosen,
                                        std::vector<std::wstring>* changed) {
    std::wstring file = profile.folder + L"\\" + DATABASE_NAME;
    FirefoxPermissions read = ReadFirefoxPermissions(profile.folder);
    if (read.result == JsonLoad::Missing)
        return 0;
    if (read.result != JsonLoad::Done) {
        NoteLeft(options, ReadProblem(read.result), file, outcome);
        return 0;
    }
    // What is there to take back, by the read that changes nothing.
    int64_t now = FirefoxTimeNow();
    std::size_t found = 0;
    for (const FirefoxPermissionRow& row : read.rows) {
        SitePermission permission = SitePermission::Notifications;
        if (!IsFirefoxSiteGrant(row, now, &permission))
            continue;
        bool wanted = !chosen;
        for (const SitePermissionGrant& grant : chosen ? *chosen : std::vector<SitePermissionGrant>())
            wanted |= IsReviewedRow(grant, row, permission);
        if (!wanted)
            continue;
        ++found;
        if (options.preview)
            WriteLine(options, FormatWide(L"  [preview] would no longer allow %ls: %ls", PermissionText(permission),
                                          RowSite(row).c_str()));
    }
    if (options.preview)
        return 0;
    std::vector<bool> matched(chosen ? chosen->size() : 0, false);
    // Each grant the review named that is no longer there as it was: left, with a line.
    auto reportUnmatched = [&] {
        for (std::size_t i = 0; i < matched.size(); ++i) {
            if (matched[i])
                continue;
            std::wstring what = std::wstring(PermissionText((*chosen)[i].permission)) + L" for " +
                                MaskUnsafeCharacters((*chosen)[i].site);
            WriteLine(options, L"  left as it is (" + what + L" changed or went since the review): " +
                                   MaskUnsafeCharacters(file));
            if (changed)
                changed->push_back(what);
        }
    };
    if (found == 0) {
        reportUnmatched();
        return 0;
    }

    std::vector<std::pair<FirefoxPermissionRow, SitePermission>> grants;
    std::wstring problem = WritingProblem(profile.folder, file);
    std::wstring copy;
    WriteTransaction transaction;
    if (problem.empty()) {
        copy = CopyDatabase(log, profile.folder);
        if (copy.empty())
            problem = L"no copy of the database could be made";
    }
    if (problem.empty()) {
        SqliteError error = transaction.Begin(file);
        if (error == SqliteError::None)
            error = GrantRows(transaction.database(), &grants);
        if (error != SqliteError::None)
            problem = SqliteProblem(error);
    }
    if (!problem.empty()) {
        DropCopy(*log, copy);
        NoteLeft(options, problem, file, outcome);
        return 0;
    }
    // The rows to delete: every grant, or those the review named, each as it is now.
    std::vector<ChangeEntry> entries;
    for (const auto& grant : grants) {
        bool wanted = !chosen;
        for (std::size_t i = 0; chosen && i < chosen->size(); ++i) {
            if (!matched[i] && IsReviewedRow((*chosen)[i], grant.first, grant.second))
                wanted = matched[i] = true;
        }
        if (!wanted)
            continue;
        // The record is JSON: a site that is no UTF-8 text could not be written there exactly.
        if (WideToUtf8(Utf8ToWide(grant.first.origin)) != grant.first.origin) {
            WriteLine(options, L"  left as it is (a site that is no UTF-8 text: " + RowSite(grant.first) + L"): " +
                                   MaskUnsafeCharacters(file));
            continue;
        }
        ChangeEntry entry;
        SitePermissionGrant named = {grant.second, Utf8ToWide(grant.first.origin), false};
        entry.findingId = SitePermissionFindingId(profile.browser, profile.name, named);
        entry.kind = "site-permission";
        entry.location = file;
        entry.copy = copy;
        entry.firefoxRow = grant.first;
        entries.push_back(std::move(entry));
    }
    reportUnmatched();
    if (entries.empty()) {
        DropCopy(*log, copy);
        return 0;
    }

    std::size_t first = log->record.changes.size();
    std::size_t count = entries.size();
    if (!RecordPending(log, entries)) {
        DropCopy(*log, copy);
        NoteLeft(options, L"the record of changes could not be written", file, outcome);
        return 0;
    }
    SqliteStatement remove;
    SqliteError error = PrepareSqliteStatement(transaction.database(), "DELETE FROM moz_perms WHERE id = ?1", &remove);
    for (std::size_t i = 0; i < count && error == SqliteError::None; ++i) {
        bool row = false;
        BindSqliteInt(remove, 1, entries[i].firefoxRow.id);
        error = StepSqliteStatement(remove, &row);
        if (error == SqliteError::None)
            error = ResetSqliteStatement(remove);
    }
    remove.reset();
    if (error == SqliteError::None)
        error = transaction.Commit();
    for (std::size_t i = 0; i < count; ++i) {
        if (error == SqliteError::None)
            MarkChange(log, first + i, ChangeState::Done);
        else
            MarkChange(log, first + i, ChangeState::Left, L"the database could not be changed");
    }
    if (error != SqliteError::None) {
        NoteLeft(options, SqliteProblem(error), file, outcome);
        return 0;
    }
    for (const ChangeEntry& entry : entries) {
        SitePermission permission =
            entry.firefoxRow.type == "popup" ? SitePermission::Popups : SitePermission::Notifications;
        WriteLine(options, FormatWide(L"  %ls no longer allowed: %ls", PermissionText(permission),
                                      RowSite(entry.firefoxRow).c_str()));
    }
    WritePathLine(options, L"  saved a copy of the old permissions: %ls", log->folder + L"\\" + copy);
    if (outcome)
        outcome->permissionsTakenBack += count;
    return count;
}

bool IsFirefoxPermissionDatabase(const std::wstring& location, const std::vector<BrowserProfile>& profiles) {
    std::wstring folder = FolderOfPath(location);
    if (!SamePath(location, folder + L"\\" + DATABASE_NAME))
        return false;
    for (const BrowserProfile& profile : profiles) {
        if (profile.browser->kind == BrowserKind::Firefox && SamePath(profile.folder, folder))
            return true;
    }
    return false;
}

void PutBackFirefoxPermissionEntries(const CleanupOptions& options,
                                     const std::wstring& file,
                                     const std::vector<std::size_t>& entries,
                                     ChangeLog* record) {
    auto leaveAll = [&](const std::wstring& why) {
        for (std::size_t index : entries)
            MarkChange(record, index, ChangeState::Left, why);
        WriteLine(options, L"  left as it is (" + why + L"; the old database is in the run's folder): " +
                               MaskUnsafeCharacters(file));
    };
    std::wstring profile = FolderOfPath(file);
    FirefoxPermissions read = ReadFirefoxPermissions(profile);
    if (read.result == JsonLoad::Missing) {
        leaveAll(L"the file is no longer there");
        return;
    }
    if (read.result != JsonLoad::Done) {
        leaveAll(ReadProblem(read.result));
        return;
    }
    std::wstring problem = WritingProblem(profile, file);
    if (!problem.empty()) {
        leaveAll(problem);
        return;
    }
    WriteTransaction transaction;
    SqliteError error = transaction.Begin(file);
    std::vector<bool> taken(entries.size(), false);
    SqliteStatement present, insert;
    if (error == SqliteError::None)
        error = PrepareSqliteStatement(transaction.database(),
                                       "SELECT count(*) FROM moz_perms WHERE origin = ?1 AND type = ?2", &present);
    if (error == SqliteError::None)
        error = PrepareSqliteStatement(transaction.database(),
                                       "INSERT INTO moz_perms (origin, type, permission, expireType, expireTime, "
                                       "modificationTime) VALUES (?1, ?2, ?3, ?4, ?5, ?6)",
                                       &insert);
    for (std::size_t i = 0; i < entries.size() && error == SqliteError::None; ++i) {
        const FirefoxPermissionRow& row = record->record.changes[entries[i]].firefoxRow;
        bool stepped = false;
        BindSqliteText(present, 1, row.origin);
        BindSqliteText(present, 2, row.type);
        error = StepSqliteStatement(present, &stepped);
        taken[i] = stepped && SqliteColumnInt(present, 0) > 0;
        if (error == SqliteError::None)
            error = ResetSqliteStatement(present);
        if (error != SqliteError::None || taken[i])
            continue;
        BindSqliteText(insert, 1, row.origin);
        BindSqliteText(insert, 2, row.type);
        BindSqliteInt(insert, 3, row.permission);
        BindSqliteInt(insert, 4, row.expireType);
        BindSqliteInt(insert, 5, row.expireTime);
        BindSqliteInt(insert, 6, row.modificationTime);
        error = StepSqliteStatement(insert, &stepped);
        if (error == SqliteError::None)
            error = ResetSqliteStatement(insert);
    }
    present.reset();
    insert.reset();
    if (error == SqliteError::None)
        error = transaction.Commit();
    if (error != SqliteError::None) {
        leaveAll(read.rows.empty() && error == SqliteError::Failed ? L"the table is no longer there"
                                                                   : SqliteProblem(error));
        return;
    }
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const FirefoxPermissionRow& row = record->record.changes[entries[i]].firefoxRow;
        std::wstring what = Utf8ToWide(row.type) + L" for " + RowSite(row);
        if (taken[i]) {
            MarkChange(record, entries[i], ChangeState::Left, L"the same site's permission was set again since");
            WriteLine(options, L"  left as it is (" + what + L" was set again since): " + MaskUnsafeCharacters(file));
        } else {
            MarkChange(record, entries[i], ChangeState::Undone);
            WriteLine(options, L"  allowed again: " + what + L" in " + MaskUnsafeCharacters(file));
        }
    }
}
