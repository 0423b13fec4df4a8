#include <gtest/gtest.h>

#include <algorithm>
#include <deque>
#include <future>
#include <thread>

#include "engine/engine_testing.h"
#include "tests/child_programs.h"
#include "tests/shortcut_writer.h"
#include "tests/test_support.h"

namespace {

using Lines = std::vector<std::wstring>;

const wchar_t DONE[] = L"All done. Reopen your browser and it will start with a clean set of tabs.";
const wchar_t HINT[] = L"If popups keep coming back, run \"popswat --audit\" to list installed extensions.";

// One profile per browser, each with a session file, a history file and
// files that must survive every run.
struct SampleProfiles {
    Sandbox sandbox;

    std::wstring ProfileOf(const BrowserEntry& browser) const {
        if (browser.kind == BrowserKind::Firefox)
            return sandbox.appData() + L"\\Mozilla\\Firefox\\Profiles\\x1y2z3.default-release";
        std::wstring base =
            std::wstring(browser.baseVariable) == L"LOCALAPPDATA" ? sandbox.localAppData() : sandbox.appData();
        return base + L"\\" + browser.subPath + L"\\Default";
    }
    std::wstring SessionFileOf(const BrowserEntry& browser) const {
        return ProfileOf(browser) +
               (browser.kind == BrowserKind::Firefox ? L"\\sessionstore.jsonlz4" : L"\\Current Session");
    }
    std::wstring HistoryFileOf(const BrowserEntry& browser) const {
        return ProfileOf(browser) + (browser.kind == BrowserKind::Firefox ? L"\\places.sqlite" : L"\\History");
    }
    std::wstring BookmarksOf(const BrowserEntry& browser) const {
        return ProfileOf(browser) + (browser.kind == BrowserKind::Firefox ? L"\\prefs.js" : L"\\Bookmarks");
    }

    SampleProfiles() {
        for (const BrowserEntry& browser : GetBrowserCatalogue()) {
            MakeFile(SessionFileOf(browser));
            MakeFile(HistoryFileOf(browser));
            MakeFile(BookmarksOf(browser));
            if (browser.kind != BrowserKind::Firefox)
                MakeFile(ProfileOf(browser) + L"\\Preferences");
        }
    }

    // Appends the cleaning lines the run writes for one browser.
    void AppendCleaningLines(Lines* lines, const BrowserEntry& browser, bool tabsOnly, bool preview = false) const {
        std::wstring verb = preview ? L"  [preview] would delete file: " : L"  deleted: ";
        lines->push_back(FormatWide(L"Cleaning %ls ...", browser.displayName));
        lines->push_back(verb + SessionFileOf(browser));
        if (!tabsOnly && browser.kind != BrowserKind::Firefox)
            lines->push_back(verb + HistoryFileOf(browser));
    }
};

// The lines of taking back the site permissions of one Chromium-family profile: the
// granted one allows pop-ups for every site; the others hold no JSON and are left alone.
void AppendResetLines(Lines* lines, Lines* leftAlone, const std::wstring& profile, const std::wstring& granted) {
    if (profile == granted) {
        lines->insert(lines->end(), {L"  pop-ups no longer allowed for every site",
                                     L"  saved a copy of the old settings: " + NewestRunFolder() + L"\\1.Preferences"});
        return;
    }
    lines->push_back(L"  (unreadable, left alone) " + profile + L"\\Preferences");
    leftAlone->push_back(profile + L"\\Preferences");
}

Lines FrameStart(bool tabsOnly) {
    return {L"Closing browsers...", L"",
            tabsOnly ? L"Resetting open tabs..." : L"Resetting open tabs and clearing recent history..."};
}

// The last lines: done, or how many items were left behind and of what kinds;
// the browser advice only when something was in use.
void AppendFrameEnd(Lines* lines,
                    bool tabsOnly,
                    std::size_t leftBehind = 0,
                    const std::wstring& kinds = L"",
                    bool inUse = false) {
    lines->push_back(L"");
    if (leftBehind == 0) {
        lines->push_back(DONE);
    } else {
        lines->push_back(
            FormatWide(L"Finished, but %zu item(s) could not be cleaned. %ls", leftBehind,
                       inUse ? L"Close every browser window and run PopSwat again." : L"The lines above say why."));
        lines->push_back(L"Left: " + kinds + L".");
    }
    if (!tabsOnly)
        lines->push_back(HINT);
}

}  // namespace

