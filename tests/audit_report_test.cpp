#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "audit/audit.h"
#include "tests/test_support.h"

namespace {

const std::vector<std::wstring> HEADING = {L"Installed browser extensions:", L""};
const std::vector<std::wstring> CLOSING = {
    L"",
    L"Anything marked \"side-loaded\" was NOT installed from a web store -- that",
    L"is a common way popup/adware sneaks in. Remove anything you don't recognise",
    L"from your browser's extensions page (chrome://extensions, edge://extensions,",
    L"or about:addons in Firefox).",
};

std::vector<std::wstring> Report(const std::vector<std::wstring>& extensionLines) {
    std::vector<std::wstring> lines = HEADING;
    lines.insert(lines.end(), extensionLines.begin(), extensionLines.end());
    lines.insert(lines.end(), CLOSING.begin(), CLOSING.end());
    return lines;
}

void MakeChromiumExtension(const std::wstring& profile, const std::string& name) {
    MakeFile(profile + L"\\Preferences", "{}");
    MakeFile(profile + L"\\Extensions\\" + std::wstring(name.begin(), name.end()) + L"\\1.0_0\\manifest.json",
             R"({"name": ")" + name + R"(", "version": "1.0", "update_url": ""})");
}

void MakeFirefoxAddon(const Sandbox& sandbox, const std::string& name, const std::string& olderRecord = "") {
    MakeFile(sandbox.appData() + L"\\Mozilla\\Firefox\\Profiles\\p\\extensions.json",
             R"({"addons":[{"type":"extension","defaultLocale":{"name":")" + name + R"("},"location":"app-profile"})" +
                 olderRecord + "]}");
}

std::vector<std::wstring> RunCapturedAudit(bool preview = false, bool tabsOnly = false, bool force = false) {
    std::vector<std::wstring> lines;
    CleanupOptions options = CapturingOptions(&lines, preview, tabsOnly);
    options.force = force;
    RunAudit(options);
    return lines;
}

}  // namespace

TEST(RunAudit, PrintsOnlyTheFixedLinesWhenNothingIsInstalled) {
    Sandbox sandbox;
    std::vector<std::wstring> lines = RunCapturedAudit();
    EXPECT_EQ(lines, Report({}));
    ASSERT_EQ(lines.size(), 7u);
    EXPECT_EQ(lines[3].size(), 72u);
    EXPECT_EQ(lines[4].size(), 75u);
    EXPECT_EQ(lines[5].size(), 76u);
    EXPECT_EQ(lines[6].size(), 28u);

    CleanupOptions silent;
    RunAudit(silent);  // an empty sink drops every line
}

