// Mutated Preferences texts through the engine's settings reading, compared
// with the literal reader in engine_settings_reference.h.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "engine/engine.h"
#include "browsers/json_document.h"
#include "tests/engine_settings_reference.h"
#include "tests/random_choices.h"

namespace {

constexpr int TEXTS = 50000;
constexpr std::uint32_t SEED = 20261207;

struct PreferencesMaker {
    RandomChoices random{SEED};

    std::string Setting() {
        static const char* const settings[] = {"1",    "1",    "1",  "2",  "3",   "0",   "\"1\"", "1.0",
                                               "true", "null", "-1", "10", "1e0", "[1]", "{}",    "01"};
        return random.Pick(settings);
    }

    std::string Pattern() {
        static const char* const patterns[] = {"https://win-prize.example:443,*",
                                               "http://pop.example:80,*",
                                               "[*.]files.example,*",
                                               "https://a.example:443",
                                               ",*",
                                               "https://\\u0061.example:443,*",
                                               "https://caf\xc3\xa9.example:443,*",
                                               "https://a.example:443,*",
                                               "x\\u0000y,*",
                                               "https://\\ud83d\\ude00.example,*",
                                               "\\udc00,*",
                                               "a\\\"b,*"};
        return random.Pick(patterns);
    }

    std::string Exception() {
        std::string value = random.OneIn(8) ? Setting()
                                            : "{\"last_modified\":\"13345678901234567\",\"setting\":" + Setting() +
                                                  (random.OneIn(3) ? ",\"model\":0,\"expiration\":\"0\"" : "") + "}";
        return "\"" + Pattern() + "\":" + value;
    }

    std::string Exceptions() {
        static const char* const types[] = {"notifications", "popups", "automatic_downloads", "geolocation",
                                            "notifications"};
        std::string text = "{";
        for (std::size_t t = 0, count = random.Below(4); t < count; ++t) {
            text += std::string(t ? "," : "") + "\"" + random.Pick(types) + "\":";
            if (random.OneIn(10)) {
                text += random.OneIn(2) ? "[]" : "\"x\"";
                continue;
            }
            text += "{";
            for (std::size_t e = 0, n = random.Below(5); e < n; ++e)
                text += (e ? "," : "") + Exception();
            text += "}";
        }
        return text + "}";
    }

    std::string Defaults() {
        static const char* const types[] = {"notifications", "popups", "automatic_downloads", "cookies"};
        std::string text = "{";
        for (std::size_t t = 0, count = random.Below(3); t < count; ++t)
            text += std::string(t ? "," : "") + "\"" + random.Pick(types) + "\":" + Setting();
        return text + "}";
    }

    // Nesting around the depth limit, in a key of its own.
    std::string Deep() {
        std::size_t depth = 195 + random.Below(10);
        return "\"deep\":" + std::string(depth, '[') + std::string(depth, ']') + ",";
    }

    std::string Preferences() {
        std::string text = "{\"account_values\":{\"x\":[1,2.5e3,-0.5,true,false,null]},";
        if (random.OneIn(8))
            text += Deep();
        text += "\"profile\":{\"content_settings\":{\"exceptions\":" + Exceptions() +
                "},\"default_content_setting_values\":" + Defaults() + "}";
        if (random.OneIn(6))  // a second "profile" object replaces the first
            text += ",\"profile\":{\"content_settings\":{\"exceptions\":" + Exceptions() + "}}";
        text += ",\"protection\":{\"macs\":{\"homepage\":\"AB\\u00e9\"}}}";
        if (random.OneIn(4))
            text = random.OneIn(2) ? "\xEF\xBB\xBF" + text : " \r\n\t" + text + " \n";
        return text;
    }

    char TrickyByte() {
        static const char bytes[] = {'"',    '"',  '\\', '{',  '}',  '[',    ']',    ':',    ',',    ' ',
                                     '\t',   '1',  '0',  '-',  '.',  'u',    'n',    't',    'x',    '/',
                                     '\x01', '\0', '+',  '\n', '\r', '\xff', '\xc3', '\xa9', '\xed', '\x7f'};
        return bytes[random.Below(sizeof(bytes))];
    }