TEST(RunCleanup, WritesOnlyItsFrameWhenNoBrowserIsThere) {
    SKIP_UNLESS_UNDER_WINE();
    struct Case {
        bool preview;
        bool tabsOnly;
    };
    for (Case c : {Case{false, false}, Case{false, true}, Case{true, false}, Case{true, true}}) {
        SCOPED_TRACE(testing::Message() << "preview " << c.preview << ", tabsOnly " << c.tabsOnly);
        Sandbox sandbox;
        Lines lines;
        ULONGLONG start = GetTickCount64();
        RunCleanup(CapturingOptions(&lines, c.preview, c.tabsOnly));
        ULONGLONG elapsed = GetTickCount64() - start;

        Lines expected = FrameStart(c.tabsOnly);
        AppendFrameEnd(&expected, c.tabsOnly);
        EXPECT_EQ(lines, expected);
        // With no browser process to wait for there is no settling pause.
        EXPECT_LT(elapsed, SETTLE_PAUSE_MS);
    }
}

TEST(RunCleanup, ClosesRunningBrowsersInCatalogueOrder) {
    SKIP_UNLESS_UNDER_WINE();
    Sandbox sandbox;
    struct Running {
        const wchar_t* displayName;
        const wchar_t* imageName;
        StandInBehaviour behaviour;
        std::size_t count;
    };
    // Edge kept alive in the background, with no visible window; Opera GX shares opera.exe with Opera.
    const Running running[] = {
        {L"Google Chrome", L"chrome.exe", {true, true, 0}, 2},
        {L"Microsoft Edge", L"msedge.exe", {false, true, 0}, 1},
        {L"Opera", L"opera.exe", {true, true, 0}, 2},
        {L"Mozilla Firefox", L"firefox.exe", {true, true, 100}, 1},
    };
    std::deque<StandInBrowser> browsers;
    for (const Running& r : running) {
        browsers.emplace_back(r.behaviour, r.count, r.imageName);
        ASSERT_TRUE(browsers.back().started(r.count)) << Utf8(r.imageName);
    }
    for (bool preview : {true, false}) {
        SCOPED_TRACE(testing::Message() << "preview " << preview);
        Lines lines;
        RunCleanup(CapturingOptions(&lines, preview));

        Lines expected = FrameStart(false);
        Lines closing;
        for (const Running& r : running) {
            closing.push_back(FormatWide(L"Closing %ls ...", r.displayName));
            if (preview)
                closing.push_back(FormatWide(L"  [preview] would close %ls (%zu process(es))", r.displayName, r.count));
        }
        expected.insert(expected.begin() + 1, closing.begin(), closing.end());
        AppendFrameEnd(&expected, false);
        EXPECT_EQ(lines, expected);
        for (std::size_t i = 0; i < browsers.size(); ++i) {
            SCOPED_TRACE(Utf8(running[i].displayName));
            for (std::size_t p = 0; p < running[i].count; ++p) {
                EXPECT_EQ(HasEnded(browsers[i].processes[p]), !preview);
                EXPECT_EQ(ReadLogLines(browsers[i].logs[p]),
                          preview ? std::vector<std::string>{"ready"} : ClosedStandInLog(running[i].behaviour));
            }
        }
    }
}

