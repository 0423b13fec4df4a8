// Fixing what the review names and taking it back: each fix kind through
// ApplyFixes and UndoChangeRun, with the record on the disk in between.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include <windows.h>

#include "engine/engine_testing.h"
#include "review/review.h"
#include "tests/fix_outcomes.h"
#include "tests/shortcut_bytes.h"
#include "tests/test_support.h"

namespace {

const char CHROME[] = "C:\\Program Files\\Google\\Chrome\\Application\\chrome.exe";

std::string PinnedShortcut(const std::wstring& arguments) {
    shortcut_bytes::Shortcut shortcut = shortcut_bytes::BrowserShortcutBytes(CHROME, arguments);
    shortcut.strings[0] = L"Google Chrome";
    shortcut.blocks = shortcut_bytes::EveryBlock();
    return shortcut.Build();
}

std::string Preferences(const std::string& exceptions) {
    return R"({"browser":{"window_placement":{"left":10}},"profile":{"content_settings":{"exceptions":)" + exceptions +
           R"(},"name":"Person 1"}})";
}

std::string Grant(const std::string& site, const char* modified = "13345678901234567") {
    return "\"https://" + site + ":443,*\":{\"last_modified\":\"" + modified + "\",\"setting\":1}";
}

// A user's folders in a sandbox: Chrome profiles below LOCALAPPDATA and a
// Desktop of shortcuts, reviewed with no policies and no tasks.
struct FixWorld {
    Sandbox sandbox;
    TemporaryRegistryKey noPolicies{HKEY_CURRENT_USER,
                                    L"Software\\PopSwat-test-fix-" + std::to_wstring(GetCurrentProcessId())};
    TemporaryRegistryKey machine{HKEY_CURRENT_USER,
                                 L"Software\\PopSwat-test-fix-machine-" + std::to_wstring(GetCurrentProcessId())};
    TemporaryRegistryKey user{HKEY_CURRENT_USER,
                              L"Software\\PopSwat-test-fix-user-" + std::to_wstring(GetCurrentProcessId())};
    std::wstring desktop = sandbox / L"Desktop";
    std::wstring startup = sandbox / L"Startup";

