#include <gtest/gtest.h>

#include <algorithm>
#include <thread>

#include "engine/engine.h"
#include "tests/test_support.h"

namespace {

using Lines = std::vector<std::wstring>;

const wchar_t* const SESSION_FILES[] = {L"Current Session", L"Current Tabs", L"Last Session", L"Last Tabs"};
const wchar_t* const HISTORY_FILES[] = {L"History", L"History-journal", L"History-wal", L"History-shm",
                                        L"Visited Links"};
const wchar_t* const KEPT_FILES[] = {L"Bookmarks", L"Login Data", L"Preferences",
                                     L"Extensions\\abc\\1.0\\manifest.json", L"Favicons"};

// A profile holding every item the cleaner knows plus files it must keep.
void MakeFullProfile(const std::wstring& profile) {
    for (const wchar_t* name : SESSION_FILES)
        MakeFile(profile + L"\\" + name);
    for (const wchar_t* name : HISTORY_FILES)
        MakeFile(profile + L"\\" + name);
    MakeFile(profile + L"\\Sessions\\Session_13300000000000000");
    MakeFile(profile + L"\\Sessions\\Tabs_13300000000000000");
    for (const wchar_t* name : KEPT_FILES)
        MakeFile(profile + L"\\" + name);
}

// The lines a full profile gives, in item order.
Lines ExpectedLines(const std::wstring& profile, bool preview, bool tabsOnly) {
    const wchar_t* fileLine = preview ? L"  [preview] would delete file: %ls" : L"  deleted: %ls";
    const wchar_t* folderLine = preview ? L"  [preview] would delete folder: %ls" : L"  deleted folder: %ls";
    Lines lines;
    for (const wchar_t* name : SESSION_FILES)
        lines.push_back(FormatWide(fileLine, (profile + L"\\" + name).c_str()));
    lines.push_back(FormatWide(folderLine, (profile + L"\\Sessions").c_str()));
    if (!tabsOnly) {
        for (const wchar_t* name : HISTORY_FILES)
            lines.push_back(FormatWide(fileLine, (profile + L"\\" + name).c_str()));
    }
    return lines;
}

}  // namespace

TEST(ChromiumProfile, CleansSessionsAndHistoryInItemOrderByMode) {
    struct Mode {
        bool preview;
        bool tabsOnly;
    };
    for (Mode mode : {Mode{false, false}, Mode{false, true}, Mode{true, false}, Mode{true, true}}) {
        SCOPED_TRACE(testing::Message() << "preview " << mode.preview << ", tabsOnly " << mode.tabsOnly);
        TempFolder sandbox;
        std::wstring profile = sandbox / L"Default";
        MakeFullProfile(profile);
        Lines lines;
        CleanChromiumProfile(CapturingOptions(&lines, mode.preview, mode.tabsOnly), profile, nullptr);
        EXPECT_EQ(lines, ExpectedLines(profile, mode.preview, mode.tabsOnly));

        for (const wchar_t* name : SESSION_FILES)
            EXPECT_EQ(PathExists(profile + L"\\" + name), mode.preview) << Utf8(name);
        EXPECT_EQ(PathExists(profile + L"\\Sessions"), mode.preview);
        for (const wchar_t* name : HISTORY_FILES)
            EXPECT_EQ(PathExists(profile + L"\\" + name), mode.preview || mode.tabsOnly) << Utf8(name);
        for (const wchar_t* name : KEPT_FILES)
            EXPECT_TRUE(PathExists(profile + L"\\" + name)) << Utf8(name);
    }
}

TEST(ChromiumProfile, EmptyProfileWritesNothing) {
    TempFolder sandbox;
    MakeFile(sandbox / L"Default\\Preferences");
    Lines lines;
    CleanChromiumProfile(CapturingOptions(&lines), sandbox / L"Default", nullptr);
    EXPECT_TRUE(lines.empty());
}

