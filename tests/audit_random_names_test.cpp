// Random manifests and locale files on disk through ResolveExtensionName, compared
// with the literal rules applied to the same bytes held in memory. File I/O under
// Wine is slow, so this part keeps to a few hundred extensions.
#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <string>

#include "audit/audit.h"
#include "tests/audit_json_reference.h"
#include "tests/random_choices.h"
#include "tests/test_support.h"

namespace {

constexpr int EXTENSIONS = 400;
constexpr std::uint32_t SEED = 4;

std::string MessagesText(RandomChoices& random) {
    static const char* const keys[] = {"appName", "APPNAME", "a", "x\"y", "name", "message", "appname", "other"};
    static const char* const values[] = {"Notes", "", "Caf\xc3\xa9", "A\\nB", "\\u00e9", "\\u41", "q\\\"x", "\\"};
    std::string text = "{";
    std::size_t count = random.Below(5);
    for (std::size_t i = 0; i < count; ++i) {
        text += std::string(i ? ", " : "") + "\"" + random.Pick(keys) + "\": {";
        if (!random.OneIn(4))
            text += std::string("\"message\": \"") + random.Pick(values) + "\"";
        text += !random.OneIn(3) ? ", \"description\": \"d\"}" : "}";
    }
    text += "}";
    if (random.OneIn(5))
        text.resize(random.Below(text.size() + 1));
    return text;
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

// ResolveExtensionName's rules over locale files held in memory.
std::wstring ExpectedName(const std::string& manifest, const std::map<std::string, std::string>& files) {
    std::string raw = reference::GetString(manifest, "name", 0);
    if (raw.size() < 9 || raw.compare(0, 6, "__MSG_") != 0)
        return Utf8ToWide(raw);
    std::string message = raw.substr(6, raw.size() - 8);
    for (const std::string& locale :
         {reference::GetString(manifest, "default_locale", 0), std::string("en"), std::string("en_US")}) {
        auto file = files.find(locale);
        if (locale.empty() || file == files.end() || file->second.empty())
            continue;
        std::size_t entry = reference::FindKey(file->second, message, 0);
        if (entry == reference::ABSENT)
            continue;
        std::string text = reference::GetString(file->second, "message", entry);
        if (!text.empty())
            return Utf8ToWide(text);
    }
    return Utf8ToWide(message);
}

}  // namespace

TEST(RandomNames, ResolveExtensionNameAgreesWithTheLiteralRules) {
    static const char* const folders[] = {"de", "en", "en_US", "fr", "pt_BR"};
    RandomChoices random(SEED);
    Sandbox sandbox;
    int failures = 0;
    int references = 0;
    for (int e = 0; e < EXTENSIONS && failures < 10; ++e) {
        std::wstring version = sandbox / (L"ext" + std::to_wstring(e));
        std::string manifest = ManifestText(random);
        std::map<std::string, std::string> files;
        for (const char* folder : folders) {
            if (random.OneIn(3))
                continue;
            files[folder] = MessagesText(random);
            MakeFile(version + L"\\_locales\\" + Utf8ToWide(folder) + L"\\messages.json", files[folder]);
        }
        references += reference::GetString(manifest, "name", 0).rfind("__MSG_", 0) == 0;
        std::wstring name = ResolveExtensionName(version, manifest);
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
