// Reading Firefox's permissions.sqlite: every shape a profile may hold, and the
// folder left exactly as it was, whatever the reader met.
#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "browsers/browsers.h"
#include "tests/permission_databases.h"
#include "tests/test_support.h"

namespace {

// Every file of the folder with its size and a digest of its bytes; a -shm file
// (the WAL index, which every reader of a live database takes part in) by its name alone.
std::map<std::wstring, std::string> FolderState(const std::wstring& folder) {
    std::map<std::wstring, std::string> state;
    ForEachFolderEntry(folder, [&](const std::wstring& name, uint32_t attributes) {
        if (EndsWithIgnoringAsciiCase(name, L"-shm") || (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
            state[name] = "";
            return;
        }
        std::string bytes = ReadWholeFile(folder + L"\\" + name);
        uint64_t digest = 14695981039346656037ull;  // FNV-1a
        for (unsigned char byte : bytes)
            digest = (digest ^ byte) * 1099511628211ull;
        state[name] = std::to_string(bytes.size()) + " bytes, " + std::to_string(digest);
    });
    return state;
}

std::string RowText(const FirefoxPermissionRow& row) {
    return std::to_string(row.id) + " " + row.origin + " " + row.type + " " + std::to_string(row.permission) + " " +
           std::to_string(row.expireType) + " " + std::to_string(row.expireTime) + " " +
           std::to_string(row.modificationTime);
}

struct ReadCase {
    const char* name;
    // Puts what the case needs into the profile folder; what it returns stays open while the reader reads.
    std::function<std::vector<SqliteConnection>(const std::wstring& folder)> setUp;
    JsonLoad result;
    std::size_t rows;
    int64_t userVersion;
    std::string firstRow;  // "" : not checked
};

const std::vector<PermissionRowSpec> ROWS = {
    {"https://win-prize.example", "desktop-notification", 1, 0, 0},
    {"https://mail.example^userContextId=2", "popup", 2, 2, 4102444800000},
    {"https://news.example", "geo", 3, 1, 0},
};
const char FIRST_ROW[] = "1 https://win-prize.example desktop-notification 1 0 0 1700000000000";

std::vector<SqliteConnection> Made(SqliteConnection database) {
    std::vector<SqliteConnection> open;
    open.push_back(std::move(database));
    return open;
}

}  // namespace

TEST(ReadFirefoxPermissions, ReadsWhatIsThereAndChangesNothing) {
    auto database = [](const std::wstring& folder) { return folder + L"\\permissions.sqlite"; };
    const ReadCase cases[] = {
        {"user_version 12",
         [&](const std::wstring& f) {
             MakePermissionDatabase(database(f), 12, ROWS);
             return Made({});
         },
         JsonLoad::Done, 3, 12, FIRST_ROW},
        {"user_version 13 with moz_origin_interactions",
         [&](const std::wstring& f) {
             MakePermissionDatabase(database(f), 13, ROWS);
             return Made({});
         },
         JsonLoad::Done, 3, 13, FIRST_ROW},
        {"a read-only file",
         [&](const std::wstring& f) {
             MakePermissionDatabase(database(f), 12, ROWS).reset();
             SetFileAttributesW(database(f).c_str(), FILE_ATTRIBUTE_READONLY);
             return Made({});
         },
         JsonLoad::Done, 3, 12, FIRST_ROW},
        {"WAL, closed by Firefox: no -wal beside it",
         [&](const std::wstring& f) {
             MakePermissionDatabase(database(f), 13, ROWS, TestJournal::Wal);
             return Made({});
         },
         JsonLoad::Done, 3, 13, FIRST_ROW},
        {"WAL, open in Firefox: the rows only in the -wal",
         [&](const std::wstring& f) { return Made(MakePermissionDatabase(database(f), 13, ROWS, TestJournal::Wal)); },
         JsonLoad::Done, 3, 13, FIRST_ROW},
        {"WAL, a -wal without its -shm (a copied profile)",
         [&](const std::wstring& f) {
             TempFolder live;
             SqliteConnection open = MakePermissionDatabase(live / L"permissions.sqlite", 13, ROWS, TestJournal::Wal);
             for (const wchar_t* name : {L"permissions.sqlite", L"permissions.sqlite-wal"})
                 EXPECT_TRUE(CopyFileW((live / name).c_str(), (f + L"\\" + name).c_str(), TRUE));
             return Made({});
         },
         JsonLoad::Done, 3, 13, FIRST_ROW},
        {"WAL, left by a Firefox that stopped: -wal and -shm, no one has it open",
         [&](const std::wstring& f) {
             TempFolder live;
             SqliteConnection open = MakePermissionDatabase(live / L"permissions.sqlite", 13, ROWS, TestJournal::Wal);
             for (const wchar_t* name : {L"permissions.sqlite", L"permissions.sqlite-wal", L"permissions.sqlite-shm"})
                 EXPECT_TRUE(CopyFileW((live / name).c_str(), (f + L"\\" + name).c_str(), TRUE));
             return Made({});
         },
         JsonLoad::Done, 3, 13, FIRST_ROW},
        {"an empty file, in which Firefox makes its tables",
         [&](const std::wstring& f) {
             MakeFile(database(f), "");
             return Made({});
         },
         JsonLoad::Done, 0, 0, ""},
        {"no moz_perms",
         [&](const std::wstring& f) {
             RunSql(CreateTestDatabase(database(f)), "CREATE TABLE moz_hosts (id INTEGER PRIMARY KEY, host TEXT)");
             return Made({});
         },
         JsonLoad::Done, 0, 0, ""},
        {"no file", [](const std::wstring&) { return Made({}); }, JsonLoad::Missing, 0, 0, ""},
        {"a folder of that name",
         [&](const std::wstring& f) {
             MakeFolder(database(f));
             return Made({});
         },
         JsonLoad::Unreadable, 0, 0, ""},
        {"locked by a writer",
         [&](const std::wstring& f) {
             SqliteConnection writer = MakePermissionDatabase(database(f), 12, ROWS);
             RunSql(writer, "BEGIN EXCLUSIVE; DELETE FROM moz_perms");
             return Made(std::move(writer));
         },
         JsonLoad::Locked, 0, 0, ""},
        {"not SQLite",
         [&](const std::wstring& f) {
             MakeFile(database(f), std::string(4096, 'x'));
             return Made({});
         },
         JsonLoad::NotADatabase, 0, 0, ""},
        {"shorter than a header",
         [&](const std::wstring& f) {
             MakeFile(database(f), "SQLite");
             return Made({});
         },
         JsonLoad::NotADatabase, 0, 0, ""},
        {"a damaged page",
         [&](const std::wstring& f) {
             MakePermissionDatabase(database(f), 12, ManyPermissionRows(3000)).reset();
             std::string bytes = ReadWholeFile(database(f));
             bytes.replace(bytes.size() - 32768, 32768, 32768, '\xa5');
             MakeFile(database(f), bytes);
             return Made({});
         },
         JsonLoad::Damaged, 0, 0, ""},
        {"cut short",
         [&](const std::wstring& f) {
             MakePermissionDatabase(database(f), 12, ManyPermissionRows(3000)).reset();
             MakeFile(database(f), ReadWholeFile(database(f)).substr(0, 3 * 32768 + 100));
             return Made({});
         },
         JsonLoad::Damaged, 0, 0, ""},
        {"a column missing",
         [&](const std::wstring& f) {
             RunSql(CreateTestDatabase(database(f)),
                    "CREATE TABLE moz_perms (id INTEGER PRIMARY KEY, origin TEXT, type TEXT, permission INTEGER);"
                    "INSERT INTO moz_perms VALUES (1, 'https://a.example', 'popup', 1)");
             return Made({});
         },
         JsonLoad::OtherShape, 0, 0, ""},
        {"a view of that name",
         [&](const std::wstring& f) {
             RunSql(CreateTestDatabase(database(f)),
                    "CREATE TABLE t (id, origin, type, permission, expireType, expireTime, modificationTime);"
                    "CREATE VIEW moz_perms AS SELECT * FROM t");
             return Made({});
         },
         JsonLoad::OtherShape, 0, 0, ""},
        {"100,000 rows",
         [&](const std::wstring& f) {
             MakePermissionDatabase(database(f), 13, ManyPermissionRows(100000));
             return Made({});
         },
         JsonLoad::TooLarge, 0, 0, ""},
        {"larger than its limit",
         [&](const std::wstring& f) {
             EXPECT_TRUE(MakeSparseFile(database(f), MaxBytes(BrowserFile::FirefoxPermissions) + 1));
             return Made({});
         },
         JsonLoad::TooLarge, 0, 0, ""},
    };
    for (const ReadCase& test : cases) {
        SCOPED_TRACE(test.name);
        TempFolder profile;
        std::vector<SqliteConnection> open = test.setUp(profile.path());
        std::map<std::wstring, std::string> before = FolderState(profile.path());
        FirefoxPermissions read = ReadFirefoxPermissions(profile.path());
        EXPECT_EQ(read.result, test.result);
        EXPECT_EQ(read.rows.size(), test.rows);
        if (read.result == JsonLoad::Done) {
            EXPECT_EQ(read.userVersion, test.userVersion);
        }
        if (!test.firstRow.empty() && !read.rows.empty()) {
            EXPECT_EQ(RowText(read.rows[0]), test.firstRow);
        }
        EXPECT_EQ(FolderState(profile.path()), before);
        open.clear();
        SetFileAttributesW((profile / L"permissions.sqlite").c_str(), FILE_ATTRIBUTE_NORMAL);
    }
}

TEST(IsFirefoxSiteGrant, FollowsFirefoxsRulesForAllowPolicyAndExpiry) {
    const int64_t now = FirefoxTimeNow();
    struct Row {
        const char* name;
        PermissionRowSpec row;
        int expected;  // -1: no grant; otherwise the SitePermission
    };
    const int NOTIFY = static_cast<int>(SitePermission::Notifications),
              POPUP = static_cast<int>(SitePermission::Popups);
    const Row rows[] = {
        {"notifications allowed", {"https://a.example", "desktop-notification", 1, 0, 0}, NOTIFY},
        {"pop-ups allowed", {"https://a.example", "popup", 1, 0, 0}, POPUP},
        {"blocked", {"https://a.example", "popup", 2, 0, 0}, -1},
        {"ask", {"https://a.example", "desktop-notification", 3, 0, 0}, -1},
        {"set by a policy", {"https://a.example", "popup", 1, 3, 0}, -1},
        {"expires later", {"https://a.example", "popup", 1, 2, now + 60000}, POPUP},
        {"expired", {"https://a.example", "popup", 1, 2, now - 60000}, -1},
        {"for the session, no time", {"https://a.example", "popup", 1, 1, 0}, POPUP},
        {"for the session, expired", {"https://a.example", "popup", 1, 1, now - 60000}, -1},
        {"another type", {"https://a.example", "geo", 1, 0, 0}, -1},
        {"a type in other letters", {"https://a.example", "Popup", 1, 0, 0}, -1},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        FirefoxPermissionRow stored;
        stored.type = row.row.type;
        stored.permission = row.row.permission;
        stored.expireType = row.row.expireType;
        stored.expireTime = row.row.expireTime;
        SitePermission permission = SitePermission::AutomaticDownloads;
        bool grant = IsFirefoxSiteGrant(stored, now, &permission);
        EXPECT_EQ(grant ? static_cast<int>(permission) : -1, row.expected);
    }
}