// Taking back permissions adds each profile's lines right after its own items;
// a Preferences that cannot be read does not stop the run.
TEST(RunCleanup, CleansEveryBrowserInCatalogueOrder) {
    SKIP_UNLESS_UNDER_WINE();
    const std::string granted = R"({"profile":{"default_content_setting_values":{"popups":1}},"protection":{}})";
    struct Mode {
        bool tabsOnly;
        bool resetPermissions;
    };
    for (Mode mode : {Mode{false, false}, Mode{true, false}, Mode{false, true}}) {
        bool tabsOnly = mode.tabsOnly;
        SCOPED_TRACE(testing::Message() << "tabsOnly " << tabsOnly << ", resetPermissions " << mode.resetPermissions);
        SampleProfiles profiles;
        std::wstring edge = profiles.ProfileOf(GetBrowserCatalogue()[1]);
        MakeFile(edge + L"\\Preferences", granted);
        Lines lines;
        CleanupOptions options = CapturingOptions(&lines, false, tabsOnly);
        options.resetPermissions = mode.resetPermissions;
        CleanupOutcome outcome = RunCleanup(options);
        EXPECT_FALSE(outcome.lockHeldElsewhere);
        EXPECT_TRUE(outcome.leftBehind.empty());
        EXPECT_EQ(outcome.permissionsTakenBack, mode.resetPermissions ? 1u : 0u);

        Lines expected = FrameStart(tabsOnly);
        Lines leftAlone;
        for (const BrowserEntry& browser : GetBrowserCatalogue()) {
            profiles.AppendCleaningLines(&expected, browser, tabsOnly);
            if (mode.resetPermissions && browser.kind != BrowserKind::Firefox)
                AppendResetLines(&expected, &leftAlone, profiles.ProfileOf(browser), edge);
        }
        AppendFrameEnd(&expected, tabsOnly, leftAlone.size(),
                       FormatWide(L"%zu settings files left alone", leftAlone.size()));
        EXPECT_EQ(lines, expected);
        EXPECT_EQ(outcome.settingsLeftAlone, leftAlone);
        EXPECT_EQ(ItemsLeftBehind(outcome), leftAlone.size());

        for (const BrowserEntry& browser : GetBrowserCatalogue()) {
            SCOPED_TRACE(Utf8(browser.displayName));
            EXPECT_FALSE(PathExists(profiles.SessionFileOf(browser)));
            EXPECT_TRUE(PathExists(profiles.BookmarksOf(browser)));
            bool historyKept = tabsOnly || browser.kind == BrowserKind::Firefox;
            EXPECT_EQ(PathExists(profiles.HistoryFileOf(browser)), historyKept);
        }
        EXPECT_EQ(
            ReadFileBytes(edge + L"\\Preferences"),
            mode.resetPermissions ? R"({"profile":{"default_content_setting_values":{}},"protection":{}})" : granted);
    }
}

TEST(RunCleanup, PreviewChangesNothing) {
    SKIP_UNLESS_UNDER_WINE();
    SampleProfiles profiles;
    Lines lines;
    RunCleanup(CapturingOptions(&lines, true));

    Lines expected = FrameStart(false);
    for (const BrowserEntry& browser : GetBrowserCatalogue())
        profiles.AppendCleaningLines(&expected, browser, false, true);
    AppendFrameEnd(&expected, false);
    EXPECT_EQ(lines, expected);
    for (const BrowserEntry& browser : GetBrowserCatalogue()) {
        SCOPED_TRACE(Utf8(browser.displayName));
        EXPECT_TRUE(PathExists(profiles.SessionFileOf(browser)));
        EXPECT_TRUE(PathExists(profiles.HistoryFileOf(browser)));
    }
}

