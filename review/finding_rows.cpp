// The findings as rows of a list a person acts on: a group per kind, what it is
// in plain words, where it is, what the fix does, whether the fix is ticked, and
// the full details. Every word the list shows of a finding is made here; every
// text taken from a file or the registry is masked.
#include "review/review.h"

namespace {

// The groups in the order the list shows them.
const wchar_t* const GROUP_NAMES[FINDING_GROUP_COUNT] = {
    L"Sites that may notify or open pop-ups",
    L"Start-up, home and search pages",
    L"Extensions",
    L"Shortcuts, start-up entries and tasks that open a web page",
    L"Proxy settings",
    L"Browser policies",
};

constexpr wchar_t TAKE_BACK_TEXT[] = L"To take it back: \"Undo last fix\", or \"popswat --undo\".";
constexpr wchar_t NO_FIX_TEXT[] = L"PopSwat has no fix of its own for this: the report's advice says what to do.";
constexpr wchar_t ADMINISTRATOR_TEXT[] = L"The fix needs an administrator.";

// "Google Chrome, profile Default"; the browser alone when its folder is its profile.
std::wstring PlaceText(const ProfilePlace& place) {
    if (place.profile.empty())
        return MaskUnsafeCharacters(place.browser);
    return MaskUnsafeCharacters(place.browser + L", profile " + place.profile);
}

// "win-prize.example" of "https://win-prize.example:443,*".
std::wstring SiteName(const SitePermissionGrant& grant) {
    std::wstring origin = SiteOrigin(grant.site);
    std::size_t scheme = origin.find(L"://");
    return scheme == std::wstring::npos ? origin : origin.substr(scheme + 3);
}

const wchar_t* MayText(SitePermission permission) {
    switch (permission) {
        case SitePermission::Notifications:
            return L"may show notifications";
        case SitePermission::Popups:
            return L"may open pop-ups";
        case SitePermission::AutomaticDownloads:
            break;
    }
    return L"may download files on its own";
}

std::wstring WhatOf(const SitePermissionFinding& finding) {
    if (finding.grant.allSites)
        return std::wstring(L"Every site ") + MayText(finding.grant.permission);
    return MaskUnsafeCharacters(SiteName(finding.grant)) + L" " + MayText(finding.grant.permission);
}

std::wstring WhatOf(const StartupFinding& finding) {
    std::wstring value = MaskUnsafeCharacters(finding.value);
    switch (finding.kind) {
        case StartupKind::StartupPage:
            return L"Opens " + value + L" at every start";
        case StartupKind::HomePage:
            return finding.source == L"user.js" ? L"Home page is " + value + L", set again at every start"
                                                : L"Home page is " + value;
        case StartupKind::SearchEngine:
            break;
    }
    if (finding.label.empty())
        return L"Searches with " + value;
    return L"Searches with " + MaskUnsafeCharacters(finding.label) + L" (" + value + L")";
}

std::wstring WhatOf(const ExtensionFinding& finding) {
    std::wstring text =
        finding.name.empty() ? std::wstring(L"An extension of unknown name") : MaskUnsafeCharacters(finding.name);
    const std::pair<unsigned, const wchar_t*> takesOver[] = {{OVERRIDES_HOME_PAGE, L"the home page"},
                                                             {OVERRIDES_STARTUP_PAGES, L"the start-up pages"},
                                                             {OVERRIDES_NEW_TAB, L"the new tab page"},
                                                             {OVERRIDES_SEARCH_ENGINE, L"the search engine"}};
    const wchar_t* separator = L" takes over ";
    for (const auto& part : takesOver) {
        if (finding.overrides & part.first) {
            text += separator;
            text += part.second;
            separator = L", ";
        }
    }
    if (finding.overrides == 0)
        text += std::wstring(L", ") + InstalledByText(finding.installedBy);
    if (!finding.enabled)
        text += L" (turned off)";
    return text;
}

std::wstring WhatOf(const PolicyFinding& finding) {
    std::wstring value = MaskUnsafeCharacters(finding.value);
    switch (finding.effect) {
        case PolicyEffect::ForcesExtension:
            return L"Forces an extension onto the browser: " + value;
        case PolicyEffect::ControlsExtensions:
            return L"Decides which extensions are installed: " + value;
        case PolicyEffect::HomePage:
            return L"Sets the home page: " + value;
        case PolicyEffect::StartupPages:
            return L"Sets the start-up pages: " + value;
        case PolicyEffect::NewTabPage:
            return L"Sets the new tab page: " + value;
        case PolicyEffect::SearchEngine:
            return L"Sets the search engine: " + value;
        case PolicyEffect::Other:
            break;
    }
    return L"Sets " + MaskUnsafeCharacters(finding.name) + L" to " + value;
}

// The file's name without its folder and its ".lnk" or ".url".
std::wstring ShortcutName(const std::wstring& path) {
    std::wstring name = path.substr(path.find_last_of(L"\\/") + 1);
    std::size_t dot = name.find_last_of(L'.');
    return dot == std::wstring::npos || dot == 0 ? name : name.substr(0, dot);
}

const wchar_t* WhenText(const LauncherFinding& finding) {
    switch (finding.kind) {
        case LauncherKind::Shortcut:
            return L" when the shortcut is used";
        case LauncherKind::StartupItem:
        case LauncherKind::RunValue:
            return L" at every log-on";
        case LauncherKind::ScheduledTask:
            break;
    }
    return L" when the task runs";
}

std::wstring WhatOf(const LauncherFinding& finding) {
    std::wstring text;
    if (finding.namedAfterBrowser)
        text = L"Named after " + finding.browser + L" but starts " + ShortcutName(finding.program);
    else if (!finding.url.empty())
        text = (finding.opensAsApp ? L"Opens the site " + finding.url + L" as an app" : L"Opens " + finding.url) +
               WhenText(finding);
    else if (finding.loadsExtension)
        text = L"Loads an extension into " + (finding.browser.empty() ? std::wstring(L"the browser") : finding.browser);
    else if (!finding.homePage.empty())
        text = L"Sets the home page to " + finding.homePage;
    else if (!finding.trafficThrough.empty())
        text = L"Sends web traffic through " + finding.trafficThrough;
    else
        text = L"Starts " + ShortcutName(finding.program);
    if (finding.kind == LauncherKind::ScheduledTask && !finding.enabled)
        text += L" (turned off)";
    return MaskUnsafeCharacters(text);
}

std::wstring WhereOf(const LauncherFinding& finding) {
    switch (finding.kind) {
        case LauncherKind::Shortcut:
            return L"Shortcut \"" + MaskUnsafeCharacters(ShortcutName(finding.location)) + L"\"";
        case LauncherKind::StartupItem:
            return L"Startup folder";
        case LauncherKind::RunValue:
            return finding.location.rfind(L"HKEY_LOCAL_MACHINE\\", 0) == 0 ? L"Start-up entry for every user"
                                                                           : L"Start-up entry";
        case LauncherKind::ScheduledTask:
            break;
    }
    return L"Task Scheduler";
}

bool IsProxyScript(const ProxySetting& setting) {
    return setting.setting == L"AutoConfigURL" || setting.setting == L"network.proxy.autoconfig_url";
}

std::wstring WhatOf(const ProxySetting& setting) {
    std::wstring value = MaskUnsafeCharacters(setting.value);
    return IsProxyScript(setting) ? L"Web traffic goes where a script sends it: " + value
                                  : L"Web traffic goes through " + value;
}

std::wstring WhereOf(const ProxySetting& setting) {
    return setting.setting.rfind(L"network.proxy.", 0) == 0 ? L"Firefox's proxy settings" : L"Windows' proxy settings";
}

// "Label: value" lines, masked, CR LF after each.
using DetailLines = std::initializer_list<std::pair<const wchar_t*, std::wstring>>;

std::wstring Lines(DetailLines lines) {
    std::wstring text;
    for (const auto& line : lines) {
        if (!line.second.empty())
            text += std::wstring(line.first) + L": " + MaskUnsafeCharacters(line.second) + L"\r\n";
    }
    return text;
}

std::wstring DetailsOf(const SitePermissionFinding& finding) {
    return Lines({{L"Site", finding.grant.allSites ? std::wstring(L"every site") : finding.grant.site},
                  {L"Allowed", Utf8ToWide(SitePermissionName(finding.grant.permission))},
                  {L"Browser", finding.place.browser},
                  {L"Profile folder", finding.place.profile}});
}

std::wstring DetailsOf(const StartupFinding& finding) {
    return Lines({{L"Address", finding.value},
                  {L"Search engine", finding.label},
                  {L"Browser", finding.place.browser},
                  {L"Profile folder", finding.place.profile},
                  {L"Settings file", finding.source}});
}

std::wstring DetailsOf(const ExtensionFinding& finding) {
    return Lines({{L"Extension", finding.name},
                  {L"Extension id", finding.id},
                  {L"Version", finding.version},
                  {L"How it came", InstalledByText(finding.installedBy)},
                  {L"Browser", finding.place.browser},
                  {L"Profile folder", finding.place.profile}});
}

std::wstring DetailsOf(const PolicyFinding& finding) {
    if (!finding.file.empty())
        return Lines({{L"Policy", finding.name},
                      {L"Data", finding.value},
                      {L"Browser", finding.browser},
                      {L"File", finding.file + L" (every user)"},
                      {L"Moved with the file by the fix of", finding.movesFile ? L"" : finding.fileFixId}});
    return Lines({{L"Policy value", finding.name},
                  {L"Data", finding.value},
                  {L"Browser", finding.browser},
                  {L"Registry", finding.machine ? L"HKEY_LOCAL_MACHINE\\SOFTWARE\\Policies (every user)"
                                                : L"HKEY_CURRENT_USER\\SOFTWARE\\Policies (this user)"}});
}

std::wstring DetailsOf(const LauncherFinding& finding) {
    const wchar_t* place = finding.kind == LauncherKind::RunValue        ? L"Registry value"
                           : finding.kind == LauncherKind::ScheduledTask ? L"Task"
                                                                         : L"File";
    return Lines({{place, finding.location},
                  {L"Command", finding.command},
                  {L"Web address", finding.url},
                  {L"When", finding.trigger}});
}

std::wstring DetailsOf(const ProxySetting& setting) {
    return Lines({{L"Setting", setting.setting}, {L"Value", setting.value}, {L"Where", setting.location}});
}

std::wstring WhereOf(const SitePermissionFinding& finding) {
    return PlaceText(finding.place);
}
std::wstring WhereOf(const StartupFinding& finding) {
    return PlaceText(finding.place);
}
std::wstring WhereOf(const ExtensionFinding& finding) {
    return PlaceText(finding.place);
}
std::wstring WhereOf(const PolicyFinding& finding) {
    if (!finding.file.empty())
        return MaskUnsafeCharacters(finding.browser) + L", policies.json for every user";
    return MaskUnsafeCharacters(finding.browser) + (finding.machine ? L", policy for every user" : L", user policy");
}

// What the fix does, in the kind's words.
template <typename Finding>
std::wstring FixText(const Finding&, const FindingFix& fix) {
    return fix.kind->action;
}
std::wstring FixText(const PolicyFinding& finding, const FindingFix& fix) {
    if (finding.file.empty() || !finding.fileHoldsOthers)
        return fix.kind->action;
    return std::wstring(fix.kind->action) +
           L" It also sets other policies, perhaps an administrator's, which go with it.";
}

template <typename Finding>
void AddRows(FindingGroup group, const std::vector<Finding>& findings, std::vector<FindingRow>* rows) {
    for (const Finding& finding : findings) {
        FindingFix fix = FixFor(finding);
        FindingRow row;
        row.group = group;
        row.what = WhatOf(finding);
        row.where = WhereOf(finding);
        row.findingId = FindingId(finding);
        row.details = DetailsOf(finding) + L"Id: " + row.findingId + L"\r\n";
        if (fix.kind) {
            row.fix = FixText(finding, fix);
            row.check = fix.recommended ? RowCheck::Ticked : RowCheck::Clear;
            row.administrator = fix.administrator;
            row.details += L"\r\nFix: " + row.fix + L"\r\n" +
                           (fix.kind->closesBrowsers ? L"The browsers are closed first.\r\n" : L"") +
                           (fix.administrator ? std::wstring(ADMINISTRATOR_TEXT) + L"\r\n" : L"") + TAKE_BACK_TEXT +
                           L"\r\n";
        } else {
            row.details += std::wstring(L"\r\n") + NO_FIX_TEXT + L"\r\n";
        }
        rows->push_back(std::move(row));
    }
}

}  // namespace

const wchar_t* FindingGroupName(FindingGroup group) {
    int index = static_cast<int>(group);
    return index >= 0 && index < FINDING_GROUP_COUNT ? GROUP_NAMES[index] : L"";
}

std::vector<FindingRow> FindingRows(const ReviewFindings& findings) {
    std::vector<FindingRow> rows;
    AddRows(FindingGroup::Sites, findings.sitePermissions, &rows);
    AddRows(FindingGroup::StartPages, findings.startup, &rows);
    AddRows(FindingGroup::Extensions, findings.extensions, &rows);
    AddRows(FindingGroup::Launchers, findings.launchers, &rows);
    AddRows(FindingGroup::Proxy, findings.proxy, &rows);
    AddRows(FindingGroup::Policies, findings.policies, &rows);
    return rows;
}
