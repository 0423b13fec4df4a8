// Random manifests and locale files on disk through the audit's name lookup,
// compared with what the generator knows it wrote: the manifest read by the
// literal text rules, each locale file's entries as written, and whether the file
// is JSON at all. File I/O under Wine is slow, so this part keeps to a few hundred
// extensions.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <iterator>
#include <map>
#include <string>

#include "audit/json_lookup.h"
#include "tests/audit_json_reference.h"
#include "tests/random_choices.h"
#include "tests/test_support.h"

namespace {

constexpr int EXTENSIONS = 400;
constexpr std::uint32_t SEED = 4;

// A messages.json as written and what it says: its entries in order, each with
// its name and "message" (decoded; "" when it has none), unless the text is not JSON.
struct LocaleFile {
    std::string text;
    bool json = true;
    std::vector<std::pair<std::string, std::string>> entries;
};

LocaleFile MessagesFile(RandomChoices& random) {
    // Each name and value as written into the JSON text, then decoded; nullptr
    // where the text stops being JSON (a bare quote, a short \u escape, a lone backslash).
    static const char* const keys[] = {"appName", "APPNAME", "a", "x\"y", "name", "message", "appname", "other"};
    static const char* const keyTexts[] = {"appName", "APPNAME", "a", nullptr, "name", "message", "appname", "other"};
    static const char* const values[] = {"Notes", "", "Caf\xc3\xa9", "A\\nB", "\\u00e9", "\\u41", "q\\\"x", "\\"};
    static const char* const valueTexts[] = {"Notes", "", "Caf\xc3\xa9", "A\nB", "\xc3\xa9", nullptr, "q\"x", nullptr};
    LocaleFile file;
    file.text = "{";
    std::size_t count = random.Below(5);
    for (std::size_t i = 0; i < count; ++i) {
        std::size_t key = random.Below(std::size(keys));
        file.text += std::string(i ? ", " : "") + "\"" + keys[key] + "\": {";
        bool message = !random.OneIn(4);
        std::size_t value = 0;
        if (message) {
            value = random.Below(std::size(values));
            file.text += std::string("\"message\": \"") + values[value] + "\"";
        }
        bool description = !random.OneIn(3);
        file.text += description ? ", \"description\": \"d\"}" : "}";
        // A description without a message before it leaves a comma at the start.
        file.json = file.json && keyTexts[key] && (!message || valueTexts[value]) && (message || !description);
        if (file.json)
            file.entries.emplace_back(keyTexts[key], message ? valueTexts[value] : "");
    }
    file.text += "}";
    if (random.OneIn(5)) {
        std::size_t size = random.Below(file.text.size() + 1);
        file.json = file.json && size == file.text.size();
        file.text.resize(size);
    }
    return file;
}

std::string ManifestText(RandomChoices& random) {
    static const char* const names[] = {"__MSG_appName__", "__MSG_APPNAME__", "__MSG_a__",
                                        "__MSG_appNameXY", "__MSG_x\\\"y__",  "__MSG_ab",
                                        "__msg_appName__", "Plain Name",      "__MSG_app\\u004eame__",
                                        "__MSG_name__",    "__MSG___",        "__MSG_message__"};
    static const char* const locales[] = {"de", "en", "en_US", "fr", "pt-BR", "pt_BR", "d\\u0065", "", "xx"};
    std::string text = "{";
    if (!random.OneIn(6))
        text += std::string("\"name\": \"") + random.Pick(names) + "\", ";
    if (!random.OneIn(3))
        text += std::string("\"default_locale\": \"") + random.Pick(locales) + "\", ";
    return text + "\"version\": \"1.0\"}";
}

// The name the audit should show: the manifest's name by the text rules, a
// reference resolved through the first matching entry of each locale file in turn.
std::wstring ExpectedName(const std::string& manifest, const std::map<std::string, LocaleFile>& files) {
    std::string raw = reference::GetString(manifest, "name", 0);
    if (raw.size() < 9 || raw.compare(0, 6, "__MSG_") != 0)
        return Utf8ToWide(raw);
    std::string message = raw.substr(6, raw.size() - 8);
    for (const std::string& locale :
         {reference::GetString(manifest, "default_locale", 0), std::string("en"), std::string("en_US")}) {
        auto file = files.find(locale);
        if (locale.empty() || file == files.end() || !file->second.json)
            continue;
        auto entry = std::find_if(file->second.entries.begin(), file->second.entries.end(),
                                  [&](const auto& e) { return EqualsIgnoringAsciiCase(e.first, message); });
        if (entry != file->second.entries.end() && !entry->second.empty())
            return Utf8ToWide(entry->second);
    }
    return Utf8ToWide(message);
}

}  // namespace

TEST(RandomNames, TheAuditsNamesAgreeWithWhatTheFilesSay) {
    static const char* const folders[] = {"de", "en", "en_US", "fr", "pt_BR"};
    RandomChoices random(SEED);
    Sandbox sandbox;
    int failures = 0;
    int references = 0;
    for (int e = 0; e < EXTENSIONS && failures < 10; ++e) {
        std::wstring version = sandbox / (L"ext" + std::to_wstring(e));
        std::string manifest = ManifestText(random);
        std::map<std::string, LocaleFile> files;
        for (const char* folder : folders) {
            if (random.OneIn(3))
                continue;
            files[folder] = MessagesFile(random);
            MakeFile(version + L"\\_locales\\" + Utf8ToWide(folder) + L"\\messages.json", files[folder].text);
        }
        references += reference::GetString(manifest, "name", 0).rfind("__MSG_", 0) == 0;
        std::wstring name = ManifestDisplayName(version, manifest);
        std::wstring expected = ExpectedName(manifest, files);
        if (name != expected) {
            ++failures;
            ADD_FAILURE() << "extension #" << e << " manifest " << manifest << ": got \"" << Utf8(name)
                          << "\", expected \"" << Utf8(expected) << "\"";
        }
    }
    EXPECT_EQ(failures, 0);
    EXPECT_GT(references, EXTENSIONS / 2);
}
