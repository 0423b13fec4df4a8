// The findings as list rows: group, plain words, place, fix, check state and
// whether the fix needs an administrator, one table of findings of every kind.
#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "engine/engine_testing.h"
#include "review/review.h"
#include "tests/test_support.h"

namespace {

const wchar_t CHROME[] = L"C:\\Program Files\\Google\\Chrome\\Application\\chrome.exe";
const wchar_t RUN_KEY[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run\\Updater";

// What a row shows, without its details.
struct Shown {
    FindingGroup group;
    std::wstring what;
    std::wstring where;
    std::string fixKind;  // "" without a fix
    RowCheck check;
    bool administrator;
    bool operator==(const Shown& o) const {
        return group == o.group && what == o.what && where == o.where && fixKind == o.fixKind && check == o.check &&
               administrator == o.administrator;
    }
};

void PrintTo(const Shown& s, std::ostream* out) {
    *out << "{group " << int(s.group) << ", \"" << Utf8(s.what) << "\", \"" << Utf8(s.where) << "\", fix \""
         << s.fixKind << "\", check " << int(s.check) << ", administrator " << s.administrator << "}";
}

Shown ShownOf(const FindingRow& row) {
    std::string kind;
    for (const FixKind& fixKind : FixKinds()) {
        if (row.fix == fixKind.action)
            kind = fixKind.name;
    }
    return {row.group, row.what, row.where, kind, row.check, row.administrator};
}

LauncherFinding Launcher(LauncherKind kind, const std::wstring& location, const std::wstring& url) {
    LauncherFinding finding;
    finding.kind = kind;
    finding.location = location;
    finding.program = CHROME;
    finding.arguments = url;
    finding.command = std::wstring(L"\"") + CHROME + L"\" " + url;
    finding.browser = L"Google Chrome";
    finding.url = url;
    return finding;
}

struct Case {
    const char* name;
    ReviewFindings findings;
    Shown expected;
};

std::vector<Case> Cases(const Sandbox& sandbox) {
    std::vector<Case> cases;
    auto add = [&](const char* name, auto fill, Shown expected) {
        Case c{name, {}, expected};
        fill(c.findings);
        cases.push_back(std::move(c));
    };
    const ProfilePlace chrome{L"Google Chrome", L"Default"};
    add("a Chrome site's notifications: fixed and ticked",
        [&](ReviewFindings& f) {
            f.sitePermissions.push_back(
                {chrome, {SitePermission::Notifications, L"https://win-prize.example:443", false}});
        },
        {FindingGroup::Sites, L"win-prize.example may show notifications", L"Google Chrome, profile Default",
         "site-permission", RowCheck::Ticked, false});
    add("every site's pop-ups",
        [&](ReviewFindings& f) {
            f.sitePermissions.push_back({chrome, {SitePermission::Popups, L"", true}});
        },
        {FindingGroup::Sites, L"Every site may open pop-ups", L"Google Chrome, profile Default", "site-permission",
         RowCheck::Ticked, false});
    add("a Firefox grant: fixed and ticked",
        [&](ReviewFindings& f) {
            f.sitePermissions.push_back(
                {{L"Firefox", L"x.default"}, {SitePermission::AutomaticDownloads, L"https://d.example", false}});
        },
        {FindingGroup::Sites, L"d.example may download files on its own", L"Firefox, profile x.default",
         "site-permission", RowCheck::Ticked, false});
    add("a hostile site name is masked",
        [&](ReviewFindings& f) {
            f.sitePermissions.push_back({{L"Google Chrome", L"Pro\nfile"},
                                         {SitePermission::Notifications, L"https://a\x1b[2J.example:443", false}});
        },
        {FindingGroup::Sites, L"a?[2J.example may show notifications", L"Google Chrome, profile Pro?file",
         "site-permission", RowCheck::Ticked, false});
    add("a start-up page",
        [&](ReviewFindings& f) {
            f.startup.push_back(
                {chrome, StartupKind::StartupPage, L"http://search-hijack.example/", L"", L"Preferences"});
        },
        {FindingGroup::StartPages, L"Opens http://search-hijack.example/ at every start",
         L"Google Chrome, profile Default", "startup-page", RowCheck::Ticked, false});
    add("a home page set again by user.js",
        [&](ReviewFindings& f) {
            f.startup.push_back(
                {{L"Firefox", L"x.default"}, StartupKind::HomePage, L"https://h.example", L"", L"user.js"});
        },
        {FindingGroup::StartPages, L"Home page is https://h.example, set again at every start",
         L"Firefox, profile x.default", "firefox-prefs", RowCheck::Ticked, false});
    add("a search engine with its name",
        [&](ReviewFindings& f) {
            f.startup.push_back({chrome, StartupKind::SearchEngine, L"https://s.example/?q={searchTerms}", L"Seek",
                                 L"Secure Preferences"});
        },
        {FindingGroup::StartPages, L"Searches with Seek (https://s.example/?q={searchTerms})",
         L"Google Chrome, profile Default", "startup-page", RowCheck::Ticked, false});
    add("an extension that takes over two pages",
        [&](ReviewFindings& f) {
            ExtensionFinding e;
            e.place = chrome;
            e.id = L"abcdefghijklmnopabcdefghijklmnop";
            e.name = L"Coupon Finder";
            e.overrides = OVERRIDES_HOME_PAGE | OVERRIDES_NEW_TAB;
            f.extensions.push_back(e);
        },
        {FindingGroup::Extensions, L"Coupon Finder takes over the home page, the new tab page",
         L"Google Chrome, profile Default", "", RowCheck::None, false});
    add("a side-loaded extension, turned off, of unknown name",
        [&](ReviewFindings& f) {
            ExtensionFinding e;
            e.place = chrome;
            e.id = L"x";
            e.installedBy = InstalledBy::OtherProgram;
            e.enabled = false;
            f.extensions.push_back(e);
        },
        {FindingGroup::Extensions, L"An extension of unknown name, installed by another program (turned off)",
         L"Google Chrome, profile Default", "", RowCheck::None, false});
    add("a browser shortcut that opens a page: fixed and ticked",
        [&](ReviewFindings& f) {
            f.launchers.push_back(
                Launcher(LauncherKind::Shortcut, sandbox / L"Google Chrome.lnk", L"https://ad.example/"));
        },
        {FindingGroup::Launchers, L"Opens https://ad.example/ when the shortcut is used", L"Shortcut \"Google Chrome\"",
         "browser-shortcut", RowCheck::Ticked, false});
    add("a site opened as an app is named but kept",
        [&](ReviewFindings& f) {
            LauncherFinding l = Launcher(LauncherKind::Shortcut, sandbox / L"Site.lnk", L"https://app.example/");
            l.arguments = L"--app=https://app.example/";
            l.opensAsApp = true;
            f.launchers.push_back(l);
        },
        {FindingGroup::Launchers, L"Opens the site https://app.example/ as an app when the shortcut is used",
         L"Shortcut \"Site\"", "", RowCheck::None, false});
    add("a user's Run value",
        [&](ReviewFindings& f) {
            f.launchers.push_back(Launcher(LauncherKind::RunValue, std::wstring(L"HKEY_CURRENT_USER\\") + RUN_KEY,
                                           L"https://ad.example"));
        },
        {FindingGroup::Launchers, L"Opens https://ad.example at every log-on", L"Start-up entry", "run-value",
         RowCheck::Ticked, false});
    add("a machine's Run value needs an administrator",
        [&](ReviewFindings& f) {
            f.launchers.push_back(Launcher(LauncherKind::RunValue, std::wstring(L"HKEY_LOCAL_MACHINE\\") + RUN_KEY,
                                           L"https://ad.example"));
        },
        {FindingGroup::Launchers, L"Opens https://ad.example at every log-on", L"Start-up entry for every user",
         "run-value", RowCheck::Ticked, true});
    add("a Startup item",
        [&](ReviewFindings& f) {
            f.launchers.push_back(Launcher(LauncherKind::StartupItem, sandbox / L"ad.url", L"https://ad.example"));
        },
        {FindingGroup::Launchers, L"Opens https://ad.example at every log-on", L"Startup folder", "startup-item",
         RowCheck::Ticked, false});
    add("a scheduled task of the user's own: turned off, ticked",
        [&](ReviewFindings& f) {
            LauncherFinding l = Launcher(LauncherKind::ScheduledTask, L"\\Ads\\Hourly", L"https://ad.example");
            l.trigger = L"every hour";
            f.launchers.push_back(l);
        },
        {FindingGroup::Launchers, L"Opens https://ad.example when the task runs", L"Task Scheduler", "scheduled-task",
         RowCheck::Ticked, false});
    add("a shortcut named after a browser that starts a script",
        [&](ReviewFindings& f) {
            LauncherFinding l = Launcher(LauncherKind::Shortcut, sandbox / L"Firefox.lnk", L"");
            l.program = L"C:\\x\\run.vbs";
            l.browser = L"Firefox";
            l.namedAfterBrowser = true;
            f.launchers.push_back(l);
        },
        {FindingGroup::Launchers, L"Named after Firefox but starts run", L"Shortcut \"Firefox\"", "", RowCheck::None,
         false});
    add("the system's proxy: fixed but not ticked",
        [&](ReviewFindings& f) {
            f.proxy.push_back({L"ProxyServer", L"127.0.0.1:8080", L"HKEY_CURRENT_USER\\...\\ProxyServer"});
        },
        {FindingGroup::Proxy, L"Web traffic goes through 127.0.0.1:8080", L"Windows' proxy settings", "proxy",
         RowCheck::Clear, false});
    add("Firefox's proxy script",
        [&](ReviewFindings& f) {
            f.proxy.push_back({L"network.proxy.autoconfig_url", L"http://p.example/p.pac", L"prefs.js"});
        },
        {FindingGroup::Proxy, L"Web traffic goes where a script sends it: http://p.example/p.pac",
         L"Firefox's proxy settings", "", RowCheck::None, false});
    add("a machine policy forcing an extension",
        [&](ReviewFindings& f) {
            f.policies.push_back({L"Google Chrome", true, L"ExtensionInstallForcelist\\1", L"abc;https://u.example/crx",
                                  PolicyEffect::ForcesExtension});
        },
        {FindingGroup::Policies, L"Forces an extension onto the browser: abc;https://u.example/crx",
         L"Google Chrome, policy for every user", "policy-value", RowCheck::Clear, true});
    add("another user policy",
        [&](ReviewFindings& f) {
            f.policies.push_back({L"Firefox", false, L"DisableTelemetry", L"1", PolicyEffect::Other});
        },
        {FindingGroup::Policies, L"Sets DisableTelemetry to 1", L"Firefox, user policy", "", RowCheck::None, false});
    return cases;
}

TEST(FindingRows, ShowEachKindInPlainWordsWithItsFixAndCheckState) {
    Sandbox sandbox;
    // A process without administrator rights: a machine's value needs one.
    bool (*real)() = isProcessElevated;
    isProcessElevated = [] { return false; };
    for (const Case& c : Cases(sandbox)) {
        SCOPED_TRACE(c.name);
        std::vector<FindingRow> rows = FindingRows(c.findings);
        ASSERT_EQ(rows.size(), 1u);
        EXPECT_EQ(ShownOf(rows[0]), c.expected);
        // Each line of the details is one masked line.
        std::wstring details = rows[0].details;
        for (std::size_t start = 0, end; (end = details.find(L"\r\n", start)) != std::wstring::npos; start = end + 2)
            EXPECT_EQ(MaskUnsafeCharacters(details.substr(start, end - start)), details.substr(start, end - start));
        // The id on the row is the one the fix is asked for by.
        std::vector<FixTarget> targets = FixTargets(c.findings);
        EXPECT_EQ(targets.size(), c.expected.fixKind.empty() ? 0u : 1u);
        if (!targets.empty()) {
            EXPECT_EQ(targets[0].findingId, rows[0].findingId);
        }
    }
    isProcessElevated = real;
}

TEST(FindingRows, DetailsNameTheFullPlaceTheIdAndHowToTakeTheFixBack) {
    Sandbox sandbox;
    ReviewFindings findings;
    findings.launchers.push_back(
        Launcher(LauncherKind::RunValue, std::wstring(L"HKEY_CURRENT_USER\\") + RUN_KEY, L"https://ad.example"));
    findings.policies.push_back({L"Google Chrome", false, L"DisableTelemetry", L"1", PolicyEffect::Other});
    // Groups come in the list's order, whatever order the findings have.
    findings.sitePermissions.push_back(
        {{L"Google Chrome", L"Default"}, {SitePermission::Notifications, L"https://n.example:443", false}});
    std::vector<FindingRow> rows = FindingRows(findings);
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[0].group, FindingGroup::Sites);
    EXPECT_EQ(rows[1].group, FindingGroup::Launchers);
    EXPECT_EQ(rows[2].group, FindingGroup::Policies);
    const std::wstring runDetails = rows[1].details;
    for (const std::wstring& part :
         {std::wstring(L"Registry value: HKEY_CURRENT_USER\\") + RUN_KEY + L"\r\n",
          L"Id: " + rows[1].findingId + L"\r\n", std::wstring(L"Fix: ") + FindFixKind("run-value")->action + L"\r\n",
          std::wstring(L"\"Undo last fix\"")})
        EXPECT_NE(runDetails.find(part), std::wstring::npos) << Utf8(part) << "\n" << Utf8(runDetails);
    EXPECT_EQ(runDetails.find(L"browsers are closed"), std::wstring::npos);
    EXPECT_NE(rows[0].details.find(L"The browsers are closed first."), std::wstring::npos);
    EXPECT_NE(rows[2].details.find(L"no fix of its own"), std::wstring::npos);
    EXPECT_EQ(rows[2].details.find(L"Undo"), std::wstring::npos);
    EXPECT_STREQ(FindingGroupName(FindingGroup::Launchers),
                 L"Shortcuts, start-up entries and tasks that open a web page");
}

}  // namespace
