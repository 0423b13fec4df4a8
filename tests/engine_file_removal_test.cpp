#include <gtest/gtest.h>

#include "engine/engine.h"
#include "tests/child_programs.h"
#include "tests/test_support.h"

namespace {

using Lines = std::vector<std::wstring>;

// Read-only, hidden and system; Wine adds the archive bit to every file it reports.
DWORD ProtectionBits(const std::wstring& path) {
    return GetFileAttributesW(path.c_str()) & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
}

std::wstring Line(const wchar_t* format, const std::wstring& path) {
    return FormatWide(format, path.c_str());
}

}  // namespace

TEST(RemoveFile, MissingPathWritesNothingInPreviewOrNot) {
    TempFolder sandbox;
    for (bool preview : {false, true}) {
        Lines lines;
        RemoveFile(CapturingOptions(&lines, preview), sandbox / L"absent", nullptr);
        RemoveFolderTree(CapturingOptions(&lines, preview), sandbox / L"absent", nullptr);
        EXPECT_TRUE(lines.empty()) << "preview " << preview;
    }
}

TEST(RemoveFile, PreviewReportsAndChangesNothing) {
    TempFolder sandbox;
    std::wstring file = sandbox / L"Current Session";
    MakeFile(file, "tabs", FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN);
    Lines lines;
    RemoveFile(CapturingOptions(&lines, true), file, nullptr);
    EXPECT_EQ(lines, Lines{Line(L"  [preview] would delete file: %ls", file)});
    EXPECT_EQ(ProtectionBits(file), DWORD{FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN});
}

TEST(RemoveFile, DeletesFilesWhateverTheirAttributes) {
    TempFolder sandbox;
    const DWORD cases[] = {FILE_ATTRIBUTE_NORMAL, FILE_ATTRIBUTE_READONLY, FILE_ATTRIBUTE_HIDDEN, FILE_ATTRIBUTE_SYSTEM,
                           FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM};
    int n = 0;
    for (DWORD attributes : cases) {
        SCOPED_TRACE(attributes);
        std::wstring file = sandbox / (L"file" + std::to_wstring(n++));
        MakeFile(file, "x", attributes);
        ASSERT_EQ(ProtectionBits(file), attributes & ~DWORD{FILE_ATTRIBUTE_NORMAL});
        Lines lines;
        CleanupOutcome outcome;
        RemoveFile(CapturingOptions(&lines), file, &outcome);
        EXPECT_EQ(lines, Lines{Line(L"  deleted: %ls", file)});
        EXPECT_TRUE(outcome.leftBehind.empty());
        EXPECT_FALSE(PathExists(file));
    }
}

TEST(RemoveFile, ReportsAFileHeldOpenByAnotherProcess) {
    TempFolder sandbox;
    std::wstring file = sandbox / L"History";
    std::wstring ready = sandbox / L"ready";
    MakeFile(file, "visits", FILE_ATTRIBUTE_READONLY);
    ChildProcess locker = HoldFileInAnotherProcess(file, ready);
    ASSERT_TRUE(locker.process);

    Lines lines;
    CleanupOutcome outcome;
    RemoveFile(CapturingOptions(&lines), file, &outcome);
    EXPECT_EQ(lines, Lines{Line(L"  (locked/failed) %ls", file)});
    EXPECT_EQ(outcome.leftBehind, Lines{file});
    EXPECT_TRUE(PathExists(file));
    // A file that cannot be deleted keeps its attributes.
    EXPECT_EQ(ProtectionBits(file), DWORD{FILE_ATTRIBUTE_READONLY});
}

TEST(RemoveFile, AFolderGivenAsAFileIsReportedAsFailed) {
    TempFolder sandbox;
    std::wstring folder = sandbox / L"Current Tabs";
    MakeFolder(folder);
    Lines lines;
    RemoveFile(CapturingOptions(&lines), folder, nullptr);
    EXPECT_EQ(lines, Lines{Line(L"  (locked/failed) %ls", folder)});
    EXPECT_TRUE(PathExists(folder));
}

