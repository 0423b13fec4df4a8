// Firefox's site permissions through the whole cycle: reviewed, fixed by
// ApplyFixes or taken back by TakeBackAllSitePermissions, and put back by
// UndoChangeRun from the record on the disk.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include <windows.h>

#include "engine/engine_testing.h"
#include "review/review.h"
#include "tests/fix_outcomes.h"
#include "tests/permission_databases.h"
#include "tests/test_support.h"

namespace {

using Lines = std::vector<std::wstring>;

const std::vector<PermissionRowSpec> ROWS = {
    {"https://win-prize.example", "desktop-notification"},
    {"https://mail.example", "popup", 2},
    {"https://deals.example^userContextId=1", "popup"},
    {"https://maps.example", "geo"},
};

// A Firefox profile below APPDATA in a sandbox, reviewed with no policies.
struct FirefoxWorld {
    Sandbox sandbox;
    TemporaryRegistryKey noPolicies{HKEY_CURRENT_USER,
                                    L"Software\\PopSwat-test-ffperm-" + std::to_wstring(GetCurrentProcessId())};
    std::wstring profile = sandbox.appData() + L"\\Mozilla\\Firefox\\Profiles\\abc.default-release";
    std::wstring database = profile + L"\\permissions.sqlite";

    FirefoxWorld() {
        MakeFolder(profile);
        MakePermissionDatabase(database, 12, ROWS);
    }
    LauncherSources Sources() const {
        LauncherSources sources;
        sources.registry = {noPolicies.get(), noPolicies.get()};
        return sources;
    }
    std::vector<FixTarget> Targets() const {
        return FixTargets(CollectReview({noPolicies.get(), noPolicies.get()}, Sources()));
    }
    // Every row without its id: "origin type permission expireType expireTime modificationTime".
    std::vector<std::string> Rows() const {
        std::vector<std::string> rows;
        for (const FirefoxPermissionRow& row : ReadFirefoxPermissions(profile).rows)
            rows.push_back(row.origin + " " + row.type + " " + std::to_string(row.permission) + " " +
                           std::to_string(row.expireType) + " " + std::to_string(row.expireTime) + " " +
                           std::to_string(row.modificationTime));
        return rows;
    }
    ChangeRunOutcome UndoNewest(Lines* lines) const { return UndoNewestRun(FixPlaces{Sources()}, lines); }
};

std::vector<ChangeState> States(const ChangeRecord& record) {
    std::vector<ChangeState> states;
    for (const ChangeEntry& entry : record.changes)
        states.push_back(entry.state);
    return states;
}

const std::vector<std::string> KEPT = {"https://mail.example popup 2 0 0 1700000000000",
                                       "https://maps.example geo 1 0 0 1700000000000"};

}  // namespace

TEST(FixRun, FirefoxGrantsAreFixedAndPutBackWithNewIds) {
    SKIP_UNLESS_UNDER_WINE();  // the fix closes the browsers, by their real names
    FirefoxWorld world;
    std::vector<std::string> before = world.Rows();
    std::vector<FixTarget> targets = world.Targets();
    ASSERT_EQ(targets.size(), 2u);
    EXPECT_EQ(std::string(targets[0].kind->name), "site-permission");
    EXPECT_TRUE(targets[0].recommended);
    EXPECT_EQ(targets[1].description,
              L"Firefox/abc.default-release: popups allowed: https://deals.example^userContextId=1");

    Lines lines;
    ChangeRunOutcome fixed = ApplyFixes(CapturingOptions(&lines), targets, FixPlaces{world.Sources()});
    EXPECT_EQ(fixed.done, 2u);
    EXPECT_TRUE(fixed.left.empty());
    EXPECT_EQ(States(fixed.record), (std::vector<ChangeState>{ChangeState::Done, ChangeState::Done}));
    EXPECT_EQ(fixed.record.changes[0].findingId, targets[0].findingId);
    EXPECT_EQ(world.Rows(), KEPT);
    EXPECT_TRUE(world.Targets().empty());

    lines.clear();
    ChangeRunOutcome undone = world.UndoNewest(&lines);
    EXPECT_EQ(undone.done, 2u);
    EXPECT_EQ(States(undone.record), (std::vector<ChangeState>{ChangeState::Undone, ChangeState::Undone}));
    std::vector<std::string> after = world.Rows();
    std::sort(after.begin(), after.end());
    std::sort(before.begin(), before.end());
    EXPECT_EQ(after, before);
    std::vector<FirefoxPermissionRow> rows = ReadFirefoxPermissions(world.profile).rows;
    EXPECT_GT(rows.back().id, 4);  // inserted anew
    EXPECT_EQ(ReadFirefoxPermissions(world.profile).userVersion, 12);
    EXPECT_TRUE(world.UndoNewest(&lines).nothingToDo);
}

