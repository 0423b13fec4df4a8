#include <gtest/gtest.h>

#include "engine/engine.h"
#include "tests/table_rows.h"
#include "tests/test_support.h"

TEST(BrowserCatalogue, HoldsTheSevenBrowsersInOrderAndIsBuiltOnce) {
    const BrowserCatalogue& first = GetBrowserCatalogue();
    const BrowserCatalogue& second = GetBrowserCatalogue();
    EXPECT_EQ(&first, &second);
    EXPECT_EQ(first.data(), second.data());

    const BrowserEntry expected[] = {
        {L"Google Chrome", L"chrome.exe", BrowserKind::ChromiumFamily, L"LOCALAPPDATA", L"Google\\Chrome\\User Data",
         L"Google Chrome", L"SOFTWARE\\Policies\\Google\\Chrome"},
        {L"Microsoft Edge", L"msedge.exe", BrowserKind::ChromiumFamily, L"LOCALAPPDATA", L"Microsoft\\Edge\\User Data",
         L"Microsoft Edge", L"SOFTWARE\\Policies\\Microsoft\\Edge"},
        {L"Brave", L"brave.exe", BrowserKind::ChromiumFamily, L"LOCALAPPDATA",
         L"BraveSoftware\\Brave-Browser\\User Data", L"Brave", L"SOFTWARE\\Policies\\BraveSoftware\\Brave"},
        {L"Vivaldi", L"vivaldi.exe", BrowserKind::ChromiumFamily, L"LOCALAPPDATA", L"Vivaldi\\User Data", L"Vivaldi",
         L"SOFTWARE\\Policies\\Vivaldi"},
        {L"Opera", L"opera.exe", BrowserKind::ChromiumFamily, L"APPDATA", L"Opera Software\\Opera Stable", L"Opera",
         L"SOFTWARE\\Policies\\Opera Software", true},
        {L"Opera GX", L"opera.exe", BrowserKind::ChromiumFamily, L"APPDATA", L"Opera Software\\Opera GX Stable",
         L"Opera GX", nullptr},
        {L"Mozilla Firefox", L"firefox.exe", BrowserKind::Firefox, L"APPDATA", L"", L"Firefox",
         L"SOFTWARE\\Policies\\Mozilla\\Firefox"},
    };
    // Text columns as "a|b|...", a missing policy key as "-".
    auto columns = [](const BrowserEntry& row) {
        return Utf8(std::wstring(row.displayName) + L"|" + row.imageName + L"|" + row.baseVariable + L"|" +
                    row.subPath + L"|" + row.reportName + L"|" + (row.policyKey ? row.policyKey : L"-")) +
               (row.kind == BrowserKind::Firefox ? "|firefox" : "") + (row.policyKeyPerEdition ? "|editions" : "");
    };
    ASSERT_EQ(first.size(), std::size(expected));
    for (std::size_t i = 0; i < first.size(); ++i)
        EXPECT_EQ(columns(first[i]), columns(expected[i])) << i;
}

TEST(FormatWide, FormatsWideStringsAndSizes) {
    EXPECT_EQ(FormatWide(L"  [preview] would close %ls (%zu process(es))", L"Opera", std::size_t{3}),
              L"  [preview] would close Opera (3 process(es))");
    EXPECT_EQ(FormatWide(L"Cleaning Mozilla Firefox ..."), L"Cleaning Mozilla Firefox ...");
    EXPECT_EQ(FormatWide(L"%ls", L"caf\u00e9 \u738b \U0001F600"), L"caf\u00e9 \u738b \U0001F600");
}

TEST(FormatWide, CutsLongTextAt1023CharactersEndingWithDots) {
    const std::wstring prefix = L"  deleted: ";
    const std::wstring pair = L"\xd83d\xde00";
    const std::wstring body(1023 - prefix.size() - 1, L'p');
    const TableRow<std::wstring, std::wstring> rows[] = {
        {"1022 characters", body, prefix + body},
        {"1023 characters", body + L"q", prefix + body + L"q"},
        {"1024 characters", body + L"qr", prefix + body.substr(0, body.size() - 2) + L"..."},
        {"5000 characters", std::wstring(5000 - prefix.size(), L'p'),
         prefix + std::wstring(1020 - prefix.size(), L'p') + L"..."},
        {"a surrogate pair across the cut", std::wstring(1019 - prefix.size(), L'p') + pair + L"xyz",
         prefix + std::wstring(1019 - prefix.size(), L'p') + L"..."},
    };
    ExpectEachRow(rows, [&](const std::wstring& path) { return FormatWide(L"  deleted: %ls", path.c_str()); });
}