TEST(RunAudit, ListsBrowsersInCatalogueOrderWithFirefoxLast) {
    Sandbox sandbox;
    // Created in reverse so that no listing order can pass for catalogue order.
    MakeFirefoxAddon(sandbox, "Fox Tool",
                     R"(,{"location":"app-profile","type":"theme","defaultLocale":{"name":"Older Theme"}})");
    MakeChromiumExtension(sandbox.appData() + L"\\Opera Software\\Opera GX Stable", "GX Tool");
    MakeChromiumExtension(sandbox.appData() + L"\\Opera Software\\Opera Stable", "Opera Tool");
    // Opera's further profiles come after the user-data folder that is its first.
    MakeChromiumExtension(sandbox.appData() + L"\\Opera Software\\Opera Stable\\_side_profiles\\2b1f9c", "Side Tool");
    // A localised name, an unpacking folder and an update that is not yet written.
    std::wstring vivaldi = sandbox.localAppData() + L"\\Vivaldi\\User Data\\Default";
    MakeFile(vivaldi + L"\\Preferences", "{}");
    std::wstring translated = vivaldi + L"\\Extensions\\translated\\3.1_0";
    MakeFile(translated + L"\\manifest.json",
             R"({"name": "__MSG_extName__", "default_locale": "fr", "version": "3.1"})");
    MakeFile(translated + L"\\_locales\\fr\\messages.json", R"({"other": {"message": "Autre"}})");
    MakeFile(translated + L"\\_locales\\en\\messages.json", R"({"extName": {"message": "Vivaldi Tool"}})");
    MakeFile(translated + L"\\_locales\\de\\messages.json", R"({"extName": {"message": "Werkzeug"}})");
    MakeFile(vivaldi + L"\\Extensions\\translated\\3.2_0\\manifest.json", "");
    MakeFile(vivaldi + L"\\Extensions\\Temp\\scoped_dir\\manifest.json", R"({"name": "Unpacking"})");
    MakeChromiumExtension(sandbox.localAppData() + L"\\BraveSoftware\\Brave-Browser\\User Data\\Profile 1",
                          "Brave Tool");
    MakeChromiumExtension(sandbox.localAppData() + L"\\Microsoft\\Edge\\User Data\\Default", "Edge Tool");
    MakeChromiumExtension(sandbox.localAppData() + L"\\Google\\Chrome\\User Data\\Profile 2", "Chrome Tool");
    MakeChromiumExtension(sandbox.localAppData() + L"\\Google\\Chrome\\User Data\\Default", "Chrome Other");

    std::vector<std::wstring> chrome;
    for (const std::wstring& line : RunCapturedAudit()) {
        if (line.rfind(L"  [Google Chrome/", 0) == 0)
            chrome.push_back(line);
    }
    ASSERT_EQ(chrome.size(), 2u);
    std::vector<std::wstring> expected = {chrome[0],
                                          chrome[1],
                                          L"  [Microsoft Edge/Default] Edge Tool  v1.0",
                                          L"  [Brave/Profile 1] Brave Tool  v1.0",
                                          L"  [Vivaldi/Default] Vivaldi Tool  v3.1   <-- side-loaded, review!",
                                          L"  [Opera] Opera Tool  v1.0",
                                          L"  [Opera/_side_profiles\\2b1f9c] Side Tool  v1.0",
                                          L"  [Opera GX] GX Tool  v1.0",
                                          L"  [Firefox] Fox Tool",
                                          L"  [Firefox] Older Theme  (theme)"};
    EXPECT_EQ(RunCapturedAudit(), Report(expected));
    // The flags of a cleanup run change nothing.
    EXPECT_EQ(RunCapturedAudit(true, true, true), Report(expected));
    // The JSON entries: the same extensions in the same order, texts as found.
    std::vector<std::string> entries = {"Google Chrome|Profile 2|Chrome Tool|Chrome Tool|1.0|extension|false",
                                        "Google Chrome|Default|Chrome Other|Chrome Other|1.0|extension|false",
                                        "Microsoft Edge|Default|Edge Tool|Edge Tool|1.0|extension|false",
                                        "Brave|Profile 1|Brave Tool|Brave Tool|1.0|extension|false",
                                        "Vivaldi|Default|translated|Vivaldi Tool|3.1|extension|true",
                                        "Opera|null|Opera Tool|Opera Tool|1.0|extension|false",
                                        "Opera|_side_profiles\\2b1f9c|Side Tool|Side Tool|1.0|extension|false",
                                        "Opera GX|null|GX Tool|GX Tool|1.0|extension|false",
                                        "Firefox|null||Fox Tool||extension|false",
                                        "Firefox|null||Older Theme||theme|false"};
    if (chrome[0].find(L"Chrome Other") != std::wstring::npos)
        std::swap(entries[0], entries[1]);
    EXPECT_EQ(AuditJsonEntries(AuditJson(CollectAudit())), entries);
}

TEST(RunAudit, SkipsBrowsersWhoseBaseFolderIsNotSet) {
    Sandbox sandbox;
    MakeChromiumExtension(sandbox.localAppData() + L"\\Google\\Chrome\\User Data\\Default", "Chrome Tool");
    MakeChromiumExtension(sandbox.appData() + L"\\Opera Software\\Opera Stable", "Opera Tool");
    MakeFirefoxAddon(sandbox, "Fox Tool");
    {
        ScopedEnvironmentVariable noLocal(L"LOCALAPPDATA", nullptr);
        EXPECT_EQ(RunCapturedAudit(), Report({L"  [Opera] Opera Tool  v1.0", L"  [Firefox] Fox Tool"}));
    }
    {
        // A value of 520 characters or more counts as no value.
        ScopedEnvironmentVariable longRoaming(L"APPDATA", (sandbox.appData() + std::wstring(520, L'\\')).c_str());
        EXPECT_EQ(RunCapturedAudit(), Report({L"  [Google Chrome/Default] Chrome Tool  v1.0"}));
    }
}
