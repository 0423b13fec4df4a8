#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "audit/audit.h"
#include "review/review.h"
#include "tests/table_rows.h"
#include "tests/test_support.h"

namespace {

const char ID[] = "kdjhfgmnbvcxzlkjhgfdsapoiuytrewq";

// A settings file as the browser writes it: compact, with keys around the ones read.
std::string Settings(const std::string& members) {
    return R"({"account_values":{"browser":{"show_home_button":true}},)" + members +
           R"(,"protection":{"macs":{"homepage":"8A31C0","session":{"startup_urls":"77F1"}}}})";
}

std::string Extension(const std::string& record) {
    return Settings(R"("extensions":{"settings":{")" + std::string(ID) + R"(":)" + record + "}}");
}

std::string Unreadable(const std::string& file, JsonLoad reason) {
    return "unreadable " + file + " " + std::to_string(static_cast<int>(reason));
}

// One line per finding, in a form a table can hold.
std::vector<std::string> Describe(const ReviewFindings& findings) {
    static const char* const STARTUP[] = {"startup_page", "home_page", "search_engine"};
    static const char* const INSTALLED_BY[] = {"store",  "file",         "other_program",  "unpacked", "built_in",
                                               "policy", "command_line", "computer_maker", "unknown"};
    std::vector<std::string> lines;
    for (const SitePermissionFinding& f : findings.sitePermissions)
        lines.push_back(std::string("site ") + SitePermissionName(f.grant.permission) + " " +
                        (f.grant.allSites ? "*" : Utf8(f.grant.site)));
    for (const StartupFinding& f : findings.startup)
        lines.push_back(std::string(STARTUP[static_cast<int>(f.kind)]) + " " +
                        (f.label.empty() ? "" : Utf8(f.label) + " ") + Utf8(f.value) + " (" + Utf8(f.source) + ")");
    for (const ExtensionFinding& f : findings.extensions)
        lines.push_back("extension " + Utf8(f.id) + " " + INSTALLED_BY[static_cast<int>(f.installedBy)] +
                        " overrides " + std::to_string(f.overrides) + (f.enabled ? " on " : " off ") + Utf8(f.name) +
                        " v" + Utf8(f.version));
    for (const UnreadableFile& f : findings.unreadable)
        lines.push_back(Unreadable(Utf8(f.file), f.reason));
    return lines;
}

std::vector<std::string> Review(const std::wstring& profile) {
    ReviewFindings findings;
    ReviewChromiumProfile({L"Google Chrome", L"Default"}, profile, &findings);
    return Describe(findings);
}

}  // namespace

