#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/engine.h"
#include "rapidjson/document.h"
#include "rapidjson/stringbuffer.h"
#include "rapidjson/writer.h"
#include "tests/test_support.h"

namespace {

std::string Nested(int depth) {
    return "{\"a\":" + std::string(depth - 1, '[') + std::string(depth - 1, ']') + "}";
}

// Grants as "permission site" and "permission *" for every site.
std::vector<std::string> Grants(const std::string& preferences) {
    rapidjson::Document document;
    EXPECT_EQ(ParseJsonObject(preferences, &document), JsonLoad::Done) << preferences;
    std::vector<std::string> grants;
    for (const SitePermissionGrant& grant : FindSitePermissionGrants(document))
        grants.push_back(std::string(SitePermissionName(grant.permission)) + " " +
                         (grant.allSites ? std::string("*") : Utf8(grant.site)));
    return grants;
}

// Preferences as the browser writes them: compact, with keys around the ones read.
std::string Preferences(const std::string& exceptions, const std::string& defaults = "{}") {
    return R"({"account_values":{"browser":{"show_home_button":true}},"profile":{"avatar_index":26,)"
           R"("content_settings":{"enable_quiet_permission_ui_enabling_method":{"notifications":1},)"
           R"("exceptions":)" +
           exceptions + R"(,"pref_version":1},"default_content_setting_values":)" + defaults +
           R"(,"exit_type":"Normal"},"protection":{"macs":{"homepage":"0123ABCD"}}})";
}

// RapidJSON's compact text of a document: two documents with the same text hold
// the same values with every member in its place, repeated names included.
std::string Compact(const rapidjson::Value& document) {
    rapidjson::StringBuffer buffer;
    rapidjson::Writer<rapidjson::StringBuffer> writer(buffer);
    document.Accept(writer);
    return std::string(buffer.GetString(), buffer.GetSize());
}

std::string Compact(const std::string& text) {
    rapidjson::Document document;
    EXPECT_EQ(ParseJsonObjectExactly(text, &document), JsonLoad::Done) << text;
    return Compact(document);
}

// Grants of each kind around entries that must stay; a site that tries to forge output.
const char kExceptions[] =
    R"({"notifications":{"https://win-prize.example:443,*":{"expiration":"0","last_modified":"13345678901234567",)"
    R"("model":0,"setting":1},"https://news.example:443,*":{"setting":2}},"popups":{"https://\u001b[31mred.)"
    R"(example:443,*":{"setting":1},"https://ask.example:443,*":{"setting":3}},"geolocation":{"https://map.example:)"
    R"(443,*":{"setting":1}}})";
const char kExceptionsLeft[] =
    R"({"notifications":{"https://news.example:443,*":{"setting":2}},"popups":{"https://ask.example:443,*":)"
    R"({"setting":3}},"geolocation":{"https://map.example:443,*":{"setting":1}}})";
const char kDefaults[] = R"({"automatic_downloads":1,"geolocation":1,"popups":2})";
const char kDefaultsLeft[] = R"({"geolocation":1,"popups":2})";

}  // namespace

TEST(ParseJsonObject, AcceptsOnlyWholeObjectsNestedNoDeeperThanTheBrowsersAllow) {
    struct Row {
        const char* name;
        std::string text;
        JsonLoad expected;
    };
    const Row rows[] = {
        {"object", R"({"a": [1, 2.5, "x", null, true]})", JsonLoad::Done},
        {"byte-order mark", "\xEF\xBB\xBF{}", JsonLoad::Done},
        {"200 levels", Nested(200), JsonLoad::Done},
        {"201 levels", Nested(201), JsonLoad::TooDeep},
        {"a million levels", "[" + std::string(1000000, '['), JsonLoad::TooDeep},
        {"empty", "", JsonLoad::NotJson},
        {"not JSON", "<html>", JsonLoad::NotJson},
        {"truncated", R"({"profile":{"content_settings":)", JsonLoad::NotJson},
        {"trailing comma", R"({"a":1,})", JsonLoad::NotJson},
        {"text after the object", R"({} {})", JsonLoad::NotJson},
        {"NUL after the object", std::string("{}\0{", 3), JsonLoad::NotJson},
        {"raw control character in a string", "{\"a\":\"\x01\"}", JsonLoad::NotJson},
        {"string", R"("{}")", JsonLoad::NotAnObject},
        {"array", "[{}]", JsonLoad::NotAnObject},
        {"number", "1", JsonLoad::NotAnObject},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        rapidjson::Document document;
        EXPECT_EQ(ParseJsonObject(row.text, &document), row.expected);
        EXPECT_EQ(document.IsObject(), row.expected == JsonLoad::Done);
    }
}

