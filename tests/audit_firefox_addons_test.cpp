#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "audit/audit_testing.h"
#include "tests/table_rows.h"
#include "tests/test_support.h"

namespace {

// An add-on record in the layout of current Firefox: "location" after "defaultLocale".
std::string Record(const std::string& name, const std::string& type, const std::string& location) {
    return R"({"id":"x@example.com","type":")" + type + R"(","defaultLocale":{"name":")" + name +
           R"(","description":"d","creator":null},"visible":true,"location":")" + location + R"("})";
}

std::string ExtensionsJson(const std::vector<std::string>& records) {
    std::string text = R"({"schemaVersion":36,"addons":[)";
    for (std::size_t i = 0; i < records.size(); ++i)
        text += (i ? "," : "") + records[i];
    return text + "]}";
}

std::wstring ProfilesFolder(const Sandbox& sandbox) {
    return sandbox.appData() + L"\\Mozilla\\Firefox\\Profiles";
}

std::vector<std::wstring> AuditAll() {
    std::vector<std::wstring> lines;
    AuditFirefox(CapturingOptions(&lines));
    return lines;
}

}  // namespace

TEST(AuditFirefoxProfile, ListsProfileAddonsWithTheThemeMark) {
    const TableRow<std::string, std::vector<std::wstring>> rows[] = {
        {"extension", Record("uBlock Origin", "extension", "app-profile"), {L"  [Firefox] uBlock Origin"}},
        {"theme", Record("Dark Sky", "theme", "app-profile"), {L"  [Firefox] Dark Sky  (theme)"}},
        {"Theme is not theme", Record("T", "Theme", "app-profile"), {L"  [Firefox] T"}},
        {"theme2 is not theme", Record("T", "theme2", "app-profile"), {L"  [Firefox] T"}},
        {"system add-on", Record("Screenshots", "extension", "app-system-defaults"), {}},
        {"built-in add-on", Record("Form Autofill", "extension", "app-builtin-addons"), {}},
        {"placed in a system-wide folder",
         Record("Shopper", "extension", "app-system-share"),
         {L"  [Firefox] Shopper"}},
        {"placed through the registry", Record("Toolbar", "extension", "winreg-app-user"), {L"  [Firefox] Toolbar"}},
        {"Profile in capitals", Record("N", "extension", "app-Profile"), {}},
        {"name of one non-ASCII escape", Record("\\u00e9", "extension", "app-profile"), {L"  [Firefox] \xe9"}},
        {"non-ASCII escapes in a name",
         Record("Caf\\u00e9 \\u4e2d\\u6587 \\ud83d\\ude00", "extension", "app-profile"),
         {L"  [Firefox] Caf\xe9 \x4e2d\x6587 \xd83d\xde00"}},
        {"a zero-width escape in a name",
         Record("Goo\\u200bgle", "extension", "app-profile"),
         {L"  [Firefox] Goo?gle"}},
        {"raw UTF-8 name", Record("Caf\xc3\xa9", "extension", "app-profile"), {L"  [Firefox] Caf\xe9"}},
        {"long name shortened before the theme mark",
         Record(std::string(1500, 'n'), "theme", "app-profile"),
         {L"  [Firefox] " + std::wstring(197, L'n') + L"...  (theme)"}},
        {"line feed imitating another add-on",
         Record("A\\n  [Firefox] Bank Helper", "extension", "app-profile"),
         {L"  [Firefox] A?  [Firefox] Bank Helper"}},
        {"escape sequence erasing the line", Record("\\u001b[2KB", "extension", "app-profile"), {L"  [Firefox] ?[2KB"}},
        {"right-to-left override",
         Record("Notes\xe2\x80\xae"
                "gpj.exe",
                "theme", "app-profile"),
         {L"  [Firefox] Notes?gpj.exe  (theme)"}},
    };
    ExpectEachRow(rows, [](const std::string& record) {
        Sandbox sandbox;
        std::wstring profile = ProfilesFolder(sandbox) + L"\\abcd.default-release";
        MakeFile(profile + L"\\extensions.json", ExtensionsJson({record}));
        std::vector<std::wstring> lines;
        AuditFirefoxProfile(CapturingOptions(&lines), profile);
        return lines;
    });
}

