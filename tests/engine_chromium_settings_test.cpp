#include <gtest/gtest.h>

#include <map>
#include <thread>
#include <string>
#include <vector>

#include "base/json_writer.h"
#include "browsers/json_document.h"
#include "engine/engine_testing.h"
#include "tests/child_programs.h"
#include "tests/table_rows.h"
#include "tests/test_support.h"

namespace {

std::string Nested(int depth) {
    return "{\"a\":" + std::string(depth - 1, '[') + std::string(depth - 1, ']') + "}";
}

// Grants as "permission site" and "permission *" for every site.
std::vector<std::string> Describe(const std::vector<SitePermissionGrant>& grants) {
    std::vector<std::string> lines;
    for (const SitePermissionGrant& grant : grants)
        lines.push_back(std::string(SitePermissionName(grant.permission)) + " " +
                        (grant.allSites ? std::string("*") : Utf8(grant.site)));
    return lines;
}

std::vector<std::string> Grants(const std::string& preferences) {
    JsonDocument document;
    EXPECT_EQ(ParseJsonObject(preferences, &document), JsonLoad::Done) << preferences;
    return Describe(FindSitePermissionGrants(document));
}

// Preferences as the browser writes them: compact, with keys around the ones read.
std::string Preferences(const std::string& exceptions, const std::string& defaults = "{}") {
    return R"({"account_values":{"browser":{"show_home_button":true}},"profile":{"avatar_index":26,)"
           R"("content_settings":{"enable_quiet_permission_ui_enabling_method":{"notifications":1},)"
           R"("exceptions":)" +
           exceptions + R"(,"pref_version":1},"default_content_setting_values":)" + defaults +
           R"(,"exit_type":"Normal"},"protection":{"macs":{"homepage":"0123ABCD"}}})";
}

// The compact text the reset writes, after removing the grants if asked: equal texts hold
// equal values with every member in its place, repeated names included.
std::string Compact(const std::string& text, bool removeGrants = false) {
    JsonDocument document;
    EXPECT_EQ(ParseJsonObjectExactly(text, &document), JsonLoad::Done) << text;
    if (removeGrants)
        RemoveSitePermissionGrants(&document);
    EXPECT_TRUE(!removeGrants || FindSitePermissionGrants(document).empty());
    std::string bytes;
    EXPECT_TRUE(SerializeJson(document, &bytes)) << text;
    return bytes;
}

// Grants of each kind among entries that must stay; a site that tries to forge output.
const std::string GRANTED = Preferences(
    R"({"notifications":{"https://win-prize.example:443,*":{"expiration":"0","last_modified":"13345678901234567",)"
    R"("model":0,"setting":1},"https://news.example:443,*":{"setting":2}},"popups":{"https://\u001b[31mred.)"
    R"(example:443,*":{"setting":1},"https://ask.example:443,*":{"setting":3}},"geolocation":{"https://map.example:)"
    R"(443,*":{"setting":1}}})",
    R"({"automatic_downloads":1,"geolocation":1,"popups":2})");
const std::vector<std::string> GRANTED_GRANTS = {"notifications https://win-prize.example:443",
                                                 "popups https://\x1b[31mred.example:443", "automatic_downloads *"};
const std::string LEFT = Preferences(
    R"({"notifications":{"https://news.example:443,*":{"setting":2}},"popups":{"https://ask.example:443,*":)"
    R"({"setting":3}},"geolocation":{"https://map.example:443,*":{"setting":1}}})",
    R"({"geolocation":1,"popups":2})");

// The lines of a reset; the copy of the old file is the newest run's first.
std::vector<std::wstring> GrantLines(bool preview) {
    std::wstring backup = NewestRunFolder() + L"\\1.Preferences";
    if (preview)
        return {L"  [preview] would no longer allow notifications: https://win-prize.example",
                L"  [preview] would no longer allow pop-ups: https://?[31mred.example",
                L"  [preview] would no longer allow automatic downloads for every site"};
    return {L"  notifications no longer allowed: https://win-prize.example",
            L"  pop-ups no longer allowed: https://?[31mred.example",
            L"  automatic downloads no longer allowed for every site",
            L"  saved a copy of the old settings: " + backup};
}

