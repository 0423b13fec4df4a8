#include "bench/review_profiles.h"

#include <windows.h>

#include <cstdio>

#include "base/base.h"
#include "bench/bench_support.h"
#include "sqlite3.h"

namespace {

// A 32-letter id of the letters a-p, as the browsers make them.
std::string ExtensionId(int profile, int n) {
    std::string id(32, 'a');
    unsigned value = static_cast<unsigned>(profile * 1000 + n) * 2654435761u;
    for (std::size_t i = 0; i < id.size(); ++i, value = value * 1103515245u + 12345u)
        id[i] = static_cast<char>('a' + (value >> 28));
    return id;
}

std::string Preferences() {
    std::string notifications;
    for (int n = 0; n < 20; ++n)
        notifications += std::string(n ? "," : "") + "\"https://news" + Number(n) +
                         ".example:443,*\":{\"expiration\":\"0\",\"last_modified\":\"13345678901234567\",\"model\":0,"
                         "\"setting\":" +
                         (n % 4 == 0 ? "1" : "2") + "}";
    std::string text =
        "{\"account_values\":{\"browser\":{\"show_home_button\":true}},\"browser\":{\"window_placement\":{\"bottom\":"
        "1000,\"left\":10,\"maximized\":true,\"right\":1900,\"top\":10}},\"profile\":{\"avatar_index\":26,"
        "\"content_settings\":{\"exceptions\":{\"notifications\":{" +
        notifications + "},\"popups\":{\"http://pop.example:80,*\":{\"setting\":1}}," +
        SiteEngagementPadding(PREFERENCES_BYTES - 3000) +
        "},\"pref_version\":1},\"default_content_setting_values\":{\"geolocation\":2},\"exit_type\":\"Normal\"},"
        "\"session\":{\"restore_on_startup\":1}}";
    return text;
}

std::string SecurePreferences(int profile) {
    std::string records;
    for (int n = 0; n < EXTENSIONS_PER_PROFILE; ++n) {
        std::string id = ExtensionId(profile, n);
        int location = n % 10 == 0 ? 3 : n % 15 == 1 ? 4 : 1;
        records += std::string(n ? "," : "") + "\"" + id +
                   "\":{\"account_extension_type\":0,\"active_permissions\":{\"api\":[\"storage\",\"tabs\"],"
                   "\"explicit_host\":[\"<all_urls>\"],\"manifest_permissions\":[],\"scriptable_host\":[]},"
                   "\"commands\":{},\"content_settings\":[],\"creation_flags\":" +
                   Number(location == 1 ? 9 : 1) + ",\"first_install_time\":\"13345678901234567\",\"from_webstore\":" +
                   (location == 1 ? "true" : "false") +
                   ",\"granted_permissions\":{\"api\":[\"storage\",\"tabs\"],\"explicit_host\":[\"<all_urls>\"]},"
                   "\"incognito_content_settings\":[],\"incognito_preferences\":{},\"last_update_time\":"
                   "\"13345678901234567\",\"location\":" +
                   Number(location) + ",\"path\":\"" + id + "\\\\1." + Number(n) +
                   ".0_0\",\"preferences\":{},\"regular_only_preferences\":{},\"state\":1,\"was_installed_by_default\":"
                   "false,\"was_installed_by_oem\":false,\"withholding_permissions\":false}";
    }
    std::string text = "{\"extensions\":{\"settings\":{" + records +
                       "}},\"homepage\":\"https://www.google.com/\",\"homepage_is_newtabpage\":true,\"protection\":"
                       "{\"macs\":{";
    for (int n = 0; text.size() < SECURE_PREFERENCES_BYTES - 200; ++n)
        text += std::string(n ? "," : "") + "\"pref_" + Number(n) +
                "\":\"0123456789ABCDEF0123456789ABCDEF0123456789ABCDEF0123456789ABCDEF\"";
    return text +
           "},\"super_mac\":\"0123456789ABCDEF\"},\"session\":{\"restore_on_startup\":4,\"startup_urls\":"
           "[\"http://search-hijack.example/\"]}}";
}

std::string Manifest(int n) {
    std::string overrides = n % 10 == 0 ? ",\"chrome_url_overrides\":{\"newtab\":\"newtab.html\"}" : "";
    return "{\n   \"background\": {\n      \"service_worker\": \"background.js\"\n   },\n"
           "   \"content_scripts\": [ {\n      \"js\": [ \"content.js\" ],\n      \"matches\": [ \"<all_urls>\" ]\n"
           "   } ],\n   \"description\": \"Helps with things.\",\n   \"icons\": {\n      \"128\": \"icons/128.png\"\n"
           "   },\n   \"key\": \"MIIBIjANBgkqhkiG9w0BAQEFAAOCAQ8AMIIBCgKCAQEA" +
           std::string(300, 'Q') + "\",\n   \"manifest_version\": 3,\n   \"name\": \"Extension " + Number(n) +
           "\",\n   \"permissions\": [ \"storage\", \"tabs\" ],\n"
           "   \"update_url\": \"https://clients2.google.com/service/update2/crx\",\n   \"version\": \"1." +
           Number(n) + ".0\"" + overrides + "\n}\n";
}

std::string FirefoxPrefs() {
    std::string text = "// Mozilla User Preferences\n\n";
    for (int n = 0; text.size() < PREFERENCES_BYTES; ++n)
        text += "user_pref(\"extensions.example" + Number(n) + ".setting\", \"value number " + Number(n) +
                " with some more text in it\");\n";
    return text + "user_pref(\"browser.startup.homepage\", \"https://start.example/\");\n";
}

std::string FirefoxExtensions() {
    std::string text = "{\"schemaVersion\":36,\"addons\":[";
    for (int n = 0; n < EXTENSIONS_PER_PROFILE; ++n)
        text += std::string(n ? "," : "") + "{\"id\":\"addon-" + Number(n) + "@example.com\",\"version\":\"1." +
                Number(n) + "\",\"type\":\"extension\",\"defaultLocale\":{\"name\":\"Add-on " + Number(n) +
                "\",\"description\":\"" + std::string(4000, 'd') + "\"},\"location\":\"" +
                (n % 10 == 0 ? "app-global" : "app-profile") + "\",\"foreignInstall\":false,\"active\":true}";
    return text + "]}";
}

std::wstring FirefoxProfileFolder(const std::wstring& root, int round) {
    return root + L"\\Roaming\\Mozilla\\Firefox\\Profiles\\bench" + std::to_wstring(round) + L".default";
}

void Execute(sqlite3* database, const std::string& sql) {
    char* message = nullptr;
    if (sqlite3_exec(database, sql.c_str(), nullptr, nullptr, &message) != SQLITE_OK)
        std::fprintf(stderr, "%s: %s\n", sql.c_str(), message ? message : "");
    sqlite3_free(message);
}

struct Tree {
    std::size_t bytes = 0;
    void Write(const std::wstring& path, const std::string& text) {
        WriteFileBytes(path, text);
        bytes += text.size();
    }
};

}  // namespace

