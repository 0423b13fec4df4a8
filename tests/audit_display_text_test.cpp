// Plain C++ like the code it tests; also built natively with sanitizers.
#include <gtest/gtest.h>

#include <string>

#include "audit/audit.h"
#include "tests/table_rows.h"

TEST(MaskUnsafeCharacters, ShowsControlBidiAndZeroWidthCharactersAsQuestionMarks) {
    const TableRow<std::wstring, std::wstring> rows[] = {
        {"plain text", L"Sample Notes 1.0", L"Sample Notes 1.0"},
        {"tab is kept", L"a\tb", L"a\tb"},
        {"line feed and carriage return", L"a\nb\rc", L"a?b?c"},
        {"NUL and the low edge", std::wstring(L"a\0b\x01\x1f", 5), L"a?b??"},
        {"space is the first safe character", L" !", L" !"},
        {"DEL and the C1 range", L"\x7e\x7f\x80\x9b\x9f\xa0", L"~????\xa0"},
        {"escape sequence", L"\x1b[2K\x1b[1A", L"?[2K?[1A"},
        {"embeddings and overrides", L"\x2029\x202a\x202b\x202c\x202d\x202e\x202f", L"??????\x202f"},
        {"direction marks", L"\x061b\x061c\x061d\x200e\x200f\x2010", L"\x061b?\x061d??\x2010"},
        {"zero-width characters", L"goo\x200bgle \x200a\x200b\x200c\x200d \x205f\x2060\x2061 \xfefe\xfeff\xff00",
         L"goo?gle \x200a??? \x205f?\x2061 \xfefe?\xff00"},
        {"line and paragraph separators", L"\x2027\x2028\x2029", L"\x2027??"},
        {"isolates", L"\x2065\x2066\x2067\x2068\x2069\x206a", L"\x2065????\x206a"},
        {"other non-ASCII stays", L"caf\xe9 \x738b \xd83d\xde00 \xfffd", L"caf\xe9 \x738b \xd83d\xde00 \xfffd"},
    };
    ExpectEachRow(rows, MaskUnsafeCharacters);
}

TEST(ShortenForLine, KeepsAtMost200UnitsAndEndsACutWithDots) {
    const std::wstring pair = L"\xd83d\xde00";
    const TableRow<std::wstring, std::wstring> rows[] = {
        {"short", L"Sample Notes", L"Sample Notes"},
        {"exactly 200", std::wstring(200, L'a'), std::wstring(200, L'a')},
        {"201", std::wstring(201, L'a'), std::wstring(197, L'a') + L"..."},
        {"a surrogate pair is not split", std::wstring(196, L'a') + pair + std::wstring(10, L'b'),
         std::wstring(196, L'a') + L"..."},
        {"a pair that fits stays", std::wstring(195, L'a') + pair + std::wstring(10, L'b'),
         std::wstring(195, L'a') + pair + L"..."},
    };
    ExpectEachRow(rows, ShortenForLine);
}