// The reset takes back every grant; a site allowed again since stays as the person set it.
TEST(FixRun, FirefoxResetIsPutBackExceptWhatWasSetAgain) {
    SKIP_UNLESS_UNDER_WINE();
    FirefoxWorld world;
    Lines lines;
    CleanupOutcome outcome = TakeBackAllSitePermissions(CapturingOptions(&lines));
    EXPECT_EQ(outcome.permissionsTakenBack, 2u);
    EXPECT_EQ(world.Rows(), KEPT);
    EXPECT_NE(std::find(lines.begin(), lines.end(), L"Checking Mozilla Firefox ..."), lines.end());

    RunSql(CreateTestDatabase(world.database),
           "INSERT INTO moz_perms (origin, type, permission, expireType, expireTime, modificationTime) "
           "VALUES ('https://win-prize.example', 'desktop-notification', 2, 0, 0, 1800000000000)");
    lines.clear();
    ChangeRunOutcome undone = world.UndoNewest(&lines);
    EXPECT_EQ(undone.done, 1u);
    EXPECT_EQ(States(undone.record), (std::vector<ChangeState>{ChangeState::Left, ChangeState::Undone}));
    ASSERT_EQ(undone.left.size(), 1u);
    EXPECT_EQ(undone.left[0].second, L"the same site's permission was set again since");
    EXPECT_EQ(world.Rows(), (std::vector<std::string>{KEPT[0], KEPT[1],
                                                      "https://win-prize.example desktop-notification 2 0 0 "
                                                      "1800000000000",
                                                      "https://deals.example^userContextId=1 popup 1 0 0 "
                                                      "1700000000000"}));
}

// A record whose Firefox entry names a file that is no profile's database is refused, and
// one whose database Firefox has open (parent.lock held) or made unreadable is left as it is.
TEST(FixRun, FirefoxUndoRefusesOrLeavesWhatItMayNotWrite) {
    SKIP_UNLESS_UNDER_WINE();
    struct UndoCase {
        const char* name;
        std::function<void(FirefoxWorld&, ChangeRecord*)> change;
        const wchar_t* why;
    };
    const UndoCase cases[] = {
        {"elsewhere",
         [](FirefoxWorld& world, ChangeRecord* record) {
             for (ChangeEntry& entry : record->changes)
                 entry.location = world.sandbox / L"permissions.sqlite";
         },
         L"refused: not a Firefox profile's permissions.sqlite"},
        {"Firefox running", [](FirefoxWorld& world, ChangeRecord*) { MakeFile(world.profile + L"\\parent.lock", ""); },
         L"Firefox is running with this profile"},
        {"damaged since", [](FirefoxWorld& world, ChangeRecord*) { MakeFile(world.database, std::string(40000, 'x')); },
         L"not an SQLite database"},
        {"gone", [](FirefoxWorld& world, ChangeRecord*) { DeleteFileW(world.database.c_str()); },
         L"the file is no longer there"},
    };
    for (const UndoCase& test : cases) {
        SCOPED_TRACE(test.name);
        FirefoxWorld world;
        Lines lines;
        ChangeRunOutcome fixed = ApplyFixes(CapturingOptions(&lines), world.Targets(), FixPlaces{world.Sources()});
        ASSERT_EQ(fixed.done, 2u);
        ChangeRecord record = fixed.record;
        test.change(world, &record);
        MakeFile(fixed.folder + L"\\changes.json", ChangeRecordJson(record));
        std::string bytes = ReadWholeFile(world.database);
        UniqueHandle lock;
        if (PathExists(world.profile + L"\\parent.lock"))
            lock = HoldFile(world.profile + L"\\parent.lock");
        ChangeRunOutcome undone = world.UndoNewest(&lines);
        lock = UniqueHandle();
        EXPECT_EQ(undone.done, 0u);
        EXPECT_EQ(States(undone.record), (std::vector<ChangeState>{ChangeState::Left, ChangeState::Left}));
        EXPECT_EQ(undone.record.changes[0].why, test.why);
        EXPECT_EQ(ReadWholeFile(world.database), bytes);
    }
}