TEST(AuditFirefoxProfile, ListsTheFirstAddonOfAFileInEitherLayout) {
    const std::string current =
        ExtensionsJson({Record("First", "extension", "app-profile"),
                        Record("System", "extension", "app-system-defaults"), Record("Third", "theme", "app-profile")});
    const std::string older =
        R"({"addons":[{"location":"app-profile","type":"extension","defaultLocale":{"name":"First"}},)"
        R"({"location":"app-system-defaults","type":"extension","defaultLocale":{"name":"System"}},)"
        R"({"location":"app-profile","type":"theme","defaultLocale":{"name":"Third"}}]})";
    for (const std::string& text : {current, older}) {
        SCOPED_TRACE(text);
        Sandbox sandbox;
        std::wstring profile = ProfilesFolder(sandbox) + L"\\p";
        MakeFile(profile + L"\\extensions.json", text);
        std::vector<std::wstring> lines;
        AuditFirefoxProfile(CapturingOptions(&lines), profile);
        EXPECT_EQ(lines, (std::vector<std::wstring>{L"  [Firefox] First", L"  [Firefox] Third  (theme)"}));
    }
}

TEST(AuditFirefox, ListsEveryProfileFolderAndIgnoresFiles) {
    Sandbox sandbox;
    std::wstring profiles = ProfilesFolder(sandbox);
    const std::string text = ExtensionsJson({Record("Same", "extension", "app-profile")});
    MakeFile(profiles + L"\\one.default\\extensions.json", text);
    MakeFile(profiles + L"\\two.dev-edition\\extensions.json", text);
    MakeFile(profiles + L"\\three-without-file\\prefs.js", "x");
    MakeFile(profiles + L"\\four-empty-file\\extensions.json", "");
    MakeFile(profiles + L"\\extensions.json", text);
    // A profile outside the Profiles folder counts once, however often profiles.ini names it.
    MakeFile(sandbox / L"Elsewhere\\extensions.json", ExtensionsJson({Record("Outside", "extension", "app-profile")}));
    MakeFile(sandbox / L"Elsewhere\\times.json", "{}");
    MakeFile(sandbox.appData() + L"\\Mozilla\\Firefox\\profiles.ini",
             "[Profile0]\nIsRelative=0\nPath=" + Utf8(sandbox / L"Elsewhere") +
                 "\n[Profile1]\nIsRelative=1\nPath=../../../Elsewhere\n"
                 "[Profile2]\nIsRelative=1\nPath=Profiles/one.default\n");
    EXPECT_EQ(AuditAll(),
              (std::vector<std::wstring>{L"  [Firefox] Same", L"  [Firefox] Same", L"  [Firefox] Outside"}));
}

TEST(AuditFirefox, PrintsNothingWithoutAProfilesFolderOrAppData) {
    Sandbox sandbox;
    EXPECT_TRUE(AuditAll().empty());
    MakeFile(sandbox.appData() + L"\\Mozilla\\Firefox\\Profiles", "a file");
    EXPECT_TRUE(AuditAll().empty());

    DeleteTreeForTest(sandbox.appData() + L"\\Mozilla");
    MakeFile(ProfilesFolder(sandbox) + L"\\p\\extensions.json",
             ExtensionsJson({Record("N", "extension", "app-profile")}));
    ASSERT_EQ(AuditAll().size(), 1u);
    ScopedEnvironmentVariable noAppData(L"APPDATA", nullptr);
    EXPECT_TRUE(AuditAll().empty());
}

TEST(AuditFirefoxProfile, SaysSoWhenExtensionsJsonCannotBeRead) {
    Sandbox sandbox;
    std::wstring profile = ProfilesFolder(sandbox) + L"\\abcd.default-release";
    std::wstring file = profile + L"\\extensions.json";
    const std::vector<std::wstring> expected = {L"  [Firefox] (could not be read) " + file};
    std::vector<std::wstring> lines;
    ASSERT_TRUE(MakeSparseFile(file, static_cast<long long>(MaxBytes(BrowserFile::FirefoxAddons)) + 1));
    AuditFirefoxProfile(CapturingOptions(&lines), profile);
    EXPECT_EQ(lines, expected);
    EXPECT_EQ(AuditJsonEntries(AuditJson(InventoryFirefoxProfile(L"Firefox", profile))),
              std::vector<std::string>{"unreadable|Firefox|null|" + Utf8(file) + "|too_large"});

    lines.clear();
    MakeFile(file, ExtensionsJson({Record("Hidden", "extension", "app-profile")}));
    UniqueHandle holder = HoldFile(file);
    ASSERT_TRUE(holder);
    AuditFirefoxProfile(CapturingOptions(&lines), profile);
    EXPECT_EQ(lines, expected);
    EXPECT_EQ(AuditJsonEntries(AuditJson(InventoryFirefoxProfile(L"Firefox", profile))),
              std::vector<std::string>{"unreadable|Firefox|null|" + Utf8(file) + "|unreadable"});
}
