// Firefox's distribution\policies.json beside firefox.exe: where Firefox is
// installed, which policies the review reads from the file and how it names
// them, and the fix that moves the whole file into the backups and back.
#include <gtest/gtest.h>

#include <cwctype>
#include <string>
#include <vector>

#include <windows.h>

#include "engine/engine_testing.h"
#include "tests/fix_outcomes.h"
#include "review/review.h"
#include "tests/test_support.h"

namespace {

using Left = std::vector<std::pair<std::string, std::wstring>>;

struct FirefoxWorld {
    Sandbox sandbox;
    TemporaryRegistryKey machine{HKEY_CURRENT_USER,
                                 L"Software\\PopSwat-test-ffpolicy-machine-" + std::to_wstring(GetCurrentProcessId())};
    TemporaryRegistryKey user{HKEY_CURRENT_USER,
                              L"Software\\PopSwat-test-ffpolicy-user-" + std::to_wstring(GetCurrentProcessId())};
    std::wstring install = sandbox / L"Programs\\Mozilla Firefox";
    std::wstring file = install + L"\\distribution\\policies.json";

    FirefoxWorld() { MakeFile(install + L"\\firefox.exe", "MZ"); }
    PolicyRoots Roots() const { return {machine.get(), user.get(), {install}}; }
    FixPlaces Places() const { return {LauncherSources(), Roots()}; }
    ReviewFindings Review() const { return CollectReview(Roots(), LauncherSources()); }
    std::vector<FixTarget> Targets() const { return FixTargets(Review()); }
    ChangeRunOutcome UndoNewest(std::vector<std::wstring>* lines) const { return UndoNewestRun(Places(), lines); }
};

enum class FileFix { None, Recommended, OnlyWhenChosen };

struct FinderRow {
    const char* name;
    std::string text;                  // the file's bytes; "" for no file
    std::vector<std::wstring> values;  // "name=value" of each finding, in file order
    std::vector<PolicyEffect> effects;
    FileFix fix;
    JsonLoad unreadable;  // Done when the file was used or is missing
    bool held = false;    // another program holds the file open without sharing
};

void ExpectFinderRow(const FinderRow& row) {
    SCOPED_TRACE(row.name);
    FirefoxWorld world;
    if (!row.text.empty())
        MakeFile(world.file, row.text);
    UniqueHandle holder = row.held ? HoldFile(world.file) : UniqueHandle();
    ReviewFindings findings = world.Review();
    std::vector<std::wstring> values;
    std::vector<PolicyEffect> effects;
    for (const PolicyFinding& finding : findings.policies) {
        values.push_back(finding.name + L"=" + finding.value);
        effects.push_back(finding.effect);
        EXPECT_EQ(finding.browser, L"Firefox");
        EXPECT_TRUE(finding.machine);
        EXPECT_EQ(finding.file, world.file);
        EXPECT_EQ(finding.location, world.file + L"\\" + finding.name);
    }
    EXPECT_EQ(values, row.values);
    EXPECT_EQ(effects, row.effects);
    if (row.unreadable == JsonLoad::Done) {
        EXPECT_TRUE(findings.unreadable.empty());
    } else {
        ASSERT_EQ(findings.unreadable.size(), 1u);
        EXPECT_EQ(findings.unreadable[0].file, world.file);
        EXPECT_EQ(findings.unreadable[0].reason, row.unreadable);
    }
    std::vector<FixTarget> targets = FixTargets(findings);
    ASSERT_EQ(targets.size(), row.fix == FileFix::None ? 0u : 1u);
    if (row.fix == FileFix::None)
        return;
    EXPECT_STREQ(targets[0].kind->name, "firefox-policies-file");
    EXPECT_EQ(targets[0].recommended, row.fix == FileFix::Recommended);
    EXPECT_EQ(targets[0].location, world.file);
    // Every finding of the file names the one whose fix moves it. In the window's
    // list that one alone carries the fix, ticked only when it is recommended
    // (else its text says the other policies go with the file).
    for (const PolicyFinding& finding : findings.policies)
        EXPECT_EQ(finding.fileFixId, targets[0].findingId);
    std::size_t withFix = 0;
    for (const FindingRow& listed : FindingRows(findings)) {
        if (listed.findingId != targets[0].findingId) {
            EXPECT_EQ(listed.check, RowCheck::None);
            EXPECT_NE(listed.details.find(targets[0].findingId), std::wstring::npos);
            continue;
        }
        ++withFix;
        EXPECT_EQ(listed.check, row.fix == FileFix::Recommended ? RowCheck::Ticked : RowCheck::Clear);
        EXPECT_EQ(listed.fix.find(L"go with it") != std::wstring::npos, row.fix == FileFix::OnlyWhenChosen)
            << listed.fix;
    }
    EXPECT_EQ(withFix, 1u);
}

constexpr PolicyEffect HOME = PolicyEffect::HomePage;
constexpr PolicyEffect SEARCH = PolicyEffect::SearchEngine;
constexpr PolicyEffect OTHER = PolicyEffect::Other;

const char HIJACK[] =
    R"({"policies":{"Homepage":{"URL":"https://home.example/","StartPage":"homepage","Locked":true},)"
    R"("SearchEngines":{"Default":"Deals","Add":[{"Name":"Deals","URLTemplate":"https://deals.example/?q={searchTerms}"}]}}})";

const std::vector<std::wstring> HIJACK_VALUES = {
    L"Homepage\\URL=https://home.example/",
    L"Homepage\\StartPage=homepage",
    L"Homepage\\Locked=1",
    L"SearchEngines\\Default=Deals",
    L"SearchEngines\\Add\\1\\Name=Deals",
    L"SearchEngines\\Add\\1\\URLTemplate=https://deals.example/?q={searchTerms}"};

}  // namespace

