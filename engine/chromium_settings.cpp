// Site permissions in a Chromium-family profile's Preferences: the defaults
// under profile.default_content_setting_values and the per-site exceptions under
// profile.content_settings.exceptions, each keyed "<primary>,<secondary>".
#include "engine/engine.h"

#include <algorithm>
#include <unordered_set>

#include "rapidjson/document.h"

namespace {

constexpr int SETTING_ALLOW = 1;

bool IsAllow(const rapidjson::Value* setting) {
    return setting && setting->IsInt() && setting->GetInt() == SETTING_ALLOW;
}

// Exceptions that allow, in file order; a key written twice counts once, with its last value.
void AddAllowedExceptions(SitePermission permission,
                          const rapidjson::Value& exceptions,
                          std::vector<SitePermissionGrant>* grants) {
    if (!exceptions.IsObject())
        return;
    std::size_t first = grants->size();
    std::unordered_set<std::string_view> seen;
    for (auto member = exceptions.MemberEnd(); member != exceptions.MemberBegin();) {
        --member;
        std::string_view key(member->name.GetString(), member->name.GetStringLength());
        if (!seen.insert(key).second || !IsAllow(FindJsonMember(member->value, "setting")))
            continue;
        // The browser skips a key it cannot read; an empty primary pattern is one.
        std::string_view primary = key.substr(0, key.find(','));
        if (primary.empty())
            continue;
        grants->push_back({permission, Utf8ToWide(std::string(primary)), false});
    }
    std::reverse(grants->begin() + static_cast<std::ptrdiff_t>(first), grants->end());
}

}  // namespace

std::wstring SiteOrigin(const std::wstring& pattern) {
    struct DefaultPort {
        const wchar_t* scheme;
        const wchar_t* port;
    };
    for (DefaultPort port : {DefaultPort{L"https://", L":443"}, DefaultPort{L"http://", L":80"}}) {
        std::wstring_view suffix(port.port);
        if (StartsWithIgnoringAsciiCase(pattern, port.scheme) && pattern.size() > suffix.size() &&
            pattern.compare(pattern.size() - suffix.size(), suffix.size(), suffix) == 0)
            return pattern.substr(0, pattern.size() - suffix.size());
    }
    return pattern;
}

const char* SitePermissionName(SitePermission permission) {
    switch (permission) {
        case SitePermission::Notifications:
            return "notifications";
        case SitePermission::Popups:
            return "popups";
        case SitePermission::AutomaticDownloads:
            break;
    }
    return "automatic_downloads";
}

std::vector<SitePermissionGrant> FindSitePermissionGrants(const rapidjson::Value& preferences) {
    std::vector<SitePermissionGrant> grants;
    for (SitePermission permission :
         {SitePermission::Notifications, SitePermission::Popups, SitePermission::AutomaticDownloads}) {
        std::string_view name = SitePermissionName(permission);
        if (IsAllow(FindJsonPath(preferences, {"profile", "default_content_setting_values", name})))
            grants.push_back({permission, std::wstring(), true});
        if (const rapidjson::Value* exceptions =
                FindJsonPath(preferences, {"profile", "content_settings", "exceptions", name}))
            AddAllowedExceptions(permission, *exceptions, &grants);
    }
    return grants;
}
