// Start-up, home and search pages of a Chromium-family profile: which findings
// get the fix, what the fix takes out of Preferences and Secure Preferences
// (and nothing else), and how --undo puts the files back.
#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

#include <windows.h>

#include "browsers/json_document.h"
#include "engine/engine_testing.h"
#include "review/review.h"
#include "tests/fix_outcomes.h"
#include "tests/test_support.h"

namespace {

// Shaped like the files of a Chrome profile on a Windows machine that is not
// managed: the protected values and their MACs in Secure Preferences, the rest
// and the search engine's mirror in Preferences. On a domain-joined machine the
// protected values sit in Preferences too.
const char SECURE[] =
    R"({"default_search_provider_data":{"template_url_data":{"keyword":"find","short_name":"Find Fast",)"
    R"("url":"https://find-fast.example/?q={searchTerms}","date_created":"13345678901234567"}},)"
    R"("extensions":{"settings":{"aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa":{"location":1,"state":1}}},)"
    R"("homepage":"https://hijack.example/","homepage_is_newtabpage":false,)"
    R"("protection":{"macs":{"default_search_provider_data":{"template_url_data":"A1B2"},"homepage":"C3D4",)"
    R"("homepage_is_newtabpage":"E5F6","session":{"restore_on_startup":"0A0B","startup_urls":"1C1D"}},)"
    R"("super_mac":"FFEE"},"session":{"restore_on_startup":4,"startup_urls":["https://start.example/"]}})";
const char PREFERENCES[] =
    R"({"browser":{"show_home_button":true,"window_placement":{"bottom":900,"left":10}},)"
    R"("default_search_provider_data":{"mirrored_template_url_data":{"keyword":"find",)"
    R"("url":"https://find-fast.example/?q={searchTerms}"}},"homepage":"https://hijack.example/",)"
    R"("profile":{"name":"Person 1","exit_type":"Normal"},"session":{"restore_on_startup":4,)"
    R"("startup_urls":["https://start.example/"]}})";

JsonDocument Parsed(const std::string& text) {
    JsonDocument document;
    EXPECT_EQ(ParseJsonObjectExactly(text, &document), JsonLoad::Done) << text;
    return document;
}

// The text with the dotted names removed, as a test reads it: every member
// that the names say, wherever they say.
std::string Without(const std::string& text, const std::vector<std::vector<const char*>>& paths) {
    JsonDocument document = Parsed(text);
    for (const auto& path : paths) {
        JsonValue* object = &document;
        for (std::size_t i = 0; object && i + 1 < path.size(); ++i)
            object = object->HasMember(path[i]) ? &(*object)[path[i]] : nullptr;
        if (object && object->IsObject() && object->HasMember(path.back()))
            object->EraseMember(object->FindMember(path.back()));
    }
    std::string bytes;
    SerializeJson(document, &bytes);
    return bytes;
}

struct RemovalRow {
    const char* name;
    const char* text;
    unsigned settings;
    bool secure;
    std::vector<std::vector<const char*>> gone;
};

void ExpectRemoval(const RemovalRow& row) {
    SCOPED_TRACE(row.name);
    StartupRemoval removal = RemoveStartupSettings(row.text, row.settings, row.secure);
    ASSERT_TRUE(removal.usable);
    EXPECT_EQ(removal.removed.size(), row.gone.size());
    if (row.gone.empty()) {
        EXPECT_TRUE(removal.bytes.empty());
        return;
    }
    EXPECT_TRUE(SameJson(Parsed(removal.bytes), Parsed(Without(row.text, row.gone))));
    // protection stays as it was, MACs of the removed values included.
    JsonDocument before = Parsed(row.text), after = Parsed(removal.bytes);
    if (before.HasMember("protection")) {
        EXPECT_TRUE(SameJson(before["protection"], after["protection"]));
    }
}

}  // namespace