TEST(FirefoxPoliciesFile, ReadsEachPolicyAsTheRegistryNamesIt) {
    const FinderRow rows[] = {
        {"home and start-up page, locked, and a search engine added",
         HIJACK,
         HIJACK_VALUES,
         {HOME, HOME, HOME, SEARCH, SEARCH, SEARCH},
         FileFix::Recommended,
         JsonLoad::Done},
        {"a forced extension and the new tab page's switch go with the page",
         R"({"policies":{"Extensions":{"Install":["https://ads.example/a.xpi"]},"NewTabPage":false,)"
         R"("Homepage":{"URL":"https://home.example/"}}})",
         {L"Extensions\\Install\\1=https://ads.example/a.xpi", L"NewTabPage=0", L"Homepage\\URL=https://home.example/"},
         {PolicyEffect::ForcesExtension, OTHER, HOME},
         FileFix::Recommended,
         JsonLoad::Done},
        {"an administrator's policy beside the page: the fix only when chosen",
         R"({"policies":{"DisableTelemetry":true,"SearchEngines":{"Default":"Deals"},"Proxy":{"Mode":"none"}}})",
         {L"DisableTelemetry=1", L"SearchEngines\\Default=Deals", L"Proxy\\Mode=none"},
         {OTHER, SEARCH, OTHER},
         FileFix::OnlyWhenChosen,
         JsonLoad::Done},
        {"only other policies: no fix",
         R"({"policies":{"DisableAppUpdate":true,"Retention":30}})",
         {L"DisableAppUpdate=1", L"Retention=30"},
         {OTHER, OTHER},
         FileFix::None,
         JsonLoad::Done},
        {"a name given twice counts as its last",
         R"({"policies":{"Homepage":{"URL":"https://first.example/"},"Homepage":{"URL":"https://last.example/"}}})",
         {L"Homepage\\URL=https://last.example/"},
         {HOME},
         FileFix::Recommended,
         JsonLoad::Done},
        {"no policies member",
         R"({"other":{"Homepage":{"URL":"https://home.example/"}}})",
         {},
         {},
         FileFix::None,
         JsonLoad::Done},
        {"no file", "", {}, {}, FileFix::None, JsonLoad::Done},
        {"not JSON", "{\"policies\": {\"Homepage\": ", {}, {}, FileFix::None, JsonLoad::NotJson},
        {"not an object", "[1, 2]", {}, {}, FileFix::None, JsonLoad::NotAnObject},
        {"policies is not an object", R"({"policies":["Homepage"]})", {}, {}, FileFix::None, JsonLoad::OtherShape},
        {"larger than the limit",
         R"({"policies":{"Homepage":{"URL":"https://home.example/")" + std::string(MAX_FIREFOX_POLICIES_BYTES, ' ') +
             "}}}",
         {},
         {},
         FileFix::None,
         JsonLoad::TooLarge},
        {"held open without sharing", HIJACK, {}, {}, FileFix::None, JsonLoad::Unreadable, true},
    };
    for (const FinderRow& row : rows)
        ExpectFinderRow(row);
}