    std::string Mutated() {
        std::string text = Preferences();
        for (std::size_t m = 0, mutations = random.OneIn(3) ? 0 : 1 + random.Below(3); m < mutations && !text.empty();
             ++m) {
            std::size_t at = random.Below(text.size());
            switch (random.Below(6)) {
                case 0:
                    text.resize(at);
                    break;  // truncated
                case 1:
                    text.erase(at, 1 + random.Below(4));
                    break;
                case 2:
                    text.insert(at, 1, TrickyByte());
                    break;
                case 3:
                    text.insert(at, text.substr(random.Below(text.size()), random.Below(40)));
                    break;
                case 4:
                    text.insert(at, "\\u" + std::string(random.Below(5), 'd'));
                    break;
                default:
                    text[at] = TrickyByte();
                    break;
            }
        }
        return text;
    }
};

}  // namespace

TEST(RandomSettings, ParsingAndGrantsAgreeWithAPlainReader) {
    PreferencesMaker maker;
    int failures = 0;
    int outcomes[7] = {};
    long long grants = 0;
    for (int t = 0; t < TEXTS && failures < 10; ++t) {
        std::string text = maker.Mutated();
        JsonDocument document;
        JsonLoad load = ParseJsonObject(text, &document);
        std::vector<std::string> found;
        if (load == JsonLoad::Done) {
            for (const SitePermissionGrant& grant : FindSitePermissionGrants(document))
                found.push_back(std::string(SitePermissionName(grant.permission)) + " " +
                                (grant.allSites ? std::string("*") : WideToUtf8(grant.site)));
        }
        reference::Value root;
        JsonLoad expectedLoad = reference::Reader(text).Read(&root);
        std::vector<std::string> expected =
            expectedLoad == JsonLoad::Done ? reference::Grants(root) : std::vector<std::string>();
        // Taking the grants back never reads a value as what it is not: the new text
        // holds none of them, and a file of another shape is not used at all.
        GrantRemoval removal = TakeBackSitePermissions(text);
        JsonDocument after;
        if (!removal.bytes.empty() && (ParseJsonObjectExactly(removal.bytes, &after) != JsonLoad::Done ||
                                       !FindSitePermissionGrants(after).empty()))
            ADD_FAILURE() << "text #" << t << " \"" << Printable(text) << "\": grants left after taking them back";
        ++outcomes[static_cast<int>(load)];
        grants += static_cast<long long>(found.size());
        if (load != expectedLoad || found != expected) {
            ++failures;
            std::string foundText, expectedText;
            for (const std::string& g : found)
                foundText += "[" + g + "]";
            for (const std::string& g : expected)
                expectedText += "[" + g + "]";
            ADD_FAILURE() << "text #" << t << " \"" << Printable(text) << "\": outcome " << static_cast<int>(load)
                          << " (expected " << static_cast<int>(expectedLoad) << "), grants " << Printable(foundText)
                          << " (expected " << Printable(expectedText) << ")";
        }
    }
    EXPECT_EQ(failures, 0);
    // What the texts exercised, so that a generator that stops reaching a case shows up.
    std::printf("%d texts: %d parsed, %d not JSON, %d too deep, %d not an object; %lld grants\n", TEXTS,
                outcomes[static_cast<int>(JsonLoad::Done)], outcomes[static_cast<int>(JsonLoad::NotJson)],
                outcomes[static_cast<int>(JsonLoad::TooDeep)], outcomes[static_cast<int>(JsonLoad::NotAnObject)],
                grants);
    EXPECT_GT(outcomes[static_cast<int>(JsonLoad::Done)], TEXTS / 4);
    EXPECT_GT(outcomes[static_cast<int>(JsonLoad::TooDeep)], TEXTS / 100);
    EXPECT_GT(grants, TEXTS / 20);
}
