// Extensions registered by other programs: the review names where, the fix
// deletes the registration exactly as recorded, --undo writes it back.
#include <gtest/gtest.h>

#include <functional>
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

const char CHROME_ID[] = "abcdefghijklmnopabcdefghijklmnop";
const wchar_t CHROME_KEY[] = L"Software\\Google\\Chrome\\Extensions\\abcdefghijklmnopabcdefghijklmnop";
const wchar_t CHROME_WOW_KEY[] = L"Software\\WOW6432Node\\Google\\Chrome\\Extensions\\abcdefghijklmnopabcdefghijklmnop";
const wchar_t FIREFOX_KEY[] = L"Software\\Mozilla\\Firefox\\Extensions";

struct RegistrationWorld {
    Sandbox sandbox;
    TemporaryRegistryKey noPolicies{HKEY_CURRENT_USER,
                                    L"Software\\PopSwat-test-registration-" + std::to_wstring(GetCurrentProcessId())};
    TemporaryRegistryKey machine{
        HKEY_CURRENT_USER, L"Software\\PopSwat-test-registration-machine-" + std::to_wstring(GetCurrentProcessId())};
    TemporaryRegistryKey user{HKEY_CURRENT_USER,
                              L"Software\\PopSwat-test-registration-user-" + std::to_wstring(GetCurrentProcessId())};

    FixPlaces Places() const {
        FixPlaces places;
        places.launchers.registry = {machine.get(), user.get()};
        return places;
    }
    ReviewFindings Review() const { return CollectReview({noPolicies.get(), noPolicies.get()}, Places().launchers); }
    std::vector<FixTarget> Targets() const { return FixTargets(Review()); }
    std::vector<std::string> State() const { return RegistryState(machine.get(), user.get()); }
    // A Chrome profile holding the extension as installed by the registry provider.
    void ChromeExtension(const std::string& overrides) const {
        MakeFile(sandbox.localAppData() + L"\\Google\\Chrome\\User Data\\Default\\Preferences",
                 R"({"extensions":{"settings":{")" + std::string(CHROME_ID) +
                     R"(":{"location":3,"manifest":{"name":"Coupons","version":"2.4")" + overrides + "}}}}}");
    }
    void FirefoxAddon() const {
        MakeFile(sandbox.appData() + L"\\Mozilla\\Firefox\\Profiles\\x.default\\extensions.json",
                 R"({"schemaVersion":36,"addons":[{"id":"coupons@adware.example","type":"extension",)"
                 R"("version":"3.0","location":"winreg-app-user","active":true}]})");
    }
    ChangeRunOutcome UndoNewest(std::vector<std::wstring>* lines) const { return UndoNewestRun(Places(), lines); }
};

const std::string HOME_PAGE = R"(,"chrome_settings_overrides":{"homepage":"http://h.example/"})";

struct RegistrationRow {
    const char* name;
    std::function<void(const RegistrationWorld&)> make;
    std::wstring location;  // where the review names it
    bool recommended;
    std::wstring fixLeft;  // "" when the fix deletes it
};

}  // namespace

