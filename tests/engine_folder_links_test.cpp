// A link inside a folder being removed is removed as a link and never entered:
// what it points to lies outside the tree and must survive.
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
    EXPECT_EQ(lines, (Lines{FormatWide(L"  deleted folder: %ls", junction.c_str()),
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
    EXPECT_EQ(lines, Lines{FormatWide(L"  deleted folder: %ls", sessions.c_str())});
    EXPECT_TRUE(PathExists(outside.canary));
    EXPECT_FALSE(PathExists(sessions));
}
