#include <gtest/gtest.h>

#include "engine/engine.h"
#include "tests/test_support.h"

namespace {

using Lines = std::vector<std::wstring>;

// The lines that name something inside folder, in the order they came.
Lines LinesAbout(const Lines& lines, const std::wstring& folder) {
    Lines result;
    for (const std::wstring& line : lines) {
        if (line.find(folder + L"\\") != std::wstring::npos)
            result.push_back(line);
    }
    return result;
}

struct FirefoxProfiles {
    Sandbox sandbox;
    std::wstring folder = sandbox.appData() + L"\\Mozilla\\Firefox\\Profiles";
    std::wstring full = folder + L"\\abcd1234.default-release";
    std::wstring partial = folder + L"\\efgh5678.dev-edition";
    std::wstring untouched = folder + L"\\ijkl9012.empty";

    FirefoxProfiles() {
        for (const wchar_t* name : {L"sessionstore.jsonlz4", L"sessionstore.js", L"recovery.jsonlz4",
                                    L"sessionstore-backups\\recovery.baklz4", L"sessionstore-backups\\previous.jsonlz4",
                                    L"places.sqlite", L"places.sqlite-wal", L"prefs.js", L"extensions.json"})
            MakeFile(full + L"\\" + name);
        MakeFile(partial + L"\\recovery.jsonlz4", "data", FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN);
        MakeFile(partial + L"\\places.sqlite");
        MakeFile(untouched + L"\\prefs.js");
        // Loose files in the profiles folder are not profiles.
        MakeFile(folder + L"\\sessionstore.js");
    }
};

std::wstring Widen(const std::string& text) {
    return std::wstring(text.begin(), text.end());
}

// Maps a free drive letter onto a folder and makes it the current drive, so
// that a path that starts with a backslash lands in that folder. Windows maps
// it with DefineDosDeviceW; Wine finds drives as links in the prefix's
// "dosdevices" folder and ignores DefineDosDeviceW for file access.
class ScopedCurrentDrive {
public:
    explicit ScopedCurrentDrive(const std::wstring& target) : target_(target) {
        wchar_t previous[MAX_PATH];
        previousDirectory_.assign(previous, GetCurrentDirectoryW(MAX_PATH, previous));
        DWORD used = GetLogicalDrives();
        for (wchar_t letter = L'P'; letter <= L'Y'; ++letter) {
            if (used & (1u << (letter - L'A')))
                continue;
            drive_ = std::wstring(1, letter) + L":";
            break;
        }
        if (drive_.empty())
            return;
        if (RunningUnderWine())
            MapUnderWine();
        else if (DefineDosDeviceW(0, drive_.c_str(), target.c_str()))
            defined_ = true;
        mapped_ = SetCurrentDirectoryW((drive_ + L"\\").c_str()) != FALSE;
    }
    ~ScopedCurrentDrive() {
        SetCurrentDirectoryW(previousDirectory_.c_str());
        if (defined_)
            DefineDosDeviceW(DDD_REMOVE_DEFINITION | DDD_EXACT_MATCH_ON_REMOVE, drive_.c_str(), target_.c_str());
        if (!unixLink_.empty() && RunUnixCommand(L"Z:\\bin\\rm", L"rm -f \"" + Widen(unixLink_) + L"\"")) {
            for (int i = 0; i < 500 && PathExists(drive_ + L"\\"); ++i)
                Sleep(10);
        }
    }
    ScopedCurrentDrive(const ScopedCurrentDrive&) = delete;
    ScopedCurrentDrive& operator=(const ScopedCurrentDrive&) = delete;
    bool mapped() const { return mapped_; }

private:
    void MapUnderWine() {
        // "C:\" is ".../dosdevices/c:/" on the Unix side.
        std::string drives = UnixPath(L"C:\\");
        std::size_t at = drives.rfind("/c:");
        std::string unixTarget = UnixPath(target_);
        if (at == std::string::npos || unixTarget.empty())
            return;
        char letter = static_cast<char>(towlower(drive_[0]));
        std::string link = drives.substr(0, at + 1) + letter + ":";
        // Wine hands Unix programs over without a handle worth waiting for: poll for the result.
        unixLink_ = link;
        RunUnixCommand(L"Z:\\bin\\ln", L"ln -s \"" + Widen(unixTarget) + L"\" \"" + Widen(link) + L"\"");
        WaitForPath(drive_ + L"\\", 5000);
    }

