// Browser policy values fixed from the review and put back: one value deleted
// with its type and bytes recorded, below test keys that stand for the two roots.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include <windows.h>

#include "engine/engine_testing.h"
#include "tests/fix_outcomes.h"
#include "review/review.h"
#include "tests/registry_state.h"
#include "tests/test_support.h"

namespace {

using Left = std::vector<std::pair<std::string, std::wstring>>;

struct PolicyValue {
    bool machine;
    const wchar_t* key;  // below the root
    const wchar_t* name;
    DWORD type;
    std::wstring text;  // for a number, its decimal digits
};

struct PolicyWorld {
    Sandbox sandbox;
    TemporaryRegistryKey machine{HKEY_CURRENT_USER,
                                 L"Software\\PopSwat-test-policy-machine-" + std::to_wstring(GetCurrentProcessId())};
    TemporaryRegistryKey user{HKEY_CURRENT_USER,
                              L"Software\\PopSwat-test-policy-user-" + std::to_wstring(GetCurrentProcessId())};

    PolicyRoots Roots() const { return {machine.get(), user.get()}; }
    FixPlaces Places() const { return {LauncherSources(), Roots()}; }
    void Set(const PolicyValue& value) const {
        const TemporaryRegistryKey& root = value.machine ? machine : user;
        if (value.type == REG_DWORD)
            root.SetNumber(value.key, value.name, std::stoul(value.text));
        else
            root.Set(value.key, value.name, value.type, value.text.c_str(),
                     static_cast<DWORD>((value.text.size() + 1) * sizeof(wchar_t)));
    }
    std::vector<FixTarget> Targets() const { return FixTargets(CollectReview(Roots(), LauncherSources())); }
    ChangeRunOutcome UndoNewest(std::vector<std::wstring>* lines) const { return UndoNewestRun(Places(), lines); }
};

std::vector<std::string> State(const PolicyWorld& world) {
    return RegistryState(world.machine.get(), world.user.get());
}

const wchar_t CHROME[] = L"SOFTWARE\\Policies\\Google\\Chrome";
const wchar_t FORCELIST[] = L"SOFTWARE\\Policies\\Google\\Chrome\\ExtensionInstallForcelist";

// The values every row starts with besides its own: the list's other entry, and two without a fix.
const PolicyValue OTHERS[] = {
    {true, CHROME, L"BrowserSignin", REG_DWORD, L"0"},
    {true, L"SOFTWARE\\Policies\\Google\\Chrome\\ExtensionSettings\\*", L"installation_mode", REG_SZ, L"allowed"},
    {false, FORCELIST, L"2", REG_SZ,
     L"bbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbb;https://clients2.google.com/service/update2/crx"},
};

struct PolicyRow {
    const char* name;
    PolicyValue value;  // the one value fixed
};

const PolicyRow ROWS[] = {
    {"a forced extension, one entry of the list",
     {false, FORCELIST, L"1", REG_SZ, L"aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa;https://ads.example/update.xml"}},
    {"a machine's home page", {true, CHROME, L"HomepageLocation", REG_SZ, L"https://home.example/"}},
    {"start-up pages as a number",
     {true, L"SOFTWARE\\Policies\\Microsoft\\Edge", L"RestoreOnStartup", REG_DWORD, L"4"}},
    {"an expandable search address stays expandable",
     {false, CHROME, L"DefaultSearchProviderSearchURL", REG_EXPAND_SZ, L"https://find.example/?q={searchTerms}"}},
    {"a new-tab page of an Opera edition",
     {true, L"SOFTWARE\\Policies\\Opera Software\\Opera Stable", L"NewTabPageLocation", REG_SZ,
      L"https://tab.example/"}},
    {"Firefox's search engine",
     {false, L"SOFTWARE\\Policies\\Mozilla\\Firefox\\SearchEngines", L"Default", REG_SZ, L"Deals"}},
};

void Populate(const PolicyWorld& world, const PolicyValue& value) {
    for (const PolicyValue& other : OTHERS)
        world.Set(other);
    world.Set(value);
}

// The review's targets for that one value.
std::vector<FixTarget> TargetsOf(const PolicyWorld& world, const PolicyValue& value) {
    std::wstring ending = std::wstring(L"\\") + value.key + L"\\" + value.name;
    std::vector<FixTarget> chosen;
    for (const FixTarget& target : world.Targets()) {
        if (EndsWithIgnoringAsciiCase(target.location, ending))
            chosen.push_back(target);
    }
    return chosen;
}

bool AnyLineHolds(const std::vector<std::wstring>& lines, const std::wstring& text) {
    return std::any_of(lines.begin(), lines.end(),
                       [&](const std::wstring& l) { return l.find(text) != std::wstring::npos; });
}

}  // namespace