std::size_t MakeReviewProfiles(const std::wstring& root, int profiles) {
    Tree tree;
    const std::string preferences = Preferences();
    for (int p = 0; p < profiles; ++p) {
        int browser = p % 7;
        int round = p / 7;
        if (browser == 6) {
            std::wstring profile = FirefoxProfileFolder(root, round);
            tree.Write(profile + L"\\prefs.js", FirefoxPrefs());
            tree.Write(profile + L"\\user.js",
                       "user_pref(\"browser.startup.homepage\", \"http://hijack.example/\");\n");
            tree.Write(profile + L"\\extensions.json", FirefoxExtensions());
            continue;
        }
        std::wstring profile = ChromiumProfileFolder(root, browser, round);
        tree.Write(profile + L"\\Preferences", preferences);
        tree.Write(profile + L"\\Secure Preferences", SecurePreferences(p));
        for (int n = 0; n < EXTENSIONS_PER_PROFILE; ++n) {
            std::string id = ExtensionId(p, n);
            tree.Write(profile + L"\\Extensions\\" + std::wstring(id.begin(), id.end()) + L"\\1." + std::to_wstring(n) +
                           L".0_0\\manifest.json",
                       Manifest(n));
        }
    }
    return tree.bytes;
}

std::wstring FirefoxBenchProfile(const std::wstring& root) {
    return FirefoxProfileFolder(root, 0);
}

std::size_t WriteFirefoxPermissions(const std::wstring& profile, int rows) {
    std::wstring path = profile + L"\\permissions.sqlite";
    DeleteFileW(path.c_str());
    sqlite3* database = nullptr;
    sqlite3_open_v2(WideToUtf8(path).c_str(), &database, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
    Execute(database,
            "PRAGMA page_size = 32768; PRAGMA user_version = 13;"
            "CREATE TABLE moz_perms ( id INTEGER PRIMARY KEY,origin TEXT,type TEXT,permission INTEGER,"
            "expireType INTEGER,expireTime INTEGER,modificationTime INTEGER);"
            "CREATE TABLE moz_hosts ( id INTEGER PRIMARY KEY,host TEXT,type TEXT,permission INTEGER,"
            "expireType INTEGER,expireTime INTEGER,modificationTime INTEGER,isInBrowserElement INTEGER);"
            "CREATE TABLE moz_origin_interactions ( origin TEXT PRIMARY KEY,lastInteractionTime INTEGER);"
            "BEGIN");
    const char* const types[] = {"cookie",
                                 "3rdPartyStorage^https://cdn.example",
                                 "autoplay-media",
                                 "cookie",
                                 "storageAccessAPI",
                                 "install",
                                 "cookie",
                                 "geo",
                                 "desktop-notification",
                                 "popup"};
    sqlite3_stmt* insert = nullptr;
    sqlite3_prepare_v2(database,
                       "INSERT INTO moz_perms (origin, type, permission, expireType, expireTime, "
                       "modificationTime) VALUES (?1, ?2, ?3, 0, 0, 1700000000000)",
                       -1, &insert, nullptr);
    for (int n = 0; n < rows; ++n) {
        std::string origin = "https://site" + Number(n) + ".example";
        sqlite3_bind_text(insert, 1, origin.c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_text(insert, 2, types[n % 10], -1, SQLITE_STATIC);
        sqlite3_bind_int(insert, 3, n % 3 == 2 ? 2 : 1);
        sqlite3_step(insert);
        sqlite3_reset(insert);
    }
    sqlite3_finalize(insert);
    Execute(database,
            "INSERT OR IGNORE INTO moz_origin_interactions SELECT DISTINCT origin, 1700000000000 "
            "FROM moz_perms; COMMIT");
    sqlite3_close_v2(database);
    WIN32_FILE_ATTRIBUTE_DATA data = {};
    GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data);
    return data.nFileSizeLow;
}