    std::wstring target_;
    std::wstring drive_;
    std::wstring previousDirectory_;
    std::string unixLink_;
    bool defined_ = false;
    bool mapped_ = false;
};

}  // namespace

TEST(CleanFirefox, WritesNothingWithoutAProfilesFolder) {
    Sandbox sandbox;
    Lines lines;
    CleanFirefox(CapturingOptions(&lines), CatalogueRow(L"Mozilla Firefox"), nullptr);
    // A file where the folder should be is no profiles folder either.
    MakeFile(sandbox.appData() + L"\\Mozilla\\Firefox\\Profiles");
    CleanFirefox(CapturingOptions(&lines), CatalogueRow(L"Mozilla Firefox"), nullptr);
    EXPECT_TRUE(lines.empty());
}

TEST(CleanFirefox, AnnouncesAnEmptyProfilesFolder) {
    Sandbox sandbox;
    MakeFolder(sandbox.appData() + L"\\Mozilla\\Firefox\\Profiles");
    Lines lines;
    CleanFirefox(CapturingOptions(&lines), CatalogueRow(L"Mozilla Firefox"), nullptr);
    EXPECT_EQ(lines, Lines{L"Cleaning Mozilla Firefox ..."});
}

TEST(CleanFirefox, RemovesTheSessionStoreOfEveryProfileAndKeepsHistory) {
    for (bool tabsOnly : {false, true}) {
        SCOPED_TRACE(tabsOnly);
        FirefoxProfiles firefox;
        Lines lines;
        CleanFirefox(CapturingOptions(&lines, false, tabsOnly), CatalogueRow(L"Mozilla Firefox"), nullptr);

        ASSERT_FALSE(lines.empty());
        EXPECT_EQ(lines[0], L"Cleaning Mozilla Firefox ...");
        const std::wstring& full = firefox.full;
        EXPECT_EQ(LinesAbout(lines, full),
                  (Lines{L"  deleted: " + full + L"\\sessionstore.jsonlz4",
                         L"  deleted: " + full + L"\\sessionstore.js", L"  deleted: " + full + L"\\recovery.jsonlz4",
                         L"  deleted folder: " + full + L"\\sessionstore-backups"}));
        EXPECT_EQ(LinesAbout(lines, firefox.partial), Lines{L"  deleted: " + firefox.partial + L"\\recovery.jsonlz4"});
        EXPECT_EQ(lines.size(), 6u);

        for (const std::wstring& kept : {full + L"\\places.sqlite", full + L"\\places.sqlite-wal", full + L"\\prefs.js",
                                         full + L"\\extensions.json", firefox.partial + L"\\places.sqlite",
                                         firefox.untouched + L"\\prefs.js", firefox.folder + L"\\sessionstore.js"}) {
            SCOPED_TRACE(Utf8(kept));
            EXPECT_TRUE(PathExists(kept));
        }
        EXPECT_FALSE(PathExists(full + L"\\sessionstore-backups"));
    }
}

TEST(CleanFirefox, PreviewReportsWithoutDeleting) {
    FirefoxProfiles firefox;
    Lines lines;
    CleanFirefox(CapturingOptions(&lines, true), CatalogueRow(L"Mozilla Firefox"), nullptr);
    const std::wstring& full = firefox.full;
    EXPECT_EQ(LinesAbout(lines, full),
              (Lines{L"  [preview] would delete file: " + full + L"\\sessionstore.jsonlz4",
                     L"  [preview] would delete file: " + full + L"\\sessionstore.js",
                     L"  [preview] would delete file: " + full + L"\\recovery.jsonlz4",
                     L"  [preview] would delete folder: " + full + L"\\sessionstore-backups"}));
    EXPECT_EQ(lines.size(), 6u);
    EXPECT_TRUE(PathExists(full + L"\\sessionstore.jsonlz4"));
    EXPECT_TRUE(PathExists(full + L"\\sessionstore-backups\\recovery.baklz4"));
    DWORD kept = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN;
    EXPECT_EQ(GetFileAttributesW((firefox.partial + L"\\recovery.jsonlz4").c_str()) & kept, kept);
}

