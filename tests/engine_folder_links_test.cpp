// A link inside a folder being removed is removed as a link and never entered,
// and a file to delete that leads elsewhere is left alone: what they point to
// lies outside and must survive.
#include <gtest/gtest.h>

#include "engine/engine.h"
#include "tests/test_support.h"

namespace {

using Lines = std::vector<std::wstring>;

struct Outside {
    TempFolder folder;
    std::wstring target = folder / L"target";
    std::wstring canary = target + L"\\canary.txt";
    Outside() { MakeFile(canary, "must survive"); }
};

}  // namespace

TEST(FolderLinks, UnixLinkInsideTheTreeIsNotFollowed) {
    if (!RunningUnderWine())
        GTEST_SKIP() << "Unix links exist only under Wine";
    Outside outside;
    TempFolder sandbox;
    std::wstring sessions = sandbox / L"Sessions";
    std::wstring link = sessions + L"\\linked";
    MakeFile(sessions + L"\\Session_1");
    ASSERT_TRUE(MakeUnixSymlink(outside.target, link));
    ASSERT_EQ(GetFileAttributesW(link.c_str()) & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT),
              DWORD{FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT});

    Lines lines;
    RemoveFolderTree(CapturingOptions(&lines), sessions, nullptr);
    EXPECT_TRUE(PathExists(outside.canary));
    EXPECT_FALSE(PathExists(sessions + L"\\Session_1"));
    RemoveUnixLink(link);
}

