// Plain C++ like the code it tests; also built natively with sanitizers.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "audit/json_lookup.h"

namespace {

std::string Describe(const std::vector<FirefoxAddonRecord>& records) {
    std::string text;
    for (const FirefoxAddonRecord& r : records)
        text += "{" + r.name + " | " + r.type + " | " + r.location + " | " + r.id + " | " + r.version + "} ";
    return text;
}

}  // namespace

TEST(ScanFirefoxAddonRecords, JudgesEachRecordByItsOwnObject) {
    struct Row {
        const char* name;
        std::string text;
        std::vector<FirefoxAddonRecord> expected;
    };
    const Row rows[] = {
        {"current layout: location after defaultLocale",
         R"({"addons":[{"id":"a","type":"extension","defaultLocale":{"name":"First"},"location":"app-profile"},)"
         R"({"id":"b","type":"theme","defaultLocale":{"name":"Second"},"location":"app-system-defaults"},)"
         R"({"id":"c","type":"extension","defaultLocale":{"name":"Third"},"location":"app-profile"}]})",
         {{"First", "extension", "app-profile", "a"},
          {"Second", "theme", "app-system-defaults", "b"},
          {"Third", "extension", "app-profile", "c"}}},
        {"older layout: location before defaultLocale",
         R"({"addons":[{"id":"a","location":"app-profile","type":"theme","defaultLocale":{"name":"First"}},)"
         R"({"id":"b","location":"app-global","type":"extension","defaultLocale":{"name":"Second"}}]})",
         {{"First", "theme", "app-profile", "a"}, {"Second", "extension", "app-global", "b"}}},
        {"both layouts in one file",
         R"([{"location":"app-profile","defaultLocale":{"name":"Old"},"type":"extension"},)"
         R"({"type":"extension","defaultLocale":{"name":"New"},"location":"app-temporary"}])",
         {{"Old", "extension", "app-profile"}, {"New", "extension", "app-temporary"}}},
        {"a record without location borrows none from its neighbours",
         R"([{"location":"app-profile","defaultLocale":{"name":"A"}},{"defaultLocale":{"name":"B"},"type":"x"},)"
         R"({"defaultLocale":{"name":"C"},"location":"app-profile"}])",
         {{"A", "", "app-profile"}, {"B", "x", ""}, {"C", "", "app-profile"}}},
        {"keys of nested objects are not the record's",
         R"([{"installTelemetryInfo":{"type":"theme","location":"app-profile"},"defaultLocale":{"name":"N",)"
         R"("location":"in-locale","version":"9"},"targetApplications":[{"id":"toolkit@mozilla.org"}],)"
         R"("startupData":{"type":"t"},"type":"extension","location":"app-system","version":"1.2\n","ID":"x@y"}])",
         {{"N", "extension", "app-system", "x@y", "1.2\n"}}},
        {"a string value equal to a key is not a key",
         R"([{"note":"location","tags":["type"],"defaultLocale":{"name":"N"},"location" : "app-profile",)"
         R"("type"	:"theme"}])",
         {{"N", "theme", "app-profile"}}},
        {"keys are matched ignoring ASCII case; the first key of an object wins",
         R"([{"LOCATION":"app-profile","Type":"theme","defaultLocale":{"name":"N"},"location":"other"}])",
         {{"N", "theme", "app-profile"}}},
        {"braces and quotes inside strings do not count",
         R"([{"description":"} { \" }","defaultLocale":{"name":"N","creator":"a\\"},"path":"C:\\x\\",)"
         R"("location":"app-profile"}])",
         {{"N", "", "app-profile"}}},
        {"anchor key in capitals",
         R"([{"DefaultLOCALE":{"name":"N"},"location":"app-profile"}])",
         {{"N", "", "app-profile"}}},
        {"the name comes only from the record's own defaultLocale object",
         R"([{"name":"outer","defaultLocale":{"description":"d"},"location":"app-profile"},{"name":"next"}])",
         {{"", "", "app-profile"}}},
        {"a nameless record does not take the next record's name",
         R"([{"defaultLocale":{"creator":"c"},"location":"app-profile"},)"
         R"({"defaultLocale":{"name":"Second"},"location":"app-profile"}])",
         {{"", "", "app-profile"}, {"Second", "", "app-profile"}}},
        {"the locale object's own name key, not a value or a nested key",
         R"([{"defaultLocale" : {"description":"name","x":{"name":"nested"},"NAME":"N","name":"later"},)"
         R"("location":"app-profile"}])",
         {{"N", "", "app-profile"}}},
        {"a defaultLocale that is no object has no name",
         R"([{"defaultLocale":null,"name":"N","location":"app-profile"}])",
         {{"", "", "app-profile"}}},
        {"an anchor outside every object", R"("defaultLocale":{"name":"N"},"location":"app-profile")", {{"N", "", ""}}},
        {"a text cut off inside a record",
         R"([{"type":"theme","defaultLocale":{"name":"N"},"location":"app-profile","x":"unterminated)",
         {{"N", "theme", "app-profile"}}},
        {"a stray closing brace closes nothing",
         R"(}}[{"defaultLocale":{"name":"N"}}},"location":"app-profile")",
         {{"N", "", ""}}},
        {"no anchor, no record", R"({"addons":[{"name":"N","location":"app-profile"}]})", {}},
        {"empty text", "", {}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        std::vector<FirefoxAddonRecord> records = ScanFirefoxAddonRecords(row.text);
        EXPECT_EQ(Describe(records), Describe(row.expected));
    }
}

TEST(IsListedFirefoxAddon, ListsNamedAddonsOfTheProfileAndThosePlacedByOtherPrograms) {
    struct Row {
        FirefoxAddonRecord record;
        bool expected;
    };
    const Row rows[] = {
        {{"Name", "extension", "app-profile"}, true},
        {{"Name", "", "profile"}, true},
        {{"Name", "theme", "my-profile-x"}, true},
        {{"Name", "extension", "app-Profile"}, false},
        {{"Name", "extension", "app-system-defaults"}, false},
        {{"Name", "extension", "app-builtin-addons"}, false},
        {{"Name", "extension", "app-system-share"}, true},
        {{"Name", "extension", "winreg-app-user"}, true},
        {{"Name", "extension", "winreg-app-global"}, true},
        {{"Name", "extension", "app-global"}, true},
        {{"Name", "extension", "App-Global"}, false},
        {{"Name", "extension", ""}, false},
        {{"", "extension", "app-profile"}, false},
        {{"?", "extension", "app-profile"}, true},
        {{"??", "extension", "app-profile"}, true},
        {{" ?", "extension", "app-profile"}, true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.record.name + " / " + row.record.location);
        EXPECT_EQ(IsListedFirefoxAddon(row.record), row.expected);
    }
}
