#include <gtest/gtest.h>

#include <string>
#include <utility>

#include "browsers/browsers.h"
#include "tests/table_rows.h"

using namespace std::string_literals;

namespace {

// The record in one line: "name|default_locale|version" then the marks that are set:
// "update" "theme" "overrides=<bits>", then "complete" or "damaged"; "not opened" when the text opens no object.
std::string Fields(const std::string& manifest) {
    ManifestFields fields = ReadManifest(manifest);
    if (!fields.opened)
        return "not opened";
    std::string line = fields.name + "|" + fields.defaultLocale + "|" + fields.version;
    if (fields.updateUrl)
        line += " update";
    if (fields.theme)
        line += " theme";
    if (fields.overrides)
        line += " overrides=" + std::to_string(fields.overrides);
    line += fields.complete ? " complete" : " damaged";
    return line;
}

}  // namespace

// What Chromium's manifest reading accepts (base::JSONReader with
// JSON_PARSE_CHROMIUM_EXTENSIONS): comments, \x escapes and line breaks in
// strings; not trailing commas, UTF-16 or data after the root. The last of a
// repeated name counts; only the root's own members; what stands before damage stays.
TEST(ManifestReading, ReadsTheRootsOwnMembersAsTheBrowserDoes) {
    const std::string search = R"("chrome_settings_overrides":{"search_provider":{"name":"S","is_default":true}})";
    const TableRow<std::string, std::string> rows[] = {
        {"plain", R"({"name":"N","default_locale":"de","version":"1.2","update_url":"u"})", "N|de|1.2 update complete"},
        {"a nested name is not the extension's", "{" + search + R"(,"name":"Real"})", "Real|| overrides=8 complete"},
        {"repeated: the last", R"({"name":"A","version":"1","name":"B","version":2})", "B|| complete"},
        {"exact names", R"({"Name":"A","NAME":"B","version ":"1"})", "|| complete"},
        {"a nested update address", R"({"background":{"update_url":"u"},"x":[{"update_url":"u"}]})", "|| complete"},
        {"an update address of any value", R"({"update_url":null})", "|| update complete"},
        {"a theme object", R"({"theme":{"colors":{}}})", "|| theme complete"},
        {"a theme that is no object, or the last one not", R"({"theme":"dark","x":1,"theme":{},"theme":[]})",
         "|| complete"},
        {"comments of both kinds", "{/* \"name\":\"H\", */ \"name\":\"C\", // \"version\":\"9\"\n \"version\":\"2\"}",
         "C||2 complete"},
        {"a comment that never closes", R"({"name":"C" /* "version":"2"})", "C|| damaged"},
        {"a lone slash", R"({"name":"C", / "version":"2"})", "C|| damaged"},
        {"\\x escapes and a line break in a string", "{\"name\":\"\\x41b\ncd\",\"version\":\"\\u00e9\"}",
         "Ab\ncd||\xc3\xa9 complete"},
        {"a surrogate pair and a lone one", R"({"name":"\ud83d\ude00","version":"\udc00"})",
         "\xf0\x9f\x98\x80||\xef\xbf\xbd complete"},
        {"an escape the browser refuses ends the reading", R"({"name":"N","version":"\v1","x":"y"})", "N|| damaged"},
        {"a short \\u escape too", R"({"version":"1","name":"\u41"})", "||1 damaged"},
        {"a trailing comma is damage", R"({"name":"N","a":[1,],"version":"1"})", "N|| damaged"},
        {"and so at the end", R"({"name":"N","version":"1",})", "N||1 damaged"},
        {"a missing comma", R"({"name":"N" "version":"1"})", "N|| damaged"},
        {"cut short in a value: the last complete one stays", R"({"name":"A","name":"B)", "A|| damaged"},
        {"cut short in a nested object", R"({"version":"3","theme":{"colors":{)", "||3 damaged"},
        {"a byte-order mark", "\xef\xbb\xbf {\"name\":\"M\"}", "M|| complete"},
        {"data after the root", R"({"name":"N"} {"version":"1"})", "N|| damaged"},
        {"raw bytes in a string stay", "{\"name\":\"A\0B\xff\"}"s, "A\0B\xff|| complete"s},
        {"numbers and literals are skipped", R"({"a":-1.5e+3,"b":[true,false,null,0],"version":"4"})", "||4 complete"},
        {"a bad number", R"({"version":"4","a":01})", "||4 damaged"},
        {"overrides of every kind",
         R"({"chrome_settings_overrides":{"homepage":"h","startup_pages":["s"]},"chrome_url_overrides":{"newtab":"n"}})",
         "|| overrides=7 complete"},
        {"a search provider that is not the default",
         R"({"chrome_settings_overrides":{"search_provider":{"is_default":true,"is_default":false}}})", "|| complete"},
        {"a repeated overrides member replaces the first",
         "{" + search +
             R"(,"chrome_settings_overrides":{"homepage":"h"},"chrome_url_overrides":{"newtab":"n"},)"
             R"("chrome_url_overrides":{}})",
         "|| overrides=1 complete"},
        {"no overrides from a manifest the browser cannot load", "{" + search + ",", "|| damaged"},
        {"UTF-16", "\xff\xfe{\0\"\0n\0\"\0:\0\"\0X\0\"\0}\0"s, "not opened"},
        {"an array", R"([{"name":"x"}])", "not opened"},
        {"binary bytes",
         "\x7f"
         "ELF\x02\x01"s,
         "not opened"},
        {"empty", "", "not opened"},
        {"blank and a comment only", " // {\n", "not opened"},
    };
    ExpectEachRow(rows, Fields);

    std::string deep = "{\"name\":\"D\",\"x\":";
    for (int i = 0; i < 300; ++i)
        deep += "[";
    EXPECT_EQ(Fields(deep), "D|| damaged") << "nesting deeper than the browser reads is damage";
}

// The browser treats an extension as a theme when its manifest's root holds a "theme" object.
TEST(ManifestReading, AThemeIsTheRootsOwnThemeObject) {
    const std::pair<std::string, bool> rows[] = {
        {R"({"name": "T", "theme": {"colors": {}}})", true},
        {"\xef\xbb\xbf{ \"theme\" :\n{}}", true},
        {R"({"a": {"theme": {}}, "b": [{"theme": {}}]})", false},
        {R"({"permissions": ["theme"], "Theme": {}, "theme": "dark"})", false},
        {R"({"d": "} \"theme\": {", "x": 1})", false},
        {"{\"a\": {} // }\n, \"b\": {/* } */ \"theme\": {}}}", false},
        {"{/* { */ \"theme\": {}}", true},
        {R"({"a": 1} {"theme": {}})", false},
        {R"(["theme", {"theme": {}}])", false},
        {R"({"theme)", false},
    };
    for (const auto& [text, expected] : rows)
        EXPECT_EQ(ReadManifest(text).theme, expected) << text;
}
