#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "audit/audit_testing.h"
#include "tests/test_support.h"

using namespace std::string_literals;

namespace {

const std::wstring MARK = L"   <-- side-loaded, review!";
const std::string STORE_URL = R"("update_url": "https://clients2.google.com/service/update2/crx")";

// Writes profile\Extensions\id\version\manifest.json and returns the version folder.
std::wstring MakeExtension(const std::wstring& profile,
                           const std::wstring& id,
                           const std::wstring& version,
                           const std::string& manifest) {
    std::wstring folder = profile + L"\\Extensions\\" + id + L"\\" + version;
    MakeFile(folder + L"\\manifest.json", manifest);
    return folder;
}

std::string StoreManifest(const std::string& name, const std::string& version) {
    return "{\"name\": \"" + name + "\", \"version\": \"" + version + "\", " + STORE_URL + "}";
}

// Folder names in the order the file system lists them.
std::vector<std::wstring> ListedNames(const std::wstring& folder) {
    std::vector<std::wstring> names;
    ForEachFolderEntry(folder, [&](const std::wstring& name, uint32_t) { names.push_back(name); });
    return names;
}

std::vector<std::wstring> AuditProfile(const std::wstring& profile, const std::wstring& label = L"Brave") {
    std::vector<std::wstring> lines;
    AuditChromiumProfile(CapturingOptions(&lines), label, profile);
    return lines;
}

// The same profile's JSON entries, browser "Brave" or as given, its profile name "" (null) or as given.
std::vector<std::string> AuditProfileJson(const std::wstring& profile,
                                          const std::wstring& browser = L"Brave",
                                          const std::wstring& profileName = L"") {
    return AuditJsonEntries(AuditJson(InventoryChromiumProfile(browser, profileName, profile)));
}

// The lines in sorted order, for results whose order the file system decides.
template <typename Line>
std::vector<Line> Sorted(std::vector<Line> lines) {
    std::sort(lines.begin(), lines.end());
    return lines;
}

}  // namespace

TEST(AuditChromiumBrowser, AuditsTheUserDataFolderFirstThenProfileSubfolders) {
    Sandbox sandbox;
    std::wstring userData = sandbox / L"User Data";
    MakeFile(userData + L"\\Preferences", "{}");
    MakeExtension(userData, L"root", L"1.0", StoreManifest("Root One", "1.0"));
    // Profiles by name and content; "Profile" without a space and look-alikes are not.
    for (std::wstring name : {L"Profile 2", L"PROFILE 3"})
        MakeExtension(userData + L"\\" + name, L"ext", L"2.0", StoreManifest(Utf8(name) + " ext", "2.0"));
    MakeFile(userData + L"\\Default\\Secure Preferences", "{}");
    MakeExtension(userData + L"\\Default", L"ext", L"3.0", StoreManifest("Default ext", "3.0"));
    for (std::wstring name :
         {L"Profile", L"Guest Profile", L"System Profile", L"Profile3", L"Extensions2", L"Profile 2 - Copy"}) {
        MakeFile(userData + L"\\" + name + L"\\Preferences", "{}");
        MakeExtension(userData + L"\\" + name, L"ext", L"1.0", StoreManifest("never", "1.0"));
    }
    MakeFile(userData + L"\\Profile 4", "a file, not a folder");

    std::vector<std::wstring> expected = {L"  [Opera] Root One  v1.0"};
    for (const std::wstring& name : ListedNames(userData)) {
        if (name == L"Default")
            expected.push_back(L"  [Opera/Default] Default ext  v3.0");
        else if (name == L"Profile 2" || name == L"PROFILE 3")
            expected.push_back(L"  [Opera/" + name + L"] " + name + L" ext  v2.0");
    }
    std::vector<std::wstring> lines;
    AuditChromiumBrowser(CapturingOptions(&lines), L"Opera", userData);
    EXPECT_EQ(lines, expected);
}

TEST(AuditChromiumBrowser, PrintsNothingForAMissingOrNonFolderUserDataPath) {
    Sandbox sandbox;
    MakeFile(sandbox / L"file", "x");
    MakeFile(sandbox / L"empty\\Default\\Preferences", "{}");
    for (const std::wstring& path : {sandbox / L"missing", sandbox / L"file", sandbox / L"empty"}) {
        SCOPED_TRACE(Utf8(path));
        std::vector<std::wstring> lines;
        AuditChromiumBrowser(CapturingOptions(&lines), L"Vivaldi", path);
        EXPECT_TRUE(lines.empty());
    }
}

