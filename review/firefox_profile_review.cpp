// What a Firefox profile says about pop-ups: the home page set in prefs.js or
// user.js (re-applied at every start, so it wins), and add-ons that another
// program placed, read from extensions.json.
#include "rapidjson/document.h"
#include "review/review_internal.h"

namespace {

const char HOME_PAGE_PREF[] = "browser.startup.homepage";

// Locations of add-ons installed in the profile or shipped with Firefox.
const char* const OWN_LOCATIONS[] = {"app-profile", "app-builtin", "app-system-defaults", "app-system-addons"};

// The last value the file gives the home page; false when it sets none.
bool ReadHomePage(const ProfilePlace& place,
                  const std::wstring& folder,
                  const wchar_t* file,
                  std::string* homePage,
                  ReviewFindings* findings) {
    std::string text;
    FileRead read = ReadFileBytes(folder + L"\\" + file, MAX_SETTINGS_FILE_BYTES, &text);
    if (read != FileRead::Done) {
        NoteUnreadable(place, file, JsonLoadOf(read), findings);
        return false;
    }
    bool found = false;
    for (FirefoxPref& pref : ParseFirefoxPrefs(text)) {
        if (pref.name == HOME_PAGE_PREF && pref.isString) {
            *homePage = std::move(pref.value);
            found = true;
        }
    }
    return found;
}

// Firefox's own pages and its built-in default (a resource: address).
bool IsFirefoxPage(const std::wstring& url) {
    return url.empty() || StartsWithIgnoringAsciiCase(url, L"about:") ||
           StartsWithIgnoringAsciiCase(url, L"resource:") || StartsWithIgnoringAsciiCase(url, L"chrome:");
}

void AddHomePageFindings(const ProfilePlace& place, const std::wstring& folder, ReviewFindings* findings) {
    std::string homePage;
    const wchar_t* source = nullptr;
    for (const wchar_t* file : {L"prefs.js", L"user.js"}) {
        if (ReadHomePage(place, folder, file, &homePage, findings))
            source = file;
    }
    if (!source)
        return;
    // Several home pages are separated by "|"; each opens in its own tab.
    std::wstring pages = Utf8ToWide(homePage);
    for (std::size_t start = 0; start <= pages.size();) {
        std::size_t end = pages.find(L'|', start);
        if (end == std::wstring::npos)
            end = pages.size();
        std::wstring url = pages.substr(start, end - start);
        if (!IsFirefoxPage(url))
            findings->startup.push_back({place, StartupKind::HomePage, url, L"", source});
        start = end + 1;
    }
}

void AddAddonFindings(const ProfilePlace& place, const std::wstring& folder, ReviewFindings* findings) {
    rapidjson::Document document;
    if (!LoadProfileJson(place, folder, L"extensions.json", &document, findings))
        return;
    const rapidjson::Value* addons = FindJsonMember(document, "addons");
    if (!addons || !addons->IsArray())
        return;
    for (const rapidjson::Value& addon : addons->GetArray()) {
        if (!addon.IsObject())
            continue;
        const rapidjson::Value* location = FindJsonMember(addon, "location");
        bool ownLocation = false;
        for (const char* own : OWN_LOCATIONS) {
            if (location && location->IsString() &&
                std::string_view(location->GetString(), location->GetStringLength()) == own)
                ownLocation = true;
        }
        if (ownLocation && !IsTrue(FindJsonMember(addon, "foreignInstall")))
            continue;
        ExtensionFinding finding;
        finding.place = place;
        finding.id = JsonText(FindJsonMember(addon, "id"));
        finding.name = JsonText(FindJsonPath(addon, {"defaultLocale", "name"}));
        finding.version = JsonText(FindJsonMember(addon, "version"));
        finding.installedBy = InstalledBy::OtherProgram;
        const rapidjson::Value* active = FindJsonMember(addon, "active");
        finding.enabled =
            active && active->IsBool() ? active->GetBool() : !IsTrue(FindJsonMember(addon, "userDisabled"));
        findings->extensions.push_back(std::move(finding));
    }
}

}  // namespace

void ReviewFirefoxProfile(const ProfilePlace& place, const std::wstring& profileFolder, ReviewFindings* findings) {
    AddHomePageFindings(place, profileFolder, findings);
    AddAddonFindings(place, profileFolder, findings);
}
