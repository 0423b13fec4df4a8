// What a Firefox profile says about pop-ups: the home page set in prefs.js or
// user.js (re-applied at every start, so it wins), sites allowed to notify or
// open pop-ups (permissions.sqlite), and add-ons that another program placed,
// read from extensions.json.
#include "review/review_internal.h"

namespace {

const char HOME_PAGE_PREF[] = "browser.startup.homepage";

// The last value the file gives the home page; false when it sets none.
bool ReadHomePage(const ProfilePlace& place,
                  const std::wstring& folder,
                  const wchar_t* file,
                  BrowserFile kind,
                  std::string* homePage,
                  ReviewFindings* findings) {
    std::string text;
    FileRead read = ReadBrowserFile(folder + L"\\" + file, kind, &text);
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
    struct PrefsFile {
        const wchar_t* name;
        BrowserFile kind;
    };
    std::string homePage;
    const wchar_t* source = nullptr;
    for (PrefsFile file :
         {PrefsFile{L"prefs.js", BrowserFile::FirefoxPrefs}, PrefsFile{L"user.js", BrowserFile::FirefoxUserPrefs}}) {
        if (ReadHomePage(place, folder, file.name, file.kind, &homePage, findings))
            source = file.name;
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

// Add-ons installed in the profile or shipped with Firefox are its own, unless
// another program put them there; language packs and dictionaries change no
// page, wherever they come from.
bool IsFinding(const FirefoxAddon& addon) {
    if (addon.type == L"locale" || addon.type == L"dictionary")
        return false;
    return addon.foreignInstall || !(addon.builtIn || addon.location == L"app-profile");
}

void AddAddonFindings(const ProfilePlace& place, const std::wstring& folder, ReviewFindings* findings) {
    std::vector<FirefoxAddon> addons;
    NoteUnreadable(place, L"extensions.json", ReadFirefoxAddons(folder, &addons), findings);
    for (const FirefoxAddon& addon : addons) {
        if (!IsFinding(addon))
            continue;
        ExtensionFinding finding;
        finding.place = place;
        finding.id = addon.id;
        finding.name = addon.name;
        finding.version = addon.version;
        finding.installedBy = InstalledBy::OtherProgram;
        finding.enabled = addon.active.value_or(!addon.userDisabled);
        findings->extensions.push_back(std::move(finding));
    }
}

void AddPermissionFindings(const ProfilePlace& place, const std::wstring& folder, ReviewFindings* findings) {
    FirefoxPermissions permissions = ReadFirefoxPermissions(folder);
    NoteUnreadable(place, L"permissions.sqlite", permissions.result, findings);
    int64_t now = FirefoxTimeNow();
    for (const FirefoxPermissionRow& row : permissions.rows) {
        SitePermissionGrant grant = {};
        if (IsFirefoxSiteGrant(row, now, &grant.permission)) {
            grant.site = Utf8ToWide(row.origin);
            findings->sitePermissions.push_back({place, std::move(grant)});
        }
    }
}

}  // namespace

void ReviewFirefoxProfile(const ProfilePlace& place, const std::wstring& profileFolder, ReviewFindings* findings) {
    // As for Chromium: files are looked for only in a folder given in full.
    if (!IsFullPath(profileFolder))
        return;
    AddHomePageFindings(place, profileFolder, findings);
    AddPermissionFindings(place, profileFolder, findings);
    AddAddonFindings(place, profileFolder, findings);
}