TEST(ChromiumProfile, ProfileFolderTestAcceptsFilesOrFolders) {
    TempFolder sandbox;
    struct Case {
        const wchar_t* entry;
        bool folder;
        bool isProfile;
    };
    const Case cases[] = {
        {L"Preferences", false, true},      {L"Secure Preferences", false, true}, {L"Extensions", true, true},
        {L"Extensions", false, true},       {L"Preferences", true, true},         {L"Bookmarks", false, false},
        {L"Preferences.bak", false, false},
    };
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(Utf8(c.entry));
        std::wstring folder = sandbox / std::to_wstring(n++);
        MakeFolder(folder);
        if (c.folder)
            MakeFolder(folder + L"\\" + c.entry);
        else
            MakeFile(folder + L"\\" + c.entry);
        EXPECT_EQ(IsProfileFolder(folder), c.isProfile);
    }
    EXPECT_FALSE(IsProfileFolder(sandbox / L"missing"));
}

TEST(ChromiumBrowser, MissingUserDataFolderOrAFileWritesNothing) {
    TempFolder sandbox;
    MakeFile(sandbox / L"User Data");
    for (const wchar_t* name : {L"User Data", L"Absent"}) {
        Lines lines;
        CleanChromiumBrowser(CapturingOptions(&lines), CatalogueRow(L"Google Chrome"), sandbox / name, nullptr);
        EXPECT_TRUE(lines.empty()) << Utf8(name);
    }
}

TEST(ChromiumBrowser, AnnouncesTheBrowserEvenWithoutProfiles) {
    TempFolder sandbox;
    MakeFile(sandbox / L"User Data\\Local State");
    for (bool preview : {false, true}) {
        Lines lines;
        CleanChromiumBrowser(CapturingOptions(&lines, preview), CatalogueRow(L"Microsoft Edge"), sandbox / L"User Data",
                             nullptr);
        EXPECT_EQ(lines, Lines{L"Cleaning Microsoft Edge ..."});
    }
}

TEST(ChromiumBrowser, CleansOnlyNamedProfileFoldersThatPassTheProfileTest) {
    TempFolder sandbox;
    std::wstring userData = sandbox / L"User Data";
    struct Case {
        const wchar_t* name;
        bool cleaned;
    };
    // U+0665 is an Arabic-Indic digit; a trailing space only reaches the file system in the \\?\ form.
    const Case cases[] = {
        {L"default", true},          {L"PROFILE 3", true},       {L"Profile 12", true},
        {L"Profile3", false},        {L"Profile", false},        {L"My Profile", false},
        {L"Guest Profile", false},   {L"System Profile", false}, {L"Profile 1 - Copy", false},
        {L"Profile 2 (old)", false}, {L"Profile ", false},       {L"Profile  4", false},
        {L"Profile 5a", false},      {L"Profile \x0665", false}, {L"Default - Copy", false},
    };
    for (const Case& c : cases)
        MakeFullProfile(LongPathForm(userData + L"\\" + c.name));
    // Named like a profile but holding none of the profile files: left alone.
    MakeFile(userData + L"\\Profile 1\\Current Session");
    // A file named like a profile is not a folder.
    MakeFile(userData + L"\\Profile 9");

    Lines lines;
    CleanChromiumBrowser(CapturingOptions(&lines), CatalogueRow(L"Brave"), userData, nullptr);
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.front(), L"Cleaning Brave ...");
    for (const Case& c : cases) {
        SCOPED_TRACE(Utf8(c.name));
        std::wstring profile = LongPathForm(userData + L"\\" + c.name);
        EXPECT_EQ(PathExists(profile + L"\\Current Session"), !c.cleaned);
        EXPECT_EQ(PathExists(profile + L"\\History"), !c.cleaned);
        EXPECT_TRUE(PathExists(profile + L"\\Bookmarks"));
    }
    EXPECT_TRUE(PathExists(userData + L"\\Profile 1\\Current Session"));
    EXPECT_TRUE(PathExists(userData + L"\\Profile 9"));
    // One announcement plus ten lines for each of the three cleaned profiles.
    EXPECT_EQ(lines.size(), 1u + 3u * 10u);
}