TEST(StartupPageRemoval, TakesOutOnlyTheValuesOfTheChosenPages) {
    const RemovalRow rows[] = {
        {"home page from Secure Preferences",
         SECURE,
         SETTING_HOME_PAGE,
         true,
         {{"homepage"}, {"homepage_is_newtabpage"}}},
        {"home page from Preferences, with the home button",
         PREFERENCES,
         SETTING_HOME_PAGE,
         false,
         {{"homepage"}, {"browser", "show_home_button"}}},
        {"start-up pages",
         SECURE,
         SETTING_STARTUP_PAGES,
         true,
         {{"session", "restore_on_startup"}, {"session", "startup_urls"}}},
        {"search engine in Secure Preferences",
         SECURE,
         SETTING_SEARCH_ENGINE,
         true,
         {{"default_search_provider_data", "template_url_data"}}},
        {"search engine's mirror in Preferences",
         PREFERENCES,
         SETTING_SEARCH_ENGINE,
         false,
         {{"default_search_provider_data", "mirrored_template_url_data"}}},
        {"all three",
         SECURE,
         SETTING_STARTUP_PAGES | SETTING_HOME_PAGE | SETTING_SEARCH_ENGINE,
         true,
         {{"homepage"},
          {"homepage_is_newtabpage"},
          {"session", "restore_on_startup"},
          {"session", "startup_urls"},
          {"default_search_provider_data", "template_url_data"}}},
        {"nothing of it there", R"({"profile":{"name":"x"}})", SETTING_HOME_PAGE | SETTING_SEARCH_ENGINE, false, {}},
        {"a value of another type is still taken out",
         R"({"homepage":7,"session":"broken"})",
         SETTING_HOME_PAGE | SETTING_STARTUP_PAGES,
         false,
         {{"homepage"}}},
    };
    for (const RemovalRow& row : rows)
        ExpectRemoval(row);
}