// Each row: the one value has the fix (not recommended), the fix deletes only it
// with its exact type and bytes recorded, the review no longer names it, and the
// undo from the record on the disk writes it back byte for byte, once.
TEST(PolicyFix, EachValueIsDeletedAloneAndPutBack) {
    for (const PolicyRow& row : ROWS) {
        SCOPED_TRACE(row.name);
        PolicyWorld world;
        Populate(world, row.value);
        std::vector<std::string> before = State(world);
        // The list's other entry is the one further target: ExtensionSettings and BrowserSignin have no fix.
        ASSERT_EQ(world.Targets().size(), 2u);
        std::vector<FixTarget> targets = TargetsOf(world, row.value);
        ASSERT_EQ(targets.size(), 1u);
        EXPECT_STREQ(targets[0].kind->name, "policy-value");
        EXPECT_FALSE(targets[0].recommended);
        EXPECT_FALSE(targets[0].kind->closesBrowsers);

        std::vector<std::wstring> lines;
        ChangeRunOutcome fixed = ApplyFixes(CapturingOptions(&lines), targets, world.Places());
        const ChangeEntry* done = OnlyChangeDone(fixed, targets[0]);
        ASSERT_TRUE(done);
        const ChangeEntry& entry = *done;
        EXPECT_EQ(entry.machine, row.value.machine);
        EXPECT_EQ(entry.valueName, row.value.name);
        EXPECT_EQ(entry.valueType, row.value.type);
        std::vector<std::string> after = State(world);
        std::vector<std::string> expected;
        std::string gone =
            (row.value.machine ? "machine\\" : "user\\") + Utf8(row.value.key) + "\\" + Utf8(row.value.name) + "=";
        std::copy_if(before.begin(), before.end(), std::back_inserter(expected),
                     [&](const std::string& line) { return line.rfind(gone, 0) != 0; });
        EXPECT_EQ(after, expected);
        EXPECT_EQ(after.size() + 1, before.size());
        EXPECT_TRUE(TargetsOf(world, row.value).empty());
        EXPECT_EQ(world.Targets().size(), 1u);

        ChangeRunOutcome undone = world.UndoNewest(&lines);
        EXPECT_EQ(undone.done, 1u);
        EXPECT_EQ(undone.left, Left());
        EXPECT_EQ(State(world), before);
        EXPECT_EQ(TargetsOf(world, row.value).size(), 1u);
        EXPECT_TRUE(world.UndoNewest(&lines).nothingToDo);
        EXPECT_EQ(State(world), before);
    }
}

