#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "review/review.h"
#include "tests/test_support.h"

namespace {

const char* const EFFECTS[] = {"forces_extension", "controls_extensions", "home_page", "startup_pages",
                               "new_tab_page",     "search_engine",       "-"};

std::string Describe(const PolicyFinding& f) {
    return (f.machine ? "machine " : "user ") + Utf8(f.browser) + " " + Utf8(f.name) + " = " + Utf8(f.value) + " " +
           EFFECTS[static_cast<int>(f.effect)];
}

std::wstring TestKeyPath() {
    return L"Software\\PopSwat-test-" + std::to_wstring(GetCurrentProcessId());
}

}  // namespace

TEST(ReadBrowserPolicies, ListsEveryValueUnderEachBrowsersKeyFromBothRoots) {
    TemporaryRegistryKey base(HKEY_CURRENT_USER, TestKeyPath());
    TemporaryRegistryKey machine(HKEY_CURRENT_USER, TestKeyPath() + L"\\machine");
    TemporaryRegistryKey user(HKEY_CURRENT_USER, TestKeyPath() + L"\\user");
    ASSERT_TRUE(base.get() && machine.get() && user.get());
    const std::wstring chrome = L"SOFTWARE\\Policies\\Google\\Chrome";
    machine.SetText(chrome + L"\\ExtensionInstallForcelist", L"1",
                    L"ncbkfmpgldjhaiebpnkdcmflhgojeiak;https://clients2.google.com/service/update2/crx");
    machine.SetText(chrome, L"HomepageLocation", L"http://home.example/");
    machine.SetNumber(chrome, L"RestoreOnStartup", 4);
    machine.SetText(chrome + L"\\RestoreOnStartupURLs", L"1", L"http://start.example/");
    machine.SetText(chrome, L"DefaultSearchProviderSearchURL", L"http://q.example/?q={searchTerms}");
    machine.SetNumber(chrome, L"PasswordManagerEnabled", 0);
    machine.SetText(L"SOFTWARE\\Policies\\Opera Software\\Opera Stable", L"NewTabPageLocation", L"http://tab.example/");
    machine.SetText(L"SOFTWARE\\Policies\\Opera Software", L"NotAnEdition", L"x");
    const std::wstring firefox = L"SOFTWARE\\Policies\\Mozilla\\Firefox";
    machine.SetText(firefox + L"\\Extensions\\Install", L"1", L"https://adware.example/a.xpi");
    machine.SetText(firefox + L"\\Extensions\\Locked", L"1", L"a@adware.example");
    machine.SetText(firefox + L"\\Homepage", L"URL", L"http://fox.example/");
    const wchar_t multi[] = L"{\"*\":\0{}\0";
    machine.Set(firefox, L"ExtensionSettings", REG_MULTI_SZ, multi, sizeof(multi));
    const std::wstring edge = L"SOFTWARE\\Policies\\Microsoft\\Edge";
    user.SetText(edge, L"NewTabPageLocation", L"http://tab.example/\x1b[2J");
    const wchar_t unterminated[] = {L'a', L'b'};
    user.Set(edge, L"HomepageIsNewTabPage", REG_SZ, unterminated, sizeof(unterminated));
    ULONGLONG big = 1ull << 40;
    user.Set(edge, L"Big", REG_QWORD, &big, sizeof(big));
    const BYTE binary[] = {1, 2, 3};
    user.Set(edge, L"Blob", REG_BINARY, binary, sizeof(binary));
    user.SetText(L"SOFTWARE\\Policies\\BraveSoftware\\Brave\\ExtensionSettings\\ncbkfmpgldjhaiebpnkdcmflhgojeiak",
                 L"installation_mode", L"force_installed");
    user.SetText(L"SOFTWARE\\Policies\\Vivaldi", L"", L"default value");

    std::vector<std::string> found;
    bool userSeen = false;
    for (const PolicyFinding& finding : ReadBrowserPolicies({machine.get(), user.get()})) {
        EXPECT_FALSE(userSeen && finding.machine) << "machine values come first";
        userSeen |= !finding.machine;
        found.push_back(Describe(finding));
    }
    std::sort(found.begin(), found.end());
    std::vector<std::string> expected = {
        "machine Firefox ExtensionSettings = {\"*\":; {} controls_extensions",
        "machine Firefox Extensions\\Install\\1 = https://adware.example/a.xpi forces_extension",
        "machine Firefox Extensions\\Locked\\1 = a@adware.example controls_extensions",
        "machine Firefox Homepage\\URL = http://fox.example/ home_page",
        "machine Google Chrome DefaultSearchProviderSearchURL = http://q.example/?q={searchTerms} search_engine",
        "machine Google Chrome ExtensionInstallForcelist\\1 = "
        "ncbkfmpgldjhaiebpnkdcmflhgojeiak;https://clients2.google.com/service/update2/crx forces_extension",
        "machine Google Chrome HomepageLocation = http://home.example/ home_page",
        "machine Google Chrome PasswordManagerEnabled = 0 -",
        "machine Google Chrome RestoreOnStartup = 4 startup_pages",
        "machine Google Chrome RestoreOnStartupURLs\\1 = http://start.example/ startup_pages",
        "machine Opera NewTabPageLocation = http://tab.example/ new_tab_page",
        "user Brave ExtensionSettings\\ncbkfmpgldjhaiebpnkdcmflhgojeiak\\installation_mode = force_installed "
        "controls_extensions",
        "user Microsoft Edge Big = 1099511627776 -",
        "user Microsoft Edge Blob = (3 bytes of data of type 3) -",
        "user Microsoft Edge HomepageIsNewTabPage = ab home_page",
        "user Microsoft Edge NewTabPageLocation = http://tab.example/\x1b[2J new_tab_page",
        "user Vivaldi  = default value -",
    };
    EXPECT_EQ(found, expected);

    // Nothing under the roots: nothing found, and the real roots are never needed by tests.
    TemporaryRegistryKey empty(HKEY_CURRENT_USER, TestKeyPath() + L"\\empty");
    EXPECT_TRUE(ReadBrowserPolicies({empty.get(), empty.get()}).empty());
}

TEST(ClassifyPolicy, MarksThePoliciesThatTakeOverTheBrowser) {
    struct Row {
        bool firefox;
        const wchar_t* name;
        PolicyEffect expected;
    };
    const Row rows[] = {
        {false, L"extensioninstallforcelist\\3", PolicyEffect::ForcesExtension},
        {false, L"DefaultSearchProviderEnabled", PolicyEffect::SearchEngine},
        {false, L"HomepageLocationX", PolicyEffect::Other},
        {false, L"Homepage\\URL", PolicyEffect::Other},
        {true, L"HomepageLocation", PolicyEffect::Other},
        {true, L"Extensions\\Install", PolicyEffect::ControlsExtensions},
        {true, L"SearchEngines\\Default", PolicyEffect::SearchEngine},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(Utf8(row.name));
        EXPECT_EQ(ClassifyPolicy(row.firefox, row.name), row.expected);
    }
}