TEST(LoadJsonObjectFile, SaysWhyAFileWasNotUsed) {
    TempFolder folder;
    MakeFile(folder / L"Preferences", Preferences("{}"));
    MakeFile(folder / L"locked", "{}");
    UniqueHandle locked(CreateFileW((folder / L"locked").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(locked);
    struct Row {
        const wchar_t* name;
        std::size_t limit;
        JsonLoad expected;
    };
    const Row rows[] = {
        {L"Preferences", MAX_SETTINGS_FILE_BYTES, JsonLoad::Done}, {L"Preferences", 100, JsonLoad::TooLarge},
        {L"missing", MAX_SETTINGS_FILE_BYTES, JsonLoad::Missing},  {L"locked", 100, JsonLoad::Unreadable},
        {L"", MAX_SETTINGS_FILE_BYTES, JsonLoad::Unreadable},  // the folder itself
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(Utf8(row.name));
        rapidjson::Document document;
        EXPECT_EQ(LoadJsonObjectFile(folder / row.name, row.limit, &document), row.expected);
    }
}

TEST(FindSitePermissionGrants, ListsDefaultsAndExceptionsThatAllow) {
    struct Row {
        const char* name;
        std::string preferences;
        std::vector<std::string> expected;
    };
    const Row rows[] = {
        {"each permission, allow only",
         Preferences(R"({"notifications":{"https://win-prize.example:443,*":{"expiration":"0",)"
                     R"("last_modified":"13345678901234567","model":0,"setting":1},)"
                     R"("https://news.example:443,*":{"setting":2},"https://ask.example:443,*":{"setting":3}},)"
                     R"("popups":{"http://pop.example:80,*":{"setting":1}},)"
                     R"("automatic_downloads":{"[*.]files.example,*":{"setting":1}},)"
                     R"("geolocation":{"https://map.example:443,*":{"setting":1}}})"),
         {"notifications https://win-prize.example:443", "popups http://pop.example:80",
          "automatic_downloads [*.]files.example"}},
        {"defaults that allow every site, before the exceptions",
         Preferences(R"({"popups":{"https://a.example:443,*":{"setting":1}}})",
                     R"({"notifications":1,"popups":1,"automatic_downloads":1,"geolocation":1,"cookies":2})"),
         {"notifications *", "popups *", "popups https://a.example:443", "automatic_downloads *"}},
        {"a key written twice counts with its last value",
         Preferences(
             R"({"notifications":{"https://a.example:443,*":{"setting":1},"https://b.example:443,*":)"
             R"({"setting":1},"https://a.example:443,*":{"setting":2},"https://b.example:443,*":{"setting":1}}})"),
         {"notifications https://b.example:443"}},
        {"settings that are not the number 1",
         Preferences(R"({"notifications":{"https://a.example:443,*":{"setting":"1"},"https://b.example:443,*":)"
                     R"({"setting":1.0},"https://c.example:443,*":{"setting":true},"https://d.example:443,*":{},)"
                     R"("https://e.example:443,*":1,"https://f.example:443,*":[{"setting":1}]}})",
                     R"({"popups":"1","automatic_downloads":[1]})"),
         {}},
        {"escaped text in the pattern",
         Preferences(R"({"notifications":{"https://\u0077in.example:443,*":{"s\u0065tting":1}}})"),
         {"notifications https://win.example:443"}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(Grants(row.preferences), row.expected);
    }
}

TEST(FindJsonPath, FollowsObjectsAndTakesTheLastOfRepeatedNames) {
    rapidjson::Document document;
    ASSERT_EQ(ParseJsonObject(R"({"a":{"b":"first","b":"last"},"c":[{"b":1}],"d":"text\u0000more"})", &document),
              JsonLoad::Done);
    EXPECT_EQ(JsonText(FindJsonPath(document, {"a", "b"})), L"last");
    EXPECT_EQ(FindJsonPath(document, {"c", "b"}), nullptr);
    EXPECT_EQ(FindJsonPath(document, {"a", "b", "c"}), nullptr);
    EXPECT_EQ(FindJsonPath(document, {"A"}), nullptr);
    EXPECT_EQ(JsonText(FindJsonMember(document, "d")), std::wstring(L"text\0more", 9));
    EXPECT_EQ(JsonText(FindJsonMember(document, "c")), L"");
}

TEST(ParseJsonObjectExactly, KeepsEveryDigitAndRefusesTextThatIsNotUtf8) {
    rapidjson::Document document;
    ASSERT_EQ(
        ParseJsonObjectExactly(R"({"a":[13.387664401253275,7896519.6950648362,1.3345678901234567e+16]})", &document),
        JsonLoad::Done);
    EXPECT_EQ(document["a"][0].GetDouble(), 13.387664401253275);
    EXPECT_EQ(document["a"][1].GetDouble(), 7896519.6950648362);
    EXPECT_EQ(document["a"][2].GetDouble(), 1.3345678901234567e+16);
    for (const char* text : {"{\"a\":\"caf\xC3\"}", "{\"\xFF\":1}", "{\"a\":\"\xED\xA0\x80\"}"}) {
        EXPECT_EQ(ParseJsonObjectExactly(text, &document), JsonLoad::NotJson) << text;
        EXPECT_EQ(ParseJsonObject(text, &document), JsonLoad::Done) << text;
    }
}

TEST(RemoveSitePermissionGrants, RemovesExactlyWhatTheBrowserSeesAsAllowed) {
    struct Row {
        const char* name;
        std::string before;
        std::string after;
    };
    const std::string blocks = Preferences(R"({"notifications":{"https://a.example:443,*":{"setting":2}}})",
                                           R"({"notifications":2,"popups":3})");
    const Row rows[] = {
        {"allow entries and defaults of the three kinds", Preferences(kExceptions, kDefaults),
         Preferences(kExceptionsLeft, kDefaultsLeft)},
        {"nothing allowed", blocks, blocks},
        {"a repeated name whose last copy allows goes with every copy",
         Preferences(R"({"popups":{"https://a.example:443,*":{"setting":2},"https://b.example:443,*":{"setting":3},)"
                     R"("https://a.example:443,*":{"setting":1}}})",
                     R"({"notifications":2,"notifications":1})"),
         Preferences(R"({"popups":{"https://b.example:443,*":{"setting":3}}})", "{}")},
        {"a repeated name whose last copy blocks stays whole",
         Preferences(R"({"popups":{"https://a.example:443,*":{"setting":1},"https://a.example:443,*":{"setting":2}}})",
                     R"({"popups":1,"popups":2})"),
         Preferences(R"({"popups":{"https://a.example:443,*":{"setting":1},"https://a.example:443,*":{"setting":2}}})",
                     R"({"popups":1,"popups":2})")},
        {"entries the browser does not read as allow stay",
         Preferences(R"({"notifications":{"https://a.example:443,*":{"setting":"1"},"https://b.example:443,*":1,)"
                     R"("https://c.example:443,*":{"setting":1.0},",*":{"setting":1}},"popups":[{"setting":1}]})",
                     R"({"popups":"1","automatic_downloads":true})"),
         Preferences(R"({"notifications":{"https://a.example:443,*":{"setting":"1"},"https://b.example:443,*":1,)"
                     R"("https://c.example:443,*":{"setting":1.0},",*":{"setting":1}},"popups":[{"setting":1}]})",
                     R"({"popups":"1","automatic_downloads":true})")},
        {"only the last copy of a repeated profile, the one the browser reads",
         R"({"profile":{"default_content_setting_values":{"popups":1}},)" +
             Preferences("{}", R"({"popups":1})").substr(1),
         R"({"profile":{"default_content_setting_values":{"popups":1}},)" + Preferences("{}", "{}").substr(1)},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        rapidjson::Document document;
        ASSERT_EQ(ParseJsonObjectExactly(row.before, &document), JsonLoad::Done);
        RemoveSitePermissionGrants(&document);
        EXPECT_EQ(Compact(document), Compact(row.after));
        EXPECT_TRUE(FindSitePermissionGrants(document).empty());
    }
}
