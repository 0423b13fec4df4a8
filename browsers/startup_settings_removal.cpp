// Taking a hijacked start-up page, home page or search engine out of a
// Chromium-family profile's "Preferences" or "Secure Preferences" text.
//
// What the browser does with the files afterwards (Chromium's
// services/preferences/tracked/): these settings are tracked; on Windows each
// one's MAC sits under "protection.macs" of Secure Preferences (in Preferences
// on a domain-joined machine). At the next start a value that is gone while its
// MAC stays is CLEARED and its action DONT_RESET
// (tracked_preference_helper.cc): the removal stays, the default applies and
// no "settings were reset" notice is shown. A value changed to another one is
// CHANGED and reset, with prefs.preference_reset_time set; a MAC that is gone
// breaks the super MAC. So values are only ever removed, "protection" is never
// touched, and no MAC is computed. A tracked value left in Preferences is moved
// into Secure Preferences when that lacks it (tracked_preferences_migration.cc),
// so the caller takes it out of both files. The MACs are over the values as
// Chromium serializes them, not over the bytes of the file, so the rest of the
// document may be written back compact as the browser writes it. The search
// engine also has a copy for the browser's own use in Preferences,
// "default_search_provider_data.mirrored_template_url_data"
// (components/search_engines/default_search_manager.cc), which goes with it.
#include "browsers/json_document.h"

namespace {

using Path = std::vector<const char*>;

// The settings each kind of page is kept in, and whether a path is only in Preferences.
struct SettingPath {
    unsigned setting;
    Path path;
    bool preferencesOnly;
};

const std::vector<SettingPath>& SettingPaths() {
    static const std::vector<SettingPath> paths = {
        {SETTING_STARTUP_PAGES, {"session", "restore_on_startup"}, false},
        {SETTING_STARTUP_PAGES, {"session", "startup_urls"}, false},
        {SETTING_HOME_PAGE, {"homepage"}, false},
        {SETTING_HOME_PAGE, {"homepage_is_newtabpage"}, false},
        {SETTING_HOME_PAGE, {"browser", "show_home_button"}, false},
        {SETTING_SEARCH_ENGINE, {"default_search_provider_data", "template_url_data"}, false},
        {SETTING_SEARCH_ENGINE, {"default_search_provider_data", "mirrored_template_url_data"}, true},
    };
    return paths;
}

// Removes every member named path[depth] below object, in every copy of each
// object on the way (the browser reads the last copy of a repeated name:
// removing only that one would bring back the one before it). True when any was there.
bool RemovePath(JsonValue* object, const Path& path, std::size_t depth) {
    bool removed = false;
    for (auto member = object->MemberBegin(); member != object->MemberEnd();) {
        if (std::string_view(member->name.GetString(), member->name.GetStringLength()) != path[depth]) {
            ++member;
        } else if (depth + 1 == path.size()) {
            member = object->EraseMember(member);  // keeps the order of the others
            removed = true;
        } else {
            if (member->value.IsObject())
                removed |= RemovePath(&member->value, path, depth + 1);
            ++member;
        }
    }
    return removed;
}

std::string DottedName(const Path& path) {
    std::string name;
    for (const char* part : path)
        name += (name.empty() ? "" : ".") + std::string(part);
    return name;
}

}  // namespace

StartupRemoval RemoveStartupSettings(const std::string& text, unsigned settings, bool securePreferences) {
    StartupRemoval removal;
    JsonDocument document;
    if (ParseJsonObjectExactly(text, &document) != JsonLoad::Done)
        return removal;
    for (const SettingPath& setting : SettingPaths()) {
        if ((setting.setting & settings) && !(setting.preferencesOnly && securePreferences) &&
            RemovePath(&document, setting.path, 0))
            removal.removed.push_back(DottedName(setting.path));
    }
    removal.usable = true;
    if (removal.removed.empty())
        return removal;
    // Text that cannot be written back as it was read, or would not read back as meant, is not written.
    JsonDocument readBack;
    if (!SerializeJson(document, &removal.bytes) ||
        ParseJsonObjectExactly(removal.bytes, &readBack) != JsonLoad::Done || !SameJson(readBack, document))
        removal = StartupRemoval();
    return removal;
}