// Without a usable APPDATA the profiles folder must not be looked for at
// "\Mozilla\Firefox\Profiles" on the current drive.
TEST(CleanFirefox, SkipsFirefoxWhenAppDataIsUnusable) {
    TempFolder driveRoot;
    std::wstring stray = driveRoot / L"Mozilla\\Firefox\\Profiles\\abcd.default\\sessionstore.jsonlz4";
    MakeFile(stray);
    ScopedCurrentDrive drive(driveRoot.path());
    if (!drive.mapped())
        GTEST_SKIP() << "no drive letter could be mapped onto the sandbox";
    ASSERT_TRUE(PathExists(L"\\Mozilla\\Firefox\\Profiles\\abcd.default\\sessionstore.jsonlz4"));

    std::wstring tooLong(ENV_BUFFER_CHARS, L'x');
    struct Case {
        const char* name;
        const wchar_t* value;
    };
    for (Case c : {Case{"unset", nullptr}, Case{"empty", L""}, Case{"520 characters", tooLong.c_str()}}) {
        SCOPED_TRACE(c.name);
        ScopedEnvironmentVariable appData(L"APPDATA", c.value);
        Lines lines;
        CleanFirefox(CapturingOptions(&lines), CatalogueRow(L"Mozilla Firefox"), nullptr);
        EXPECT_TRUE(lines.empty());
        EXPECT_TRUE(PathExists(stray));
    }
}

// A name that plain paths cannot reach, or that would reorder or split its
// line, is cleaned all the same and shown masked.
TEST(CleanFirefox, CleansProfilesThatPlainPathsCannotReachAndMasksTheirNames) {
    Sandbox sandbox;
    std::wstring profiles = sandbox.appData() + L"\\Mozilla\\Firefox\\Profiles";
    const std::wstring names[] = {L"x1y2z3.default.", L"abcd.work ", L"efgh.\u202eexe.txt\u2028x\u200b"};
    for (const std::wstring& name : names) {
        MakeFile(LongPathForm(profiles + L"\\" + name + L"\\sessionstore.jsonlz4"));
        MakeFile(LongPathForm(profiles + L"\\" + name + L"\\sessionstore-backups\\recovery.baklz4"));
        MakeFile(LongPathForm(profiles + L"\\" + name + L"\\places.sqlite"));
    }
    Lines lines;
    CleanFirefox(CapturingOptions(&lines), CatalogueRow(L"Mozilla Firefox"), nullptr);
    EXPECT_EQ(lines.size(), 7u);
    for (const std::wstring& name : names) {
        SCOPED_TRACE(Utf8(name));
        std::wstring profile = profiles + L"\\" + name;
        std::wstring shown = profiles + L"\\" + MaskUnsafeCharacters(name);
        EXPECT_EQ(LinesAbout(lines, shown), (Lines{L"  deleted: " + shown + L"\\sessionstore.jsonlz4",
                                                   L"  deleted folder: " + shown + L"\\sessionstore-backups"}));
        EXPECT_FALSE(PathExists(LongPathForm(profile + L"\\sessionstore.jsonlz4")));
        EXPECT_TRUE(PathExists(LongPathForm(profile + L"\\places.sqlite")));
    }
}

