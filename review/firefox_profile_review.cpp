// What a Firefox profile says about pop-ups: the home page and the proxy set in
// prefs.js or user.js (re-applied at every start, so it wins), sites allowed to
// notify or open pop-ups (permissions.sqlite), and add-ons that another program
// placed, read from extensions.json.
#include "review/review_internal.h"

namespace {

const char HOME_PAGE_PREF[] = "browser.startup.homepage";
// network.proxy.type: 1 the proxies set by hand, 2 the script at autoconfig_url
// (0 none, 4 detect, 5 the system's: nothing of the profile's own).
const char PROXY_TYPE_PREF[] = "network.proxy.type";
const char PROXY_SCRIPT_PREF[] = "network.proxy.autoconfig_url";
const char* const PROXY_HOST_PREFS[] = {"network.proxy.http", "network.proxy.ssl", "network.proxy.socks",
                                        "network.proxy.ftp"};

// A pref's last value and the file that gave it.
struct PrefValue {
    std::string value;
    bool isString = false;
    const wchar_t* file = nullptr;
};

// The prefs as Firefox applies them: prefs.js, then user.js, the last value of each name winning.
struct Prefs {
    std::wstring folder;
    std::vector<std::pair<std::string, PrefValue>> values;

    const PrefValue* Find(const std::string& name) const {
        for (auto it = values.rbegin(); it != values.rend(); ++it) {
            if (it->first == name)
                return &it->second;
        }
        return nullptr;
    }
    std::string Text(const std::string& name) const {
        const PrefValue* value = Find(name);
        return value && value->isString ? value->value : std::string();
    }
};

Prefs ReadPrefs(const ProfilePlace& place, const std::wstring& folder, ReviewFindings* findings) {
    struct PrefsFile {
        const wchar_t* name;
        BrowserFile kind;
    };
    Prefs prefs;
    prefs.folder = folder;
    for (PrefsFile file :
         {PrefsFile{L"prefs.js", BrowserFile::FirefoxPrefs}, PrefsFile{L"user.js", BrowserFile::FirefoxUserPrefs}}) {
        std::string text;
        FileRead read = ReadBrowserFile(folder + L"\\" + file.name, file.kind, &text);
        if (read != FileRead::Done) {
            NoteUnreadable(place, file.name, JsonLoadOf(read), findings);
            continue;
        }
        for (FirefoxPref& pref : ParseFirefoxPrefs(text))
            prefs.values.push_back({std::move(pref.name), {std::move(pref.value), pref.isString, file.name}});
    }
    return prefs;
}

// Firefox's own pages and its built-in default (a resource: address).
bool IsFirefoxPage(const std::wstring& url) {
    return url.empty() || StartsWithIgnoringAsciiCase(url, L"about:") ||
           StartsWithIgnoringAsciiCase(url, L"resource:") || StartsWithIgnoringAsciiCase(url, L"chrome:");
}

void AddHomePageFindings(const ProfilePlace& place, const Prefs& prefs, ReviewFindings* findings) {
    const PrefValue* homePage = prefs.Find(HOME_PAGE_PREF);
    if (!homePage || !homePage->isString)
        return;
    // Several home pages are separated by "|"; each opens in its own tab.
    std::wstring pages = Utf8ToWide(homePage->value);
    for (std::size_t start = 0; start <= pages.size();) {
        std::size_t end = pages.find(L'|', start);
        if (end == std::wstring::npos)
            end = pages.size();
        std::wstring url = pages.substr(start, end - start);
        if (!IsFirefoxPage(url))
            findings->startup.push_back({place, StartupKind::HomePage, url, L"", homePage->file});
        start = end + 1;
    }
}

void AddProxy(const Prefs& prefs, const char* name, const std::wstring& value, ReviewFindings* findings) {
    std::wstring setting = Utf8ToWide(name);
    std::wstring location = prefs.folder + L"\\" + prefs.Find(name)->file;
    for (const ProxySetting& known : findings->proxy) {
        if (known.location == location && known.value == value)
            return;  // the same proxy for several protocols ("use this proxy for all")
    }
    findings->proxy.push_back({setting, value, location});
}

// The proxy the profile's own settings send every page through.
void AddProxyFindings(const Prefs& prefs, ReviewFindings* findings) {
    const PrefValue* type = prefs.Find(PROXY_TYPE_PREF);
    if (!type || type->isString)
        return;
    if (type->value == "2") {
        std::string script = prefs.Text(PROXY_SCRIPT_PREF);
        if (!script.empty())
            AddProxy(prefs, PROXY_SCRIPT_PREF, Utf8ToWide(script), findings);
        return;
    }
    if (type->value != "1")
        return;
    for (const char* hostPref : PROXY_HOST_PREFS) {
        std::string host = prefs.Text(hostPref);
        if (host.empty())
            continue;
        const PrefValue* port = prefs.Find(std::string(hostPref) + "_port");
        bool hasPort = port && !port->isString && port->value != "0";
        AddProxy(prefs, hostPref, Utf8ToWide(hasPort ? host + ":" + port->value : host), findings);
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
            grant.firefoxRowId = row.id;
            grant.firefoxModified = row.modificationTime;
            findings->sitePermissions.push_back({place, std::move(grant)});
        }
    }
}

}  // namespace

void ReviewFirefoxProfile(const ProfilePlace& place, const std::wstring& profileFolder, ReviewFindings* findings) {
    // As for Chromium: files are looked for only in a folder given in full.
    if (!IsFullPath(profileFolder))
        return;
    Prefs prefs = ReadPrefs(place, profileFolder, findings);
    AddHomePageFindings(place, prefs, findings);
    AddProxyFindings(prefs, findings);
    AddPermissionFindings(place, profileFolder, findings);
    AddAddonFindings(place, profileFolder, findings);
}