TEST(RunCleanup, SkipsBrowsersWhoseBaseFolderVariableIsUnusable) {
    SKIP_UNLESS_UNDER_WINE();
    std::wstring tooLong(ENV_BUFFER_CHARS, L'x');
    struct Case {
        const char* name;
        const wchar_t* variable;
        const wchar_t* value;
    };
    const Case cases[] = {
        {"LOCALAPPDATA unset", L"LOCALAPPDATA", nullptr},
        {"LOCALAPPDATA too long", L"LOCALAPPDATA", tooLong.c_str()},
        {"APPDATA unset", L"APPDATA", nullptr},
        {"APPDATA empty", L"APPDATA", L""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SampleProfiles profiles;
        ScopedEnvironmentVariable unusable(c.variable, c.value);
        Lines lines;
        RunCleanup(CapturingOptions(&lines));

        Lines expected = FrameStart(false);
        for (const BrowserEntry& browser : GetBrowserCatalogue()) {
            // Firefox reads APPDATA itself and is skipped the same way.
            bool usesVariable = std::wstring(browser.baseVariable) == c.variable;
            if (!usesVariable)
                profiles.AppendCleaningLines(&expected, browser, false);
            EXPECT_EQ(PathExists(profiles.SessionFileOf(browser)), usesVariable) << Utf8(browser.displayName);
        }
        AppendFrameEnd(&expected, false);
        EXPECT_EQ(lines, expected);
    }
}

TEST(RunCleanup, DoesTheSameWorkWithoutALog) {
    SKIP_UNLESS_UNDER_WINE();
    SampleProfiles profiles;
    RunCleanup(CleanupOptions{});
    for (const BrowserEntry& browser : GetBrowserCatalogue()) {
        SCOPED_TRACE(Utf8(browser.displayName));
        EXPECT_FALSE(PathExists(profiles.SessionFileOf(browser)));
        EXPECT_TRUE(PathExists(profiles.BookmarksOf(browser)));
    }
}

// The repair comes after the profiles, in folders the test gives: never a real Desktop or Start menu.
TEST(RunCleanup, RepairsTheBrowserShortcutsOfTheFoldersGiven) {
    SKIP_UNLESS_UNDER_WINE();
    Sandbox sandbox;
    ComApartment apartment;
    const std::wstring chrome = L"C:\\Program Files\\Google\\Chrome\\Application\\chrome.exe";
    LauncherSources sources;
    sources.startupFolders = {sandbox / L"Startup"};
    sources.shortcutFolders = {sandbox / L"Desktop", sandbox / L"Programs"};
    const struct {
        const wchar_t* path;
        const wchar_t* target;
        const wchar_t* arguments;
        const wchar_t* after;  // the arguments it is left with
    } shortcuts[] = {
        {L"Startup\\Firefox.lnk", L"C:\\Program Files\\Mozilla Firefox\\firefox.exe", L"-url http://fox.example/", L""},
        {L"Desktop\\Google Chrome.lnk", chrome.c_str(), L"--profile-directory=Default https://ad.example/",
         L"--profile-directory=Default"},
        {L"Desktop\\Notes.lnk", L"C:\\Windows\\notepad.exe", L"https://notes.example/", L"https://notes.example/"},
        {L"Programs\\Edge.lnk", L"msedge.exe", L"https://ad.example/", L"https://ad.example/"},
        {L"Programs\\App.lnk", chrome.c_str(), L"--app=https://app.example/", L"--app=https://app.example/"},
    };
    for (const auto& shortcut : shortcuts) {
        MakeFolder((sandbox / shortcut.path).substr(0, (sandbox / shortcut.path).find_last_of(L'\\')));
        ASSERT_TRUE(WriteShortcutFile(sandbox / shortcut.path, BrowserShortcut(shortcut.target, shortcut.arguments)));
    }
    SetFileAttributesW((sandbox / L"Programs\\Edge.lnk").c_str(), FILE_ATTRIBUTE_READONLY);

    Lines lines;
    CleanupOptions options = CapturingOptions(&lines);
    options.repairShortcuts = true;
    CleanupOutcome outcome = RunCleanupWithShortcutFolders(options, sources);
    SetFileAttributesW((sandbox / L"Programs\\Edge.lnk").c_str(), FILE_ATTRIBUTE_NORMAL);

    std::vector<std::wstring> runs;
    ForEachFolderEntry(sandbox.localAppData() + L"\\PopSwat\\Backups",
                       [&](const std::wstring& name, uint32_t) { runs.push_back(name); });
    ASSERT_EQ(runs.size(), 1u);
    std::wstring backups = sandbox.localAppData() + L"\\PopSwat\\Backups\\" + runs[0];
    Lines expected = FrameStart(false);
    expected.insert(expected.end(),
                    {L"", L"Repairing browser shortcuts...",
                     L"  shortcut no longer opens http://fox.example/: " + (sandbox / L"Startup\\Firefox.lnk"),
                     L"  shortcut no longer opens https://ad.example/: " + (sandbox / L"Desktop\\Google Chrome.lnk"),
                     L"  shortcut left as it was (read-only): " + (sandbox / L"Programs\\Edge.lnk"),
                     L"  saved a copy of each old shortcut in: " + backups});
    // The shortcut left as it was is an item the run could not clean.
    AppendFrameEnd(&expected, false, 1, L"1 browser shortcut left as it was");
    EXPECT_EQ(lines, expected);
    EXPECT_EQ(outcome.shortcutsRepaired, 2u);
    EXPECT_EQ(outcome.shortcutsLeftAlone, std::vector<std::wstring>{sandbox / L"Programs\\Edge.lnk"});
    for (const auto& shortcut : shortcuts)
        EXPECT_EQ(Utf8(ReadShortcut(sandbox / shortcut.path).fields.arguments), Utf8(shortcut.after))
            << Utf8(shortcut.path);
    EXPECT_EQ(ReadWholeFile(backups + L"\\index.txt"), "1.lnk\t" + Utf8(sandbox / L"Startup\\Firefox.lnk") +
                                                           "\r\n2.lnk\t" +
                                                           Utf8(sandbox / L"Desktop\\Google Chrome.lnk") + "\r\n");

    // Nowhere to look, or nothing to take out: one line says so.
    lines.clear();
    options.preview = true;
    RunCleanupWithShortcutFolders(options, LauncherSources());
    EXPECT_EQ(std::count(lines.begin(), lines.end(), L"  No browser shortcut needed repairing."), 1);
}

// Taking back site permissions on its own: the browsers close as in a run, every
// Chromium-family Preferences gets its grants taken back, and nothing is deleted.
TEST(RunCleanup, TakingBackSitePermissionsAloneDeletesNothing) {
    SKIP_UNLESS_UNDER_WINE();
    const std::string granted = R"({"profile":{"default_content_setting_values":{"popups":1}},"protection":{}})";
    SampleProfiles profiles;
    std::wstring edge = profiles.ProfileOf(GetBrowserCatalogue()[1]);
    MakeFile(edge + L"\\Preferences", granted);
    StandInBrowser brave({true, true, 0}, 1, L"brave.exe");
    ASSERT_TRUE(brave.started(1));
    Lines lines;
    CleanupOutcome outcome = TakeBackAllSitePermissions(CapturingOptions(&lines));

    Lines expected = {L"Closing browsers...", L"Closing Brave ...", L"",
                      L"Taking back what sites were allowed to do..."};
    Lines leftAlone;
    for (const BrowserEntry& browser : GetBrowserCatalogue()) {
        SCOPED_TRACE(Utf8(browser.displayName));
        EXPECT_TRUE(PathExists(profiles.SessionFileOf(browser)));
        EXPECT_TRUE(PathExists(profiles.HistoryFileOf(browser)));
        expected.push_back(FormatWide(L"Checking %ls ...", browser.displayName));
        if (browser.kind == BrowserKind::Firefox)
            continue;  // a profile without permissions.sqlite: nothing to say
        AppendResetLines(&expected, &leftAlone, profiles.ProfileOf(browser), edge);
    }
    expected.insert(expected.end(), {L"", L"Site permissions taken back: 1. Settings files left alone: 5."});
    EXPECT_EQ(lines, expected);
    EXPECT_EQ(outcome.permissionsTakenBack, 1u);
    EXPECT_EQ(outcome.settingsLeftAlone, leftAlone);
    EXPECT_TRUE(outcome.leftBehind.empty());
    EXPECT_FALSE(outcome.lockHeldElsewhere);
    EXPECT_EQ(ReadLogLines(brave.logs[0]), ClosedStandInLog({true, true, 0}));
    EXPECT_EQ(ReadFileBytes(NewestRunFolder() + L"\\1.Preferences"), granted);

    // With the lock held by another thread (a mutex is its owner's again on the same
    // thread), nothing is written or changed.
    std::promise<void> taken, done;
    std::thread otherRun([&] {
        CleanupRunLock lock;
        taken.set_value();
        done.get_future().wait();
    });
    taken.get_future().wait();
    MakeFile(edge + L"\\Preferences", granted);
    lines.clear();
    EXPECT_TRUE(TakeBackAllSitePermissions(CapturingOptions(&lines)).lockHeldElsewhere);
    done.set_value();
    otherRun.join();
    EXPECT_TRUE(lines.empty());
    EXPECT_EQ(ReadFileBytes(edge + L"\\Preferences"), granted);
}

// Repairing the browser shortcuts on their own: no browser is closed and nothing is
// deleted. The sandbox's taskbar folder (below APPDATA) is where it finds them.
TEST(RunCleanup, RepairingBrowserShortcutsAloneClosesNothing) {
    SKIP_UNLESS_UNDER_WINE();
    SampleProfiles profiles;
    ComApartment apartment;
    std::wstring pinned =
        profiles.sandbox.appData() + L"\\Microsoft\\Internet Explorer\\Quick Launch\\User Pinned\\TaskBar";
    MakeFolder(pinned);
    for (const wchar_t* name : {L"\\Brave.lnk", L"\\Locked.lnk"})
        ASSERT_TRUE(WriteShortcutFile(pinned + name,
                                      BrowserShortcut(L"C:\\Program Files\\Brave\\brave.exe", L"https://ad.example/")));
    SetFileAttributesW((pinned + L"\\Locked.lnk").c_str(), FILE_ATTRIBUTE_READONLY);
    StandInBrowser brave({true, true, 0}, 1, L"brave.exe");
    ASSERT_TRUE(brave.started(1));
    Lines lines;
    CleanupOutcome outcome = RepairAllBrowserShortcuts(CapturingOptions(&lines));
    SetFileAttributesW((pinned + L"\\Locked.lnk").c_str(), FILE_ATTRIBUTE_NORMAL);

    EXPECT_EQ(outcome.shortcutsRepaired, 1u);
    EXPECT_EQ(outcome.shortcutsLeftAlone, Lines{pinned + L"\\Locked.lnk"});
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.back(), L"Browser shortcuts repaired: 1. Shortcuts left as they were: 1.");
    EXPECT_FALSE(HasEnded(brave.processes[0]));
    for (const BrowserEntry& browser : GetBrowserCatalogue())
        EXPECT_TRUE(PathExists(profiles.SessionFileOf(browser))) << Utf8(browser.displayName);
}