TEST(ReadEnvironmentVariable, UsesOnlyValuesOf1To519Characters) {
    const wchar_t* name = L"POPSWAT_TEST_VARIABLE";
    struct Case {
        std::size_t length;
        bool usable;
    };
    for (Case c : {Case{1, true}, Case{519, true}, Case{520, false}, Case{2000, false}}) {
        SCOPED_TRACE(c.length);
        std::wstring value(c.length, L'v');
        ScopedEnvironmentVariable variable(name, value.c_str());
        EXPECT_EQ(ReadEnvironmentVariable(name), c.usable ? value : L"");
    }
    ScopedEnvironmentVariable unset(name, nullptr);
    EXPECT_EQ(ReadEnvironmentVariable(name), L"");
    ScopedEnvironmentVariable empty(name, L"");
    EXPECT_EQ(ReadEnvironmentVariable(name), L"");
}

TEST(AsciiCaseFolding, FoldsOnlyAsciiLetters) {
    EXPECT_TRUE(EqualsIgnoringAsciiCase(L"CHROME.EXE", L"chrome.exe"));
    EXPECT_FALSE(EqualsIgnoringAsciiCase(L"chrome.exe.bak", L"chrome.exe"));
    EXPECT_FALSE(EqualsIgnoringAsciiCase(L"mychrome.exe", L"chrome.exe"));
    EXPECT_FALSE(EqualsIgnoringAsciiCase(L"\u00c9", L"\u00e9"));  // É is not folded to é
    EXPECT_TRUE(StartsWithIgnoringAsciiCase(L"PROFILE 3", L"Profile "));
    EXPECT_FALSE(StartsWithIgnoringAsciiCase(L"Profile", L"Profile "));
}

TEST(PathForms, LongPathFormIsLexicalAndFullFolderPathHasNoTrailingBackslash) {
    struct Row {
        std::wstring (*form)(const std::wstring&);
        const wchar_t* path;
        const wchar_t* expected;
    };
    const Row rows[] = {
        {LongPathForm, L"C:\\Users\\x\\file.", L"\\\\?\\C:\\Users\\x\\file."},
        {LongPathForm, L"d:\\CON", L"\\\\?\\d:\\CON"},
        {LongPathForm, L"C:", L"\\\\?\\C:\\"},
        {LongPathForm, L"\\\\server\\share\\name ", L"\\\\?\\UNC\\server\\share\\name "},
        {LongPathForm, L"\\\\?\\C:\\x", L"\\\\?\\C:\\x"},
        {LongPathForm, L"\\\\.\\pipe\\x", L"\\\\.\\pipe\\x"},
        {LongPathForm, L"C:x", L"C:x"},
        {LongPathForm, L"relative\\x", L"relative\\x"},
        {LongPathForm, L"\\Mozilla\\Firefox", L"\\Mozilla\\Firefox"},
        {LongPathForm, L"", L""},
        {FullFolderPath, L"C:\\Users\\x\\AppData\\Local", L"C:\\Users\\x\\AppData\\Local"},
        {FullFolderPath, L"C:\\Users\\x\\\\Local\\", L"C:\\Users\\x\\Local"},
        {FullFolderPath, L"C:/Users/x/../y", L"C:\\Users\\y"},
        {FullFolderPath, L"C:\\", L"C:"},
        {FullFolderPath, L"\\\\server\\share\\x\\", L"\\\\server\\share\\x"},
        {FullFolderPath, L"", L""},
    };
    for (const Row& row : rows)
        EXPECT_EQ(row.form(row.path), row.expected) << Utf8(row.path);

    // A base folder from the environment with a trailing backslash gives clean child paths.
    TempFolder folder;
    ScopedEnvironmentVariable local(L"LOCALAPPDATA", (folder.path() + L"\\").c_str());
    EXPECT_EQ(UserDataFolder(GetBrowserCatalogue()[0]), folder / L"Google\\Chrome\\User Data");
}