TEST(AuditChromiumProfile, SkipsTempFoldersFilesAndExtensionsWithoutAManifest) {
    Sandbox sandbox;
    std::wstring profile = sandbox / L"Default";
    MakeExtension(profile, L"Temp", L"1.0", StoreManifest("in Temp", "1.0"));
    MakeExtension(profile, L"tEMP", L"1.0", StoreManifest("in tEMP", "1.0"));
    MakeExtension(profile, L"Temporary", L"1.0", StoreManifest("Temporary", "1.0"));
    MakeFile(profile + L"\\Extensions\\loose-file", StoreManifest("loose", "1.0"));
    MakeFile(profile + L"\\Extensions\\no-version\\manifest.json", StoreManifest("no version folder", "1.0"));
    MakeExtension(profile, L"empty-manifest", L"1.0", "");
    MakeFolder(profile + L"\\Extensions\\no-manifest\\1.0");
    EXPECT_EQ(AuditProfile(profile), std::vector<std::wstring>{L"  [Brave] Temporary  v1.0"});

    std::wstring noExtensions = sandbox / L"Profile 1";
    MakeFile(noExtensions + L"\\Extensions", "a file");
    EXPECT_TRUE(AuditProfile(noExtensions).empty());
}

TEST(AuditChromiumProfile, TakesTheLastListedVersionFolderWithANonEmptyManifest) {
    Sandbox sandbox;
    std::wstring profile = sandbox / L"Default";
    MakeExtension(profile, L"ext", L"1.0_0", "{\"name\": \"Old\", \"version\": \"1.0\", " + STORE_URL + "}");
    MakeExtension(profile, L"ext", L"2.0_0", "{\"name\": \"New\", \"version\": \"2.0\"}");
    MakeExtension(profile, L"ext", L"3.0_0", "");
    MakeFile(profile + L"\\Extensions\\ext\\manifest.json", StoreManifest("file beside versions", "9"));

    std::wstring expected;
    for (const std::wstring& name : ListedNames(profile + L"\\Extensions\\ext")) {
        if (name == L"1.0_0")
            expected = L"  [Brave] Old  v1.0";
        else if (name == L"2.0_0")
            expected = L"  [Brave] New  v2.0" + MARK;
    }
    EXPECT_EQ(AuditProfile(profile), std::vector<std::wstring>{expected});
}