// Each row: the review names the registration and offers its fix, recommended
// only for an extension that takes over a page; the fix deletes exactly the
// registration (or leaves it with a line), the review then offers no fix for
// it, and --undo from the record on the disk puts the registry back byte for byte.
TEST(RegistrationFix, EachRegistrationIsDeletedAndPutBack) {
    const RegistrationRow rows[] = {
        {"a Chrome key of the user's, for an extension that takes over the home page",
         [](const RegistrationWorld& w) {
             w.ChromeExtension(HOME_PAGE);
             w.user.SetText(CHROME_KEY, L"path", L"C:\\ProgramData\\Coupons\\coupons.crx");
             w.user.SetText(CHROME_KEY, L"version", L"2.4");
             w.user.SetNumber(CHROME_KEY, L"installed", 1);
         },
         L"HKEY_CURRENT_USER\\" + std::wstring(CHROME_KEY), true, L""},
        {"a machine's key below WOW6432Node, for an extension that takes over nothing",
         [](const RegistrationWorld& w) {
             w.ChromeExtension("");
             w.machine.SetText(CHROME_WOW_KEY, L"update_url", L"https://clients2.google.com/service/update2/crx");
         },
         L"HKEY_LOCAL_MACHINE\\" + std::wstring(CHROME_WOW_KEY), false, L""},
        {"a Firefox value, the one registration among others",
         [](const RegistrationWorld& w) {
             w.FirefoxAddon();
             w.user.SetText(FIREFOX_KEY, L"coupons@adware.example", L"C:\\ProgramData\\Coupons\\coupons.xpi");
             w.user.SetText(FIREFOX_KEY, L"other@vendor.example", L"C:\\Vendor\\other.xpi");
         },
         L"HKEY_CURRENT_USER\\" + std::wstring(FIREFOX_KEY) + L"\\coupons@adware.example", false, L""},
        {"a key with a key of its own is no registration to delete",
         [](const RegistrationWorld& w) {
             w.ChromeExtension(HOME_PAGE);
             w.user.SetText(CHROME_KEY, L"path", L"C:\\x.crx");
             w.user.SetText(std::wstring(CHROME_KEY) + L"\\Settings", L"a", L"b");
         },
         L"HKEY_CURRENT_USER\\" + std::wstring(CHROME_KEY), true,
         L"it holds keys of its own, which no registration has"},
    };
    for (const RegistrationRow& row : rows) {
        SCOPED_TRACE(row.name);
        RegistrationWorld world;
        row.make(world);
        std::vector<std::string> before = world.State();
        ReviewFindings review = world.Review();
        ASSERT_EQ(review.extensions.size(), 1u);
        EXPECT_EQ(review.extensions[0].registeredAt, row.location);
        std::vector<FixTarget> targets = FixTargets(review);
        ASSERT_EQ(targets.size(), 1u);
        EXPECT_STREQ(targets[0].kind->name, "extension-registration");
        EXPECT_EQ(targets[0].recommended, row.recommended);

        std::vector<std::wstring> lines;
        ChangeRunOutcome fixed = ApplyFixes(CapturingOptions(&lines), targets, world.Places());
        if (!row.fixLeft.empty()) {
            EXPECT_EQ(fixed.left, (Left{{"extension-registration", row.fixLeft}}));
            EXPECT_EQ(world.State(), before);
            continue;
        }
        const ChangeEntry* done = OnlyChangeDone(fixed, targets[0]);
        ASSERT_TRUE(done);
        EXPECT_EQ(done->location, row.location);
        std::vector<std::string> after = world.State();
        EXPECT_LT(after.size(), before.size());
        // Only the registration went: every line that is left was there before, and none names it.
        for (const std::string& line : after)
            EXPECT_NE(std::find(before.begin(), before.end(), line), before.end()) << line;
        EXPECT_TRUE(world.Targets().empty());

        ChangeRunOutcome undone = world.UndoNewest(&lines);
        EXPECT_EQ(undone.done, 1u);
        EXPECT_EQ(undone.left, Left());
        EXPECT_EQ(world.State(), before);
        EXPECT_EQ(world.Targets().size(), 1u);
    }
}