// What changed between the review and the fix, or between the fix and the
// undo, is left as the other program made it, with a line.
TEST(PolicyFix, WhatChangedMeanwhileIsLeftWithALine) {
    const PolicyValue home = {false, CHROME, L"HomepageLocation", REG_SZ, L"https://home.example/"};
    PolicyValue rewritten = home;
    rewritten.text = L"https://mine.example/";
    PolicyValue asNumber = {false, CHROME, L"HomepageLocation", REG_DWORD, L"1"};
    const struct {
        const char* name;
        std::function<void(PolicyWorld&)> beforeFix;
        std::wstring fixLeft;  // "" when the fix is done
        std::function<void(PolicyWorld&)> beforeUndo;
        std::wstring undoLeft;
    } rows[] = {
        {"rewritten before the fix", [&](PolicyWorld& w) { w.Set(rewritten); }, L"it has changed since the review",
         nullptr, L""},
        {"of another type before the fix", [&](PolicyWorld& w) { w.Set(asNumber); }, L"it has changed since the review",
         nullptr, L""},
        {"deleted before the fix", [](PolicyWorld& w) { RegDeleteTreeW(w.user.get(), L"SOFTWARE\\Policies"); },
         L"it is no longer there", nullptr, L""},
        {"set anew before the undo", nullptr, L"", [&](PolicyWorld& w) { w.Set(rewritten); },
         L"holds another value now"},
        // A list whose last entry went may lose its key to another program: it is made again.
        {"its key gone before the undo", nullptr, L"",
         [](PolicyWorld& w) { RegDeleteTreeW(w.user.get(), L"SOFTWARE\\Policies"); }, L""},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        PolicyWorld world;
        world.Set(home);
        std::vector<FixTarget> targets = world.Targets();
        ASSERT_EQ(targets.size(), 1u);
        if (row.beforeFix)
            row.beforeFix(world);
        std::vector<std::string> reviewed = State(world);
        std::vector<std::wstring> lines;
        ChangeRunOutcome fixed = ApplyFixes(CapturingOptions(&lines), targets, world.Places());
        if (!row.fixLeft.empty()) {
            EXPECT_EQ(fixed.done, 0u);
            EXPECT_EQ(fixed.left, (Left{{"policy-value", row.fixLeft}}));
            EXPECT_TRUE(AnyLineHolds(lines, L"left as it is (" + row.fixLeft + L")"));
            EXPECT_EQ(State(world), reviewed);
            EXPECT_TRUE(fixed.folder.empty());
            continue;
        }
        ASSERT_EQ(fixed.done, 1u);
        row.beforeUndo(world);
        std::vector<std::string> meanwhile = State(world);
        ChangeRunOutcome undone = world.UndoNewest(&lines);
        if (row.undoLeft.empty()) {
            EXPECT_EQ(undone.done, 1u);
            EXPECT_EQ(State(world), reviewed);
        } else {
            EXPECT_EQ(undone.left, (Left{{"policy-value", row.undoLeft}}));
            EXPECT_EQ(State(world), meanwhile);
        }
    }
}

// The policy keys take an administrator, the user's too: without one the
// review says so, the fix is not tried, and nothing is recorded.
TEST(PolicyFix, WithoutAnAdministratorNothingIsTried) {
    PolicyWorld world;
    world.Set({false, CHROME, L"HomepageLocation", REG_SZ, L"https://home.example/"});
    std::vector<std::string> before = State(world);
    bool (*elevated)() = isProcessElevated;
    isProcessElevated = [] { return false; };
    ReviewFindings review = CollectReview(world.Roots(), LauncherSources());
    std::vector<FixTarget> targets = FixTargets(review);
    std::vector<std::wstring> lines;
    ChangeRunOutcome outcome = ApplyFixes(CapturingOptions(&lines), targets, world.Places());
    bool administrator = !review.policies.empty() && FixFor(review.policies[0]).administrator;
    isProcessElevated = elevated;
    EXPECT_TRUE(administrator);
    EXPECT_EQ(outcome.left, (Left{{"policy-value", L"needs an administrator"}}));
    EXPECT_EQ(State(world), before);
    EXPECT_TRUE(outcome.folder.empty());
}

// An entry of a record is put back only below a browser's policy key.
TEST(PolicyFix, TheUndoWritesOnlyBrowserPolicies) {
    const struct {
        const wchar_t* key;
        std::wstring refusal;
    } rows[] = {
        {L"SOFTWARE\\Policies\\Google\\Chrome", L""},
        {L"Software\\policies\\google\\chrome\\ExtensionInstallForcelist", L""},
        {L"SOFTWARE\\Policies\\Google\\ChromeX", L"not a browser policy value"},
        {L"SOFTWARE\\Policies\\Google", L"not a browser policy value"},
        {L"SOFTWARE\\Policies\\Microsoft\\Windows\\System", L"not a browser policy value"},
        {L"SOFTWARE\\Policies\\Google\\Chrome\\..\\..\\Microsoft", L"not a browser policy value"},
        {L"Software\\Microsoft\\Windows\\CurrentVersion\\Run", L"not a browser policy value"},
    };
    for (const auto& row : rows) {
        ChangeEntry entry;
        entry.kind = "policy-value";
        entry.valueKey = row.key;
        entry.valueName = L"HomepageLocation";
        EXPECT_EQ(PolicyRefusal(entry), row.refusal) << Utf8(row.key);
    }
}
