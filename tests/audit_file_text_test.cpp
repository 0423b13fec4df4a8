#include <gtest/gtest.h>

#include <string>

#include "audit/audit.h"
#include "tests/table_rows.h"
#include "tests/test_support.h"

using namespace std::string_literals;

TEST(ReadWholeFile, ReturnsEveryByteUnchanged) {
    TempFolder folder;
    const std::string contents[] = {
        "",
        "x",
        "\xef\xbb\xbf{\"a\": 1}",
        "line\r\nline\r\n",
        "a\0b\x1a"
        "c\xff"s,
        std::string(200000, 'z') + "end",
    };
    for (const std::string& content : contents) {
        SCOPED_TRACE(content.substr(0, 20));
        MakeFile(folder / L"file.json", content);
        EXPECT_EQ(ReadWholeFile(folder / L"file.json"), content);
    }
}

TEST(ReadWholeFile, GivesNothingForWhatCannotBeRead) {
    TempFolder folder;
    MakeFolder(folder / L"a folder");
    EXPECT_EQ(ReadWholeFile(folder / L"missing.json"), "");
    EXPECT_EQ(ReadWholeFile(folder / L"a folder"), "");

    // A browser writing the file with read sharing does not stop the audit; one
    // holding it without sharing does.
    MakeFile(folder / L"shared.json", "shared");
    MakeFile(folder / L"locked.json", "locked");
    UniqueHandle shared = HoldFile(folder / L"shared.json", GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE);
    UniqueHandle locked = HoldFile(folder / L"locked.json");
    ASSERT_TRUE(shared && locked);
    EXPECT_EQ(ReadWholeFile(folder / L"shared.json"), "shared");
    EXPECT_EQ(ReadWholeFile(folder / L"locked.json"), "");
}

TEST(ReadWholeFile, OpensNonAsciiPaths) {
    TempFolder folder;
    std::wstring path = folder / L"caf\xe9 \x738b \xd83d\xde00.json";
    MakeFile(path, "ok");
    EXPECT_EQ(ReadWholeFile(path), "ok");
}

TEST(Utf8ToWide, DecodesAndReplacesMalformedSequences) {
    const TableRow<std::string, std::wstring> rows[] = {
        {"empty", "", L""},
        {"ASCII", "abc", L"abc"},
        {"two-byte sequence", "\xc3\xa9", L"\xe9"},
        {"three-byte sequence", "\xe7\x8e\x8b", L"\x738b"},
        {"four-byte sequence", "\xf0\x9f\x98\x80", L"\xd83d\xde00"},
        {"lone FF", "\xff", L"\xfffd"},
        {"byte-order mark", "\xef\xbb\xbfx", L"\xfeffx"},
        {"NUL bytes", "a\0b"s, std::wstring(L"a\0b", 3)},
        {"truncated sequence", "a\xe7\x8e", L"a\xfffd"},
    };
    ExpectEachRow(rows, Utf8ToWide);
}