TEST(RemoveFolderTree, PreviewReportsOnlyTheFolder) {
    TempFolder sandbox;
    std::wstring folder = sandbox / L"Sessions";
    MakeFile(folder + L"\\Session_1");
    MakeFile(folder + L"\\sub\\Tabs_1");
    Lines lines;
    RemoveFolderTree(CapturingOptions(&lines, true), folder, nullptr);
    EXPECT_EQ(lines, Lines{Line(L"  [preview] would delete folder: %ls", folder)});
    EXPECT_TRUE(PathExists(folder + L"\\sub\\Tabs_1"));
}

TEST(RemoveFolderTree, ReportsFoldersInPostOrderAndNoFiles) {
    TempFolder sandbox;
    std::wstring a = sandbox / L"A";
    MakeFile(a + L"\\top.txt", "x", FILE_ATTRIBUTE_READONLY);
    MakeFile(a + L"\\B\\one", "x", FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
    MakeFile(a + L"\\B\\.two");
    MakeFile(a + L"\\B\\C\\three");
    Lines lines;
    RemoveFolderTree(CapturingOptions(&lines), a, nullptr);
    EXPECT_EQ(lines, (Lines{Line(L"  deleted folder: %ls", a + L"\\B\\C"), Line(L"  deleted folder: %ls", a + L"\\B"),
                            Line(L"  deleted folder: %ls", a)}));
    EXPECT_FALSE(PathExists(a));
}

TEST(RemoveFolderTree, AFileThatCannotBeDeletedIsReportedOnceForTheWholeTree) {
    TempFolder sandbox;
    std::wstring top = sandbox / L"Sessions";
    std::wstring locked = top + L"\\Held\\Session_1";
    MakeFile(locked);
    MakeFile(top + L"\\Free\\Session_2");
    MakeFile(top + L"\\loose");
    UniqueHandle holder(CreateFileW(locked.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(holder);

    Lines lines;
    CleanupOutcome outcome;
    RemoveFolderTree(CapturingOptions(&lines), top, &outcome);
    EXPECT_EQ(lines, (Lines{Line(L"  deleted folder: %ls", top + L"\\Free"), Line(L"  (locked/failed) %ls", top)}));
    EXPECT_EQ(outcome.leftBehind, Lines{top});
    EXPECT_TRUE(PathExists(locked));
    EXPECT_FALSE(PathExists(top + L"\\loose"));
}

TEST(RemoveFolderTree, AFileGivenAsAFolderIsLeftAlone) {
    TempFolder sandbox;
    std::wstring file = sandbox / L"Sessions";
    MakeFile(file);
    Lines lines;
    RemoveFolderTree(CapturingOptions(&lines, true), file, nullptr);
    EXPECT_EQ(lines, Lines{Line(L"  [preview] would delete folder: %ls", file)});
    lines.clear();
    RemoveFolderTree(CapturingOptions(&lines), file, nullptr);
    EXPECT_TRUE(lines.empty());
    EXPECT_TRUE(PathExists(file));
}

// Win32 path parsing strips a trailing dot or space and maps CON to the console;
// the removal reaches such entries all the same.
TEST(RemoveFolderTree, RemovesEntriesThatPlainPathsCannotReach) {
    TempFolder sandbox;
    std::wstring top = sandbox / L"Sessions";
    for (const wchar_t* name : {L"Tabs_1.", L"Session_2 ", L"...", L"CON", L"nul.txt", L"sub.\\Tabs_3", L"sub.\\x "})
        MakeFile(LongPathForm(top + L"\\" + name));
    ASSERT_TRUE(PathExists(LongPathForm(top + L"\\sub.\\x ")));
    Lines lines;
    RemoveFolderTree(CapturingOptions(&lines), top, nullptr);
    EXPECT_EQ(lines, (Lines{Line(L"  deleted folder: %ls", top + L"\\sub."), Line(L"  deleted folder: %ls", top)}));
    EXPECT_FALSE(PathExists(top));
}