    std::wstring Profile(const wchar_t* name) const {
        return sandbox.localAppData() + L"\\Google\\Chrome\\User Data\\" + name;
    }
    LauncherSources Sources() const {
        LauncherSources sources;
        sources.shortcutFolders = {desktop};
        sources.startupFolders = {startup};
        sources.registry = {machine.get(), user.get()};
        return sources;
    }
    std::vector<FixTarget> Targets(const char* kind = nullptr) const {
        std::vector<FixTarget> all = FixTargets(CollectReview({noPolicies.get(), noPolicies.get()}, Sources())), some;
        for (const FixTarget& target : all) {
            if (!kind || std::string(target.kind->name) == kind)
                some.push_back(target);
        }
        return some;
    }
    std::vector<std::wstring> Ids(const char* kind = nullptr) const {
        std::vector<std::wstring> ids;
        for (const FixTarget& target : Targets(kind))
            ids.push_back(target.findingId);
        return ids;
    }
    ChangeRunOutcome UndoNewest(std::vector<std::wstring>* lines) const {
        return UndoNewestRun(FixPlaces{Sources()}, lines);
    }
};

const wchar_t RUN_KEY[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";

void SetRunValue(HKEY root, DWORD type, const std::wstring& text) {
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExW(root, RUN_KEY, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr), ERROR_SUCCESS);
    RegSetValueExW(key, L"Updater", 0, type, reinterpret_cast<const BYTE*>(text.c_str()),
                   static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(key);
}

// The value's type and bytes, "" when it is not there.
std::string RunValue(HKEY root) {
    DWORD type = 0, size = 0;
    if (RegGetValueW(root, RUN_KEY, L"Updater", RRF_RT_ANY | RRF_NOEXPAND, &type, nullptr, &size) != ERROR_SUCCESS)
        return std::string();
    std::string data(size, '\0');
    RegGetValueW(root, RUN_KEY, L"Updater", RRF_RT_ANY | RRF_NOEXPAND, &type, data.data(), &size);
    return std::to_string(type) + ":" + data;
}

// One fix kind: its place made with one finding, changed by someone else, and
// how to tell that it is as it was made.
struct KindRow {
    const char* kind;
    std::function<void(FixWorld&)> make;
    std::function<void(FixWorld&)> changeByAnother;
    std::function<std::string(FixWorld&)> place;  // the bytes that must come back
};

std::vector<KindRow> KindRows() {
    return {
        {"site-permission",
         [](FixWorld& world) {
             MakeFile(world.Profile(L"Default") + L"\\Preferences",
                      Preferences(R"({"notifications":{)" + Grant("win-prize.example") + "}}"));
         },
         // The browser rewrote the file and the person allowed the same site again.
         [](FixWorld& world) {
             MakeFile(world.Profile(L"Default") + L"\\Preferences",
                      Preferences(R"({"notifications":{)" + Grant("win-prize.example", "13399999999999999") + "}}"));
         },
         [](FixWorld& world) { return ReadWholeFile(world.Profile(L"Default") + L"\\Preferences"); }},
        {"browser-shortcut",
         [](FixWorld& world) {
             MakeFile(world.desktop + L"\\Google Chrome.lnk", PinnedShortcut(L"--profile-directory=Default "
                                                                             L"https://ad.example/"));
         },
         [](FixWorld& world) { MakeFile(world.desktop + L"\\Google Chrome.lnk", PinnedShortcut(L"--incognito")); },
         [](FixWorld& world) { return ReadWholeFile(world.desktop + L"\\Google Chrome.lnk"); }},
        // An expandable value stays expandable when it is put back.
        {"run-value",
         [](FixWorld& world) {
             SetRunValue(world.user.get(), REG_EXPAND_SZ,
                         L"\"%ProgramFiles%\\Google\\Chrome\\Application\\chrome.exe\" https://ad.example/");
         },
         [](FixWorld& world) { SetRunValue(world.user.get(), REG_SZ, L"C:\\Tools\\updater.exe"); },
         [](FixWorld& world) { return RunValue(world.user.get()); }},
        {"startup-item",
         [](FixWorld& world) {
             MakeFile(world.startup + L"\\deal.url", "[InternetShortcut]\r\nURL=https://deal.example/\r\n");
         },
         [](FixWorld& world) {
             MakeFile(world.startup + L"\\deal.url", "[InternetShortcut]\r\nURL=https://mine/\r\n");
         },
         [](FixWorld& world) { return ReadWholeFile(world.startup + L"\\deal.url"); }},
    };
}

std::vector<ChangeState> States(const ChangeRecord& record) {
    std::vector<ChangeState> states;
    for (const ChangeEntry& entry : record.changes)
        states.push_back(entry.state);
    return states;
}

}  // namespace

// Each kind: fixed, put back byte for byte, a second undo finds nothing to do,
// and a place changed since the fix is left as the other program made it.
TEST(FixRun, EachKindIsFixedAndPutBackOnce) {
    SKIP_UNLESS_UNDER_WINE();  // a site permission's fix closes the browsers, by their real names
    for (const KindRow& row : KindRows()) {
        SCOPED_TRACE(row.kind);
        FixWorld world;
        row.make(world);
        std::string before = row.place(world);
        std::vector<FixTarget> targets = world.Targets(row.kind);
        ASSERT_EQ(targets.size(), 1u);
        EXPECT_TRUE(targets[0].recommended);

        std::vector<std::wstring> lines;
        ChangeRunOutcome fixed = ApplyFixes(CapturingOptions(&lines), targets, FixPlaces{world.Sources()});
        EXPECT_EQ(fixed.done, 1u);
        EXPECT_TRUE(fixed.left.empty());
        EXPECT_EQ(States(fixed.record), std::vector<ChangeState>{ChangeState::Done});
        EXPECT_EQ(fixed.record.changes[0].findingId, targets[0].findingId);
        EXPECT_EQ(fixed.folder.rfind(world.sandbox.localAppData() + L"\\PopSwat\\Backups\\", 0), 0u);
        EXPECT_TRUE(world.Targets(row.kind).empty());
        std::string after = row.place(world);
        EXPECT_NE(after, before);

        ChangeRunOutcome undone = world.UndoNewest(&lines);
        EXPECT_EQ(undone.done, 1u);
        EXPECT_TRUE(undone.left.empty());
        EXPECT_EQ(States(undone.record), std::vector<ChangeState>{ChangeState::Undone});
        EXPECT_EQ(row.place(world), before);
        EXPECT_EQ(world.Ids(row.kind), std::vector<std::wstring>{targets[0].findingId});

        ChangeRunOutcome again = world.UndoNewest(&lines);
        EXPECT_TRUE(again.nothingToDo);
        EXPECT_EQ(row.place(world), before);

        // Fixed again, then changed by another program: the undo keeps that change.
        ASSERT_EQ(ApplyFixes(CapturingOptions(&lines), targets, FixPlaces{world.Sources()}).done, 1u);
        row.changeByAnother(world);
        std::string changed = row.place(world);
        lines.clear();
        ChangeRunOutcome refused = world.UndoNewest(&lines);
        EXPECT_EQ(refused.done, 0u);
        ASSERT_EQ(refused.left.size(), 1u);
        EXPECT_EQ(refused.left[0].first, row.kind);
        EXPECT_EQ(States(refused.record), std::vector<ChangeState>{ChangeState::Left});
        EXPECT_EQ(row.place(world), changed);
    }
}

// A run stopped just after any one of its changes (a killed process, a power
// cut) leaves a record from which the undo puts every file back.
TEST(FixRun, ARunStoppedAfterAnyChangeIsPutBackWhole) {
    SKIP_UNLESS_UNDER_WINE();
    struct Stopped {};
    static std::size_t stopAt;
    changeMade = [](std::size_t entry) {
        if (entry == stopAt)
            throw Stopped();
    };
    for (stopAt = 0; stopAt < 5; ++stopAt) {
        SCOPED_TRACE(stopAt);
        FixWorld world;
        MakeFile(world.Profile(L"Default") + L"\\Preferences",
                 Preferences(R"({"notifications":{)" + Grant("a.example") + "," + Grant("b.example") + "}}"));
        MakeFile(world.Profile(L"Profile 1") + L"\\Preferences",
                 Preferences(R"({"popups":{)" + Grant("c.example") + "}}"));
        MakeFile(world.desktop + L"\\Chrome.lnk", PinnedShortcut(L"https://ad.example/"));
        MakeFile(world.desktop + L"\\Work\\Chrome.lnk", PinnedShortcut(L"--profile-directory=Work https://b.example/"));
        std::vector<std::wstring> files = {world.Profile(L"Default") + L"\\Preferences",
                                           world.Profile(L"Profile 1") + L"\\Preferences",
                                           world.desktop + L"\\Chrome.lnk", world.desktop + L"\\Work\\Chrome.lnk"};
        std::vector<std::string> before;
        for (const std::wstring& file : files)
            before.push_back(ReadWholeFile(file));
        std::vector<std::wstring> ids = world.Ids();
        ASSERT_EQ(ids.size(), 5u);

        std::vector<std::wstring> lines;
        EXPECT_THROW(ApplyFixes(CapturingOptions(&lines), world.Targets(), FixPlaces{world.Sources()}), Stopped);
        changeMade = nullptr;
        ChangeRunOutcome undone = world.UndoNewest(&lines);
        changeMade = [](std::size_t entry) {
            if (entry == stopAt)
                throw Stopped();
        };
        EXPECT_TRUE(undone.left.empty());
        // Every permission is back; a shortcut is back byte for byte.
        EXPECT_EQ(world.Ids(), ids);
        for (std::size_t i = 2; i < files.size(); ++i)
            EXPECT_EQ(ReadWholeFile(files[i]), before[i]) << Utf8(files[i]);
    }
    changeMade = nullptr;
}

// A record is read as any file from the disk: one that cannot be used changes
// nothing of its run; an entry that names a place no fix of its kind touches,
// or a copy outside the run's folder, is refused or left with a line, and the
// rest of the run is still put back.
TEST(FixRun, AHostileRecordChangesNothingItShouldNot) {
    SKIP_UNLESS_UNDER_WINE();
    using Edit = std::function<void(std::string * text, ChangeRecord * record, const std::wstring& folder)>;
    auto entry = [](std::function<void(ChangeEntry*)> change) -> Edit {
        return [change](std::string*, ChangeRecord* record, const std::wstring&) { change(&record->changes[0]); };
    };
    const struct {
        const char* name;
        Edit edit;
        bool wholeRunRefused;
    } rows[] = {
        {"missing", [](std::string* text, ChangeRecord*, const std::wstring&) { text->clear(); }, true},
        {"truncated", [](std::string* text, ChangeRecord*, const std::wstring&) { text->resize(text->size() / 2); },
         true},
        {"not JSON", [](std::string* text, ChangeRecord*, const std::wstring&) { *text = "changes: none"; }, true},
        {"another schema",
         [](std::string* text, ChangeRecord*, const std::wstring&) {
             text->replace(text->find("popswat.changes/1"), 17, "popswat.changes/9");
         },
         true},
        {"a change without its place",
         [](std::string* text, ChangeRecord*, const std::wstring&) {
             text->replace(text->find("\"location\""), 10, "\"place\"");
         },
         true},
        {"a system file", entry([](ChangeEntry* change) { change->location = L"C:\\windows\\win.ini"; }), false},
        {"a path through ..",
         entry([](ChangeEntry* change) { change->location.insert(change->location.rfind(L'\\'), L"\\..\\Desktop"); }),
         false},
        {"a shortcut as a profile's settings", entry([](ChangeEntry* change) { change->kind = "site-permission"; }),
         false},
        {"a copy outside the run's folder", entry([](ChangeEntry* change) { change->copy = L"..\\1.lnk"; }), false},
        {"a copy that is gone",
         [](std::string*, ChangeRecord* record, const std::wstring& folder) {
             DeleteFileW((folder + L"\\" + record->changes[0].copy).c_str());
         },
         false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        FixWorld world;
        std::wstring first = world.desktop + L"\\Google Chrome.lnk", second = world.desktop + L"\\Chrome.lnk";
        MakeFile(first, PinnedShortcut(L"https://ad.example/"));
        MakeFile(second, PinnedShortcut(L"https://ad.example/ --incognito"));
        std::string secondBefore = ReadWholeFile(second);
        std::vector<FixTarget> targets = world.Targets();
        std::stable_partition(targets.begin(), targets.end(),
                              [&](const FixTarget& target) { return SamePath(target.shortcut, first); });
        std::vector<std::wstring> lines;
        ChangeRunOutcome fixed = ApplyFixes(CapturingOptions(&lines), targets, FixPlaces{world.Sources()});
        ASSERT_EQ(fixed.done, 2u);
        ASSERT_TRUE(SamePath(fixed.record.changes[0].location, first));
        std::string firstRepaired = ReadWholeFile(first), secondRepaired = ReadWholeFile(second);

        std::wstring file = fixed.folder + L"\\changes.json";
        std::string text = ReadWholeFile(file);
        ChangeRecord record = fixed.record;
        row.edit(&text, &record, fixed.folder);
        if (text == ReadWholeFile(file))
            text = ChangeRecordJson(record);
        DeleteFileW(file.c_str());
        if (!text.empty())
            MakeFile(file, text);

        ChangeRunOutcome undone = world.UndoNewest(&lines);
        EXPECT_EQ(ReadWholeFile(first), firstRepaired);
        if (row.wholeRunRefused) {
            EXPECT_TRUE(undone.recordRefused);
            EXPECT_EQ(ReadWholeFile(second), secondRepaired);
            EXPECT_EQ(ReadWholeFile(file), text);  // the record stays as it was found
        } else {
            EXPECT_EQ(undone.done, 1u);
            EXPECT_EQ(undone.left.size(), 1u);
            EXPECT_EQ(ReadWholeFile(second), secondBefore);
        }
    }
}

// A fix that takes rights the process lacks is not tried: the review says so,
// and the run leaves it with a line. Under Wine every process is elevated.
TEST(FixRun, AFixThatNeedsAnAdministratorIsNotTried) {
    FixWorld world;
    SetRunValue(world.machine.get(), REG_SZ,
                L"\"C:\\Program Files\\Google\\Chrome\\Application\\chrome.exe\" https://ad.example/");
    std::string before = RunValue(world.machine.get());
    bool (*elevated)() = isProcessElevated;
    isProcessElevated = [] { return false; };
    ReviewFindings review = CollectReview({world.noPolicies.get(), world.noPolicies.get()}, world.Sources());
    std::vector<FixTarget> targets = FixTargets(review);
    std::vector<std::wstring> lines;
    ChangeRunOutcome outcome = ApplyFixes(CapturingOptions(&lines), targets, FixPlaces{world.Sources()});
    bool administrator = !review.launchers.empty() && FixFor(review.launchers[0]).administrator;
    isProcessElevated = elevated;
    ASSERT_EQ(review.launchers.size(), 1u);
    EXPECT_TRUE(administrator);
    EXPECT_EQ(outcome.done, 0u);
    EXPECT_EQ(outcome.left,
              (std::vector<std::pair<std::string, std::wstring>>{{"run-value", L"needs an administrator"}}));
    EXPECT_EQ(RunValue(world.machine.get()), before);
    EXPECT_TRUE(outcome.folder.empty());
}