// Under Wine a Unix link to a file looks like a plain file, and deleting it
// deletes its target: the file is left alone, with a line, and counted.
TEST(FileLinks, AFileThatLeadsElsewhereIsLeftAloneAndItsTargetSurvives) {
    if (!RunningUnderWine())
        GTEST_SKIP() << "Unix links exist only under Wine";
    struct Row {
        const char* name;
        const wchar_t* target;  // below the profile, "" for the file outside it
        DWORD attributes;
        bool inTree;
    };
    const Row rows[] = {
        {"to a file outside the profile", L"", FILE_ATTRIBUTE_NORMAL, false},
        {"to a read-only file outside the profile", L"", FILE_ATTRIBUTE_READONLY, false},
        {"to another file of the profile", L"Bookmarks", FILE_ATTRIBUTE_NORMAL, false},
        {"inside a tree, to a file outside the profile", L"", FILE_ATTRIBUTE_READONLY, true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        TempFolder sandbox;
        std::wstring profile = sandbox / L"Default";
        std::wstring target = *row.target ? profile + L"\\" + row.target : sandbox / L"Documents\\notes.txt";
        MakeFile(target, "must survive", row.attributes);
        MakeFile(profile + L"\\Sessions\\Session_13345678");
        std::wstring link = profile + (row.inTree ? L"\\Sessions\\Tabs_13345678" : L"\\History");
        ASSERT_TRUE(MakeUnixSymlink(target, link));

        for (bool preview : {true, false}) {
            SCOPED_TRACE(preview ? "preview" : "run");
            Lines lines;
            CleanupOutcome outcome;
            CleanupOptions options = CapturingOptions(&lines, preview);
            if (row.inTree)
                RemoveFolderTree(options, profile + L"\\Sessions", &outcome);
            else
                RemoveFile(options, link, &outcome);
            Lines expected = {L"  (a link, left alone) " + link};
            if (row.inTree)
                expected = preview ? Lines{L"  [preview] would delete folder: " + profile + L"\\Sessions"} : expected;
            EXPECT_EQ(lines, expected);
            EXPECT_EQ(outcome.linksLeftAlone, (preview && row.inTree) ? Lines{} : Lines{link});
            EXPECT_TRUE(outcome.leftBehind.empty());
            EXPECT_EQ(ReadWholeFile(target), "must survive");
            EXPECT_EQ(GetFileAttributesW(target.c_str()) & FILE_ATTRIBUTE_READONLY,
                      row.attributes & FILE_ATTRIBUTE_READONLY);
        }
        EXPECT_EQ(PathExists(profile + L"\\Sessions\\Session_13345678"), !row.inTree);
        RemoveUnixLink(link);
    }
}

TEST(FolderLinks, FolderThatIsItselfAUnixLinkIsNotFollowed) {
    if (!RunningUnderWine())
        GTEST_SKIP() << "Unix links exist only under Wine";
    Outside outside;
    TempFolder sandbox;
    std::wstring sessions = sandbox / L"Sessions";
    ASSERT_TRUE(MakeUnixSymlink(outside.target, sessions));

    Lines lines;
    RemoveFolderTree(CapturingOptions(&lines), sessions, nullptr);
    EXPECT_TRUE(PathExists(outside.canary));
    RemoveUnixLink(sessions);
}

// Under Wine a Unix link to a folder cannot be removed as itself (RemoveDirectoryW
// removes an empty target, and the link stays): it is left alone with a line,
// whether it leads to an empty folder or a full one, and whatever it leads to
// survives.
TEST(FolderLinks, AUnixLinkToAFolderIsLeftAloneWithATrueLine) {
    if (!RunningUnderWine())
        GTEST_SKIP() << "Unix links exist only under Wine";
    struct Row {
        const char* name;
        bool targetHoldsFiles;
        bool inTree;  // Sessions\linked rather than Sessions itself
    };
    const Row rows[] = {
        {"Sessions to an empty folder", false, false},
        {"Sessions to a folder with files", true, false},
        {"a link inside Sessions to an empty folder", false, true},
    };
    for (const Row& row : rows) {
        for (bool preview : {true, false}) {
            SCOPED_TRACE(std::string(row.name) + (preview ? ", preview" : ", run"));
            TempFolder outside, sandbox;
            std::wstring target = outside / L"target";
            MakeFolder(target);
            if (row.targetHoldsFiles)
                MakeFile(target + L"\\Session_1", "must survive");
            std::wstring sessions = sandbox / L"Sessions";
            std::wstring link = row.inTree ? sessions + L"\\linked" : sessions;
            if (row.inTree)
                MakeFile(sessions + L"\\Session_2");
            ASSERT_TRUE(MakeUnixSymlink(target, link));

            Lines lines;
            CleanupOutcome outcome;
            RemoveFolderTree(CapturingOptions(&lines, preview), sessions, &outcome);
            bool descends = !(preview && row.inTree);  // a preview does not look inside a plain folder
            EXPECT_EQ(lines, descends ? Lines{L"  (a link, left alone) " + link}
                                      : Lines{L"  [preview] would delete folder: " + sessions});
            EXPECT_EQ(outcome.linksLeftAlone, descends ? Lines{link} : Lines{});
            EXPECT_TRUE(outcome.leftBehind.empty());
            EXPECT_TRUE(IsExistingFolder(target));
            EXPECT_EQ(PathExists(target + L"\\Session_1"), row.targetHoldsFiles);
            EXPECT_EQ(PathExists(sessions + L"\\Session_2"), row.inTree && preview);
            RemoveUnixLink(link);
        }
    }
}

TEST(FolderLinks, JunctionIsRemovedAsALink) {
    Outside outside;
    TempFolder sandbox;
    std::wstring sessions = sandbox / L"Sessions";
    std::wstring junction = sessions + L"\\joined";
    MakeFolder(sessions);
    if (!MakeJunction(outside.target, junction))
        GTEST_SKIP() << "this file system cannot create junctions";

    Lines lines;
    RemoveFolderTree(CapturingOptions(&lines), sessions, nullptr);
    EXPECT_EQ(lines, (Lines{FormatWide(L"  deleted link: %ls", junction.c_str()),
                            FormatWide(L"  deleted folder: %ls", sessions.c_str())}));
    EXPECT_TRUE(PathExists(outside.canary));
    EXPECT_FALSE(PathExists(sessions));
}

TEST(FolderLinks, JunctionGivenAsTheFolderIsRemovedAsALink) {
    Outside outside;
    TempFolder sandbox;
    std::wstring sessions = sandbox / L"Sessions";
    if (!MakeJunction(outside.target, sessions))
        GTEST_SKIP() << "this file system cannot create junctions";

    Lines lines;
    RemoveFolderTree(CapturingOptions(&lines), sessions, nullptr);
    EXPECT_EQ(lines, Lines{FormatWide(L"  deleted link: %ls", sessions.c_str())});
    EXPECT_TRUE(PathExists(outside.canary));
    EXPECT_FALSE(PathExists(sessions));
}
