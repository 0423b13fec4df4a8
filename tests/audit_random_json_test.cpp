// Random and mutated JSON texts through the JSON lookup and the Firefox record
// scan, compared with the literal versions in audit_json_reference.h. Plain C++:
// tools/sanitize-audit.sh also builds it natively with AddressSanitizer and UBSan.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "audit/json_lookup.h"
#include "tests/audit_json_reference.h"
#include "tests/random_choices.h"

namespace {

constexpr int TEXTS = 100000;
constexpr std::uint32_t SEED = 20261207;

struct TextMaker {
    RandomChoices random{SEED};

    char TrickyByte() {
        static const char bytes[] = {'"',  '"', '"',  '\\',   '\\',   '{',    '}',    ':',    ' ',    '\t',
                                     '\n', ',', 'u',  'n',    't',    'r',    '0',    '4',    '7',    'f',
                                     'F',  'x', '+',  '-',    'a',    'e',    'E',    '_',    '\x7f', '[',
                                     '@',  '`', '\0', '\xff', '\xc3', '\xa9', '\xe2', '\x80', 'N',    'T'};
        return bytes[random.Below(sizeof(bytes))];
    }

    std::string Key() {
        static const char* const keys[] = {"name", "type",     "location", "defaultLocale", "NAME",
                                           "Type", "LOCATION", "message",  "version",       "update_url",
                                           "a",    "",         "_",        "\x7f",          "de{",
                                           "x\"y", "\\",       "appName",  "defaultlocale", "u",
                                           "id",   "ID"};
        if (random.OneIn(50)) {  // a huge key, sometimes made of the tricky bytes
            std::string key(100 + random.Below(400), 'k');
            for (char& c : key)
                if (random.OneIn(8))
                    c = TrickyByte();
            return key;
        }
        return random.Pick(keys);
    }

    std::string Value() {
        static const char* const values[] = {"app-profile",
                                             "app-system-defaults",
                                             "theme",
                                             "extension",
                                             "Theme",
                                             "?",
                                             "",
                                             "profile",
                                             "\\u00e9",
                                             "a\\nb",
                                             "\\u0041",
                                             "\\u41",
                                             "\\\"",
                                             "\\\\",
                                             "\\u+07f"};
        return random.Pick(values);
    }

    std::string Record() {
        std::string fields[] = {
            "\"" + Key() + "\":\"" + Value() + "\"",
            "\"type\":\"" + Value() + "\"",
            "\"location\":\"" + Value() + "\"",
            "\"defaultLocale\":{\"name\":\"" + Value() + "\",\"x\":{\"type\":\"" + Value() + "\"}}",
            "\"nested\":{\"location\":\"" + Value() + "\",\"" + Key() + "\":[\"type\",{}]}",
        };
        std::string record = "{";
        std::size_t count = 1 + random.Below(6);
        for (std::size_t i = 0; i < count; ++i) {
            if (i)
                record += random.OneIn(4) ? " ,\n " : ",";
            record += fields[random.Below(5)];
        }
        return record + "}";
    }

    std::string RandomBytes() {
        std::string text;
        std::size_t length = random.Below(120);
        while (text.size() < length) {
            if (random.OneIn(6))
                text += "\"" + Key() + "\"" + (random.OneIn(2) ? ":" : "");
            else
                text += TrickyByte();
        }
        return text;
    }

    std::string MutatedRecords() {
        std::string text = "{\"addons\":[";
        std::size_t count = random.Below(5);
        for (std::size_t i = 0; i < count; ++i)
            text += (i ? "," : "") + Record();
        text += "]}";
        std::size_t mutations = random.Below(4);
        for (std::size_t m = 0; m < mutations && !text.empty(); ++m) {
            std::size_t at = random.Below(text.size());
            switch (random.Below(7)) {
                case 0:
                    text.resize(at);
                    break;  // truncated
                case 1:
                    text.erase(at, 1 + random.Below(4));
                    break;  // bytes lost
                case 2:
                    text.insert(at, 1, TrickyByte());
                    break;  // stray byte
                case 3:
                    text.insert(at, "\\u" + std::string(random.Below(4), '4'));
                    break;  // short escape
                case 4:
                    text.insert(at, 1, '\\');
                    break;  // lone backslash
                case 5:
                    text.insert(at, text.substr(random.Below(text.size()), random.Below(40)));
                    break;
                default:
                    text[at] = TrickyByte();
                    break;
            }
        }
        return text;
    }

    std::string Text() { return random.OneIn(3) ? RandomBytes() : MutatedRecords(); }
};

std::string Describe(const std::vector<FirefoxAddonRecord>& records) {
    std::string text;
    for (const FirefoxAddonRecord& r : records)
        text += "{" + r.name + "|" + r.type + "|" + r.location + "|" + r.id + "|" + r.version + "|" +
                (IsListedFirefoxAddon(r) ? "L" : "-") + "}";
    return text;
}

}  // namespace

TEST(RandomJson, LookupAndRecordScanAgreeWithTheLiteralRules) {
    TextMaker maker;
    int failures = 0;
    long long lookups = 0, matches = 0, values = 0, records = 0, listed = 0, themes = 0;
    for (int t = 0; t < TEXTS && failures < 10; ++t) {
        std::string text = maker.Text();
        for (int k = 0; k < 3; ++k) {
            std::string key = maker.Key();
            std::size_t start = maker.random.OneIn(2) ? 0 : maker.random.Below(text.size() + 1);
            std::size_t found = FindJsonKey(text, key, start);
            std::size_t expectedFound = reference::FindKey(text, key, start);
            std::string value = GetJsonString(text, key, start);
            std::string expectedValue = reference::GetString(text, key, start);
            ++lookups;
            matches += found != std::string::npos;
            values += !value.empty();
            if (found != expectedFound || value != expectedValue) {
                ++failures;
                ADD_FAILURE() << "text #" << t << " \"" << Printable(text) << "\" key \"" << Printable(key)
                              << "\" from " << start << ": found " << found << " (expected " << expectedFound
                              << "), value \"" << Printable(value) << "\" (expected \"" << Printable(expectedValue)
                              << "\")";
            }
        }
        std::vector<FirefoxAddonRecord> scanned = ScanFirefoxAddonRecords(text);
        std::string expectedRecords = Describe(reference::ScanRecords(text));
        if (Describe(scanned) != expectedRecords) {
            ++failures;
            ADD_FAILURE() << "text #" << t << " \"" << Printable(text) << "\": records " << Printable(Describe(scanned))
                          << ", expected " << Printable(expectedRecords);
        }
        for (const FirefoxAddonRecord& record : scanned) {
            ++records;
            listed += IsListedFirefoxAddon(record);
            themes += record.type == "theme";
        }
    }
    EXPECT_EQ(failures, 0);
    EXPECT_EQ(lookups, 3LL * TEXTS);
    // What the texts exercised, so that a change to the generator that stops
    // producing matches or records shows up here.
    std::printf("%d texts, %lld lookups: %lld matches, %lld non-empty values; %lld records, %lld listed, %lld themes\n",
                TEXTS, lookups, matches, values, records, listed, themes);
    EXPECT_GT(matches, lookups / 10);
    EXPECT_GT(values, lookups / 50);
    EXPECT_GT(listed, TEXTS / 50);
}