TEST(ReviewChromiumProfile, FindsEachKindOfFindingWhereTheBrowserKeepsIt) {
    struct Row {
        const char* name;
        std::string preferences;
        std::string securePreferences;
        std::vector<std::string> expected;
    };
    const std::string startup =
        R"("session":{"restore_on_startup":4,"startup_urls":["http://search-hijack.example/","chrome://newtab/"]})";
    const Row rows[] = {
        {"a notification grant in Preferences",
         Settings(R"("profile":{"content_settings":{"exceptions":{"notifications":{"https://win-prize.example:443,*":)"
                  R"({"last_modified":"13345678901234567","setting":1}}}}})"),
         "",
         {"site notifications https://win-prize.example:443"}},
        {"start-up pages in Secure Preferences",
         "",
         Settings(startup),
         {"startup_page http://search-hijack.example/ (Secure Preferences)"}},
        {"start-up pages in Preferences",
         Settings(startup),
         "",
         {"startup_page http://search-hijack.example/ (Preferences)"}},
        {"Secure Preferences wins a key held by both",
         Settings(startup),
         Settings(R"("session":{"restore_on_startup":1})"),
         {}},
        {"start-up pages listed but not opened",
         Settings(R"("session":{"restore_on_startup":5,"startup_urls":["x"]})"),
         "",
         {}},
        {"a home page in use",
         Settings(R"("homepage":"http://home.example/","homepage_is_newtabpage":false)"),
         "",
         {"home_page http://home.example/ (Preferences)"}},
        {"a home page behind the new tab page",
         Settings(R"("homepage":"http://home.example/","homepage_is_newtabpage":true)"),
         Settings(R"("homepage":"edge://newtab","homepage_is_newtabpage":false)"),
         {}},
        {"a search engine of its own",
         "",
         Settings(R"("default_search_provider_data":{"template_url_data":{"keyword":"hj","short_name":"Hijack",)"
                  R"("url":"http://search.example/?q={searchTerms}","prepopulate_id":0}})"),
         {"search_engine Hijack http://search.example/?q={searchTerms} (Secure Preferences)"}},
        {"Chrome's own Google template, without a prepopulate_id as old profiles hold it",
         "",
         Settings(R"("default_search_provider_data":{"template_url_data":{"short_name":"Google","keyword":)"
                  R"("google.com","url":"{google:baseURL}search?q={searchTerms}&{google:RLZ}{google:originalQueryFor)"
                  R"(SuggestionParam}ie={inputEncoding}","prepopulate_id":0}})"),
         {}},
        {"a Google template elsewhere in the address is not the browser's own",
         "",
         Settings(R"("default_search_provider_data":{"template_url_data":{"short_name":"G",)"
                  R"("url":"http://q.example/?r={google:baseURL}&q={searchTerms}"}})"),
         {"search_engine G http://q.example/?r={google:baseURL}&q={searchTerms} (Secure Preferences)"}},
        {"a search engine from the browser's list",
         Settings(R"("default_search_provider_data":{"template_url_data":{"short_name":"Bing",)"
                  R"("url":"https://www.bing.com/search?q={searchTerms}","prepopulate_id":3}})"),
         "",
         {}},
        {"settings of the wrong shape",
         Settings(R"("session":{"restore_on_startup":"4","startup_urls":"http://x.example/"},"homepage":5,)"
                  R"("homepage_is_newtabpage":0,"default_search_provider_data":[])"),
         Settings(R"("session":{"restore_on_startup":4,"startup_urls":{"a":"http://x.example/"}})"),
         {}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        TempFolder profile;
        if (!row.preferences.empty())
            MakeFile(profile / L"Preferences", row.preferences);
        if (!row.securePreferences.empty())
            MakeFile(profile / L"Secure Preferences", row.securePreferences);
        EXPECT_EQ(Review(profile.path()), row.expected);
    }
}

TEST(ReviewChromiumProfile, SaysHowEachExtensionWasInstalledAndWhatItTakesOver) {
    const std::string id = ID;
    const std::string manifest = R"("manifest":{"name":"Coupons","version":"2.4")";
    struct Row {
        std::string record;
        std::string expected;  // "" when the extension is not listed
    };
    const Row rows[] = {
        {R"({"location":1,"creation_flags":9,)" + manifest + "}}", ""},
        {R"({"location":1,"from_webstore":true,)" + manifest + "}}", ""},
        {R"({"location":1,"creation_flags":1,)" + manifest + "}}", "file overrides 0 on Coupons v2.4"},
        {R"({"location":2,)" + manifest + "}}", "other_program overrides 0 on Coupons v2.4"},
        {R"({"location":3,"state":0,)" + manifest + "}}", "other_program overrides 0 off Coupons v2.4"},
        {R"({"location":6,"disable_reasons":[1],)" + manifest + "}}", "other_program overrides 0 off Coupons v2.4"},
        {R"({"location":4,"disable_reasons":0,)" + manifest + "}}", "unpacked overrides 0 on Coupons v2.4"},
        {R"({"location":5,)" + manifest + "}}", ""},
        {R"({"location":10,)" + manifest + R"(,"chrome_url_overrides":{"newtab":"n.html"}}})",
         "built_in overrides 4 on Coupons v2.4"},
        {R"({"location":7,)" + manifest + "}}", "policy overrides 0 on Coupons v2.4"},
        {R"({"location":9,)" + manifest + "}}", "policy overrides 0 on Coupons v2.4"},
        {R"({"location":8,)" + manifest + "}}", "command_line overrides 0 on Coupons v2.4"},
        {R"({"location":"1",)" + manifest + "}}", "unknown overrides 0 on Coupons v2.4"},
        {R"({"location":1,"creation_flags":8,)" + manifest +
             R"(,"chrome_settings_overrides":{"homepage":"http://h.example/","startup_pages":["http://s.example/"],)"
             R"("search_provider":{"is_default":true,"search_url":"http://q.example/?q={searchTerms}"}}}})",
         "store overrides 11 on Coupons v2.4"},
        {R"({"location":1,"creation_flags":8,)" + manifest +
             R"(,"chrome_settings_overrides":{"search_provider":{"is_default":false}}}})",
         ""},
        // Google Docs Offline as Chrome 144 records it: a default app, the browser's own.
        {R"({"account_extension_type":0,"active_permissions":{"api":["storage"]},"creation_flags":137,)"
         R"("from_webstore":true,"location":6,)" +
             manifest + R"(},"state":1,"was_installed_by_default":true,"was_installed_by_oem":false})",
         ""},
        {R"({"location":6,"was_installed_by_default":true,)" + manifest +
             R"(,"chrome_url_overrides":{"newtab":"n.html"}}})",
         "built_in overrides 4 on Coupons v2.4"},
        {R"({"location":2,"was_installed_by_default":true,"was_installed_by_oem":true,)" + manifest + "}}",
         "computer_maker overrides 0 on Coupons v2.4"},
        {R"({"location":1,"creation_flags":1,"was_installed_by_oem":true,)" + manifest + "}}",
         "computer_maker overrides 0 on Coupons v2.4"},
        {R"({"location":9,"was_installed_by_default":true,)" + manifest + "}}", "policy overrides 0 on Coupons v2.4"},
        {R"({"location":6,"was_installed_by_default":"true",)" + manifest + "}}",
         "other_program overrides 0 on Coupons v2.4"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.record);
        TempFolder profile;
        MakeFile(profile / L"Secure Preferences", Extension(row.record));
        std::vector<std::string> expected;
        if (!row.expected.empty())
            expected.push_back("extension " + id + " " + row.expected);
        EXPECT_EQ(Review(profile.path()), expected);
    }
}

TEST(ReviewChromiumProfile, ReadsExtensionRecordsAndManifestsWhereverTheyAre) {
    TempFolder profile;
    const std::string id = ID;
    // Opera's records, one id in both files (Secure Preferences wins), and manifests on disk.
    MakeFile(profile / L"Preferences",
             Settings(R"("extensions":{"opsettings":{"aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa":{"location":4,)"
                      R"("path":"aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa\\1.0_0"}},"settings":{")" +
                      id + R"(":{"location":1,"creation_flags":8}}})"));
    MakeFile(profile / L"Secure Preferences",
             Settings(R"("extensions":{"settings":{")" + id +
                      R"(":{"location":3},"bbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbb":{"location":2,"path":"..\\..\\x"}}})"));
    MakeFile(profile / L"Extensions\\aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa\\1.0_0\\manifest.json",
             R"({"name":"Dev Tool","version":"1.0","chrome_url_overrides":{"newtab":"tab.html"}})");
    // No "path": the version folder is found as the audit finds it; the name comes from _locales.
    std::wstring version = profile / (L"Extensions\\" + Utf8ToWide(id) + L"\\2.4.1_0");
    MakeFile(version + L"\\manifest.json", R"({"name":"__MSG_appName__","default_locale":"de","version":"2.4.1"})");
    MakeFile(version + L"\\_locales\\de\\messages.json", R"({"appName":{"message":"Gutscheine"}})");
    // A path that leads out of the Extensions folder is not followed.
    MakeFile(profile / L"x\\manifest.json", R"({"name":"Outside","version":"9"})");
    EXPECT_EQ(Review(profile.path()),
              (std::vector<std::string>{
                  "extension " + id + " other_program overrides 0 on Gutscheine v2.4.1",
                  "extension bbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbb other_program overrides 0 on  v",
                  "extension aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa unpacked overrides 4 on Dev Tool v1.0",
              }));
}

// Nothing is read outside the profile for an extension record: a record whose
// folder does not exist, or whose id is no plain id, is named from the record
// alone; nor is anything read through a folder that is not given in full, which
// would lead wherever the current folder (or drive) is.
TEST(ReviewChromiumProfile, ReadsNothingOutsideTheProfileForARecordOrAFolderNotGivenInFull) {
    TempFolder profile;
    const std::string wrong = R"({"n":{"message":"Wrong"},"absent":{"message":"Wrong"}})";
    const std::string named = R"("manifest":{"name":"__MSG_n__","default_locale":"en","version":"1"})";
    MakeFile(profile / L"Extensions\\cccccccccccccccccccccccccccccccc\\1.0\\_locales\\en\\messages.json", wrong);
    MakeFile(profile / L"_locales\\en\\messages.json", wrong);
    MakeFile(profile / L"Secure Preferences",
             Settings(R"("extensions":{"settings":{"aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa":{"location":4,)"
                      R"("path":"C:\\popswat-absent\\ext",)" +
                      named + R"(},"bad id!":{"location":2,"path":"cccccccccccccccccccccccccccccccc\\1.0",)" + named +
                      R"(},"..":{"location":2,)" + named + "}}}"));
    EXPECT_EQ(Review(profile.path()),
              (std::vector<std::string>{"extension aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa unpacked overrides 0 on n v1",
                                        "extension bad id! other_program overrides 0 on n v1",
                                        "extension .. other_program overrides 0 on n v1"}));

    // The profile as the current folder, reached by a path that is not full.
    MakeFile(profile / L"Preferences", Settings(R"("homepage":"http://home.example/","homepage_is_newtabpage":false)"));
    MakeFile(profile / L"user.js", R"(user_pref("browser.startup.homepage", "http://home.example/");)");
    wchar_t previous[MAX_PATH];
    GetCurrentDirectoryW(MAX_PATH, previous);
    ASSERT_TRUE(SetCurrentDirectoryW(profile.path().c_str()));
    EXPECT_EQ(ResolveExtensionName(L".", "__MSG_n__", "en"), L"n");
    EXPECT_EQ(ResolveExtensionName(L"", "__MSG_n__", "en"), L"n");
    for (const wchar_t* folder : {L".", L""}) {
        ReviewFindings findings;
        ReviewChromiumProfile({L"Google Chrome", L"Default"}, folder, &findings);
        ReviewFirefoxProfile({L"Firefox", L"x"}, folder, &findings);
        EXPECT_TRUE(findings.startup.empty() && findings.extensions.empty()) << Utf8(folder);
    }
    SetCurrentDirectoryW(previous);
}

TEST(ReviewChromiumProfile, NamesFilesItCouldNotReadAndKeepsWhatTheOthersSay) {
    const std::string grant = Settings(
        R"("profile":{"content_settings":{"exceptions":{"popups":{"http://pop.example:80,*":{"setting":1}}}}})");
    // Each Preferences beside a Secure Preferences that grants, and the reason it is not read.
    const TableRow<std::string, JsonLoad> rows[] = {
        {"empty", "", JsonLoad::NotJson},
        {"truncated", grant.substr(0, grant.size() / 2), JsonLoad::NotJson},
        {"an array", "[" + grant + "]", JsonLoad::NotAnObject},
        {"nested too deeply", "{\"a\":" + std::string(300, '[') + std::string(300, ']') + "}", JsonLoad::TooDeep},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        TempFolder profile;
        MakeFile(profile / L"Preferences", row.input);
        MakeFile(profile / L"Secure Preferences", grant);
        EXPECT_EQ(Review(profile.path()), std::vector<std::string>{Unreadable("Preferences", row.expected)});
    }

    TempFolder profile;
    MakeFile(profile / L"Preferences", grant);
    MakeFile(profile / L"Secure Preferences", "{}");
    UniqueHandle locked = HoldFile(profile / L"Secure Preferences");
    ASSERT_TRUE(locked);
    EXPECT_EQ(Review(profile.path()),
              (std::vector<std::string>{"site popups http://pop.example:80",
                                        Unreadable("Secure Preferences", JsonLoad::Unreadable)}));
    locked.reset();
    if (RunningUnderWine()) {
        ASSERT_TRUE(MakeSparseFile(profile / L"Secure Preferences", 100LL << 20));
        EXPECT_EQ(Review(profile.path()),
                  (std::vector<std::string>{"site popups http://pop.example:80",
                                            Unreadable("Secure Preferences", JsonLoad::TooLarge)}));
    }
}

// One limit per file for every reader: a Preferences of 40 MB, as a browser used
// for years writes, is read by the review and rewritten by the reset; a manifest
// of 2 MB gives the audit and the review the same name.
TEST(BrowserFileLimits, TheReviewTheResetAndTheAuditReadTheSameFiles) {
    TempFolder profile;
    const std::string pad = R"("pad":")" + std::string(std::size_t{40} << 20, 'x') + R"(",)";
    MakeFile(profile / L"Preferences", Settings(pad + R"("profile":{"content_settings":{"exceptions":{"notifications":)"
                                                      R"({"https://win-prize.example:443,*":{"setting":1}}}}})"));
    EXPECT_EQ(Review(profile.path()), std::vector<std::string>{"site notifications https://win-prize.example:443"});
    std::vector<std::wstring> lines;
    CleanupOutcome outcome;
    ResetSitePermissions(CapturingOptions(&lines), profile.path(), &outcome);
    EXPECT_EQ(outcome.permissionsTakenBack, 1u);
    EXPECT_TRUE(Review(profile.path()).empty());

    std::wstring version = profile / (L"Extensions\\" + Utf8ToWide(ID) + L"\\1.0_0");
    MakeFile(version + L"\\manifest.json", R"({"name":"__MSG_appName__","default_locale":"en","version":"1.0",)" +
                                               pad.substr(0, std::size_t{2} << 20) + R"("})");
    MakeFile(version + L"\\_locales\\en\\messages.json", R"({"appName":{"message":"Coupons"}})");
    MakeFile(profile / L"Secure Preferences", Extension(R"({"location":2})"));
    EXPECT_EQ(Review(profile.path()),
              std::vector<std::string>{"extension " + std::string(ID) + " other_program overrides 0 on Coupons v1.0"});
    AuditFindings audit = InventoryChromiumProfile(L"Google Chrome", L"Default", profile.path());
    ASSERT_EQ(audit.extensions.size(), 1u);
    EXPECT_EQ(audit.extensions[0].name, L"Coupons");
}

// One reading of a manifest: the audit's text search and the review's parser
// give the same name, version and provenance for the same file, as the browser
// reads it (its own members only, names compared exactly, the last of a repeated
// one, comments skipped; UTF-16 is no manifest it reads).
TEST(ManifestReading, TheAuditAndTheReviewReadEveryManifestAlike) {
    struct Row {
        const char* name;
        std::string manifest;
        const char* expected;  // "name|version|sideLoaded"; "null|null|..." when no manifest could be read
    };
    std::string utf16 = "\xff\xfe";
    for (char c : std::string(R"({"name":"Wide","version":"1"})"))
        utf16 += std::string{c, '\0'};
    const Row rows[] = {
        {"a search provider's name before the manifest's own",
         R"({"chrome_settings_overrides":{"search_provider":{"name":"Evil Search","is_default":true}},)"
         R"("name":"Real Name","version":"1.0","update_url":"https://clients2.google.com/service/update2/crx"})",
         "Real Name|1.0|false"},
        {"an update address in a nested object",
         R"({"name":"N","version":"1","background":{"update_url":"https://u.example/"}})", "N|1|true"},
        {"a repeated name: the last", R"({"name":"First","version":"1","name":"Last"})", "Last|1|true"},
        {"a Name key is no name", R"({"Name":"Capital","version":"1"})", "|1|true"},
        {"a name that is no string", R"({"name":["x"],"version":"2"})", "|2|true"},
        {"comments", "{/* \"name\":\"Hidden\", */ \"name\":\"Commented\", // \"version\":\"9\"\n \"version\":\"2\"}",
         "Commented|2|true"},
        {"a trailing comma", R"({"name":"Trailing","version":"3",})", "Trailing|3|true"},
        {"a byte-order mark", "\xef\xbb\xbf{\"name\":\"Marked\",\"version\":\"4\"}", "Marked|4|true"},
        {"cut short after its version", R"({"name":"Cut","version":"5","description":"a long descr)", "Cut|5|true"},
        {"UTF-16 text", utf16, "null|null|true"},
        {"an array", R"([{"name":"x","version":"1"}])", "null|null|true"},
        {"a \\x escape and a line break, which the browser reads in a string",
         "{\"name\":\"\\x41d\nBlock\",\"version\":\"7\"}", "Ad\nBlock|7|true"},
        {"a trailing comma: what comes after it is not read", R"({"version":"8","a":[1,],"name":"After"})", "|8|true"},
        {"an update address in an array", R"({"name":"N","version":"1","x":[{"update_url":"u"}]})", "N|1|true"},
        {"a repeated update address", R"({"update_url":"u","name":"N","version":"1","update_url":null})", "N|1|false"},
        {"members after the root are not the manifest's", R"({"version":"9"} {"name":"Later"})", "|9|true"},
        {"a locale named in a nested object is not the manifest's",
         R"({"x":{"default_locale":"fr"},"name":"__MSG_n__","default_locale":"de","version":"6"})", "Deutsch|6|true"},
    };
    const std::wstring id = L"abcdefghijklmnopabcdefghijklmnop";
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        TempFolder profile;
        std::wstring version = profile / (L"Extensions\\" + id + L"\\1.0_0");
        MakeFile(version + L"\\manifest.json", row.manifest);
        MakeFile(version + L"\\_locales\\de\\messages.json", R"({"n":{"message":"Deutsch"}})");
        MakeFile(version + L"\\_locales\\fr\\messages.json", R"({"n":{"message":"Francais"}})");
        MakeFile(profile / L"Secure Preferences",
                 Settings(R"("extensions":{"settings":{")" + Utf8(id) + R"(":{"location":2}}})"));
        ReviewFindings review;
        ReviewChromiumProfile({L"Google Chrome", L"Default"}, profile.path(), &review);
        AuditFindings audit = InventoryChromiumProfile(L"Google Chrome", L"Default", profile.path());
        ASSERT_EQ(review.extensions.size(), 1u);
        ASSERT_EQ(audit.extensions.size(), 1u);
        const ExtensionFinding& r = review.extensions[0];
        const AuditedExtension& a = audit.extensions[0];
        auto known = [](bool read, const std::wstring& text) { return read ? Utf8(text) : std::string("null"); };
        EXPECT_EQ(known(r.manifestRead, r.name) + "|" + known(r.manifestRead, r.version),
                  known(!a.manifestUnreadable, a.name) + "|" + known(!a.manifestUnreadable, a.version));
        EXPECT_EQ(known(!a.manifestUnreadable, a.name) + "|" + known(!a.manifestUnreadable, a.version) + "|" +
                      (a.sideLoaded ? "true" : "false"),
                  row.expected);
        EXPECT_EQ(r.installedBy, InstalledBy::OtherProgram);
    }
}

// Pages and engines on the browser maker's own site, in the shapes the browsers
// write them, are the browser's own; another company's partner code there is not.
TEST(ReviewChromiumProfile, KnowsThePagesAndEnginesOfTheBrowsersOwnSites) {
    struct Row {
        const wchar_t* browser;
        const char* setting;  // "home", "startup" or "search" (without a prepopulate_id)
        const char* url;
        bool finding;
    };
    const Row rows[] = {
        {L"Microsoft Edge", "home", "https://www.msn.com/?ocid=msedgntp", false},
        {L"Microsoft Edge", "startup", "https://ntp.msn.com/edge/ntp?locale=en-US&title=New%20tab", false},
        {L"Microsoft Edge", "home", "http://www.msn.com/?pc=ACTE", true},
        {L"Microsoft Edge", "search",
         "{bing:baseURL}search?q={searchTerms}&{bing:cvid}{bing:msb}{google:assistedQueryStats}", false},
        {L"Microsoft Edge", "search", "https://www.bing.com/search?q={searchTerms}&form=QBLH", false},
        {L"Microsoft Edge", "search", "https://www.bing.com/search?q={searchTerms}&PC=ADW1&form=XYZ", true},
        {L"Microsoft Edge", "search", "https://www.bing.com.search-deals.example/search?q={searchTerms}", true},
        {L"Microsoft Edge", "home", "https://www.bing.com:8443/", true},
        {L"Microsoft Edge", "home", "https://www.google.com/", true},
        {L"Google Chrome", "home", "https://www.google.com/", false},
        {L"Google Chrome", "startup", "http://www.google.co.uk/", false},
        {L"Google Chrome", "startup", "https://google.com.br/", false},
        {L"Google Chrome", "search", "https://www.google.com/search?q={searchTerms}&client=ext-coupons", true},
        {L"Google Chrome", "search", "{google:baseURL}search?q={searchTerms}&channel=adware", true},
        {L"Google Chrome", "home", "https://cse.google.com/cse?cx=partner-pub-1234&q=x", true},
        {L"Google Chrome", "home", "https://sites.google.com/view/deals", true},
        {L"Google Chrome", "home", "https://google.deals.example/", true},
        {L"Google Chrome", "home", "https://www.msn.com/", true},
        {L"Brave", "search", "https://search.brave.com/search?q={searchTerms}&source=desktop", false},
        {L"Brave", "search", "https://www.bing.com/search?q={searchTerms}", true},
        {L"Brave", "search", "https://search.brave.com/search?q={searchTerms}&partner=deals-today", true},
        {L"Brave", "home", "https://search.brave.com/", false},
        {L"Google Chrome", "search", "https://www.google.com/search?q={searchTerms}&Partner=xyz", true},
        {L"Google Chrome", "search", "https://www.google.com/search?q={searchTerms}&client=chrome", false},
        {L"Microsoft Edge", "startup", "https://www.msn.com/?partner=toolbar-co", true},
        // A host that only starts like the maker's, and a user name before another host.
        {L"Microsoft Edge", "home", "https://www.msn.com.deals.example/", true},
        {L"Google Chrome", "home", "https://www.google.com@deals.example/", true},
        {L"Brave", "search", "{google:baseURL}search?q={searchTerms}&{google:RLZ}ie={inputEncoding}", false},
        {L"Google Chrome", "search", "{bing:baseURL}search?q={searchTerms}", true},
        {L"Vivaldi", "home", "https://vivaldi.com/", true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(Utf8(row.browser) + " " + row.setting + " " + row.url);
        TempFolder profile;
        std::string setting = row.setting;
        std::string members =
            setting == "home" ? R"("homepage":")" + std::string(row.url) + R"(","homepage_is_newtabpage":false)"
            : setting == "startup"
                ? R"("session":{"restore_on_startup":4,"startup_urls":[")" + std::string(row.url) + R"("]})"
                : R"("default_search_provider_data":{"template_url_data":{"short_name":"S","url":")" +
                      std::string(row.url) + R"("}})";
        MakeFile(profile / L"Secure Preferences", Settings(members));
        ReviewFindings findings;
        ReviewChromiumProfile({row.browser, L""}, profile.path(), &findings);
        EXPECT_EQ(findings.startup.size(), row.finding ? 1u : 0u);
    }
}

namespace {

// Opera's further profiles, below "_side_profiles", are reviewed like its first, which is
// the user-data folder itself; a folder there with no profile files is none.
TEST(CollectReview, ReviewsOperasSideProfilesLikeItsFirst) {
    Sandbox sandbox;
    std::wstring userData = sandbox.appData() + L"\\Opera Software\\Opera Stable";
    const std::string hijacked =
        Settings(R"("session":{"restore_on_startup":4,"startup_urls":["http://search-hijack.example/"]})");
    MakeFile(userData + L"\\Preferences", hijacked);
    MakeFile(userData + L"\\_side_profiles\\2b1f9c\\Preferences", hijacked);
    MakeFile(userData + L"\\_side_profiles\\Cache\\data_0", hijacked);
    TemporaryRegistryKey noPolicies(HKEY_CURRENT_USER,
                                    L"Software\\PopSwat-test-" + std::to_wstring(GetCurrentProcessId()));
    ReviewFindings review = CollectReview({noPolicies.get(), noPolicies.get()}, LauncherSources());
    std::vector<std::string> places;
    for (const StartupFinding& f : review.startup)
        places.push_back(Utf8(f.place.browser + L"|" + f.place.profile + L"|" + f.value));
    EXPECT_EQ(places, (std::vector<std::string>{"Opera||http://search-hijack.example/",
                                                "Opera|_side_profiles\\2b1f9c|http://search-hijack.example/"}));
}

}  // namespace