// Every entry below a folder by its relative path, with its bytes ("<folder>",
// "<large>" above 1 MB); links to folders are listed, not entered.
void ReadTree(const std::wstring& folder, const std::wstring& under, std::map<std::wstring, std::string>* tree) {
    ForEachFolderEntry(folder, [&](const std::wstring& name, uint32_t attributes) {
        std::string& bytes = (*tree)[under + name];
        if (attributes & FILE_ATTRIBUTE_DIRECTORY)
            bytes = "<folder>";
        else if (ReadFileBytes(folder + L"\\" + name, 1 << 20, &bytes) == FileRead::TooLarge)
            bytes = "<large>";
        if ((attributes & FILE_ATTRIBUTE_DIRECTORY) && !(attributes & FILE_ATTRIBUTE_REPARSE_POINT))
            ReadTree(folder + L"\\" + name, under + name + L"\\", tree);
    });
}

std::map<std::wstring, std::string> Tree(const std::wstring& folder) {
    std::map<std::wstring, std::string> tree;
    ReadTree(folder, L"", &tree);
    return tree;
}

// A profile with files a reset must never touch.
std::wstring MakeProfile(const TempFolder& sandbox) {
    MakeFile(sandbox / L"Default\\Secure Preferences", R"({"protection":{"macs":{"homepage":"0123ABCD"}}})");
    MakeFile(sandbox / L"Default\\Bookmarks");
    return sandbox / L"Default";
}

std::vector<std::wstring> Reset(const std::wstring& profile, bool preview, CleanupOutcome* outcome = nullptr) {
    std::vector<std::wstring> lines;
    ResetSitePermissions(CapturingOptions(&lines, preview), profile, outcome);
    return lines;
}

// LOCALAPPDATA, where the run's copies go, in a folder of its own beside the sandbox.
struct BackupsSandbox {
    TempFolder folder;
    ScopedEnvironmentVariable local{L"LOCALAPPDATA", folder.path().c_str()};
};

}  // namespace

TEST(ParseJsonObject, AcceptsOnlyWholeObjectsNestedNoDeeperThanTheBrowsersAllow) {
    struct Row {
        const char* name;
        std::string text;
        JsonLoad expected;
    };
    const Row rows[] = {
        {"object", R"({"a": [1, 2.5, "x", null, true]})", JsonLoad::Done},
        {"byte-order mark", "\xEF\xBB\xBF{}", JsonLoad::Done},
        {"200 levels", Nested(200), JsonLoad::Done},
        {"201 levels", Nested(201), JsonLoad::TooDeep},
        {"a million levels", "[" + std::string(1000000, '['), JsonLoad::TooDeep},
        {"empty", "", JsonLoad::NotJson},
        {"not JSON", "<html>", JsonLoad::NotJson},
        {"truncated", R"({"profile":{"content_settings":)", JsonLoad::NotJson},
        {"trailing comma", R"({"a":1,})", JsonLoad::NotJson},
        {"text after the object", R"({} {})", JsonLoad::NotJson},
        {"NUL after the object", std::string("{}\0{", 3), JsonLoad::NotJson},
        {"raw control character in a string", "{\"a\":\"\x01\"}", JsonLoad::NotJson},
        {"string", R"("{}")", JsonLoad::NotAnObject},
        {"array", "[{}]", JsonLoad::NotAnObject},
        {"number", "1", JsonLoad::NotAnObject},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        JsonDocument document;
        EXPECT_EQ(ParseJsonObject(row.text, &document), row.expected);
        EXPECT_EQ(document.IsObject(), row.expected == JsonLoad::Done);
    }
}

TEST(LoadJsonObjectFile, SaysWhyAFileWasNotUsed) {
    TempFolder folder;
    MakeFile(folder / L"Preferences", Preferences("{}"));
    MakeFile(folder / L"locked", "{}");
    UniqueHandle locked = HoldFile(folder / L"locked");
    ASSERT_TRUE(locked);
    struct Row {
        const wchar_t* name;
        std::size_t limit;
        JsonLoad expected;
    };
    const Row rows[] = {
        {L"Preferences", MaxBytes(BrowserFile::Preferences), JsonLoad::Done}, {L"Preferences", 100, JsonLoad::TooLarge},
        {L"missing", MaxBytes(BrowserFile::Preferences), JsonLoad::Missing},  {L"locked", 100, JsonLoad::Unreadable},
        {L"", MaxBytes(BrowserFile::Preferences), JsonLoad::Unreadable},  // the folder itself
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(Utf8(row.name));
        JsonDocument document;
        EXPECT_EQ(LoadJsonObjectFile(folder / row.name, row.limit, &document), row.expected);
    }
}

