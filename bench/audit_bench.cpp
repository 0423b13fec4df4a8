// Times the extension audit on generated profiles: Firefox "extensions.json" files
// of 1,000 and 10,000 add-ons, 500 Chromium extensions with locale files, and the
// JSON lookup on its own; and on hostile shapes: add-on records without names,
// one name of 4 MB, and one 50 MB manifest hard-linked into 101 version folders.
// Prints time per run and MB scanned per second, checks the speed goals and exits
// with 1 when one is missed.
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "audit/audit_testing.h"
#include "audit/json_lookup.h"
#include "bench/bench_support.h"
#include "base/win_handles.h"

namespace {

// An add-on record as current Firefox writes it: "location" comes last, after
// the "defaultLocale" object. A hostile one may lack the name there, or carry
// any name.
std::string FirefoxRecord(int n, bool named = true, const std::string& name = std::string()) {
    std::string id = "addon-" + std::to_string(n) + "@example.com";
    return "{\"id\":\"" + id + "\",\"syncGUID\":\"{5e3f2a7c-0000-4000-8000-" + std::to_string(100000000000 + n) +
           "}\",\"version\":\"1." + std::to_string(n % 50) + ".0\",\"type\":\"" +
           (n % 10 == 0 ? "theme" : "extension") +
           "\",\"loader\":null,\"updateURL\":null,\"installOrigins\":null,\"manifestVersion\":2,"
           "\"optionsURL\":null,\"optionsType\":null,\"optionsBrowserStyle\":true,\"aboutURL\":null,"
           "\"defaultLocale\":{" +
           (named ? "\"name\":\"" + (name.empty() ? "Add-on number " + std::to_string(n) : name) + "\"," : "") +
           "\"description\":\"Does helpful things, version " + std::to_string(n) +
           "\",\"creator\":\"Example Developer\",\"developers\":[],\"translators\":[],\"contributors\":[]},"
           "\"visible\":true,\"active\":true,\"userDisabled\":false,\"appDisabled\":false,"
           "\"embedderDisabled\":false,\"installDate\":1700000000000,\"updateDate\":1700000000000,"
           "\"applyBackgroundUpdates\":1,\"path\":\"C:\\\\Users\\\\user\\\\AppData\\\\Roaming\\\\Mozilla\\\\Firefox"
           "\\\\Profiles\\\\abcd1234.default-release\\\\extensions\\\\" +
           id + ".xpi\",\"skinnable\":false,\"sourceURI\":\"https://addons.mozilla.org/firefox/downloads/file/" +
           std::to_string(n) +
           "/addon.xpi\",\"releaseNotesURI\":null,\"softDisabled\":false,\"foreignInstall\":false,"
           "\"strictCompatibility\":true,\"locales\":[],\"targetApplications\":[{\"id\":\"toolkit@mozilla.org\","
           "\"minVersion\":\"58.0\",\"maxVersion\":null}],\"targetPlatforms\":[],\"signedState\":2,"
           "\"signedTypes\":[2,1],\"seen\":true,\"dependencies\":[],\"incognito\":\"spanning\","
           "\"userPermissions\":{\"permissions\":[\"storage\",\"tabs\"],\"origins\":[\"<all_urls>\"]},"
           "\"optionalPermissions\":{\"permissions\":[],\"origins\":[]},\"icons\":{\"48\":\"icon.png\"},"
           "\"iconURL\":null,\"blocklistState\":0,\"blocklistURL\":null,\"startupData\":null,\"hidden\":false,"
           "\"installTelemetryInfo\":{\"source\":\"amo\",\"method\":\"amWebAPI\"},\"recommendationState\":null,"
           "\"rootURI\":\"jar:file:///C:/Users/user/AppData/Roaming/Mozilla/Firefox/Profiles/abcd1234.default-release/"
           "extensions/" +
           id + ".xpi!/\",\"location\":\"" + (n % 7 == 0 ? "app-system-defaults" : "app-profile") + "\"}";
}

std::string FirefoxExtensionsJson(int records, bool named = true) {
    std::string text = "{\"schemaVersion\":36,\"addons\":[";
    for (int n = 0; n < records; ++n) {
        if (n)
            text += ',';
        text += FirefoxRecord(n, named);
    }
    return text + "]}";
}

std::string ChromiumManifest(int n) {
    return "{\n   \"background\": {\n      \"service_worker\": \"background.js\"\n   },\n"
           "   \"content_scripts\": [ {\n      \"js\": [ \"content.js\" ],\n      \"matches\": [ \"<all_urls>\" ],\n"
           "      \"run_at\": \"document_idle\"\n   } ],\n"
           "   \"default_locale\": \"de\",\n   \"description\": \"__MSG_appDesc__\",\n"
           "   \"icons\": {\n      \"128\": \"icons/128.png\",\n      \"16\": \"icons/16.png\",\n"
           "      \"48\": \"icons/48.png\"\n   },\n"
           "   \"key\": \"MIIBIjANBgkqhkiG9w0BAQEFAAOCAQ8AMIIBCgKCAQEA" +
           std::string(300, 'Q') +
           "\",\n   \"manifest_version\": 3,\n   \"name\": \"__MSG_appName__\",\n"
           "   \"permissions\": [ \"storage\", \"tabs\", \"scripting\" ],\n" +
           (n % 4 == 0 ? std::string() : "   \"update_url\": \"https://clients2.google.com/service/update2/crx\",\n") +
           "   \"version\": \"" + std::to_string(n % 9) + "." + std::to_string(n) + ".0\"\n}\n";
}

std::string LocaleMessages(const std::string& language, int n, bool withName) {
    std::string text = "{\n";
    for (int i = 0; i < 30; ++i)
        text += "   \"label" + std::to_string(i) + "\": {\n      \"message\": \"" + language + " text " +
                std::to_string(i) + "\",\n      \"description\": \"A label shown in the popup.\"\n   },\n";
    if (withName)
        text +=
            "   \"appName\": {\n      \"message\": \"Extension " + std::to_string(n) + " (" + language + ")\"\n   },\n";
    return text + "   \"appDesc\": {\n      \"message\": \"Helps with things.\"\n   }\n}\n";
}

std::size_t CountingAudit(const std::function<void(const CleanupOptions&)>& audit) {
    std::size_t lines = 0;
    CleanupOptions options;
    options.log = [&lines](const std::wstring&) { ++lines; };
    audit(options);
    return lines;
}

}  // namespace