// The mutex's name taken first by an object of another kind (anyone may create
// one): runs then take the lock file, and a second run is refused all the same.
// A name of the test's own keeps the session's name free for parallel tests.
TEST(CleanupRunLock, FallsBackToAnExclusiveLockFileWhenTheNameIsTaken) {
    Sandbox sandbox;
    std::wstring name = FormatWide(L"Local\\PopSwat.Test.%lu.%llu", GetCurrentProcessId(), GetTickCount64());
    std::wstring lockFile = sandbox.localAppData() + L"\\PopSwat\\cleanup.lock";
    const struct {
        const char* name;
        std::function<HANDLE()> create;
    } squatters[] = {
        {"an event", [&] { return CreateEventW(nullptr, TRUE, FALSE, name.c_str()); }},
        {"a semaphore", [&] { return CreateSemaphoreW(nullptr, 1, 1, name.c_str()); }},
    };
    for (const auto& squatter : squatters) {
        SCOPED_TRACE(squatter.name);
        UniqueHandle object(squatter.create());
        ASSERT_TRUE(object.valid());
        {
            CleanupRunLock first(name.c_str());
            EXPECT_TRUE(first.acquired());
            EXPECT_TRUE(PathExists(lockFile));
            bool secondAcquired = true, secondNotTaken = true;
            std::thread([&] {
                CleanupRunLock second(name.c_str());
                secondAcquired = second.acquired();
                secondNotTaken = second.notTaken();
            }).join();
            EXPECT_FALSE(secondAcquired);
            EXPECT_FALSE(secondNotTaken);  // held by a run: "another cleanup is already running"
        }
        EXPECT_FALSE(PathExists(lockFile));
        CleanupRunLock next(name.c_str());
        EXPECT_TRUE(next.acquired());
    }
}