TEST(ChromiumBrowser, UserDataFolderThatIsAProfileIsCleanedFirst) {
    TempFolder sandbox;
    std::wstring userData = sandbox / L"Opera Stable";
    MakeFullProfile(userData);
    MakeFullProfile(userData + L"\\Default");
    // Opera's further profiles, of any name, and a folder there that is none.
    const std::wstring side = userData + L"\\_side_profiles\\2b1f9c";
    MakeFullProfile(side);
    MakeFile(userData + L"\\_side_profiles\\Cache\\data_0");

    Lines profiles;
    for (const BrowserProfile& profile : ChromiumProfiles(CatalogueRow(L"Opera"), userData))
        profiles.push_back(profile.folder + L"|" + profile.name);
    EXPECT_EQ(profiles, (Lines{userData + L"|", userData + L"\\Default|Default", side + L"|_side_profiles\\2b1f9c"}));
    Lines lines;
    CleanChromiumBrowser(CapturingOptions(&lines, false, true), CatalogueRow(L"Opera"), userData, nullptr);
    Lines expected{L"Cleaning Opera ..."};
    for (const std::wstring& profile : {userData, userData + L"\\Default", side}) {
        Lines profileLines = ExpectedLines(profile, false, true);
        expected.insert(expected.end(), profileLines.begin(), profileLines.end());
    }
    EXPECT_EQ(lines, expected);
    EXPECT_TRUE(PathExists(userData + L"\\History"));
    EXPECT_TRUE(PathExists(userData + L"\\Default\\Visited Links"));
}

// A profile reached again through a link is the same profile: listed and
// cleaned once, under the first name the walk meets.
TEST(ChromiumBrowser, AProfileReachedTwiceThroughLinksIsCleanedOnce) {
    if (!RunningUnderWine())
        GTEST_SKIP() << "Unix links exist only under Wine";
    TempFolder sandbox;
    std::wstring userData = sandbox / L"User Data";
    MakeFullProfile(userData);
    MakeFullProfile(userData + L"\\Profile 2");
    ASSERT_TRUE(MakeUnixSymlink(userData, userData + L"\\Default"));
    ASSERT_TRUE(MakeUnixSymlink(userData, userData + L"\\Profile 1"));
    ASSERT_TRUE(MakeUnixSymlink(userData + L"\\Profile 2", userData + L"\\Profile 3"));

    Lines profiles;
    for (const BrowserProfile& profile : ChromiumProfiles(CatalogueRow(L"Brave"), userData))
        profiles.push_back(profile.name);
    std::sort(profiles.begin(), profiles.end());
    // Profile 2 or Profile 3, whichever the listing gives first.
    ASSERT_EQ(profiles.size(), 2u);
    EXPECT_EQ(profiles[0], L"");
    Lines lines;
    CleanChromiumBrowser(CapturingOptions(&lines, false, true), CatalogueRow(L"Brave"), userData, nullptr);
    EXPECT_EQ(lines.size(), 1u + 2u * 5u);
    for (const wchar_t* link : {L"\\Default", L"\\Profile 1", L"\\Profile 3"})
        RemoveUnixLink(userData + link);
}

// Two cleanings of the same profiles at once: each file is deleted by one of
// them, and a file the other one deleted first is no failure of the second.
TEST(ChromiumBrowser, AFileDeletedByAnotherCleaningMeanwhileIsNotAFailure) {
    TempFolder sandbox;
    std::wstring userData = sandbox / L"User Data";
    for (int i = 1; i <= 150; ++i) {
        std::wstring profile = userData + L"\\Profile " + std::to_wstring(i);
        MakeFile(profile + L"\\Preferences");
        for (const wchar_t* name : SESSION_FILES)
            MakeFile(profile + L"\\" + name);
        for (const wchar_t* name : HISTORY_FILES)
            MakeFile(profile + L"\\" + name);
    }
    Lines first;
    Lines second;
    std::thread other(
        [&] { CleanChromiumBrowser(CapturingOptions(&second), CatalogueRow(L"Brave"), userData, nullptr); });
    CleanChromiumBrowser(CapturingOptions(&first), CatalogueRow(L"Brave"), userData, nullptr);
    other.join();
    // Both may see their delete succeed for one file; neither may call it failed.
    std::size_t deleted = 0;
    for (const Lines* lines : {&first, &second}) {
        for (const std::wstring& line : *lines) {
            EXPECT_EQ(line.find(L"(locked/failed)"), std::wstring::npos) << Utf8(line);
            deleted += line.rfind(L"  deleted: ", 0) == 0;
        }
    }
    EXPECT_GE(deleted, 150u * 9u);
    EXPECT_FALSE(PathExists(userData + L"\\Profile 150\\Visited Links"));
}
