#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "browsers/json_document.h"
#include "review/review.h"
#include "tests/review_report_lines.h"
#include "tests/table_rows.h"
#include "tests/test_support.h"

namespace {

const ProfilePlace CHROME = {L"Google Chrome",
                             L"Profile \x202e"
                             L"1"};
const ProfilePlace OPERA = {L"Opera", L""};

const wchar_t INTERNET_SETTINGS[] =
    L"HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings";

LauncherFinding Launcher(LauncherKind kind,
                         const std::wstring& location,
                         const std::wstring& program,
                         const std::wstring& browser,
                         const std::wstring& url) {
    LauncherFinding finding;
    finding.kind = kind;
    finding.location = location;
    finding.program = program;
    finding.command = program + L" " + url;
    finding.browser = browser;
    finding.url = url;
    return finding;
}

// One launcher finding of each kind and shape, the proxy settings, and what their finders could not read.
void AddLaunchers(ReviewFindings* findings) {
    const wchar_t DESKTOP[] = L"C:\\Users\\Ann\\Desktop\\";
    const wchar_t CHROME[] = L"C:\\Program Files\\Google\\Chrome\\Application\\chrome.exe";
    LauncherFinding extension = Launcher(LauncherKind::Shortcut, DESKTOP + std::wstring(L"Edge.lnk"), L"msedge.exe",
                                         L"Microsoft Edge", L"https://ad.example/");
    extension.arguments = L"https://ad.example/ --load-extension=C:\\ext\\a,C:\\ext\\b";
    extension.loadsExtension = true;
    LauncherFinding app = Launcher(LauncherKind::Shortcut, DESKTOP + std::wstring(L"Site.lnk"), CHROME,
                                   L"Google Chrome", L"https://app.example/");
    app.opensAsApp = true;
    app.homePage = L"https://home.example/";
    app.trafficThrough = L"127.0.0.1:8080";
    LauncherFinding named = Launcher(LauncherKind::Shortcut, DESKTOP + std::wstring(L"Firefox.lnk"),
                                     L"C:\\x\\update.vbs", L"Mozilla Firefox", L"");
    named.namedAfterBrowser = true;
    LauncherFinding task =
        Launcher(LauncherKind::ScheduledTask, L"\\Vendor\\Updater", CHROME, L"Google Chrome", L"https://task.example/");
    task.enabled = false;
    task.trigger = L"at log-on; every 30 minutes";
    findings->launchers = {
        Launcher(LauncherKind::Shortcut, DESKTOP + std::wstring(L"Google Chrome\x1b[2J.lnk"), CHROME, L"Google Chrome",
                 L"https://ad.example/\n  [shortcut] fake"),
        extension,
        app,
        named,
        Launcher(LauncherKind::StartupItem, L"C:\\Startup\\Deal.url", L"", L"", L"https://deal.example/"),
        Launcher(LauncherKind::RunValue, L"HKEY_CURRENT_USER\\Run\\Start", L"C:\\Windows\\cmd.exe", L"",
                 L"https://start.example/"),
        Launcher(LauncherKind::RunValue, L"HKEY_CURRENT_USER\\Run\\Itself", L"https://itself.example/", L"",
                 L"https://itself.example/"),
        task,
    };
    findings->proxy = {{L"ProxyServer", L"127.0.0.1:8080", INTERNET_SETTINGS + std::wstring(L"\\ProxyServer")},
                       {L"AutoConfigURL", L"http://pac.example/", INTERNET_SETTINGS + std::wstring(L"\\AutoConfigURL")},
                       {L"network.proxy.http", L"127.0.0.1:3128", L"C:\\Profiles\\x.default\\user.js"}};
    findings->taskSource = TaskSource::Files;
    findings->taskFilesFolder = L"C:\\Windows\\System32\\Tasks";
    findings->launcherProblems = {
        {L"Task Scheduler \\", L"its task list could not be read (access denied)", false},
        {INTERNET_SETTINGS + std::wstring(L"\\ProxyEnable"), L"not a number (type 1)", true},
    };
}

// One finding of each kind, with text that must be masked in the report and kept in JSON.
ReviewFindings SampleFindings() {
    ReviewFindings findings;
    findings.sitePermissions = {
        {CHROME, {SitePermission::Notifications, L"https://win-prize.example:443", false}},
        {OPERA, {SitePermission::Popups, L"", true}},
        {OPERA, {SitePermission::AutomaticDownloads, L"http://d.example:8080", false}},
    };
    findings.startup = {
        {CHROME, StartupKind::StartupPage, L"http://start.example/\n  [Google Chrome] fake", L"",
         L"Secure Preferences"},
        {{L"Firefox", L"k3x9w2ab.default-release"}, StartupKind::HomePage, L"http://home.example/", L"", L"user.js"},
        {OPERA, StartupKind::SearchEngine, L"http://q.example/?q={searchTerms}", L"Caf\u00e9 \"Search\"",
         L"Preferences"},
    };
    ExtensionFinding extension;
    extension.place = CHROME;
    extension.id = L"ncbkfmpgldjhaiebpnkdcmflhgojeiak";
    extension.name = L"Coupons\x1b[2J";
    extension.version = L"2.4";
    extension.installedBy = InstalledBy::OtherProgram;
    extension.overrides = OVERRIDES_NEW_TAB | OVERRIDES_SEARCH_ENGINE;
    extension.enabled = false;
    ExtensionFinding fromMaker = extension;
    fromMaker.name = L"Support Assistant";
    fromMaker.installedBy = InstalledBy::ComputerMaker;
    fromMaker.overrides = 0;
    fromMaker.enabled = true;
    findings.extensions = {extension, fromMaker};
    findings.policies = {{L"Google Chrome", true, L"ExtensionInstallForcelist\\1", L"ncbk;https://u.example/",
                          PolicyEffect::ForcesExtension,
                          L"HKEY_LOCAL_MACHINE\\SOFTWARE\\Policies\\Google\\Chrome\\ExtensionInstallForcelist\\1"},
                         {L"Firefox", false, L"Other", L"a\tb", PolicyEffect::Other,
                          L"HKEY_CURRENT_USER\\SOFTWARE\\Policies\\Mozilla\\Firefox\\Other"}};
    findings.unreadable = {{OPERA, L"Preferences", JsonLoad::NotJson}};
    AddLaunchers(&findings);
    return findings;
}

std::vector<std::wstring> Report(const ReviewFindings& findings) {
    std::vector<std::wstring> lines;
    WriteReviewReport(CapturingOptions(&lines), findings);
    return lines;
}

std::string Text(const JsonValue& value) {
    return value.IsString() ? std::string(value.GetString(), value.GetStringLength()) : "(not a string)";
}

}  // namespace