// With the name taken and no lock file to be had, the run is refused with its own line.
TEST(CleanupRunLock, RefusesWhenNeitherTheMutexNorTheLockFileCanBeHad) {
    Sandbox sandbox;
    TempFolder outside;
    std::wstring name = FormatWide(L"Local\\PopSwat.Test.%lu.%llu", GetCurrentProcessId(), GetTickCount64());
    UniqueHandle event(CreateEventW(nullptr, TRUE, FALSE, name.c_str()));
    ASSERT_TRUE(event.valid());
    std::wstring folder = sandbox.localAppData() + L"\\PopSwat";
    std::wstring canary = outside / L"canary.txt";
    MakeFile(canary, "keep");
    // The link comes last: the clean-up before each case would delete through it.
    const struct {
        const char* name;
        std::function<bool()> make;
    } cases[] = {
        {"PopSwat is a file",
         [&] {
             MakeFile(folder);
             return true;
         }},
        {"the lock file is a folder",
         [&] {
             MakeFolder(folder + L"\\cleanup.lock");
             return true;
         }},
        {"the lock file is a link to a file elsewhere",
         [&] {
             MakeFolder(folder);
             return MakeUnixSymlink(canary, folder + L"\\cleanup.lock");
         }},
    };
    for (const auto& row : cases) {
        SCOPED_TRACE(row.name);
        DeleteTreeForTest(folder);
        DeleteFileW(folder.c_str());
        if (!row.make())
            continue;  // no Unix links outside Wine
        {
            CleanupRunLock lock(name.c_str());
            EXPECT_FALSE(lock.acquired());
            EXPECT_TRUE(lock.notTaken());
        }
        EXPECT_EQ(ReadWholeFile(canary), "keep");
    }
    RemoveUnixLink(folder + L"\\cleanup.lock");
}