// Changed between the review and the fix, or taken again before the undo: left with a line.
TEST(RegistrationFix, WhatChangedMeanwhileIsLeftAsItIs) {
    const struct {
        const char* name;
        std::function<void(const RegistrationWorld&)> beforeFix;
        std::wstring fixLeft;
        std::function<void(const RegistrationWorld&)> beforeUndo;
        std::wstring undoLeft;
    } rows[] = {
        {"deleted by its program before the fix",
         [](const RegistrationWorld& w) { RegDeleteTreeW(w.user.get(), L"Software\\Google"); },
         L"it is no longer there", nullptr, L""},
        {"registered anew before the undo", nullptr, L"",
         [](const RegistrationWorld& w) { w.user.SetText(CHROME_KEY, L"path", L"C:\\new.crx"); },
         L"another registration has its place now"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        RegistrationWorld world;
        world.ChromeExtension(HOME_PAGE);
        world.user.SetText(CHROME_KEY, L"path", L"C:\\x.crx");
        std::vector<FixTarget> targets = world.Targets();
        ASSERT_EQ(targets.size(), 1u);
        if (row.beforeFix)
            row.beforeFix(world);
        std::vector<std::wstring> lines;
        ChangeRunOutcome fixed = ApplyFixes(CapturingOptions(&lines), targets, world.Places());
        if (!row.fixLeft.empty()) {
            EXPECT_EQ(fixed.left, (Left{{"extension-registration", row.fixLeft}}));
            continue;
        }
        ASSERT_EQ(fixed.done, 1u);
        row.beforeUndo(world);
        std::vector<std::string> meanwhile = world.State();
        EXPECT_EQ(world.UndoNewest(&lines).left, (Left{{"extension-registration", row.undoLeft}}));
        EXPECT_EQ(world.State(), meanwhile);
    }
}

// A machine's registration takes an administrator: without one, nothing is tried.
TEST(RegistrationFix, AMachinesRegistrationNeedsAnAdministrator) {
    RegistrationWorld world;
    world.ChromeExtension(HOME_PAGE);
    world.machine.SetText(CHROME_KEY, L"path", L"C:\\x.crx");
    std::vector<std::string> before = world.State();
    bool (*elevated)() = isProcessElevated;
    isProcessElevated = [] { return false; };
    ReviewFindings review = world.Review();
    std::vector<std::wstring> lines;
    ChangeRunOutcome outcome = ApplyFixes(CapturingOptions(&lines), FixTargets(review), world.Places());
    bool administrator = !review.extensions.empty() && FixFor(review.extensions[0]).administrator;
    isProcessElevated = elevated;
    EXPECT_TRUE(administrator);
    EXPECT_EQ(outcome.left, (Left{{"extension-registration", L"needs an administrator"}}));
    EXPECT_EQ(world.State(), before);
}

// Only a browser's registration place is one the fix or the undo touches.
TEST(RegistrationFix, KnowsOnlyTheBrowsersRegistrationPlaces) {
    const struct {
        std::wstring text;
        bool known;
    } rows[] = {
        {L"HKEY_CURRENT_USER\\" + std::wstring(CHROME_KEY), true},
        {L"HKEY_LOCAL_MACHINE\\software\\microsoft\\edge\\extensions\\abcdefghijklmnopabcdefghijklmnop", true},
        {L"HKEY_CURRENT_USER\\Software\\BraveSoftware\\Brave-Browser\\Extensions\\abcdefghijklmnopabcdefghijklmnop",
         true},
        {L"HKEY_CURRENT_USER\\" + std::wstring(FIREFOX_KEY) + L"\\a@b.example", true},
        {L"HKEY_CURRENT_USER\\Software\\Google\\Chrome\\Extensions\\abcdefghijklmnopabcdefghijklmnoz", false},
        {L"HKEY_CURRENT_USER\\Software\\Google\\Chrome\\Extensions\\short", false},
        {L"HKEY_CURRENT_USER\\Software\\Google\\Chrome\\Extensions", false},
        {L"HKEY_CURRENT_USER\\Software\\Google\\Chrome\\Extensions\\..\\..\\..\\Microsoft", false},
        {L"HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Run\\a@b.example", false},
        {L"HKEY_CLASSES_ROOT\\" + std::wstring(CHROME_KEY), false},
    };
    for (const auto& row : rows) {
        ExtensionRegistration place;
        EXPECT_EQ(ParseExtensionRegistration(row.text, &place), row.known) << Utf8(row.text);
        if (row.known) {
            EXPECT_EQ(ExtensionRegistrationText(place), row.text);
        }
    }
}