TEST(FindSitePermissionGrants, ListsDefaultsAndExceptionsThatAllow) {
    const TableRow<std::string, std::vector<std::string>> rows[] = {
        {"each permission, allow only",
         Preferences(R"({"notifications":{"https://win-prize.example:443,*":{"expiration":"0",)"
                     R"("last_modified":"13345678901234567","model":0,"setting":1},)"
                     R"("https://news.example:443,*":{"setting":2},"https://ask.example:443,*":{"setting":3}},)"
                     R"("popups":{"http://pop.example:80,*":{"setting":1}},)"
                     R"("automatic_downloads":{"[*.]files.example,*":{"setting":1}},)"
                     R"("geolocation":{"https://map.example:443,*":{"setting":1}}})"),
         {"notifications https://win-prize.example:443", "popups http://pop.example:80",
          "automatic_downloads [*.]files.example"}},
        {"defaults that allow every site, before the exceptions",
         Preferences(R"({"popups":{"https://a.example:443,*":{"setting":1}}})",
                     R"({"notifications":1,"popups":1,"automatic_downloads":1,"geolocation":1,"cookies":2})"),
         {"notifications *", "popups *", "popups https://a.example:443", "automatic_downloads *"}},
        {"a key written twice counts with its last value",
         Preferences(
             R"({"notifications":{"https://a.example:443,*":{"setting":1},"https://b.example:443,*":)"
             R"({"setting":1},"https://a.example:443,*":{"setting":2},"https://b.example:443,*":{"setting":1}}})"),
         {"notifications https://b.example:443"}},
        {"settings that are not the number 1",
         Preferences(R"({"notifications":{"https://a.example:443,*":{"setting":"1"},"https://b.example:443,*":)"
                     R"({"setting":1.0},"https://c.example:443,*":{"setting":true},"https://d.example:443,*":{},)"
                     R"("https://e.example:443,*":1,"https://f.example:443,*":[{"setting":1}]}})",
                     R"({"popups":"1","automatic_downloads":[1]})"),
         {}},
        {"escaped text in the pattern",
         Preferences(R"({"notifications":{"https://\u0077in.example:443,*":{"s\u0065tting":1}}})"),
         {"notifications https://win.example:443"}},
    };
    ExpectEachRow(rows, Grants);
}

TEST(FindJsonPath, FollowsObjectsAndTakesTheLastOfRepeatedNames) {
    JsonDocument document;
    ASSERT_EQ(ParseJsonObject(R"({"a":{"b":"first","b":"last"},"c":[{"b":1}],"d":"text\u0000more"})", &document),
              JsonLoad::Done);
    EXPECT_EQ(JsonText(FindJsonPath(document, {"a", "b"})), L"last");
    EXPECT_EQ(FindJsonPath(document, {"c", "b"}), nullptr);
    EXPECT_EQ(FindJsonPath(document, {"a", "b", "c"}), nullptr);
    EXPECT_EQ(FindJsonPath(document, {"A"}), nullptr);
    EXPECT_EQ(JsonText(FindJsonMember(document, "d")), std::wstring(L"text\0more", 9));
    EXPECT_EQ(JsonText(FindJsonMember(document, "c")), L"");
}

// The reports' own writer escapes exactly as the settings writer does, so a
// document it writes reads back and is written again byte for byte.
TEST(JsonWriter, WritesWhatTheSettingsWriterWritesForEveryCharacter) {
    std::wstring every;
    for (wchar_t c = 0; c < 0x80; ++c)
        every += c;
    every += L"/\u00e9\u738b\U0001F600\u2028";
    std::string json = WriteJsonDocument("test/1", [&](JsonWriter& writer) {
        WriteJsonField(writer, "every", every);
        WriteJsonArray(writer, "items", std::vector<int>{1, 2}, [&](int item) {
            WriteJsonFieldOrNull(writer, "name", item == 1, L"a\tb");
            writer.Key("on");
            writer.Bool(item == 2);
        });
        writer.Key("empty");
        writer.StartArray();
        writer.EndArray();
    });
    JsonDocument document;
    ASSERT_EQ(ParseJsonObjectExactly(json, &document), JsonLoad::Done) << json;
    std::string again;
    ASSERT_TRUE(SerializeJson(document, &again));
    EXPECT_EQ(json, again);
    EXPECT_EQ(JsonText(FindJsonMember(document, "every")), every);
    EXPECT_EQ(json.substr(json.find("\"items\"")),
              R"("items":[{"name":"a\tb","on":false},{"name":null,"on":true}],"empty":[]})");
}

TEST(ParseJsonObjectExactly, KeepsEveryDigitAndRefusesTextThatIsNotUtf8) {
    JsonDocument document;
    ASSERT_EQ(ParseJsonObjectExactly(R"({"a":[13.387664401253275,7896519.6950648362]})", &document), JsonLoad::Done);
    EXPECT_EQ(document["a"][0].GetDouble(), 13.387664401253275);
    EXPECT_EQ(document["a"][1].GetDouble(), 7896519.6950648362);
    for (const char* text : {"{\"a\":\"caf\xC3\"}", "{\"\xFF\":1}", "{\"a\":\"\xED\xA0\x80\"}"}) {
        EXPECT_EQ(ParseJsonObjectExactly(text, &document), JsonLoad::NotJson) << text;
        EXPECT_EQ(ParseJsonObject(text, &document), JsonLoad::Done) << text;
    }
}

TEST(RemoveSitePermissionGrants, RemovesExactlyWhatTheBrowserSeesAsAllowed) {
    struct Row {
        const char* name;
        std::string before;
        std::string after;  // "" when nothing changes
    };
    const Row rows[] = {
        {"a repeated name whose last copy allows goes with every copy",
         Preferences(R"({"popups":{"https://a.example:443,*":{"setting":2},"https://b.example:443,*":{"setting":3},)"
                     R"("https://a.example:443,*":{"setting":1}}})",
                     R"({"notifications":2,"notifications":1})"),
         Preferences(R"({"popups":{"https://b.example:443,*":{"setting":3}}})", "{}")},
        {"a repeated name whose last copy blocks stays whole",
         Preferences(R"({"popups":{"https://a.example:443,*":{"setting":1},"https://a.example:443,*":{"setting":2}}})",
                     R"({"popups":1,"popups":2})"),
         ""},
        {"entries the browser does not read as allow",
         Preferences(R"({"notifications":{"https://a.example:443,*":{"setting":"1"},"https://b.example:443,*":1,)"
                     R"("https://c.example:443,*":{"setting":1.0},",*":{"setting":1}},"popups":[{"setting":1}]})",
                     R"({"popups":"1","automatic_downloads":true})"),
         ""},
        {"only the last copy of a repeated profile, the one the browser reads",
         R"({"profile":{"default_content_setting_values":{"popups":1}},)" + GRANTED.substr(1),
         R"({"profile":{"default_content_setting_values":{"popups":1}},)" + LEFT.substr(1)},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(Compact(row.before, true), Compact(row.after.empty() ? row.before : row.after));
    }
}

// Every file either is rewritten exactly (grants gone, all else equal, the old
// bytes in the backup) or stays as it was, with every other file of the profile.
TEST(ResetSitePermissions, RewritesPreferencesOrLeavesItByteIdentical) {
    // Text around the grants that a rewrite must keep to the last digit and character.
    const std::string around = R"({"caf\u00e9 \u738b":"\ud83d\ude00 \u0000","n":[13.387664401253275,-0.0,1e300,)"
                               R"(18446744073709551615,-9223372036854775808,1.0],"e":{},"a":[],"t":true,"z":null,)"
                               R"("x":1,"x":[2],)";
    const std::string nested = std::string(100000, '[') + std::string(100000, ']');
    const std::wstring unreadable = L"  (unreadable, left alone) ";
    // A grant beside every member of the wrong shape: the review still sees it, and
    // the reset, which cannot know what the browser makes of the file, leaves it alone.
    const std::string notify = R"("notifications":{"https://win-prize.example:443,*":{"setting":1}})";
    const std::vector<std::string> notified = {"notifications https://win-prize.example:443"};
    const std::string profileOf = R"({"profile":{"content_settings":)";
    struct Row {
        const char* name;
        std::string bytes;
        std::string after;       // "" when the file stays as it is
        std::wstring leftAlone;  // the line for a file left alone, if any
        std::vector<std::string> review;
    };
    const Row rows[] = {
        {"grants", GRANTED, LEFT, L"", GRANTED_GRANTS},
        {"byte-order mark and line ends", "\xEF\xBB\xBF" + GRANTED + "\r\n", LEFT, L"", GRANTED_GRANTS},
        {"non-ASCII text, numbers and repeated names around", around + GRANTED.substr(1), around + LEFT.substr(1), L"",
         GRANTED_GRANTS},
        {"nothing to take back", LEFT, "", L"", {}},
        {"empty", "", "", unreadable, {}},
        {"truncated", GRANTED.substr(0, GRANTED.size() / 2), "", unreadable, {}},
        {"not an object", "[" + GRANTED + "]", "", unreadable, {}},
        {"nested 100,000 levels", R"({"a":)" + nested + "," + GRANTED.substr(1), "", unreadable, {}},
        {"invalid UTF-8", "{\"a\":\"caf\xC3\"," + GRANTED.substr(1), "", unreadable, GRANTED_GRANTS},
        {"a lone surrogate that cannot be written back", R"({"a":"\udc00",)" + GRANTED.substr(1), "", unreadable,
         GRANTED_GRANTS},
        {"pop-up exceptions that are a string", Preferences("{" + notify + R"(,"popups":"https://a.example:443,*"})"),
         "", unreadable, notified},
        {"pop-up exceptions that are a number", Preferences("{" + notify + R"(,"popups":1})"), "", unreadable,
         notified},
        {"download exceptions that are an array of numbers",
         Preferences("{" + notify + R"(,"automatic_downloads":[1,2,3]})"), "", unreadable, notified},
        {"notification exceptions that are null",
         Preferences(R"({"notifications":null,"popups":{"http://pop.example:80,*":{"setting":1}}})"),
         "",
         unreadable,
         {"popups http://pop.example:80"}},
        {"pop-up exceptions that are nested arrays",
         Preferences("{" + notify + R"(,"popups":[[1],[[{"setting":1}]]]})"), "", unreadable, notified},
        {"an exception that is a number",
         Preferences(
             R"({"notifications":{"https://win-prize.example:443,*":{"setting":1},"https://b.example:443,*":1}})"),
         "", unreadable, notified},
        {"an exception that is a string, null or an array",
         Preferences("{" + notify +
                     R"(,"popups":{"https://a.example:443,*":"1","https://b.example:443,*":null,)"
                     R"("https://c.example:443,*":[1],"https://d.example:443,*":[[{"setting":1}]]}})"),
         "", unreadable, notified},
        {"defaults that are a string", Preferences("{" + notify + "}", R"("allow")"), "", unreadable, notified},
        {"defaults that are an array of numbers", Preferences("{" + notify + "}", "[1,1,1]"), "", unreadable, notified},
        {"defaults that are null", Preferences("{" + notify + "}", "null"), "", unreadable, notified},
        {"defaults that are nested arrays", Preferences("{" + notify + "}", "[[1],[[1]]]"), "", unreadable, notified},
        {"all exceptions that are a number", Preferences("5", R"({"popups":1})"), "", unreadable, {"popups *"}},
        {"all exceptions that are an array",
         Preferences("[[" + std::string("{" + notify + "}") + "]]"),
         "",
         unreadable,
         {}},
        {"content settings that are a string",
         profileOf + R"("x","default_content_setting_values":{"popups":1}}})",
         "",
         unreadable,
         {"popups *"}},
        {"content settings that are null",
         profileOf + R"(null,"default_content_setting_values":{"popups":1}}})",
         "",
         unreadable,
         {"popups *"}},
        {"the profile that is an array of numbers", R"({"profile":[1,2,3],"x":{"popups":1}})", "", unreadable, {}},
        {"the profile that is a string", R"({"profile":"default","x":{"popups":1}})", "", unreadable, {}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        TempFolder sandbox;
        BackupsSandbox backups;
        std::wstring profile = MakeProfile(sandbox);
        MakeFile(profile + L"\\Preferences", row.bytes);
        EXPECT_EQ(Describe(ReadChromiumProfileSettings(profile).grants), row.review);
        auto before = Tree(profile);
        std::vector<std::wstring> lines;
        if (!row.leftAlone.empty())
            lines.push_back(row.leftAlone + profile + L"\\Preferences");
        EXPECT_EQ(Reset(profile, true), row.after.empty() ? lines : GrantLines(true));
        EXPECT_EQ(Tree(profile), before) << "a preview changes nothing";
        CleanupOutcome outcome;
        std::vector<std::wstring> got = Reset(profile, false, &outcome);
        EXPECT_EQ(got, row.after.empty() ? lines : GrantLines(false));
        EXPECT_EQ(outcome.permissionsTakenBack, row.after.empty() ? 0u : 3u);
        EXPECT_EQ(outcome.settingsLeftAlone.size(), lines.size());
        if (!row.after.empty()) {
            before[L"Preferences"] = Compact(row.after);
            EXPECT_EQ(ReadWholeFile(NewestRunFolder() + L"\\1.Preferences"), row.bytes);
        }
        EXPECT_EQ(Tree(profile), before);
    }
}

// Whatever stops the file from being read or replaced safely, every file stays
// as it was (a link's target too) and no temporary file is left behind.
TEST(ResetSitePermissions, LeavesAFileItCannotSafelyReplaceAsItWas) {
    enum class Setup { Huge, Folder, ReadOnly, Held, HeldByAnother, BackupNameTaken, LinkToFile, LinkToFolder };
    const wchar_t* const unreadable = L"  (unreadable, left alone) %ls";
    const wchar_t* const failed = L"  (locked/failed) %ls";
    const wchar_t* const link = L"  (a link, left alone) %ls";
    const wchar_t* const readOnly = L"  (read-only, left alone) %ls";
    struct Row {
        const char* name;
        Setup setup;
        const wchar_t* line;
    };
    const Row rows[] = {
        {"larger than 64 MB", Setup::Huge, unreadable},
        {"a folder", Setup::Folder, unreadable},
        {"read-only", Setup::ReadOnly, readOnly},
        {"held open without sharing", Setup::Held, failed},
        {"held by another program without delete sharing: the replacement fails", Setup::HeldByAnother, failed},
        {"no folder for the copy can be made: the file stays", Setup::BackupNameTaken, failed},
        {"a Unix link to a file elsewhere", Setup::LinkToFile, link},
        {"a Unix link to a folder elsewhere", Setup::LinkToFolder, link},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        TempFolder sandbox;
        BackupsSandbox backups;
        std::wstring profile = MakeProfile(sandbox);
        std::wstring file = profile + L"\\Preferences";
        std::wstring elsewhere = sandbox / L"elsewhere";
        MakeFile(elsewhere + L"\\Preferences", GRANTED);
        bool made = true;
        if (row.setup == Setup::Huge)
            made = MakeSparseFile(file, 100LL << 30);
        else if (row.setup == Setup::Folder)
            MakeFile(file + L"\\x");
        else if (row.setup == Setup::LinkToFile || row.setup == Setup::LinkToFolder)
            made = MakeUnixSymlink(row.setup == Setup::LinkToFile ? elsewhere + L"\\Preferences" : elsewhere, file);
        else
            MakeFile(file, GRANTED, row.setup == Setup::ReadOnly ? FILE_ATTRIBUTE_READONLY : FILE_ATTRIBUTE_NORMAL);
        if (row.setup == Setup::BackupNameTaken)
            MakeFile(backups.folder / L"PopSwat");
        if (!made)
            continue;  // Unix links exist only under Wine
        ChildProcess locker;
        if (row.setup == Setup::HeldByAnother) {
            locker = HoldFileInAnotherProcess(file, sandbox / L"ready");
            ASSERT_TRUE(locker.process);
        }
        auto before = Tree(sandbox.path());
        UniqueHandle held;
        if (row.setup == Setup::Held)
            held = HoldFile(file);
        ASSERT_TRUE(held || row.setup != Setup::Held);
        CleanupOutcome outcome;
        std::vector<std::wstring> expected = {FormatWide(row.line, file.c_str())};
        if (row.setup == Setup::BackupNameTaken)
            expected.push_back(L"  (no copy of the old settings could be made)");
        EXPECT_EQ(Reset(profile, false, &outcome), expected);
        EXPECT_EQ(outcome.settingsLeftAlone, std::vector<std::wstring>{file});
        held.reset();
        EXPECT_EQ(Tree(sandbox.path()), before);
        if (row.setup == Setup::LinkToFile || row.setup == Setup::LinkToFolder) {
            ASSERT_TRUE(RemoveUnixLink(file));
        }
    }
}

namespace {

// What the other program of the next test does to the reset's new file.
enum class OtherProgram { OpensItForAMoment, HoldsItOpen, ChangesIt };
OtherProgram otherProgram;
std::wstring newFile;
UniqueHandle newFileHeld;
std::thread releaser;

void PlayOtherProgram(const std::wstring& temporaryFile) {
    newFile = temporaryFile;
    if (otherProgram == OtherProgram::ChangesIt) {
        UniqueHandle file(CreateFileW(temporaryFile.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr));
        DWORD written = 0;
        WriteFile(file.get(), "{}", 2, &written, nullptr);
        return;
    }
    // Read sharing only, as a virus scanner opens a new file: the file reads back, but cannot be moved.
    newFileHeld = HoldFile(temporaryFile, GENERIC_READ, FILE_SHARE_READ);
    if (otherProgram == OtherProgram::OpensItForAMoment)
        releaser = std::thread([] {
            Sleep(300);
            newFileHeld.reset();
        });
}

}  // namespace

// Another program may open the new file between its writing and the swap: a
// virus scanner does so for a moment, which the swap waits out. One that holds
// it or changes it makes the swap fail: the old file stays byte for byte, and
// the new one is removed, or named when even that fails.
TEST(ResetSitePermissions, OutlastsAProgramThatOpensTheNewFileAndNeverSwapsInAChangedOne) {
    struct Row {
        const char* name;
        OtherProgram other;
        bool swapped;
    };
    const Row rows[] = {
        {"opened by a scanner for 300 ms", OtherProgram::OpensItForAMoment, true},
        {"held open until the reset is over", OtherProgram::HoldsItOpen, false},
        {"changed after it was written", OtherProgram::ChangesIt, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        TempFolder sandbox;
        BackupsSandbox backups;
        std::wstring profile = MakeProfile(sandbox);
        std::wstring file = profile + L"\\Preferences";
        MakeFile(file, GRANTED);
        auto before = Tree(profile);
        otherProgram = row.other;
        resetWroteTemporaryFile = PlayOtherProgram;
        CleanupOutcome outcome;
        std::vector<std::wstring> lines = Reset(profile, false, &outcome);
        resetWroteTemporaryFile = nullptr;
        if (releaser.joinable())
            releaser.join();
        bool held = static_cast<bool>(newFileHeld);
        newFileHeld.reset();
        ASSERT_FALSE(newFile.empty());

        std::vector<std::wstring> expected = GrantLines(false);
        std::vector<std::wstring> stayed;
        if (row.swapped) {
            before[L"Preferences"] = Compact(LEFT);
            EXPECT_EQ(ReadWholeFile(NewestRunFolder() + L"\\1.Preferences"), GRANTED);
        } else {
            expected = {L"  (locked/failed) " + file};
            if (held) {
                expected.push_back(L"  (could not remove) " + newFile);
                stayed.push_back(newFile);
            }
        }
        EXPECT_EQ(held, row.other == OtherProgram::HoldsItOpen);
        EXPECT_EQ(lines, expected);
        EXPECT_EQ(outcome.leftBehind, stayed);
        EXPECT_EQ(outcome.settingsLeftAlone.size(), row.swapped ? 0u : 1u);
        DeleteFileW(newFile.c_str());
        EXPECT_EQ(Tree(profile), before);
        newFile.clear();
    }
}
