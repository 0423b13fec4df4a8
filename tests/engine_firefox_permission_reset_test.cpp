// Taking back Firefox's site permissions: the grant rows of permissions.sqlite
// deleted with a copy and a record first, and every database that must not be
// written left byte for byte as it was.
#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "engine/engine_testing.h"
#include "tests/permission_databases.h"
#include "tests/test_support.h"

namespace {

using Lines = std::vector<std::wstring>;

// A digest of the bytes (FNV-1a) and their count.
std::string Digest(const std::string& bytes) {
    uint64_t digest = 14695981039346656037ull;
    for (unsigned char byte : bytes)
        digest = (digest ^ byte) * 1099511628211ull;
    return std::to_string(bytes.size()) + " bytes, " + std::to_string(digest);
}

// Every file of the folder and a digest of its bytes; a -shm file (the WAL index) by its name alone.
std::map<std::wstring, std::string> FolderBytes(const std::wstring& folder) {
    std::map<std::wstring, std::string> state;
    ForEachFolderEntry(folder, [&](const std::wstring& name, uint32_t attributes) {
        bool index = EndsWithIgnoringAsciiCase(name, L"-shm") || (attributes & FILE_ATTRIBUTE_DIRECTORY);
        state[name] = index ? std::string() : Digest(ReadWholeFile(folder + L"\\" + name));
    });
    return state;
}

std::vector<std::string> RowTexts(const std::wstring& profile) {
    std::vector<std::string> texts;
    for (const FirefoxPermissionRow& row : ReadFirefoxPermissions(profile).rows)
        texts.push_back(row.origin + " " + row.type + " " + std::to_string(row.permission) + " " +
                        std::to_string(row.expireType) + " " + std::to_string(row.expireTime));
    return texts;
}

// Two grants among rows that are none: a block, a prompt, another type, a policy's and an expired one.
const std::vector<PermissionRowSpec> ROWS = {
    {"https://win-prize.example", "desktop-notification"},
    {"https://mail.example^userContextId=2", "popup", 2},
    {"https://news.example", "geo", 1},
    {"https://ads.example", "popup"},
    {"https://intranet.example", "desktop-notification", 1, 3},
    {"https://old.example", "popup", 1, 2, 1000},
    {"https://ask.example", "desktop-notification", 3},
};
const std::vector<std::string> KEPT = {
    "https://mail.example^userContextId=2 popup 2 0 0", "https://news.example geo 1 0 0",
    "https://intranet.example desktop-notification 1 3 0", "https://old.example popup 1 2 1000",
    "https://ask.example desktop-notification 3 0 0"};

// What a case holds open while the reset runs.
struct Held {
    std::vector<SqliteConnection> databases;
    std::vector<UniqueHandle> files;
};

struct ResetCase {
    const char* name;
    std::function<Held(const std::wstring& profile)> setUp;
    std::size_t taken;    // rows deleted; 0: the folder must stay byte for byte as it was
    const wchar_t* line;  // the one "(<why>, left alone)" reason, or nullptr
    bool preview = false;
};

Held Plain(const std::wstring& profile, int version = 12, TestJournal journal = TestJournal::Rollback) {
    MakePermissionDatabase(profile + L"\\permissions.sqlite", version, ROWS, journal);
    return {};
}

void CheckReset(const ResetCase& test) {
    SCOPED_TRACE(test.name);
    Sandbox sandbox;
    std::wstring profile = sandbox / L"Profiles\\abc.default";
    std::wstring file = profile + L"\\permissions.sqlite";
    MakeFolder(profile);
    Held held = test.setUp(profile);
    auto before = FolderBytes(profile);
    Lines lines;
    CleanupOutcome outcome;
    ChangeLog log;
    std::size_t taken = ResetFirefoxSitePermissions(CapturingOptions(&lines, test.preview),
                                                    {profile, L"Firefox", L"abc.default"}, &log, &outcome);
    FinishChangeLog(&log);
    auto after = FolderBytes(profile);  // while the case still holds what it holds
    held = Held();
    EXPECT_EQ(taken, test.taken);
    EXPECT_EQ(outcome.permissionsTakenBack, test.taken);
    if (test.line) {
        EXPECT_EQ(lines, Lines{std::wstring(L"  (") + test.line + L", left alone) " + file});
        EXPECT_EQ(outcome.settingsLeftAlone, Lines{file});
    } else {
        EXPECT_TRUE(outcome.settingsLeftAlone.empty()) << Utf8(outcome.settingsLeftAlone.front());
    }
    if (test.taken == 0) {
        EXPECT_EQ(after, before);
        EXPECT_TRUE(log.record.changes.empty());
        // No copy is kept that no entry names.
        EXPECT_TRUE(log.folder.empty() || FolderBytes(log.folder).empty()) << Utf8(log.folder);
        return;
    }
    EXPECT_EQ(RowTexts(profile), KEPT);
    ASSERT_EQ(log.record.changes.size(), test.taken);
    const ChangeEntry& first = log.record.changes[0];
    EXPECT_EQ(first.state, ChangeState::Done);
    EXPECT_EQ(first.location, file);
    EXPECT_EQ(first.firefoxRow.origin, "https://win-prize.example");
    EXPECT_EQ(first.firefoxRow.modificationTime, 1700000000000);
    EXPECT_EQ(lines.front(), L"  notifications no longer allowed: https://win-prize.example");
    // The copy is the database as it was, with every row, and the -wal where there was one.
    std::wstring copy = log.folder + L"\\" + first.copy;
    for (const auto& was : before) {
        if (!EndsWithIgnoringAsciiCase(was.first, L"-shm")) {
            EXPECT_EQ(Digest(ReadWholeFile(copy + L"\\" + was.first)), was.second) << Utf8(was.first);
        }
    }
    EXPECT_EQ(RowTexts(copy).size(), ROWS.size());
    EXPECT_EQ(ReadFirefoxPermissions(profile).userVersion, ReadFirefoxPermissions(copy).userVersion);
}

}  // namespace

