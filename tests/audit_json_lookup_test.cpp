// The JSON lookup is plain C++: this file includes no Windows header, so it also
// builds natively with sanitizers (tools/sanitize-audit.sh).
#include <gtest/gtest.h>

#include <string>
#include <utility>

#include "audit/json_lookup.h"
#include "tests/table_rows.h"

namespace {

constexpr std::size_t NO_MATCH = std::string::npos;

}  // namespace

TEST(FindJsonKey, FindsTheQuotedKeyIgnoringOnlyAsciiCase) {
    struct Row {
        const char* name;
        std::string text;
        std::string key;
        std::size_t start;
        std::size_t expected;
    };
    const Row rows[] = {
        {"plain key", R"({"name": "x"})", "name", 0, 1},
        {"capitals in the file", R"({"NaMe": "x"})", "name", 0, 1},
        {"capitals in the key", R"({"version": "1"})", "VERSION", 0, 1},
        {"a value equal to the key counts", R"({"a": "name", "name": "x"})", "name", 0, 6},
        {"unquoted text does not count", R"({xname: "name"})", "name", 0, 8},
        {"a longer quoted text does not count", R"({"names": 1, "name": 2})", "name", 0, 13},
        {"start at the match", R"({"name": "x"})", "name", 1, 1},
        {"start just past the match", R"({"name": "x"})", "name", 2, NO_MATCH},
        {"key at the very end", R"(xx"name")", "name", 0, 2},
        {"start where the needle just fits", R"(xx"name")", "name", 2, 2},
        {"start one beyond", R"(xx"name")", "name", 3, NO_MATCH},
        {"start at the end of the text", R"("name")", "name", 6, NO_MATCH},
        {"text shorter than the needle", R"("nam")", "name", 0, NO_MATCH},
        {"empty text", "", "name", 0, NO_MATCH},
        {"empty key finds two quotes", R"(a""b)", "", 0, 1},
        {"matches may share a quote", R"("a"a")", "a", 1, 2},
        {"underscore is not DEL",
         "\"a\x7f"
         "b\"",
         "a_b", 0, NO_MATCH},
        {"DEL is not underscore", R"("a_b")",
         "a\x7f"
         "b",
         0, NO_MATCH},
        {"[ is not {", R"("x{")", "x[", 0, NO_MATCH},
        {"{ is not [", R"("x[")", "X{", 0, NO_MATCH},
        {"@ is not a backtick", R"("`a")", "@a", 0, NO_MATCH},
        {"a backtick is not @", R"("@a")", "`A", 0, NO_MATCH},
        {"non-ASCII letters keep their case", "\"caf\xc3\x89\"", "caf\xc3\xa9", 0, NO_MATCH},
        {"non-ASCII bytes match themselves", "\"caf\xc3\xa9\"", "CAF\xc3\xa9", 0, 0},
        {"NUL bytes are ordinary", std::string("\"a\0b\"", 5), std::string("A\0B", 3), 0, 0},
        {"a near miss before the match", R"("nam" "namf" "name")", "name", 0, 13},
        {"repeated letters", R"(""aa"aaa")", "aa", 0, 1},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(FindJsonKey(row.text, row.key, row.start), row.expected);
    }
}

TEST(FindJsonKey, FindsLongKeysWherePartOfTheKeyRepeats) {
    // Keys longer than the search's 255-byte shift limit.
    std::string key = std::string(300, 'k') + "x" + std::string(300, 'k');
    std::string decoy = "\"" + std::string(300, 'K') + "y" + std::string(300, 'k') + "\"";
    std::string text = decoy + decoy + "\"" + key + "\"" + decoy;
    EXPECT_EQ(FindJsonKey(text, key, 0), 2 * decoy.size());
    EXPECT_EQ(FindJsonKey(text, key, 2 * decoy.size() + 1), NO_MATCH);
    std::string upper = key;
    upper[300] = 'X';
    EXPECT_EQ(FindJsonKey(text, upper, 0), 2 * decoy.size());
}

TEST(GetJsonString, ReturnsTheStringAfterTheFirstOccurrence) {
    struct Row {
        const char* name;
        std::string text;
        std::string key;
        std::size_t start;
        std::string expected;
    };
    const Row rows[] = {
        {"plain value", R"({"name": "Sample Notes"})", "name", 0, "Sample Notes"},
        {"first occurrence is a value followed by a comma", R"({"name": "version", "version": "1.0"})", "version", 0,
         ""},
        {"first occurrence in a nested object", R"({"a": {"name": "x"}, "name": "y"})", "name", 0, "x"},
        {"start past the first occurrence", R"({"a": {"name": "x"}, "name": "y"})", "name", 8, "y"},
        {"key in capitals", R"({"Name": "x"})", "name", 0, "x"},
        {"all six white-space bytes", "{\"name\" \t\v\f\r\n: \t\v\f\r\n\"x\"}", "name", 0, "x"},
        {"tab, colon, line feed", "\"name\"\t:\n\"x\"", "name", 0, "x"},
        {"number", R"({"version": 3})", "version", 0, ""},
        {"empty string", R"({"version": ""})", "version", 0, ""},
        {"object", R"({"name": {"name": "x"}})", "name", 0, ""},
        {"no colon", R"({"name" "x"})", "name", 0, ""},
        {"text ends after the key", R"({"name")", "name", 0, ""},
        {"text ends after the colon", R"({"name": )", "name", 0, ""},
        {"text ends after the opening quote", R"({"name": ")", "name", 0, ""},
        {"no closing quote", R"({"name": "abc)", "name", 0, "abc"},
        {"escaped quote, backslash, slash", R"({"v": "a\"b\\c\/d"})", "v", 0, "a\"b\\c/d"},
        {"line feed and tab", R"({"v": "a\nb\tc"})", "v", 0, "a\nb\tc"},
        {"r, b and f are control characters", R"({"v": "\r\b\f"})", "v", 0, "\r\b\f"},
        {"lone backslash at the end", "{\"v\": \"ab\\", "v", 0, "ab\\"},
        {"raw UTF-8 passes through", "{\"v\": \"caf\xc3\xa9\"}", "v", 0, "caf\xc3\xa9"},
        {"NUL bytes pass through", std::string("{\"v\": \"a\0b\"}", 12), "v", 0, std::string("a\0b", 3)},
        {"start past the last place", R"({"v": "x"})", "v", 3, ""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(GetJsonString(row.text, row.key, row.start), row.expected);
    }
}

TEST(GetJsonString, DecodesUnicodeEscapesReadAsFourBytesThroughStrtolRules) {
    // Inputs: the raw bytes between "v": " and the end of the text.
    const std::string nul(1, '\0');
    const std::string replacement = "\xef\xbf\xbd";
    const TableRow<std::string, std::string> rows[] = {
        {"ASCII letter", R"(\u0041")", "A"},
        {"lower-case digits", R"(\u006a")", "j"},
        {"non-ASCII character", R"(\u00e9")", "\xc3\xa9"},
        {"a name of Latin and Chinese letters", R"(Caf\u00e9 \u4e2d\u6587")", "Caf\xc3\xa9 \xe4\xb8\xad\xe6\x96\x87"},
        {"surrogate pair", R"(\ud83d\ude00")", "\xf0\x9f\x98\x80"},
        {"surrogate pair in capitals", R"(\uD83D\uDE00!")", "\xf0\x9f\x98\x80!"},
        {"a lone high surrogate", R"(\ud83dx")", replacement + "x"},
        {"a high surrogate before another character", R"(\ud83d\u0041")", replacement + "A"},
        {"a lone low surrogate", R"(\ude00\ud83d")", replacement + replacement},
        {"NUL", R"(\u0000")", nul},
        {"DEL is the last ASCII value", R"(\u007F")", "\x7f"},
        {"128 takes two bytes", R"(\u0080")", "\xc2\x80"},
        {"U+FFFF takes three", R"(\uffff")", "\xef\xbf\xbf"},
        {"leading white space", R"(\u  41")", "A"},
        {"plus sign", R"(\u+041")", "A"},
        {"minus sign", R"(\u-041")", replacement},
        {"0x prefix", R"(\u0x41")", "A"},
        {"0X prefix and a stop", R"(\u0X7g")", "\x07"},
        {"stops at the first non-digit", R"(\u4z11")", "\x04"},
        {"no digit at all", R"(\uzzzz")", nul},
        {"short escape swallows the closing quote", R"(\u41", "x": "y")", "A "},
        {"fewer than four bytes left", R"(\u12)", "12"},
        {"only the u left", R"(\u)", ""},
        {"NUL among the four bytes",
         std::string("\\u\0"
                     "041\"",
                     7),
         nul},
    };
    ExpectEachRow(rows, [](const std::string& value) { return GetJsonString("{\"v\": \"" + value, "v", 0); });
}