int main() {
    std::wstring scratch = MakeScratchFolder();
    bool allMet = true;

    // Firefox: the whole profile audit (file read, record scan, lines) and the scan alone.
    std::printf("Firefox extensions.json (current layout, \"location\" after \"defaultLocale\")\n");
    double auditSeconds[2] = {};
    const int recordCounts[2] = {1000, 10000};
    std::string bigText;
    for (int k = 0; k < 2; ++k) {
        int records = recordCounts[k];
        std::string text = FirefoxExtensionsJson(records);
        std::wstring profile = scratch + L"\\firefox-" + std::to_wstring(records);
        WriteFileBytes(profile + L"\\extensions.json", text);
        Timing audit = Measure(k == 0 ? 51 : 11, [&] {
            return CountingAudit([&](const CleanupOptions& options) { AuditFirefoxProfile(options, profile); });
        });
        Timing scan = Measure(k == 0 ? 51 : 11, [&] { return ScanFirefoxAddonRecords(text).size(); });
        auditSeconds[k] = audit.seconds;
        std::printf(
            "  %6d records, %5.2f MB: audit %7.2f ms/run (median %7.2f, %6.1f MB/s, %zu lines); "
            "scan alone %7.2f ms (%6.1f MB/s)\n",
            records, text.size() / 1e6, audit.seconds * 1e3, audit.median * 1e3,
            MegabytesPerSecond(text.size(), audit.seconds), audit.lines, scan.seconds * 1e3,
            MegabytesPerSecond(text.size(), scan.seconds));
        if (k == 1)
            bigText = std::move(text);
    }
    double growth = auditSeconds[1] / auditSeconds[0];
    std::printf("  10x the records took %.2fx the time\n", growth);
    allMet &= Report("10,000 Firefox records in under 100 ms", auditSeconds[1] < 0.100);
    allMet &= Report("time grows linearly (10x records, at most 11x time)", growth <= 11.0);

    // Hostile records: no name in any "defaultLocale" object, 1.6 MB and 10 MB of
    // them; and one record whose name is 4 MB long.
    std::printf("Firefox extensions.json, hostile shapes\n");
    double namelessSeconds[2] = {};
    std::size_t namelessBytes[2] = {};
    const int namelessCounts[2] = {1000, 6000};
    for (int k = 0; k < 2; ++k) {
        std::string text = FirefoxExtensionsJson(namelessCounts[k], false);
        std::wstring profile = scratch + L"\\nameless-" + std::to_wstring(namelessCounts[k]);
        WriteFileBytes(profile + L"\\extensions.json", text);
        Timing audit = Measure(11, [&] {
            return CountingAudit([&](const CleanupOptions& options) { AuditFirefoxProfile(options, profile); });
        });
        namelessSeconds[k] = audit.seconds;
        namelessBytes[k] = text.size();
        std::printf("  %5d records without names, %5.2f MB: audit %7.2f ms/run (median %7.2f, %6.1f MB/s, %zu lines)\n",
                    namelessCounts[k], text.size() / 1e6, audit.seconds * 1e3, audit.median * 1e3,
                    MegabytesPerSecond(text.size(), audit.seconds), audit.lines);
    }
    double namelessGrowth = namelessSeconds[1] / namelessSeconds[0];
    double namelessSize = static_cast<double>(namelessBytes[1]) / static_cast<double>(namelessBytes[0]);
    std::printf("  %.2fx the text took %.2fx the time\n", namelessSize, namelessGrowth);
    allMet &= Report("records without names: 10 MB in under 100 ms", namelessSeconds[1] < 0.100);
    allMet &= Report("records without names: time grows linearly (at most 1.1x the size ratio)",
                     namelessGrowth <= namelessSize * 1.1);
    std::string longName = "{\"addons\":[" + FirefoxRecord(1, true, std::string(4 << 20, 'n')) + "]}";
    std::wstring longNameProfile = scratch + L"\\long-name";
    WriteFileBytes(longNameProfile + L"\\extensions.json", longName);
    Timing longNameAudit = Measure(11, [&] {
        return CountingAudit([&](const CleanupOptions& options) { AuditFirefoxProfile(options, longNameProfile); });
    });
    std::printf("  one name of 4 MB: audit %7.2f ms/run (%6.1f MB/s)\n", longNameAudit.seconds * 1e3,
                MegabytesPerSecond(longName.size(), longNameAudit.seconds));

    // The JSON lookup alone, over the 10,000-record text.
    std::printf("JSON lookup over %.2f MB\n", bigText.size() / 1e6);
    Timing absent = Measure(11, [&] { return FindJsonKey(bigText, "update_url", 0) == std::string::npos ? 1u : 0u; });
    Timing anchors = Measure(11, [&] {
        std::size_t found = 0;
        for (std::size_t p = FindJsonKey(bigText, "defaultLocale", 0); p != std::string::npos;
             p = FindJsonKey(bigText, "defaultLocale", p + 13))
            ++found;
        return found;
    });
    std::string longValue = "{\"name\": \"" + std::string(4 << 20, 'x') + "\\n\\u0041\\\"" + "\"}";
    Timing value = Measure(11, [&] { return GetJsonString(longValue, "NAME", 0).size(); });
    std::printf("  FindJsonKey, key absent:          %8.2f ms (%7.1f MB/s)\n", absent.seconds * 1e3,
                MegabytesPerSecond(bigText.size(), absent.seconds));
    std::printf("  FindJsonKey, every defaultLocale: %8.2f ms (%7.1f MB/s, %zu found)\n", anchors.seconds * 1e3,
                MegabytesPerSecond(bigText.size(), anchors.seconds), anchors.lines);
    std::printf("  GetJsonString, 4 MB value:        %8.2f ms (%7.1f MB/s)\n", value.seconds * 1e3,
                MegabytesPerSecond(longValue.size(), value.seconds));
    double lookupRate = std::min({MegabytesPerSecond(bigText.size(), absent.seconds),
                                  MegabytesPerSecond(bigText.size(), anchors.seconds),
                                  MegabytesPerSecond(longValue.size(), value.seconds)});
    allMet &= Report("at least 200 MB/s through the JSON lookup", lookupRate >= 200.0);

    // Chromium: 500 extensions in one profile, names from "_locales" in several languages.
    // The default locale "de" has the name for every other extension; the rest fall back to "en".
    std::wstring userData = scratch + L"\\chromium";
    WriteFileBytes(userData + L"\\Default\\Preferences", "{}");
    std::size_t bytesRead = 0;
    const char* languages[] = {"de", "en", "en_US", "fr", "ja"};
    for (int n = 0; n < 500; ++n) {
        std::wstring version =
            userData + L"\\Default\\Extensions\\ext" + std::to_wstring(n) + L"\\1." + std::to_wstring(n) + L".0_0";
        std::string manifest = ChromiumManifest(n);
        WriteFileBytes(version + L"\\manifest.json", manifest);
        bytesRead += manifest.size();
        for (const char* language : languages) {
            bool withName = std::string(language) != "de" || n % 2 == 0;
            std::string messages = LocaleMessages(language, n, withName);
            WriteFileBytes(
                version + L"\\_locales\\" + std::wstring(language, language + strlen(language)) + L"\\messages.json",
                messages);
            if (std::string(language) == "de" || (std::string(language) == "en" && n % 2 == 1))
                bytesRead += messages.size();
        }
    }
    Timing chromium = Measure(5, [&] {
        return CountingAudit(
            [&](const CleanupOptions& options) { AuditChromiumBrowser(options, L"Google Chrome", userData); });
    });
    std::printf("Chromium profile, 500 extensions with _locales in 5 languages\n");
    std::printf("  audit %8.2f ms/run (median %7.2f, %6.1f MB/s of files read, %zu lines)\n", chromium.seconds * 1e3,
                chromium.median * 1e3, MegabytesPerSecond(bytesRead, chromium.seconds), chromium.lines);

    // One 50 MB manifest hard-linked into 101 version folders: refused by its size,
    // never read.
    std::wstring linked = scratch + L"\\linked\\Default";
    std::wstring original = linked + L"\\Extensions\\big\\0\\manifest.json";
    WriteFileBytes(original, "");
    {
        UniqueHandle file(CreateFileW(original.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr));
        LARGE_INTEGER end = {};
        end.QuadPart = 50LL << 20;
        SetFilePointerEx(file.get(), end, nullptr, FILE_BEGIN);
        SetEndOfFile(file.get());
    }
    for (int v = 1; v <= 100; ++v) {
        std::wstring folder = linked + L"\\Extensions\\big\\" + std::to_wstring(v);
        MakeFolders(folder);
        CreateHardLinkW((folder + L"\\manifest.json").c_str(), original.c_str(), nullptr);
    }
    Timing hardLinked = Measure(5, [&] {
        return CountingAudit([&](const CleanupOptions& options) { AuditChromiumProfile(options, L"Chrome", linked); });
    });
    std::printf("Chromium profile, one 50 MB manifest in 101 version folders\n");
    std::printf("  audit %8.2f ms/run (median %7.2f, %zu lines)\n", hardLinked.seconds * 1e3, hardLinked.median * 1e3,
                hardLinked.lines);
    allMet &= Report("101 manifests of 50 MB in under 100 ms", hardLinked.seconds < 0.100);

    DeleteTree(scratch);
    std::printf(allMet ? "All speed goals met.\n" : "Some speed goals were missed.\n");
    return allMet ? 0 : 1;
}