// The profile manager can put a profile anywhere; profiles.ini says where.
TEST(CleanFirefox, CleansEveryProfileThatProfilesIniListsOnce) {
    Sandbox sandbox;
    std::wstring firefox = sandbox.appData() + L"\\Mozilla\\Firefox";
    std::wstring listed = firefox + L"\\Profiles\\a1.default";
    std::wstring absolute = sandbox / L"Elsewhere\\b2.work";
    std::wstring relative = firefox + L"\\Other\\c3.dev";
    std::wstring notAProfile = firefox + L"\\Install\\d4";
    std::wstring neverUsed = sandbox / L"Documents";  // no prefs.js, no times.json: not Firefox's
    for (const std::wstring& profile : {listed, absolute, relative, notAProfile, neverUsed})
        MakeFile(profile + L"\\sessionstore.jsonlz4");
    MakeFile(absolute + L"\\prefs.js");
    MakeFile(relative + L"\\times.json");
    const std::string ini =
        "\xEF\xBB\xBF[General]\r\nStartWithLastProfile=1\r\n\r\n"
        "[Profile0]\r\nName=default\r\nIsRelative=1\r\nPath=Profiles/a1.default\r\n\r\n"
        "[Profile1]\r\nName=work\r\nIsRelative=0\r\nPath=" +
        Utf8(absolute) +
        "\r\n\r\n"
        "[Profile2]\nIsRelative=1\nPath=Other\\c3.dev\n"
        "[Profile3]\nIsRelative=1\nPath=PROFILES/A1.DEFAULT\n"
        "[Profile4]\nIsRelative=1\nPath=Missing/e5\n"
        "[Profile5]\nIsRelative=0\nPath=Install/d4\n"
        "[Profile6]\nIsRelative=0\nPath=" +
        Utf8(neverUsed) +
        "\n"
        "[Install308046B0AF4A39CB]\nDefault=Install/d4\nPath=Install/d4\n";
    MakeFile(firefox + L"\\profiles.ini", ini);
    EXPECT_EQ(FirefoxProfileFolders(), (Lines{listed, absolute, relative}));

    // Cleaned under the same heading, also when the Profiles folder itself is gone.
    DeleteTreeForTest(firefox + L"\\Profiles");
    Lines lines;
    CleanFirefox(CapturingOptions(&lines), CatalogueRow(L"Mozilla Firefox"), nullptr);
    EXPECT_EQ(lines, (Lines{L"Cleaning Mozilla Firefox ...", L"  deleted: " + absolute + L"\\sessionstore.jsonlz4",
                            L"  deleted: " + relative + L"\\sessionstore.jsonlz4"}));
    EXPECT_TRUE(PathExists(notAProfile + L"\\sessionstore.jsonlz4"));
    EXPECT_TRUE(PathExists(neverUsed + L"\\sessionstore.jsonlz4"));
}

// A profiles.ini too large to read hides the profiles it names: the run says so
// and counts it. A profile that a link or profiles.ini names again is cleaned once.
TEST(CleanFirefox, SaysSoWhenProfilesIniIsNotReadAndCleansEveryProfileOnce) {
    Sandbox sandbox;
    std::wstring firefox = sandbox.appData() + L"\\Mozilla\\Firefox";
    std::wstring profile = firefox + L"\\Profiles\\a1.default";
    MakeFile(profile + L"\\sessionstore.jsonlz4");
    MakeFile(profile + L"\\prefs.js");
    bool linked = RunningUnderWine() && MakeUnixSymlink(profile, firefox + L"\\Profiles\\b2.same");
    MakeFile(firefox + L"\\profiles.ini", "[Profile0]\nIsRelative=1\nPath=Profiles/b2.same\n");
    EXPECT_EQ(FirefoxProfileFolders().size(), 1u);
    EXPECT_FALSE(UnreadFirefoxProfileList());

    ASSERT_TRUE(MakeSparseFile(firefox + L"\\profiles.ini", (MaxBytes(BrowserFile::FirefoxProfilesIni) + 1)));
    std::optional<UnreadProfileList> unread = UnreadFirefoxProfileList();
    ASSERT_TRUE(unread);
    EXPECT_EQ(unread->path, firefox + L"\\profiles.ini");
    EXPECT_EQ(unread->reason, FileRead::TooLarge);
    Lines lines;
    CleanupOutcome outcome;
    CleanFirefox(CapturingOptions(&lines), CatalogueRow(L"Mozilla Firefox"), &outcome);
    std::wstring cleaned = FirefoxProfileFolders().front();
    EXPECT_EQ(lines, (Lines{L"Cleaning Mozilla Firefox ...", L"  (too large, not read) " + firefox + L"\\profiles.ini",
                            L"  deleted: " + cleaned + L"\\sessionstore.jsonlz4"}));
    EXPECT_EQ(outcome.profileListsNotRead, Lines{firefox + L"\\profiles.ini"});
    EXPECT_EQ(ItemsLeftBehind(outcome), 1u);

    // Without a Profiles folder the heading still comes, for the line about profiles.ini.
    if (linked)
        RemoveUnixLink(firefox + L"\\Profiles\\b2.same");
    DeleteTreeForTest(firefox + L"\\Profiles");
    lines.clear();
    CleanFirefox(CapturingOptions(&lines), CatalogueRow(L"Mozilla Firefox"), nullptr);
    EXPECT_EQ(lines,
              (Lines{L"Cleaning Mozilla Firefox ...", L"  (too large, not read) " + firefox + L"\\profiles.ini"}));
}