// The browser keeps the last copy of a repeated name: every copy goes, or the one before would come back.
TEST(StartupPageRemoval, RepeatedNamesAllGoAndUnusableTextIsRefused) {
    StartupRemoval repeated = RemoveStartupSettings(
        R"({"homepage":"https://a.example/","x":1,"homepage":"https://b.example/"})", SETTING_HOME_PAGE, false);
    ASSERT_TRUE(repeated.usable);
    EXPECT_EQ(repeated.bytes, R"({"x":1})");
    for (const char* text : {"", "{\"homepage\":", "[1]", "{\"homepage\":\"\xff\"}"})
        EXPECT_FALSE(RemoveStartupSettings(text, SETTING_HOME_PAGE, false).usable) << text;
}

// A page that a policy sets or an enabled extension takes over gets no fix of its value.
TEST(StartupPageFix, OnlyPagesNothingElseSetsAreFixed) {
    const ProfilePlace chrome = {L"Chrome", L"Default"};
    ExtensionFinding homeExtension;
    homeExtension.place = chrome;
    homeExtension.id = L"bbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbb";
    homeExtension.overrides = OVERRIDES_HOME_PAGE;
    const struct {
        const char* name;
        StartupKind kind;
        std::vector<PolicyFinding> policies;
        std::vector<ExtensionFinding> extensions;
        bool fixed;
    } rows[] = {
        {"nothing else", StartupKind::HomePage, {}, {}, true},
        {"a home page policy",
         StartupKind::HomePage,
         {{L"Chrome", true, L"HomepageLocation", L"x", PolicyEffect::HomePage}},
         {},
         false},
        {"another browser's policy",
         StartupKind::HomePage,
         {{L"Edge", false, L"HomepageLocation", L"x", PolicyEffect::HomePage}},
         {},
         true},
        {"a policy of another page",
         StartupKind::SearchEngine,
         {{L"Chrome", false, L"HomepageLocation", L"x", PolicyEffect::HomePage}},
         {},
         true},
        {"a start-up policy",
         StartupKind::StartupPage,
         {{L"Chrome", false, L"RestoreOnStartupURLs\\1", L"x", PolicyEffect::StartupPages}},
         {},
         false},
        {"an extension that takes it over", StartupKind::HomePage, {}, {homeExtension}, false},
        {"an extension that takes over another page", StartupKind::SearchEngine, {}, {homeExtension}, true},
        {"a disabled extension",
         StartupKind::HomePage,
         {},
         {[&] {
             ExtensionFinding off = homeExtension;
             off.enabled = false;
             return off;
         }()},
         true},
        {"an extension of another profile",
         StartupKind::HomePage,
         {},
         {[&] {
             ExtensionFinding other = homeExtension;
             other.place.profile = L"Profile 1";
             return other;
         }()},
         true},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        ReviewFindings findings;
        findings.startup.push_back({chrome, row.kind, L"https://hijack.example/", L"", L"Secure Preferences"});
        findings.policies = row.policies;
        findings.extensions = row.extensions;
        NoteStartupOwners(&findings);
        FindingFix fix = FixFor(findings.startup[0]);
        EXPECT_EQ(fix.kind != nullptr, row.fixed);
        EXPECT_EQ(fix.recommended, row.fixed);
        // The policy has a fix of its own; the page gets one only when nothing else sets it.
        std::size_t pages = 0, policies = 0;
        for (const FixTarget& target : FixTargets(findings)) {
            pages += std::string_view(target.kind->name) == "startup-page";
            policies += std::string_view(target.kind->name) == "policy-value";
        }
        EXPECT_EQ(pages, row.fixed ? 1u : 0u);
        EXPECT_EQ(policies, row.policies.size());
    }
    // Firefox's pages are no Chromium profile's values.
    ReviewFindings firefox;
    firefox.startup.push_back(
        {{L"Firefox", L"abc.default"}, StartupKind::HomePage, L"https://x.example/", L"", L"user.js"});
    EXPECT_NE(FixFor(firefox.startup[0]).kind, FindFixKind("startup-page"));
}

namespace {

struct ChromeWorld {
    Sandbox sandbox;
    NoOutsidePlaces outside{L"startup"};
    std::wstring profile = sandbox.localAppData() + L"\\Google\\Chrome\\User Data\\Default";
    std::wstring preferences = profile + L"\\Preferences";
    std::wstring secure = profile + L"\\Secure Preferences";

    ChromeWorld() {
        MakeFile(preferences, PREFERENCES);
        MakeFile(secure, SECURE);
    }
    FixPlaces Places() const { return outside.Places(); }
    std::vector<FixTarget> Targets() const { return outside.Targets("startup-page"); }
    ChangeRunOutcome UndoNewest(std::vector<std::wstring>* lines) const { return UndoNewestRun(Places(), lines); }
};

std::vector<ChangeState> States(const ChangeRecord& record) {
    std::vector<ChangeState> states;
    for (const ChangeEntry& entry : record.changes)
        states.push_back(entry.state);
    return states;
}

bool AnyLineHas(const std::vector<std::wstring>& lines, const std::wstring& part) {
    for (const std::wstring& line : lines) {
        if (line.find(part) != std::wstring::npos)
            return true;
    }
    return false;
}

}  // namespace

// The three pages fixed in one run: the values gone from both files, the rest
// as it was; undone byte for byte; once the browser has rewritten a file, the
// undo leaves both and names the copies.
TEST(StartupPageFix, BothFilesAreFixedAndPutBackTogether) {
    SKIP_UNLESS_UNDER_WINE();  // the fix closes the browsers, by their real names
    ChromeWorld world;
    std::vector<FixTarget> targets = world.Targets();
    ASSERT_EQ(targets.size(), 3u);  // start-up page, home page, search engine
    std::vector<std::wstring> lines;
    ChangeRunOutcome fixed = ApplyFixes(CapturingOptions(&lines), targets, world.Places());
    EXPECT_EQ(fixed.done, 3u);
    EXPECT_TRUE(fixed.left.empty());
    EXPECT_EQ(States(fixed.record), std::vector<ChangeState>(6, ChangeState::Done));  // 3 findings x 2 files
    EXPECT_TRUE(world.Targets().empty());
    const std::vector<std::vector<const char*>> all = {{"homepage"},
                                                       {"homepage_is_newtabpage"},
                                                       {"browser", "show_home_button"},
                                                       {"session", "restore_on_startup"},
                                                       {"session", "startup_urls"},
                                                       {"default_search_provider_data", "template_url_data"},
                                                       {"default_search_provider_data", "mirrored_template_url_data"}};
    EXPECT_TRUE(SameJson(Parsed(ReadWholeFile(world.secure)), Parsed(Without(SECURE, all))));
    EXPECT_TRUE(SameJson(Parsed(ReadWholeFile(world.preferences)), Parsed(Without(PREFERENCES, all))));

    ChangeRunOutcome undone = world.UndoNewest(&lines);
    EXPECT_EQ(undone.done, 6u);
    EXPECT_EQ(ReadWholeFile(world.secure), SECURE);
    EXPECT_EQ(ReadWholeFile(world.preferences), PREFERENCES);
    EXPECT_EQ(world.Targets().size(), 3u);

    // The browser ran and wrote Secure Preferences anew: neither file goes back.
    ASSERT_EQ(ApplyFixes(CapturingOptions(&lines), world.Targets(), world.Places()).done, 3u);
    std::string browserWrote = ReadWholeFile(world.secure) + " ";
    DeleteFileW(world.secure.c_str());
    MakeFile(world.secure, browserWrote);
    std::string preferencesFixed = ReadWholeFile(world.preferences);
    lines.clear();
    ChangeRunOutcome refused = world.UndoNewest(&lines);
    EXPECT_EQ(refused.done, 0u);
    EXPECT_EQ(refused.left.size(), 6u);
    EXPECT_EQ(ReadWholeFile(world.secure), browserWrote);
    EXPECT_EQ(ReadWholeFile(world.preferences), preferencesFixed);
    EXPECT_TRUE(AnyLineHas(lines, L"would reset a value put back now anyway"));
    EXPECT_TRUE(AnyLineHas(lines, refused.record.changes[0].copy));
}

// A profile one of whose files cannot be used is left whole: the other file is not changed either.
TEST(StartupPageFix, AProfileWithAFileThatCannotBeUsedIsLeftWhole) {
    SKIP_UNLESS_UNDER_WINE();
    const struct {
        const char* name;
        std::function<void(ChromeWorld&)> spoil;
    } rows[] = {
        {"Secure Preferences cut short",
         [](ChromeWorld& world) {
             DeleteFileW(world.secure.c_str());
             MakeFile(world.secure, std::string(SECURE).substr(0, 100));
         }},
        {"Secure Preferences read-only",
         [](ChromeWorld& world) { SetFileAttributesW(world.secure.c_str(), FILE_ATTRIBUTE_READONLY); }},
        {"Preferences a link to a file elsewhere",
         [](ChromeWorld& world) {
             MakeFile(world.sandbox / L"elsewhere", PREFERENCES);
             DeleteFileW(world.preferences.c_str());
             ASSERT_TRUE(MakeUnixSymlink(world.sandbox / L"elsewhere", world.preferences));
         }},
        {"Preferences held by another program", nullptr},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        ChromeWorld world;
        std::vector<FixTarget> targets = world.Targets();
        ASSERT_FALSE(targets.empty());
        UniqueHandle held;
        if (row.spoil)
            row.spoil(world);
        else
            held = HoldFile(world.preferences);
        std::string secureBefore = ReadWholeFile(world.secure);
        std::vector<std::wstring> lines;
        ChangeRunOutcome fixed = ApplyFixes(CapturingOptions(&lines), targets, world.Places());
        EXPECT_EQ(fixed.done, 0u);
        EXPECT_EQ(fixed.left.size(), targets.size());
        held.reset();
        SetFileAttributesW(world.secure.c_str(), FILE_ATTRIBUTE_NORMAL);
        EXPECT_EQ(ReadWholeFile(world.preferences), PREFERENCES);
        EXPECT_EQ(ReadWholeFile(world.secure), secureBefore);
    }
}

// A dry run lists what it would remove and writes nothing, not even a record.
TEST(StartupPageFix, ADryRunChangesNothing) {
    SKIP_UNLESS_UNDER_WINE();
    ChromeWorld world;
    std::vector<std::wstring> lines;
    ChangeRunOutcome preview = ApplyFixes(CapturingOptions(&lines, true), world.Targets(), world.Places());
    EXPECT_EQ(preview.done, 0u);
    EXPECT_TRUE(preview.folder.empty());
    EXPECT_TRUE(AnyLineHas(lines,
                           L"[preview] would remove session.restore_on_startup, session.startup_urls, homepage, "
                           L"homepage_is_newtabpage, default_search_provider_data.template_url_data from "));
    EXPECT_EQ(ReadWholeFile(world.preferences), PREFERENCES);
    EXPECT_EQ(ReadWholeFile(world.secure), SECURE);
}

// An entry edited to name another file than a profile's settings is refused; the rest of the run still goes back.
TEST(StartupPageFix, AnEntryNamingAnotherFileIsRefused) {
    SKIP_UNLESS_UNDER_WINE();
    ChromeWorld world;
    std::vector<std::wstring> lines;
    ChangeRunOutcome fixed = ApplyFixes(CapturingOptions(&lines), world.Targets(), world.Places());
    ASSERT_EQ(fixed.done, 3u);
    std::wstring other = world.profile + L"\\Bookmarks";
    MakeFile(other, "{}");
    ChangeRecord record = fixed.record;
    for (ChangeEntry& entry : record.changes) {
        if (entry.location == world.secure)
            entry.location = other;
    }
    std::wstring file = fixed.folder + L"\\changes.json";
    DeleteFileW(file.c_str());
    MakeFile(file, ChangeRecordJson(record));
    ChangeRunOutcome undone = world.UndoNewest(&lines);
    EXPECT_EQ(undone.done, 3u);  // Preferences, for each of the three findings
    EXPECT_EQ(undone.left.size(), 3u);
    EXPECT_EQ(ReadWholeFile(other), "{}");
    EXPECT_EQ(ReadWholeFile(world.preferences), PREFERENCES);
}