TEST(SiteOrigin, DropsOnlyTheSchemesDefaultPort) {
    const std::pair<const wchar_t*, const wchar_t*> rows[] = {
        {L"https://win-prize.example:443", L"https://win-prize.example"},
        {L"HTTP://a.example:80", L"HTTP://a.example"},
        {L"http://a.example:443", L"http://a.example:443"},
        {L"https://a.example:4443", L"https://a.example:4443"},
        {L"https://[*.]a.example:443", L"https://[*.]a.example"},
        {L"[*.]a.example", L"[*.]a.example"},
        {L"https://:443", L"https://"},
        {L":443", L":443"},
    };
    for (const auto& [pattern, origin] : rows)
        EXPECT_EQ(SiteOrigin(pattern), origin) << Utf8(pattern);
}

TEST(WriteReviewReport, GroupsFindingsMasksTheirTextAndEndsWithAdvice) {
    std::vector<std::wstring> lines = Report(SampleFindings());
    for (std::wstring& line : lines)
        line = WithoutFindingIds(line);
    std::vector<std::wstring> expected = ReviewReportLines({
        {L"  [Google Chrome/Profile ?1] may show notifications: https://win-prize.example",
         L"  [Opera] every site may open pop-ups", L"  [Opera] may download files on its own: http://d.example:8080"},
        {L"  [Google Chrome/Profile ?1] opens at every start (Secure Preferences): http://start.example/?  [Google "
         L"Chrome] fake",
         L"  [Firefox/k3x9w2ab.default-release] home page, set again at every start (user.js): http://home.example/",
         L"  [Opera] search engine (Preferences): Caf\u00e9 \"Search\" -- http://q.example/?q={searchTerms}"},
        {L"  [Google Chrome/Profile ?1] installed by another program; takes over the new tab page, the search engine; "
         L"turned off: Coupons?[2J  v2.4 (ncbkfmpgldjhaiebpnkdcmflhgojeiak)",
         L"  [Google Chrome/Profile ?1] installed by the computer's maker: Support Assistant  v2.4 "
         L"(ncbkfmpgldjhaiebpnkdcmflhgojeiak)"},
        {L"  [Google Chrome, machine] forces an extension onto the browser: ExtensionInstallForcelist\\1 = "
         L"ncbk;https://u.example/",
         L"  [Firefox, user] Other = a\tb"},
        {L"  [Opera] Preferences: not valid JSON"},
        {L"  [shortcut] C:\\Users\\Ann\\Desktop\\Google Chrome?[2J.lnk: Google Chrome opens https://ad.example/?  "
         L"[shortcut] fake",
         L"  [shortcut] C:\\Users\\Ann\\Desktop\\Edge.lnk: Microsoft Edge opens https://ad.example/ and loads an "
         L"extension from C:\\ext\\a,C:\\ext\\b",
         L"  [shortcut] C:\\Users\\Ann\\Desktop\\Site.lnk: Google Chrome opens a site as an app: https://app.example/ "
         L"and sets the home page to https://home.example/ and sends web traffic through 127.0.0.1:8080",
         L"  [shortcut] C:\\Users\\Ann\\Desktop\\Firefox.lnk: named after Mozilla Firefox but starts C:\\x\\update.vbs",
         L"  [Startup folder] C:\\Startup\\Deal.url: opens https://deal.example/",
         L"  [Run key] HKEY_CURRENT_USER\\Run\\Start: cmd.exe opens https://start.example/",
         L"  [Run key] HKEY_CURRENT_USER\\Run\\Itself: opens https://itself.example/",
         L"  [scheduled task] \\Vendor\\Updater: Google Chrome opens https://task.example/ (disabled; at log-on; every "
         L"30 minutes)",
         L"  [could not be read] Task Scheduler \\: its task list could not be read (access denied)",
         L"  (Scheduled tasks were read from their files in C:\\Windows\\System32\\Tasks: the Task Scheduler could not "
         L"list them.)"},
        {L"  [proxy server] " + std::wstring(INTERNET_SETTINGS) +
             L"\\ProxyServer: web traffic goes through 127.0.0.1:8080",
         L"  [proxy script] " + std::wstring(INTERNET_SETTINGS) +
             L"\\AutoConfigURL: web traffic goes where this script sends it: http://pac.example/",
         L"  [proxy server] C:\\Profiles\\x.default\\user.js: web traffic goes through 127.0.0.1:3128 (Firefox's "
         L"network.proxy.http)",
         L"  [could not be read] " + std::wstring(INTERNET_SETTINGS) + L"\\ProxyEnable: not a number (type 1)"},
    });
    ASSERT_GE(lines.size(), expected.size());
    EXPECT_EQ(std::vector<std::wstring>(lines.begin(), lines.begin() + expected.size()), expected);
    // Advice for every kind of finding: sites, start-up pages, extensions, policies, unreadable files,
    // shortcuts, start-up entries, tasks, proxy, what the launcher finders could not read.
    for (const wchar_t* start :
         {L"- Sites", L"- Start-up and", L"- Extensions", L"- Policies", L"- Files", L"- Shortcuts:",
          L"- Start-up entries", L"- Scheduled tasks", L"- Proxy", L"- Firefox's proxy", L"- Shortcuts, tasks"}) {
        EXPECT_EQ(
            std::count_if(lines.begin(), lines.end(), [&](const std::wstring& l) { return l.rfind(start, 0) == 0; }), 1)
            << Utf8(start);
    }
}