// The closing lines say what was left, by kind, and advise closing the browsers
// only when something was held open: for anything else running again never helps.
// The first sentence and the count stay as they were.
TEST(RunCleanup, ClosingAdviceFitsWhatWasLeft) {
    SKIP_UNLESS_UNDER_WINE();
    const std::string granted = R"({"profile":{"default_content_setting_values":{"popups":1}},"protection":{}})";
    const std::wstring chrome = L"C:\\Program Files\\Google\\Chrome\\Application\\chrome.exe";
    struct Row {
        const char* name;
        std::function<bool(SampleProfiles&, const std::wstring& profile, std::vector<UniqueHandle>*)> make;
        std::size_t left;
        const wchar_t* kinds;
        bool advice;
    };
    auto holdSession = [](SampleProfiles&, const std::wstring& profile, std::vector<UniqueHandle>* held) {
        held->push_back(HoldFile(profile + L"\\Current Session"));
        return held->back().valid();
    };
    auto linkSessions = [](SampleProfiles& profiles, const std::wstring& profile, std::vector<UniqueHandle>*) {
        MakeFolder(profiles.sandbox / L"elsewhere");
        return MakeUnixSymlink(profiles.sandbox / L"elsewhere", profile + L"\\Sessions");
    };
    const Row rows[] = {
        {"a session file held open", holdSession, 1, L"1 file or folder in use", true},
        {"a read-only Preferences",
         [&](SampleProfiles&, const std::wstring& profile, std::vector<UniqueHandle>*) {
             MakeFile(profile + L"\\Preferences", granted, FILE_ATTRIBUTE_READONLY);
             return true;
         },
         1, L"1 settings file left alone", false},
        {"a Preferences that is no JSON object",
         [](SampleProfiles&, const std::wstring& profile, std::vector<UniqueHandle>*) {
             MakeFile(profile + L"\\Preferences", "[1]");
             return true;
         },
         1, L"1 settings file left alone", false},
        {"a Sessions folder that is a link", linkSessions, 1, L"1 link left alone", false},
        {"a shortcut refused: PopSwat\\Backups is a file",
         [&](SampleProfiles& profiles, const std::wstring&, std::vector<UniqueHandle>*) {
             MakeFile(profiles.sandbox.localAppData() + L"\\PopSwat\\Backups");
             MakeFolder(profiles.sandbox / L"Desktop");
             return WriteShortcutFile(profiles.sandbox / L"Desktop\\Chrome.lnk",
                                      BrowserShortcut(chrome, L"https://ad.example/"));
         },
         1, L"1 browser shortcut left as it was", false},
        {"a file held open and a link",
         [&](SampleProfiles& profiles, const std::wstring& profile, std::vector<UniqueHandle>* held) {
             return holdSession(profiles, profile, held) && linkSessions(profiles, profile, held);
         },
         2, L"1 file or folder in use, 1 link left alone", true},
    };
    ComApartment apartment;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        SampleProfiles profiles;
        for (const BrowserEntry& browser : GetBrowserCatalogue())
            if (browser.kind != BrowserKind::Firefox)
                MakeFile(profiles.ProfileOf(browser) + L"\\Preferences", "{}");
        std::wstring profile = profiles.ProfileOf(GetBrowserCatalogue()[0]);
        std::vector<UniqueHandle> held;
        ASSERT_TRUE(row.make(profiles, profile, &held));
        LauncherSources sources;
        sources.shortcutFolders = {profiles.sandbox / L"Desktop"};
        Lines lines;
        CleanupOptions options = CapturingOptions(&lines);
        options.resetPermissions = options.repairShortcuts = true;
        CleanupOutcome outcome = RunCleanupWithShortcutFolders(options, sources);
        held.clear();
        SetFileAttributesW((profile + L"\\Preferences").c_str(), FILE_ATTRIBUTE_NORMAL);
        RemoveUnixLink(profile + L"\\Sessions");

        EXPECT_EQ(ItemsLeftBehind(outcome), row.left);
        EXPECT_EQ(outcome.inUse.empty(), !row.advice);
        Lines end;
        AppendFrameEnd(&end, false, row.left, row.kinds, row.advice);
        ASSERT_GE(lines.size(), end.size());
        EXPECT_EQ(Lines(lines.end() - end.size(), lines.end()), end);
    }
}