// A page set by the file and by the registry reads the same, and is not the same finding.
TEST(FirefoxPoliciesFile, ReadsTheSameAsTheRegistryUnderAnotherId) {
    FirefoxWorld world;
    MakeFile(world.file, R"({"policies":{"Homepage":{"URL":"https://home.example/"}}})");
    world.machine.SetText(L"SOFTWARE\\Policies\\Mozilla\\Firefox\\Homepage", L"URL", L"https://home.example/");
    std::vector<PolicyFinding> policies = world.Review().policies;
    ASSERT_EQ(policies.size(), 2u);
    EXPECT_EQ(policies[0].name, policies[1].name);
    EXPECT_EQ(policies[0].value, policies[1].value);
    EXPECT_EQ(policies[0].effect, policies[1].effect);
    EXPECT_NE(FindingId(policies[0]), FindingId(policies[1]));
    EXPECT_NE(policies[0].location, policies[1].location);
}

TEST(FirefoxPoliciesFile, FindsTheInstallFoldersOnceEach) {
    FirefoxWorld world;
    std::wstring a = world.sandbox / L"A\\Mozilla Firefox", b = world.sandbox / L"B", c = world.sandbox / L"C 86";
    std::wstring noFirefox = world.sandbox / L"D", programFiles = world.sandbox / L"Program Files";
    for (const std::wstring& folder : {a, b, c, programFiles + L"\\Mozilla Firefox"})
        MakeFile(folder + L"\\firefox.exe", "MZ");
    MakeFolder(noFirefox);
    const wchar_t APP_PATH[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\firefox.exe";
    world.machine.SetText(APP_PATH, L"", L"\"" + a + L"\\firefox.exe\"");
    world.machine.SetText(APP_PATH, L"Path", noFirefox);
    world.machine.SetText(L"SOFTWARE\\WOW6432Node\\Mozilla\\Mozilla Firefox\\128.0 (x86 en-US)\\Main",
                          L"Install Directory", c);
    world.user.SetText(APP_PATH, L"Path", b + L"\\");
    std::wstring upper = a;
    for (wchar_t& ch : upper)
        ch = static_cast<wchar_t>(towupper(ch));
    world.user.SetText(L"SOFTWARE\\Mozilla\\Mozilla Firefox\\115.0esr (x64 en-US)\\Main", L"Install Directory", upper);
    std::vector<std::wstring> expected = {a, c, b, programFiles + L"\\Mozilla Firefox"};
    EXPECT_EQ(FirefoxInstallFolders(world.machine.get(), world.user.get(), {L"", programFiles, programFiles}),
              expected);
}

// The file moves once however many findings it holds, byte for byte into the
// run's folder, recorded first; --undo moves it back, also when its
// distribution folder went, and leaves it, naming the copy, when another file took its name.
TEST(FirefoxPoliciesFix, MovesTheFileOnceAndPutsItBack) {
    const struct {
        const char* name;
        void (*beforeUndo)(const FirefoxWorld& world);
        bool putBack;
    } rows[] = {
        {"nothing changed meanwhile", nullptr, true},
        {"the distribution folder went", [](const FirefoxWorld& w) { DeleteTreeForTest(FolderOfPath(w.file)); }, true},
        {"another file took the name", [](const FirefoxWorld& w) { MakeFile(w.file, "{\"policies\":{}}"); }, false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        FirefoxWorld world;
        std::string bytes = std::string(HIJACK) + "\r\n";
        MakeFile(world.file, bytes);
        std::vector<FixTarget> targets = world.Targets();
        ASSERT_EQ(targets.size(), 1u);
        targets.push_back(targets[0]);  // named twice, it still moves once

        std::vector<std::wstring> lines;
        ChangeRunOutcome fixed = ApplyFixes(CapturingOptions(&lines), targets, world.Places());
        const ChangeEntry* done = OnlyChangeDone(fixed, targets[0]);
        ASSERT_TRUE(done);
        const ChangeEntry& entry = *done;
        std::wstring copy = fixed.folder + L"\\" + entry.copy + L"\\policies.json";
        EXPECT_FALSE(PathExists(world.file));
        EXPECT_EQ(ReadWholeFile(copy), bytes);
        EXPECT_TRUE(world.Review().policies.empty());

        if (row.beforeUndo)
            row.beforeUndo(world);
        ChangeRunOutcome undone = world.UndoNewest(&lines);
        if (row.putBack) {
            EXPECT_EQ(undone.done, 1u);
            EXPECT_EQ(undone.left, Left());
            EXPECT_EQ(ReadWholeFile(world.file), bytes);
            EXPECT_FALSE(PathExists(copy));
            EXPECT_EQ(world.Targets().size(), 1u);
        } else {
            EXPECT_EQ(undone.done, 0u);
            ASSERT_EQ(undone.left.size(), 1u);
            EXPECT_NE(undone.left[0].second.find(copy), std::wstring::npos) << undone.left[0].second;
            EXPECT_EQ(ReadWholeFile(world.file), "{\"policies\":{}}");
            EXPECT_EQ(ReadWholeFile(copy), bytes);
        }
    }
}

// A file changed or gone since the review, a link, or one no longer beside a
// Firefox of the places, is left as it is, with a line, and nothing is recorded done.
TEST(FirefoxPoliciesFix, LeavesWhatChangedSinceTheReview) {
    const struct {
        const char* name;
        void (*beforeFix)(const FirefoxWorld& world);
        bool otherPlaces;
        std::wstring why;
    } rows[] = {
        {"rewritten", [](const FirefoxWorld& w) { MakeFile(w.file, std::string(HIJACK) + " "); }, false,
         L"it has changed since the review"},
        {"deleted", [](const FirefoxWorld& w) { DeleteFileW(w.file.c_str()); }, false, L"it is no longer there"},
        {"no Firefox install folder of the places", nullptr, true,
         L"not the policies.json of a Firefox install folder"},
        // Firefox reads through the link; the move would take the link and leave what it names.
        {"a link to the same bytes elsewhere",
         [](const FirefoxWorld& w) {
             std::wstring elsewhere = w.sandbox / L"elsewhere.json";
             MoveFileW(w.file.c_str(), elsewhere.c_str());
             if (!MakeUnixSymlink(elsewhere, w.file))
                 MakeFile(w.file, "(no link could be made)");
         },
         false, L"is a link, not followed"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        FirefoxWorld world;
        MakeFile(world.file, HIJACK);
        std::vector<FixTarget> targets = world.Targets();
        ASSERT_EQ(targets.size(), 1u);
        if (row.beforeFix)
            row.beforeFix(world);
        std::string before = ReadWholeFile(world.file);
        FixPlaces places = world.Places();
        if (row.otherPlaces)
            places.policies.firefoxFolders = {world.sandbox / L"Elsewhere"};
        std::vector<std::wstring> lines;
        ChangeRunOutcome fixed = ApplyFixes(CapturingOptions(&lines), targets, places);
        EXPECT_EQ(fixed.done, 0u);
        EXPECT_EQ(fixed.left, (Left{{"firefox-policies-file", row.why}}));
        for (const ChangeEntry& entry : fixed.record.changes)
            EXPECT_NE(entry.state, ChangeState::Done);
        EXPECT_EQ(ReadWholeFile(world.file), before);
    }
}