// The advice names the shortcut repair only for what the repair would change.
TEST(WriteReviewReport, PromisesTheShortcutRepairOnlyWhatItChanges) {
    struct Row {
        const char* name;
        LauncherKind kind;
        const wchar_t* program;
        const wchar_t* arguments;
        bool promised;
    };
    const Row rows[] = {
        {"a site opened as an app", LauncherKind::Shortcut, L"chrome.exe", L"--app=https://app.example/", false},
        {"a script under a browser's name", LauncherKind::Shortcut, L"C:\\x\\run.vbs", L"", false},
        {"a value that only looks like an address", LauncherKind::Shortcut, L"firefox.exe", L"-P Work.Home", false},
        {"a home page switch", LauncherKind::Shortcut, L"chrome.exe", L"--homepage=https://home.example/", true},
        {"a browser shortcut in a Startup folder", LauncherKind::StartupItem, L"msedge.exe", L"https://ad.example/",
         true},
        {"a scheduled task", LauncherKind::ScheduledTask, L"chrome.exe", L"https://ad.example/", false},
        {"a Run value", LauncherKind::RunValue, L"chrome.exe", L"https://ad.example/", false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        ReviewFindings findings;
        LauncherFinding finding = Launcher(row.kind, L"C:\\x\\Chrome.lnk", row.program, L"Google Chrome", L"");
        finding.arguments = row.arguments;
        findings.launchers = {finding};
        std::vector<std::wstring> lines = Report(findings);
        EXPECT_EQ(
            std::count_if(lines.begin(), lines.end(),
                          [](const std::wstring& l) { return l.find(L"--repair-shortcuts") != std::wstring::npos; }),
            row.promised ? 1 : 0);
    }
}

// Each kind of launcher, found alone, brings its own advice: a Startup-folder item
// needs no Run value beside it for the start-up advice.
TEST(WriteReviewReport, GivesEachLauncherKindItsAdviceWhenFoundAlone) {
    const TableRow<LauncherKind, std::wstring> rows[] = {
        {"a shortcut", LauncherKind::Shortcut, L"- Shortcuts:"},
        {"a Startup-folder item", LauncherKind::StartupItem, L"- Start-up entries"},
        {"a Run value", LauncherKind::RunValue, L"- Start-up entries"},
        {"a scheduled task", LauncherKind::ScheduledTask, L"- Scheduled tasks"},
    };
    ExpectEachRow(rows, [](LauncherKind kind) -> std::wstring {
        ReviewFindings findings;
        findings.launchers = {Launcher(kind, L"C:\\x\\Helper.lnk", L"C:\\x\\run.exe", L"Helper", L"")};
        std::vector<std::wstring> lines = Report(findings);
        for (const wchar_t* advice : {L"- Shortcuts:", L"- Start-up entries", L"- Scheduled tasks"})
            if (std::any_of(lines.begin(), lines.end(), [&](const std::wstring& l) { return l.rfind(advice, 0) == 0; }))
                return advice;
        return L"(none)";
    });
}

TEST(CountFindings, CountsEveryKindButWhatCouldNotBeRead) {
    // Three sites, three start-up settings, two extensions, two policies, eight launchers and three proxy settings.
    EXPECT_EQ(CountFindings(SampleFindings()), 21u);
    ReviewFindings unreadable;
    unreadable.unreadable = SampleFindings().unreadable;
    unreadable.launcherProblems = SampleFindings().launcherProblems;
    EXPECT_EQ(CountFindings(unreadable), 0u);
}

TEST(WriteReviewReport, SaysNothingFoundPerGroupAndKeepsTheFirefoxAdvice) {
    std::vector<std::wstring> expected = ReviewReportLines({});
    expected.insert(expected.end(), SITES_ADVICE.begin(), SITES_ADVICE.end());
    EXPECT_EQ(Report(ReviewFindings()), expected);
}

TEST(ReviewJson, ParsesBackWithEveryFieldAsFound) {
    std::string json = ReviewJson(SampleFindings());
    EXPECT_NE(json.rfind("{", 0), std::string::npos) << "no byte-order mark, the object first";
    JsonDocument document;
    ASSERT_EQ(ParseJsonObject(json, &document), JsonLoad::Done);
    EXPECT_EQ(JsonFields(document, {"schema"}), "popswat.review/1");

    const JsonValue& sites = document["sitePermissions"];
    ASSERT_EQ(sites.Size(), 3u);
    EXPECT_EQ(JsonFields(sites[0], {"browser", "profile", "permission", "site", "allSites"}),
              "Google Chrome|Profile \xe2\x80\xae"
              "1|notifications|https://win-prize.example:443|(false)");
    EXPECT_EQ(JsonFields(sites[1], {"profile", "permission", "site", "allSites"}), "(null)|popups|(null)|(true)");
    EXPECT_EQ(JsonFields(sites[2], {"permission"}), "automatic_downloads");

    const JsonValue& startup = document["startup"];
    ASSERT_EQ(startup.Size(), 3u);
    EXPECT_EQ(JsonFields(startup[0], {"kind", "value", "source"}),
              "startup_page|http://start.example/\n  [Google Chrome] fake|Secure Preferences");
    EXPECT_EQ(JsonFields(startup[1], {"kind", "source"}), "home_page|user.js");
    EXPECT_EQ(JsonFields(startup[2], {"kind"}), "search_engine");

    const JsonValue& extension = document["extensions"][0];
    EXPECT_EQ(JsonFields(extension, {"id", "name", "version", "installedBy", "enabled"}),
              "ncbkfmpgldjhaiebpnkdcmflhgojeiak|Coupons\x1b[2J|2.4|other_program|(false)");
    ASSERT_EQ(extension["overrides"].Size(), 2u);
    EXPECT_EQ(Text(extension["overrides"][0]), "new_tab");
    EXPECT_EQ(Text(extension["overrides"][1]), "search_engine");
    EXPECT_EQ(JsonFields(document["extensions"][1], {"installedBy"}), "computer_maker");

    const JsonValue& policies = document["policies"];
    ASSERT_EQ(policies.Size(), 2u);
    EXPECT_EQ(JsonFields(policies[0], {"scope", "name", "value", "effect"}),
              "machine|ExtensionInstallForcelist\\1|ncbk;https://u.example/|forces_extension");
    EXPECT_EQ(JsonFields(policies[1], {"scope", "value", "effect"}), "user|a\tb|(null)");

    EXPECT_EQ(JsonFields(document["unreadable"][0], {"file", "reason"}), "Preferences|not_json");

    const JsonValue& launchers = document["launchers"];
    ASSERT_EQ(launchers.Size(), 8u);
    EXPECT_EQ(JsonFields(launchers[0], {"kind", "location", "browser", "url", "enabled", "trigger"}),
              "shortcut|C:\\Users\\Ann\\Desktop\\Google Chrome\x1b[2J.lnk|Google Chrome|https://ad.example/\n  "
              "[shortcut] fake|(true)|(null)");
    EXPECT_EQ(JsonFields(launchers[0], {"homePage", "trafficThrough"}), "(null)|(null)");
    EXPECT_EQ(JsonFields(launchers[2], {"url", "homePage", "trafficThrough"}),
              "https://app.example/|https://home.example/|127.0.0.1:8080");
    EXPECT_EQ(JsonFields(launchers[4], {"kind", "command", "browser", "url"}),
              "startup_item| https://deal.example/|(null)|https://deal.example/");
    EXPECT_EQ(JsonFields(launchers[5], {"kind", "command", "browser"}),
              "run_value|C:\\Windows\\cmd.exe https://start.example/|(null)");
    EXPECT_EQ(JsonFields(launchers[7], {"kind", "location", "enabled", "trigger"}),
              "scheduled_task|\\Vendor\\Updater|(false)|at log-on; every 30 minutes");
    EXPECT_EQ(JsonFields(document["proxy"][0], {"setting", "value"}), "ProxyServer|127.0.0.1:8080");
    EXPECT_EQ(JsonFields(document["proxy"][1], {"setting", "value"}), "AutoConfigURL|http://pac.example/");
    EXPECT_EQ(JsonFields(document["proxy"][2], {"setting", "value", "location"}),
              "network.proxy.http|127.0.0.1:3128|C:\\Profiles\\x.default\\user.js");
    EXPECT_EQ(JsonFields(document, {"taskSource", "taskFilesFolder"}), "task_files|C:\\Windows\\System32\\Tasks");
    ASSERT_EQ(document["unreadableSources"].Size(), 2u);
    EXPECT_EQ(JsonFields(document["unreadableSources"][0], {"location", "reason"}),
              "Task Scheduler \\|its task list could not be read (access denied)");
    // Control characters are escaped, never written raw.
    for (char c : json)
        EXPECT_GE(static_cast<unsigned char>(c), 0x20u);
}

// Ids: the same finding gives the same id in every collection, every finding of
// the sample a different one, each 12 lower-case hexadecimal digits; the JSON
// carries them with the fix, and the text report ends each fixable line with one.
TEST(FindingIds, StableUniqueAndOnEveryFixableLine) {
    ReviewFindings first = SampleFindings(), second = SampleFindings();
    // The sample's two extensions share an id to test the report; found ones never do.
    first.extensions.pop_back();
    second.extensions.pop_back();
    std::vector<std::wstring> ids;
    auto collect = [&](const auto& items, const auto& again) {
        for (std::size_t i = 0; i < items.size(); ++i) {
            std::wstring id = FindingId(items[i]);
            EXPECT_EQ(id, FindingId(again[i]));
            EXPECT_EQ(id.find_first_not_of(L"0123456789abcdef"), std::wstring::npos) << Utf8(id);
            EXPECT_EQ(id.size(), 12u);
            ids.push_back(id);
        }
    };
    collect(first.sitePermissions, second.sitePermissions);
    collect(first.startup, second.startup);
    collect(first.extensions, second.extensions);
    collect(first.policies, second.policies);
    collect(first.launchers, second.launchers);
    collect(first.proxy, second.proxy);
    std::sort(ids.begin(), ids.end());
    EXPECT_EQ(std::adjacent_find(ids.begin(), ids.end()), ids.end()) << "two findings share an id";
    // One character of what identifies a finding makes another id.
    SitePermissionFinding other = first.sitePermissions[0];
    other.grant.site += L"x";
    EXPECT_NE(FindingId(other), FindingId(first.sitePermissions[0]));

    JsonDocument document;
    ASSERT_EQ(ParseJsonObject(ReviewJson(first), &document), JsonLoad::Done);
    const JsonValue& site = document["sitePermissions"][0];
    EXPECT_EQ(Text(site["findingId"]), Utf8(FindingId(first.sitePermissions[0])));
    EXPECT_EQ(JsonFields(site["fix"], {"recommended", "administrator"}), "(true)|(false)");
    EXPECT_EQ(JsonFields(document["startup"][0]["fix"], {"recommended", "administrator"}), "(true)|(false)");

    std::vector<std::wstring> lines = Report(first);
    std::wstring tail = L" [" + FindingId(first.sitePermissions[0]) + L"]";
    EXPECT_EQ(std::count_if(lines.begin(), lines.end(),
                            [&](const std::wstring& line) {
                                return line.size() > tail.size() &&
                                       line.compare(line.size() - tail.size(), tail.size(), tail) == 0;
                            }),
              1);
}
