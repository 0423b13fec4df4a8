// What a Chromium-family profile's settings say about pop-ups: sites allowed to
// notify, open pop-ups or download, start-up and home pages and the search
// engine, and the extensions that take these over or came from elsewhere.
#include "review/review_internal.h"

namespace {

// Pages of the browser itself, which no site controls.
bool IsBrowserPage(const std::wstring& url) {
    for (const wchar_t* scheme :
         {L"chrome:", L"chrome-search:", L"edge:", L"brave:", L"vivaldi:", L"opera:", L"about:"}) {
        if (StartsWithIgnoringAsciiCase(url, scheme))
            return true;
    }
    return url.empty();
}

void AddStartupFindings(const ProfilePlace& place, const ChromiumStartup& startup, ReviewFindings* findings) {
    auto own = [&](const std::wstring& url) { return IsBrowserPage(url) || IsBrowsersOwnAddress(place.browser, url); };
    for (const std::wstring& page : startup.startupPages) {
        if (!own(page))
            findings->startup.push_back({place, StartupKind::StartupPage, page, L"", startup.startupPagesFile});
    }
    if (!own(startup.homePage.value))
        findings->startup.push_back({place, StartupKind::HomePage, startup.homePage.value, L"", startup.homePage.file});
    // An engine picked from the browser's list, or one on its maker's site written without a prepopulate_id.
    const std::wstring& search = startup.searchUrl.value;
    if (!search.empty() && !startup.searchFromBrowserList && !IsBrowsersOwnAddress(place.browser, search))
        findings->startup.push_back(
            {place, StartupKind::SearchEngine, search, startup.searchName, startup.searchUrl.file});
}

// An extension is a finding when it takes over a page or was not installed from
// a store or with the browser.
void AddExtensionFindings(const ProfilePlace& place,
                          const std::vector<ChromiumExtension>& extensions,
                          ReviewFindings* findings) {
    for (const ChromiumExtension& extension : extensions) {
        bool expected = extension.installedBy == InstalledBy::Store || extension.installedBy == InstalledBy::BuiltIn;
        if (extension.overrides == 0 && expected)
            continue;
        ExtensionFinding finding;
        finding.place = place;
        finding.id = extension.id;
        finding.name = ResolveExtensionName(extension.folder, extension.name, extension.defaultLocale);
        finding.version = extension.version;
        finding.installedBy = extension.installedBy;
        finding.overrides = extension.overrides;
        finding.enabled = extension.enabled;
        finding.manifestRead = extension.manifestRead;
        findings->extensions.push_back(std::move(finding));
    }
}

}  // namespace

void ReviewChromiumProfile(const ProfilePlace& place, const std::wstring& profileFolder, ReviewFindings* findings) {
    // Files are looked for only in a folder given in full: "" would make
    // "\Preferences" a file at the root of the current drive.
    if (!IsFullPath(profileFolder))
        return;
    ChromiumProfileSettings settings = ReadChromiumProfileSettings(profileFolder);
    for (const UnusableFile& file : settings.unusable)
        NoteUnreadable(place, file.file, file.reason, findings);
    for (SitePermissionGrant& grant : settings.grants)
        findings->sitePermissions.push_back({place, std::move(grant)});
    AddStartupFindings(place, settings.startup, findings);
    AddExtensionFindings(place, settings.extensions, findings);
}