TEST(ResetFirefoxSitePermissions, DeletesGrantsOrLeavesTheDatabaseExactlyAsItWas) {
    const ResetCase cases[] = {
        {"user_version 12", [](const std::wstring& p) { return Plain(p); }, 2, nullptr},
        {"user_version 13", [](const std::wstring& p) { return Plain(p, 13); }, 2, nullptr},
        {"WAL with its -wal left beside it",
         [](const std::wstring& p) {
             TempFolder live;
             SqliteConnection open = MakePermissionDatabase(live / L"permissions.sqlite", 13, ROWS, TestJournal::Wal);
             for (const wchar_t* name : {L"permissions.sqlite", L"permissions.sqlite-wal"})
                 EXPECT_TRUE(CopyFileW((live / name).c_str(), (p + L"\\" + name).c_str(), TRUE));
             return Held();
         },
         2, nullptr},
        {"preview", [](const std::wstring& p) { return Plain(p); }, 0, nullptr, true},
        {"nothing allowed",
         [](const std::wstring& p) {
             MakePermissionDatabase(p + L"\\permissions.sqlite", 12, {{"https://a.example", "popup", 2}});
             return Held();
         },
         0, nullptr},
        {"no database", [](const std::wstring&) { return Held(); }, 0, nullptr},
        {"Firefox running: parent.lock held",
         [](const std::wstring& p) {
             Plain(p);
             MakeFile(p + L"\\parent.lock", "");
             Held held;
             held.files.push_back(HoldFile(p + L"\\parent.lock"));
             return held;
         },
         0, L"Firefox is running with this profile"},
        {"locked by another connection",
         [](const std::wstring& p) {
             Plain(p);
             Held held;
             held.databases.push_back(CreateTestDatabase(p + L"\\permissions.sqlite"));
             RunSql(held.databases.back(), "BEGIN EXCLUSIVE; DELETE FROM moz_hosts");
             return held;
         },
         0, L"locked by another program"},
        {"readable, but another connection about to write",
         [](const std::wstring& p) {
             Plain(p);
             Held held;
             held.databases.push_back(CreateTestDatabase(p + L"\\permissions.sqlite"));
             RunSql(held.databases.back(), "BEGIN IMMEDIATE");
             return held;
         },
         0, L"locked by another program"},
        {"damaged where the rows are",
         [](const std::wstring& p) {
             std::wstring file = p + L"\\permissions.sqlite";
             MakePermissionDatabase(file, 12, ManyPermissionRows(3000)).reset();
             std::string bytes = ReadWholeFile(file);
             bytes.replace(bytes.size() - 32768, 32768, 32768, '\xa5');
             MakeFile(file, bytes);
             return Held();
         },
         0, L"damaged: Firefox would delete it"},
        {"damaged elsewhere: only the integrity check sees it",
         [](const std::wstring& p) {
             std::wstring file = p + L"\\permissions.sqlite";
             SqliteConnection database = MakePermissionDatabase(file, 12, ROWS);
             RunSql(database,
                    "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 3000) "
                    "INSERT INTO moz_hosts (host, type) SELECT 'host' || i || '.example', 'cookie' FROM n");
             database.reset();
             std::string bytes = ReadWholeFile(file);
             bytes.replace(bytes.size() - 32768 + 200, 500, 500, '\x7f');
             MakeFile(file, bytes);
             return Held();
         },
         0, L"damaged: Firefox would delete it"},
        {"not SQLite",
         [](const std::wstring& p) {
             MakeFile(p + L"\\permissions.sqlite", std::string(70000, 'x'));
             return Held();
         },
         0, L"not an SQLite database"},
        {"a table of another shape",
         [](const std::wstring& p) {
             RunSql(CreateTestDatabase(p + L"\\permissions.sqlite"),
                    "CREATE TABLE moz_perms (id INTEGER PRIMARY KEY, origin TEXT, type TEXT, permission INTEGER);"
                    "INSERT INTO moz_perms (origin, type, permission) VALUES ('https://a.example', 'popup', 1)");
             return Held();
         },
         0, L"a table of another shape"},
        {"100,000 rows",
         [](const std::wstring& p) {
             MakePermissionDatabase(p + L"\\permissions.sqlite", 13, ManyPermissionRows(100000));
             return Held();
         },
         0, L"too large or too many rows"},
        {"read-only",
         [](const std::wstring& p) {
             Plain(p);
             SetFileAttributesW((p + L"\\permissions.sqlite").c_str(), FILE_ATTRIBUTE_READONLY);
             return Held();
         },
         0, L"read-only"},
    };
    for (const ResetCase& test : cases)
        CheckReset(test);
}

