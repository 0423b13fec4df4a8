// Site permissions in a Chromium-family profile's Preferences: the defaults
// under profile.default_content_setting_values and the per-site exceptions under
// profile.content_settings.exceptions, each keyed "<primary>,<secondary>".
#include <algorithm>
#include <unordered_set>

#include "browsers/json_document.h"

namespace {

constexpr int SETTING_ALLOW = 1;

bool IsAllow(const JsonValue* setting) {
    return setting && setting->IsInt() && setting->GetInt() == SETTING_ALLOW;
}

// The keys of the exceptions that allow, in file order; a key written twice
// counts once, with its last value, as the browser reads it.
std::vector<std::string> AllowedExceptionKeys(const JsonValue& exceptions) {
    std::vector<std::string> keys;
    if (!exceptions.IsObject())
        return keys;
    std::unordered_set<std::string_view> seen;
    for (auto member = exceptions.MemberEnd(); member != exceptions.MemberBegin();) {
        --member;
        std::string_view key(member->name.GetString(), member->name.GetStringLength());
        if (!seen.insert(key).second || !IsAllow(FindJsonMember(member->value, "setting")))
            continue;
        // The browser skips a key it cannot read; an empty primary pattern is one.
        if (key.substr(0, key.find(',')).empty())
            continue;
        keys.emplace_back(key);
    }
    std::reverse(keys.begin(), keys.end());
    return keys;
}

// Erases every member with one of the names, keeping the others in their order.
void EraseMembers(JsonValue* object, const std::vector<std::string>& names) {
    // RapidJSON checks nothing in a release build: the members of a string or a
    // number would be read from whatever its bytes point to.
    if (!object->IsObject())
        return;
    std::unordered_set<std::string> erased(names.begin(), names.end());
    for (auto member = object->MemberBegin(); member != object->MemberEnd();) {
        if (erased.count(std::string(member->name.GetString(), member->name.GetStringLength())))
            member = object->EraseMember(member);
        else
            ++member;
    }
}

JsonValue* MutableJsonPath(JsonValue* root, std::initializer_list<std::string_view> path) {
    return const_cast<JsonValue*>(FindJsonPath(*root, path));
}

const SitePermission SITE_PERMISSIONS[] = {SitePermission::Notifications, SitePermission::Popups,
                                           SitePermission::AutomaticDownloads};

// True when the value is absent or an object.
bool NoneOrObject(const JsonValue* value) {
    return !value || value->IsObject();
}

// True when everything on the way to the grants that is there is an object: the
// profile, its defaults, its content settings, their exceptions, the exceptions
// of each permission and each exception itself. What the browser makes of a file
// of another shape is not known, so such a file is not rewritten.
bool HasTheShapeOfPreferences(const JsonValue& preferences) {
    const JsonValue* profile = FindJsonMember(preferences, "profile");
    if (!NoneOrObject(profile))
        return false;
    if (!profile)
        return true;
    const JsonValue* contentSettings = FindJsonMember(*profile, "content_settings");
    const JsonValue* exceptions = contentSettings ? FindJsonMember(*contentSettings, "exceptions") : nullptr;
    if (!NoneOrObject(FindJsonMember(*profile, "default_content_setting_values")) || !NoneOrObject(contentSettings) ||
        !NoneOrObject(exceptions))
        return false;
    for (SitePermission permission : SITE_PERMISSIONS) {
        const JsonValue* sites = exceptions ? FindJsonMember(*exceptions, SitePermissionName(permission)) : nullptr;
        if (!sites)
            continue;
        if (!sites->IsObject())
            return false;
        for (auto site = sites->MemberBegin(); site != sites->MemberEnd(); ++site) {
            if (!site->value.IsObject())
                return false;
        }
    }
    return true;
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

std::vector<SitePermissionGrant> FindSitePermissionGrants(const JsonValue& preferences) {
    std::vector<SitePermissionGrant> grants;
    for (SitePermission permission : SITE_PERMISSIONS) {
        std::string_view name = SitePermissionName(permission);
        if (IsAllow(FindJsonPath(preferences, {"profile", "default_content_setting_values", name})))
            grants.push_back({permission, std::wstring(), true});
        const JsonValue* exceptions = FindJsonPath(preferences, {"profile", "content_settings", "exceptions", name});
        for (const std::string& key : exceptions ? AllowedExceptionKeys(*exceptions) : std::vector<std::string>())
            grants.push_back({permission, Utf8ToWide(key.substr(0, key.find(','))), false});
    }
    return grants;
}

bool IsChosen(const SitePermissionGrant& grant, const std::vector<SitePermissionGrant>* chosen) {
    if (!chosen)
        return true;
    for (const SitePermissionGrant& wanted : *chosen) {
        if (wanted.permission == grant.permission && wanted.allSites == grant.allSites &&
            (grant.allSites || wanted.site == grant.site))
            return true;
    }
    return false;
}

void RemoveSitePermissionGrants(JsonValue* preferences, const std::vector<SitePermissionGrant>* chosen) {
    for (SitePermission permission : SITE_PERMISSIONS) {
        std::string name = SitePermissionName(permission);
        // Every copy of a repeated name goes: an earlier one must not take the removed one's place.
        JsonValue* defaults = MutableJsonPath(preferences, {"profile", "default_content_setting_values"});
        if (defaults && IsAllow(FindJsonMember(*defaults, name)) &&
            IsChosen({permission, std::wstring(), true}, chosen))
            EraseMembers(defaults, {name});
        JsonValue* exceptions = MutableJsonPath(preferences, {"profile", "content_settings", "exceptions", name});
        if (!exceptions)
            continue;
        std::vector<std::string> keys;
        for (const std::string& key : AllowedExceptionKeys(*exceptions)) {
            if (IsChosen({permission, Utf8ToWide(key.substr(0, key.find(','))), false}, chosen))
                keys.push_back(key);
        }
        EraseMembers(exceptions, keys);
    }
}

namespace {

// What each grant's removal takes out, for the record: the member's name and its value as JSON text.
bool NoteRemovedMembers(const JsonValue& preferences, GrantRemoval* removal) {
    for (const SitePermissionGrant& grant : removal->grants) {
        std::string name = SitePermissionName(grant.permission);
        RemovedMember member;
        const JsonValue* value = nullptr;
        if (grant.allSites) {
            member.name = name;
            value = FindJsonPath(preferences, {"profile", "default_content_setting_values", name});
        } else {
            const JsonValue* exceptions =
                FindJsonPath(preferences, {"profile", "content_settings", "exceptions", name});
            std::string site = WideToUtf8(grant.site);
            for (const std::string& key : AllowedExceptionKeys(*exceptions)) {
                if (key.substr(0, key.find(',')) == site) {
                    member.name = key;
                    value = FindJsonMember(*exceptions, key);
                    break;
                }
            }
        }
        if (!value || !SerializeJson(*value, &member.value))
            return false;
        removal->removed.push_back(std::move(member));
    }
    return true;
}

}  // namespace

GrantRemoval TakeBackSitePermissions(const std::string& preferences, const std::vector<SitePermissionGrant>* chosen) {
    GrantRemoval removal;
    JsonDocument document;
    if (ParseJsonObjectExactly(preferences, &document) != JsonLoad::Done || !HasTheShapeOfPreferences(document))
        return removal;
    for (const SitePermissionGrant& grant : FindSitePermissionGrants(document)) {
        if (IsChosen(grant, chosen))
            removal.grants.push_back(grant);
    }
    removal.usable = true;
    if (removal.grants.empty())
        return removal;
    if (!NoteRemovedMembers(document, &removal))
        return GrantRemoval();
    RemoveSitePermissionGrants(&document, chosen);
    // Text that cannot be written back as it was read (a lone surrogate escape) is
    // not written at all, nor is text that would not read back as what was meant.
    JsonDocument readBack;
    if (!SerializeJson(document, &removal.bytes) ||
        ParseJsonObjectExactly(removal.bytes, &readBack) != JsonLoad::Done || !SameJson(readBack, document)) {
        removal = GrantRemoval();
    }
    return removal;
}

namespace {

// The object called name in parent, made when it is not there; nullptr when
// something else carries the name.
JsonValue* ObjectMember(JsonValue* parent, const char* name, JsonDocument::AllocatorType& allocator) {
    if (JsonValue* found = const_cast<JsonValue*>(FindJsonMember(*parent, name)))
        return found->IsObject() ? found : nullptr;
    parent->AddMember(JsonValue(name, allocator), JsonValue(rapidjson::kObjectType), allocator);
    return &(parent->MemberEnd() - 1)->value;
}

}  // namespace

PermissionPutBack PutBackSitePermissions(const std::string& preferences, const std::vector<RemovedGrant>& grants) {
    PermissionPutBack result;
    JsonDocument document;
    if (ParseJsonObjectExactly(preferences, &document) != JsonLoad::Done || !HasTheShapeOfPreferences(document))
        return result;
    auto& allocator = document.GetAllocator();
    bool changed = false;
    for (const RemovedGrant& grant : grants) {
        JsonDocument value;
        std::string wrapped = "{\"v\":" + grant.value + "}";
        const JsonValue* inner = nullptr;
        if (ParseJsonObjectExactly(wrapped, &value) == JsonLoad::Done)
            inner = FindJsonMember(value, "v");
        JsonValue* profile = ObjectMember(&document, "profile", allocator);
        JsonValue* parent = nullptr;
        if (profile && grant.allSites) {
            parent = ObjectMember(profile, "default_content_setting_values", allocator);
        } else if (profile) {
            JsonValue* settings = ObjectMember(profile, "content_settings", allocator);
            JsonValue* exceptions = settings ? ObjectMember(settings, "exceptions", allocator) : nullptr;
            parent = exceptions ? ObjectMember(exceptions, grant.permission.c_str(), allocator) : nullptr;
        }
        // An exception's value is an object, a default's a number, as the browsers write them.
        bool shaped = inner && (grant.allSites ? inner->IsInt() : inner->IsObject());
        if (!parent || !shaped) {
            result.each.push_back(PutBack::Unusable);
            continue;
        }
        if (const JsonValue* now = FindJsonMember(*parent, grant.member)) {
            result.each.push_back(SameJson(*now, *inner) ? PutBack::AlreadyThere : PutBack::SetAnew);
            continue;
        }
        parent->AddMember(
            JsonValue(grant.member.c_str(), static_cast<rapidjson::SizeType>(grant.member.size()), allocator),
            JsonValue(*inner, allocator), allocator);
        result.each.push_back(PutBack::Done);
        changed = true;
    }
    JsonDocument readBack;
    if (changed && (!SerializeJson(document, &result.bytes) ||
                    ParseJsonObjectExactly(result.bytes, &readBack) != JsonLoad::Done || !SameJson(readBack, document)))
        return PermissionPutBack();
    result.usable = true;
    return result;
}
