#include <gtest/gtest.h>

#include <string>

#include "engine/engine.h"
#include "tests/test_support.h"

TEST(ReadFileBytes, ReadsWholeFilesUpToTheLimitAndSaysWhyOthersWereNot) {
    TempFolder folder;
    MakeFile(folder / L"empty", "");
    MakeFile(folder / L"ten", "0123456789");
    MakeFolder(folder / L"a folder");
    MakeFile(folder / L"locked", "locked");
    MakeFile(folder / L"shared", "shared");
    // A browser writing with read sharing does not stop the read; a handle without sharing does.
    UniqueHandle locked = HoldFile(folder / L"locked");
    UniqueHandle shared = HoldFile(folder / L"shared", GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE);
    ASSERT_TRUE(locked && shared);
    struct Row {
        const wchar_t* name;
        std::size_t limit;
        FileRead expected;
        std::string bytes;
    };
    const Row rows[] = {
        {L"empty", 10, FileRead::Done, ""},          {L"ten", 10, FileRead::Done, "0123456789"},
        {L"ten", 9, FileRead::TooLarge, ""},         {L"ten", 0, FileRead::TooLarge, ""},
        {L"missing", 10, FileRead::Missing, ""},     {L"missing folder\\file", 10, FileRead::Missing, ""},
        {L"a folder", 10, FileRead::Unreadable, ""}, {L"locked", 10, FileRead::Unreadable, ""},
        {L"shared", 10, FileRead::Done, "shared"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::Message() << Utf8(row.name) << " limit " << row.limit);
        std::string bytes = "left over";
        EXPECT_EQ(ReadFileBytes(folder / row.name, row.limit, &bytes), row.expected);
        EXPECT_EQ(bytes, row.bytes);
    }
}

TEST(ReadFileBytes, RefusesAHugeSparseFileWithoutReadingIt) {
    TempFolder folder;
    std::wstring path = folder / L"manifest.json";
    ASSERT_TRUE(MakeSparseFile(path, 100LL << 30));
    std::string bytes;
    EXPECT_EQ(ReadFileBytes(path, 1 << 20, &bytes), FileRead::TooLarge);
    EXPECT_TRUE(bytes.empty());
}
