// What a Chromium-family profile's settings files say: the sites allowed to do
// things, the start-up settings and the extension records.
#include <unordered_set>

#include "browsers/json_document.h"

namespace {

const wchar_t PREFERENCES_FILE[] = L"Preferences";
const wchar_t SECURE_PREFERENCES_FILE[] = L"Secure Preferences";
// "session.restore_on_startup": open the pages listed in "session.startup_urls".
constexpr int RESTORE_OPEN_URLS = 4;

struct SettingsDocuments {
    JsonDocument preferences;
    JsonDocument secure;
};

// A setting and the file it came from; Secure Preferences wins a key held by both.
struct Found {
    const JsonValue* value = nullptr;
    const wchar_t* file = L"";
};

Found FindSetting(const SettingsDocuments& documents, std::initializer_list<std::string_view> path) {
    if (const JsonValue* value = FindJsonPath(documents.secure, path))
        return {value, SECURE_PREFERENCES_FILE};
    if (const JsonValue* value = FindJsonPath(documents.preferences, path))
        return {value, PREFERENCES_FILE};
    return {};
}

// Loads one settings file; a file that exists but cannot be used leaves the
// document null and is noted.
void LoadSettings(const std::wstring& profileFolder,
                  const wchar_t* name,
                  BrowserFile file,
                  JsonDocument* document,
                  ChromiumProfileSettings* settings) {
    JsonLoad load = LoadJsonObjectFile(profileFolder + L"\\" + name, MaxBytes(file), document);
    if (load == JsonLoad::Done)
        return;
    document->SetNull();
    if (load != JsonLoad::Missing)
        settings->unusable.push_back({name, load});
}

ChromiumStartup ReadStartup(const SettingsDocuments& documents) {
    ChromiumStartup startup;
    Found restore = FindSetting(documents, {"session", "restore_on_startup"});
    Found urls = FindSetting(documents, {"session", "startup_urls"});
    if (restore.value && restore.value->IsInt() && restore.value->GetInt() == RESTORE_OPEN_URLS && urls.value &&
        urls.value->IsArray()) {
        for (const JsonValue& url : urls.value->GetArray())
            startup.startupPages.push_back(JsonText(&url));
        startup.startupPagesFile = urls.file;
    }

    // The home button opens the new tab page unless told otherwise.
    Found newTabHome = FindSetting(documents, {"homepage_is_newtabpage"});
    Found home = FindSetting(documents, {"homepage"});
    if (newTabHome.value && newTabHome.value->IsBool() && !newTabHome.value->GetBool())
        startup.homePage = {JsonText(home.value), home.file};

    // An engine picked from the browser's own list carries its prepopulate_id
    // (old profiles hold Chrome's own Google template without one: the review knows its shape).
    Found search = FindSetting(documents, {"default_search_provider_data", "template_url_data"});
    if (search.value && search.value->IsObject()) {
        const JsonValue* builtIn = FindJsonMember(*search.value, "prepopulate_id");
        startup.searchUrl = {JsonText(FindJsonMember(*search.value, "url")), search.file};
        startup.searchName = JsonText(FindJsonMember(*search.value, "short_name"));
        startup.searchFromBrowserList = builtIn && builtIn->IsInt() && builtIn->GetInt() > 0;
    }
    return startup;
}

// Every extension record, Secure Preferences first; Opera keeps its records
// under "opsettings". An id already seen is passed over.
std::vector<ChromiumExtension> ReadExtensions(const std::wstring& profileFolder, const SettingsDocuments& documents) {
    std::vector<ChromiumExtension> extensions;
    std::unordered_set<std::string_view> seen;
    for (const JsonDocument* document : {&documents.secure, &documents.preferences}) {
        for (std::string_view key : {"settings", "opsettings"}) {
            const JsonValue* records = FindJsonPath(*document, {"extensions", key});
            if (!records || !records->IsObject())
                continue;
            for (auto record = records->MemberBegin(); record != records->MemberEnd(); ++record) {
                std::string_view id(record->name.GetString(), record->name.GetStringLength());
                if (record->value.IsObject() && seen.insert(id).second)
                    extensions.push_back(ReadChromiumExtension(profileFolder, std::string(id), record->value));
            }
        }
    }
    return extensions;
}

}  // namespace

ChromiumProfileSettings ReadChromiumProfileSettings(const std::wstring& profileFolder) {
    ChromiumProfileSettings settings;
    SettingsDocuments documents;
    LoadSettings(profileFolder, PREFERENCES_FILE, BrowserFile::Preferences, &documents.preferences, &settings);
    LoadSettings(profileFolder, SECURE_PREFERENCES_FILE, BrowserFile::SecurePreferences, &documents.secure, &settings);
    settings.grants = FindSitePermissionGrants(documents.preferences);
    settings.startup = ReadStartup(documents);
    settings.extensions = ReadExtensions(profileFolder, documents);
    return settings;
}
