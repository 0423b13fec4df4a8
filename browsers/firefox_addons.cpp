// The add-on records of a Firefox profile's extensions.json, as Firefox wrote them.
#include "browsers/json_document.h"

namespace {

// Where Firefox keeps the add-ons it ships with.
const wchar_t* const BUILT_IN_LOCATIONS[] = {L"app-builtin", L"app-builtin-addons", L"app-system-defaults",
                                             L"app-system-addons"};

bool IsBuiltInLocation(const std::wstring& location) {
    for (const wchar_t* builtIn : BUILT_IN_LOCATIONS) {
        if (location == builtIn)
            return true;
    }
    return false;
}

}  // namespace

JsonLoad ReadFirefoxAddons(const std::wstring& profileFolder, std::vector<FirefoxAddon>* addons) {
    addons->clear();
    JsonDocument document;
    JsonLoad load =
        LoadJsonObjectFile(profileFolder + L"\\extensions.json", MaxBytes(BrowserFile::FirefoxAddons), &document);
    const JsonValue* records = load == JsonLoad::Done ? FindJsonMember(document, "addons") : nullptr;
    if (!records || !records->IsArray())
        return load;
    for (const JsonValue& record : records->GetArray()) {
        if (!record.IsObject())
            continue;
        FirefoxAddon addon;
        addon.id = JsonText(FindJsonMember(record, "id"));
        addon.name = JsonText(FindJsonPath(record, {"defaultLocale", "name"}));
        addon.version = JsonText(FindJsonMember(record, "version"));
        addon.type = JsonText(FindJsonMember(record, "type"));
        addon.location = JsonText(FindJsonMember(record, "location"));
        addon.builtIn = IsBuiltInLocation(addon.location);
        addon.foreignInstall = IsJsonTrue(FindJsonMember(record, "foreignInstall"));
        const JsonValue* active = FindJsonMember(record, "active");
        if (active && active->IsBool())
            addon.active = active->GetBool();
        addon.userDisabled = IsJsonTrue(FindJsonMember(record, "userDisabled"));
        addons->push_back(std::move(addon));
    }
    return load;
}
