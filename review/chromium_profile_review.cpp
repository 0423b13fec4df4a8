// What a Chromium-family profile's settings say about pop-ups: sites allowed to
// notify, open pop-ups or download, start-up and home pages and the search
// engine, and the extensions that take these over or came from elsewhere.
#include "review/review.h"

#include <unordered_set>

#include "rapidjson/document.h"
#include "review/review_internal.h"

namespace {

const wchar_t PREFERENCES_FILE[] = L"Preferences";
const wchar_t SECURE_PREFERENCES_FILE[] = L"Secure Preferences";
// "session.restore_on_startup": open the pages listed in "session.startup_urls".
constexpr int RESTORE_OPEN_URLS = 4;

struct ProfileSettings {
    rapidjson::Document preferences;
    rapidjson::Document secure;
};

// A setting and the file it came from; Secure Preferences wins a key held by both.
struct Setting {
    const rapidjson::Value* value = nullptr;
    const wchar_t* source = L"";
};

Setting FindSetting(const ProfileSettings& settings, std::initializer_list<std::string_view> path) {
    if (const rapidjson::Value* value = FindJsonPath(settings.secure, path))
        return {value, SECURE_PREFERENCES_FILE};
    if (const rapidjson::Value* value = FindJsonPath(settings.preferences, path))
        return {value, PREFERENCES_FILE};
    return {};
}

// Pages of the browser itself, which no site controls.
bool IsBrowserPage(const std::wstring& url) {
    for (const wchar_t* scheme :
         {L"chrome:", L"chrome-search:", L"edge:", L"brave:", L"vivaldi:", L"opera:", L"about:"}) {
        if (StartsWithIgnoringAsciiCase(url, scheme))
            return true;
    }
    return url.empty();
}

void AddStartupFindings(const ProfilePlace& place, const ProfileSettings& settings, ReviewFindings* findings) {
    Setting restore = FindSetting(settings, {"session", "restore_on_startup"});
    Setting urls = FindSetting(settings, {"session", "startup_urls"});
    if (restore.value && restore.value->IsInt() && restore.value->GetInt() == RESTORE_OPEN_URLS && urls.value &&
        urls.value->IsArray()) {
        for (const rapidjson::Value& url : urls.value->GetArray()) {
            std::wstring text = JsonText(&url);
            if (!IsBrowserPage(text))
                findings->startup.push_back({place, StartupKind::StartupPage, text, L"", urls.source});
        }
    }

    // The home page is in use only when the home button does not open the new tab page.
    Setting newTabHome = FindSetting(settings, {"homepage_is_newtabpage"});
    Setting home = FindSetting(settings, {"homepage"});
    if (newTabHome.value && newTabHome.value->IsBool() && !newTabHome.value->GetBool()) {
        std::wstring text = JsonText(home.value);
        if (!IsBrowserPage(text))
            findings->startup.push_back({place, StartupKind::HomePage, text, L"", home.source});
    }

    // An engine the user picked from the browser's own list carries its prepopulate_id.
    Setting search = FindSetting(settings, {"default_search_provider_data", "template_url_data"});
    if (search.value && search.value->IsObject()) {
        const rapidjson::Value* builtIn = FindJsonMember(*search.value, "prepopulate_id");
        std::wstring url = JsonText(FindJsonMember(*search.value, "url"));
        if (!url.empty() && !(builtIn && builtIn->IsInt() && builtIn->GetInt() > 0))
            findings->startup.push_back({place, StartupKind::SearchEngine, url,
                                         JsonText(FindJsonMember(*search.value, "short_name")), search.source});
    }
}

void AddSitePermissionFindings(const ProfilePlace& place, const ProfileSettings& settings, ReviewFindings* findings) {
    for (SitePermissionGrant& grant : FindSitePermissionGrants(settings.preferences))
        findings->sitePermissions.push_back({place, std::move(grant)});
}

// Every extension record, Secure Preferences first; Opera keeps its records
// under "opsettings". An id already seen is passed over.
void AddExtensionFindings(const ProfilePlace& place,
                          const std::wstring& folder,
                          const ProfileSettings& settings,
                          ReviewFindings* findings) {
    std::unordered_set<std::string_view> seen;
    for (const rapidjson::Document* document : {&settings.secure, &settings.preferences}) {
        for (std::string_view key : {"settings", "opsettings"}) {
            const rapidjson::Value* records = FindJsonPath(*document, {"extensions", key});
            if (!records || !records->IsObject())
                continue;
            for (auto record = records->MemberBegin(); record != records->MemberEnd(); ++record) {
                std::string_view id(record->name.GetString(), record->name.GetStringLength());
                if (!record->value.IsObject() || !seen.insert(id).second)
                    continue;
                ExtensionFinding finding;
                if (JudgeChromiumExtension(folder, std::string(id), record->value, &finding)) {
                    finding.place = place;
                    findings->extensions.push_back(std::move(finding));
                }
            }
        }
    }
}

}  // namespace

void ReviewChromiumProfile(const ProfilePlace& place, const std::wstring& profileFolder, ReviewFindings* findings) {
    ProfileSettings settings;
    LoadProfileJson(place, profileFolder, PREFERENCES_FILE, &settings.preferences, findings);
    LoadProfileJson(place, profileFolder, SECURE_PREFERENCES_FILE, &settings.secure, findings);
    AddSitePermissionFindings(place, settings, findings);
    AddStartupFindings(place, settings, findings);
    AddExtensionFindings(place, profileFolder, settings, findings);
}