TEST(AuditChromiumProfile, FormatsNameVersionAndSideLoadedMark) {
    struct Row {
        const char* name;
        std::string manifest;
        std::wstring expected;  // after "  [Edge/Default] "
        std::string json;       // name|version|type|sideLoaded of the JSON entry, texts as they are
    };
    const Row rows[] = {
        {"store extension", StoreManifest("Sample Notes", "1.2.3"), L"Sample Notes  v1.2.3",
         "Sample Notes|1.2.3|extension|false"},
        {"no update_url", R"({"name": "Sample Notes", "version": "1.2.3"})", L"Sample Notes  v1.2.3" + MARK,
         "Sample Notes|1.2.3|extension|true"},
        {"empty update_url", R"({"name": "N", "version": "1", "update_url": ""})", L"N  v1", "N|1|extension|false"},
        {"update_url that is not a string", R"({"name": "N", "version": "1", "update_url": null})", L"N  v1",
         "N|1|extension|false"},
        // The browser reads a manifest's own members, names compared exactly.
        {"Update_URL in capitals", R"({"name": "N", "version": "1", "Update_URL": "x"})", L"N  v1" + MARK,
         "N|1|extension|true"},
        {"update_url in a nested object", R"({"name": "N", "version": "1", "x": {"update_url": 1}})", L"N  v1" + MARK,
         "N|1|extension|true"},
        {"update_url as a plain word", R"({"name": "N", "version": "1", "note": "no update_url here"})",
         L"N  v1" + MARK, "N|1|extension|true"},
        {"no version: the folder's name", StoreManifest("N", ""), L"N  v4.5_0", "N||extension|false"},
        {"numeric version: the folder's name", R"({"name": "N", "version": 4, "update_url": ""})", L"N  v4.5_0",
         "N||extension|false"},
        {"no name", R"({"version": "1", "update_url": ""})", L"(unknown)  v1", "|1|extension|false"},
        {"not JSON at all: not known, which is not none", "<html>name version</html>",
         L"abcdefghijklmnop (manifest could not be read)  v4.5_0" + MARK, "null|null|extension|true"},
        {"raw UTF-8 name", StoreManifest("Caf\xc3\xa9 \xe7\x8e\x8b", "1"), L"Caf\xe9 \x738b  v1",
         "Caf\xc3\xa9 \xe7\x8e\x8b|1|extension|false"},
        {"byte-order mark before the JSON", "\xef\xbb\xbf" + StoreManifest("N", "1"), L"N  v1", "N|1|extension|false"},
        {"tab escape kept", StoreManifest("a\\tb", "1"), L"a\tb  v1", "a\tb|1|extension|false"},
        {"line feed imitating a report line",
         StoreManifest("Ad Blocker  v1.0\\n  [Edge/Default] Password Vault", "2.0"),
         L"Ad Blocker  v1.0?  [Edge/Default] Password Vault  v2.0",
         "Ad Blocker  v1.0\n  [Edge/Default] Password Vault|2.0|extension|false"},
        {"carriage return hiding the mark", R"({"name": "Fake\r", "version": "1\u000d\u000d"})", L"Fake?  v1??" + MARK,
         "Fake\r|1\r\r|extension|true"},
        {"escape sequences in the version", R"({"name": "N", "version": "1\u001b[2K\u001b[1A", "update_url": ""})",
         L"N  v1?[2K?[1A", "N|1\x1b[2K\x1b[1A|extension|false"},
        {"right-to-left override",
         "{\"name\": \"Notes\xe2\x80\xae"
         "fdp.exe\", \"version\": \"1\"}",
         L"Notes?fdp.exe  v1" + MARK,
         "Notes\xe2\x80\xae"
         "fdp.exe|1|extension|true"},
        {"raw NUL byte cannot cut off the mark", "{\"name\": \"A\0B\", \"version\": \"1\"}"s, L"A?B  v1" + MARK,
         "A\0B|1|extension|true"s},
        {"C1 control from raw UTF-8",
         "{\"name\": \"a\xc2\x9b"
         "2J\", \"version\": \"1\", \"update_url\": \"\"}",
         L"a?2J  v1",
         "a\xc2\x9b"
         "2J|1|extension|false"},
        {"a theme", R"({"name": "Dark", "version": "2", "theme": {"colors": {}}, "update_url": ""})", L"Dark  v2",
         "Dark|2|theme|false"},
        {"a theme key that is not the root's", R"({"name": "N", "version": "1", "x": {"theme": {}}})", L"N  v1" + MARK,
         "N|1|extension|true"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        Sandbox sandbox;
        std::wstring profile = sandbox / L"Default";
        MakeExtension(profile, L"abcdefghijklmnop", L"4.5_0", row.manifest);
        EXPECT_EQ(AuditProfile(profile, L"Edge/Default"),
                  std::vector<std::wstring>{L"  [Edge/Default] " + row.expected});
        EXPECT_EQ(AuditProfileJson(profile, L"Edge", L"Default"),
                  std::vector<std::string>{"Edge|Default|abcdefghijklmnop|" + row.json});
    }
}

TEST(AuditChromiumProfile, ShortensLongNamesAndVersionsSoTheMarkShows) {
    Sandbox sandbox;
    std::wstring profile = sandbox / L"Default";
    MakeExtension(profile, L"ext", L"1.0",
                  R"({"name": ")" + std::string(2000, 'n') + R"(", "version": ")" + std::string(1000, '9') + R"("})");
    // The longest folder name a file system allows, with a manifest that cannot be read.
    MakeFolder(LongPathForm(profile + L"\\Extensions\\" + std::wstring(250, L'i') + L"\\1.0\\manifest.json"));
    EXPECT_EQ(Sorted(AuditProfile(profile)),
              (std::vector<std::wstring>{
                  L"  [Brave] " + std::wstring(197, L'i') + L"... (manifest could not be read)  v1.0" + MARK,
                  L"  [Brave] " + std::wstring(197, L'n') + L"...  v" + std::wstring(197, L'9') + L"..." + MARK,
              }));
    EXPECT_EQ(Sorted(AuditProfileJson(profile)),
              (std::vector<std::string>{
                  "Brave|null|ext|" + std::string(2000, 'n') + "|" + std::string(1000, '9') + "|extension|true",
                  "Brave|null|" + std::string(250, 'i') + "|null|null|extension|true",
              }));
}

TEST(AuditChromiumBrowser, MasksUnsafeCharactersInFolderNames) {
    Sandbox sandbox;
    std::wstring userData = sandbox / L"User Data";
    // A profile name with a direction override is no profile name at all.
    for (std::wstring name : {L"Profile \x202e"
                              L"1",
                              L"Profile 1"}) {
        MakeFile(userData + L"\\" + name + L"\\Preferences", "{}");
        MakeExtension(userData + L"\\" + name, L"ext", L"1.0\x2066", R"({"name": "N", "update_url": ""})");
    }
    std::vector<std::wstring> lines;
    AuditChromiumBrowser(CapturingOptions(&lines), L"Brave", userData);
    EXPECT_EQ(lines, std::vector<std::wstring>{L"  [Brave/Profile 1] N  v1.0?"});
}

// A manifest that cannot be read, or is too large to read, hides nothing: the
// extension is listed by its folder name, and as side-loaded, since nothing
// shows that it came from a store. A readable version still wins.
TEST(AuditChromiumProfile, ListsExtensionsWhoseManifestCannotBeRead) {
    Sandbox sandbox;
    std::wstring profile = sandbox / L"Default";
    std::wstring locked = MakeExtension(profile, L"lockedid", L"1.0", StoreManifest("Locked", "1.0"));
    ASSERT_TRUE(MakeSparseFile(MakeExtension(profile, L"hugeid", L"2.0", "") + L"\\manifest.json", 100LL << 30));
    ASSERT_TRUE(MakeSparseFile(MakeExtension(profile, L"overid", L"3.0", "") + L"\\manifest.json",
                               static_cast<long long>(MaxBytes(BrowserFile::Manifest)) + 1));
    MakeFolder(profile + L"\\Extensions\\folderid\\4.0\\manifest.json");
    // Read, but no JSON object: binary bytes, UTF-16 text.
    MakeExtension(profile, L"binaryid", L"5.0",
                  "\x7f"
                  "ELF\x02\x01\x01\0\0\0"s);
    MakeExtension(profile, L"utf16id", L"6.0", "\xff\xfe{\0\"\0n\0a\0m\0e\0\"\0:\0\"\0X\0\"\0}\0"s);
    MakeExtension(profile, L"mixedid", L"1.0", StoreManifest("Mixed", "1.0"));
    std::wstring mixedLocked = MakeExtension(profile, L"mixedid", L"2.0", StoreManifest("Mixed", "2.0"));
    UniqueHandle holders[] = {HoldFile(locked + L"\\manifest.json"), HoldFile(mixedLocked + L"\\manifest.json")};
    ASSERT_TRUE(holders[0] && holders[1]);

    EXPECT_EQ(Sorted(AuditProfile(profile)), (std::vector<std::wstring>{
                                                 L"  [Brave] Mixed  v1.0",
                                                 L"  [Brave] binaryid (manifest could not be read)  v5.0" + MARK,
                                                 L"  [Brave] folderid (manifest could not be read)  v4.0" + MARK,
                                                 L"  [Brave] hugeid (manifest could not be read)  v2.0" + MARK,
                                                 L"  [Brave] lockedid (manifest could not be read)  v1.0" + MARK,
                                                 L"  [Brave] overid (manifest could not be read)  v3.0" + MARK,
                                                 L"  [Brave] utf16id (manifest could not be read)  v6.0" + MARK,
                                             }));
    // Not known, rather than empty: the manifest could not be read.
    EXPECT_EQ(Sorted(AuditProfileJson(profile)), (std::vector<std::string>{
                                                     "Brave|null|binaryid|null|null|extension|true",
                                                     "Brave|null|folderid|null|null|extension|true",
                                                     "Brave|null|hugeid|null|null|extension|true",
                                                     "Brave|null|lockedid|null|null|extension|true",
                                                     "Brave|null|mixedid|Mixed|1.0|extension|false",
                                                     "Brave|null|overid|null|null|extension|true",
                                                     "Brave|null|utf16id|null|null|extension|true",
                                                 }));
}