// With the grants the review named, only those rows go, and only as they were reviewed.
TEST(ResetFirefoxSitePermissions, TakesBackOnlyTheReviewedRows) {
    Sandbox sandbox;
    std::wstring profile = sandbox / L"abc.default";
    MakeFolder(profile);
    SqliteConnection database = MakePermissionDatabase(profile + L"\\permissions.sqlite", 12,
                                                       {{"https://a.example", "popup"},
                                                        {"https://b.example", "desktop-notification"},
                                                        {"https://c.example", "popup"},
                                                        {"https://d.example", "popup"}});
    std::vector<SitePermissionGrant> chosen;
    for (const FirefoxPermissionRow& row : ReadFirefoxPermissions(profile).rows)
        chosen.push_back({row.type == "popup" ? SitePermission::Popups : SitePermission::Notifications,
                          Utf8ToWide(row.origin), false, row.id, row.modificationTime});
    chosen.pop_back();  // d: not chosen
    // Since the review, b was allowed anew and c went.
    RunSql(database,
           "UPDATE moz_perms SET modificationTime = 1800000000000 WHERE origin = 'https://b.example';"
           "DELETE FROM moz_perms WHERE origin = 'https://c.example'");
    database.reset();
    Lines lines;
    CleanupOutcome outcome;
    ChangeLog log;
    std::vector<std::wstring> changed;
    EXPECT_EQ(ResetFirefoxSitePermissions(CapturingOptions(&lines), {profile, L"Firefox", L"abc.default"}, &log,
                                          &outcome, &chosen, &changed),
              1u);
    FinishChangeLog(&log);
    EXPECT_EQ(changed, (Lines{L"notifications for https://b.example", L"pop-ups for https://c.example"}));
    EXPECT_EQ(RowTexts(profile), (std::vector<std::string>{"https://b.example desktop-notification 1 0 0",
                                                           "https://d.example popup 1 0 0"}));
    ASSERT_EQ(log.record.changes.size(), 1u);
    EXPECT_EQ(log.record.changes[0].firefoxRow.origin, "https://a.example");

    // The record reads back with the row as it was deleted.
    ChangeRecord read;
    std::wstring why;
    ASSERT_TRUE(ParseChangeRecord(ChangeRecordJson(log.record), &read, &why)) << Utf8(why);
    EXPECT_EQ(read.changes[0].firefoxRow.type, "popup");
    EXPECT_EQ(read.changes[0].firefoxRow.id, 1);
    EXPECT_EQ(read.changes[0].firefoxRow.modificationTime, 1700000000000);
    EXPECT_EQ(read.changes[0].copy, log.record.changes[0].copy);
}
