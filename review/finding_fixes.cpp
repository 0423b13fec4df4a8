// Which fix PopSwat has for a finding, whether it is recommended and whether it
// needs rights this process lacks. A finding the fix would not change has none:
// the review never promises what the fix would not do.
#include "review/review.h"

namespace {

bool IsFirefoxPlace(const ProfilePlace& place) {
    for (const BrowserEntry& browser : GetBrowserCatalogue()) {
        if (browser.kind == BrowserKind::Firefox && browser.reportName && place.browser == browser.reportName)
            return true;
    }
    return false;
}

// A profile's user.js or prefs.js, where the review finds Firefox's proxies.
bool IsFirefoxPrefsFile(const std::wstring& location) {
    return IsFullPath(location) &&
           (EndsWithIgnoringAsciiCase(location, L"\\user.js") || EndsWithIgnoringAsciiCase(location, L"\\prefs.js"));
}

// The folder of a Firefox profile, from its place: the profile walk's folder of that name.
std::wstring FirefoxProfileFolderOf(const ProfilePlace& place) {
    for (const BrowserProfile& profile : AllBrowserProfiles()) {
        if (profile.browser->kind == BrowserKind::Firefox && profile.browser->reportName &&
            place.browser == profile.browser->reportName && profile.name == place.profile)
            return profile.folder;
    }
    return std::wstring();
}

}  // namespace

FindingFix FixFor(const SitePermissionFinding&) {
    // Chromium's grants are taken out of Preferences, Firefox's rows out of permissions.sqlite.
    return {FindFixKind("site-permission"), true, false};
}

FindingFix FixFor(const LauncherFinding& finding) {
    // A Run value is deleted and a Startup item moved away (both kept to put
    // back): either only starts something at log-on, which is what is wrong.
    if (finding.kind == LauncherKind::RunValue)
        return {FindFixKind("run-value"), true,
                NeedsAdministrator(finding.location.rfind(L"HKEY_LOCAL_MACHINE\\", 0) == 0)};
    if (finding.kind == LauncherKind::StartupItem)
        return {FindFixKind("startup-item"), true, !MayChangeFolderEntries(FolderOfPath(finding.location))};
    // A task is turned off, not deleted: it then starts nothing, and can be turned on again.
    if (finding.kind == LauncherKind::ScheduledTask)
        return {FindFixKind("scheduled-task"), true,
                NeedsAdministrator(TaskNeedsElevation(finding.location, finding.runsAs, finding.runsAsGroup))};
    if (!ShortcutRepairWouldChange(finding) || ShortcutRepairKeepsFile(finding.location))
        return {};
    // The repair writes the new shortcut beside the old one and swaps them: it needs
    // to add and remove entries in the shortcut's folder (the public desktop and the
    // Start menu for all users need an administrator).
    return {FindFixKind("browser-shortcut"), true, !MayChangeFolderEntries(FolderOfPath(finding.location))};
}

FindingFix FixFor(const StartupFinding& finding) {
    // A page a policy sets is the policy's to fix; one an extension takes over
    // comes back while the extension is there.
    if (finding.setByPolicy || finding.ownedByExtension)
        return {};
    // Firefox's home page is a statement of user.js or prefs.js.
    return {FindFixKind(IsFirefoxPlace(finding.place) ? "firefox-prefs" : "startup-page"), true, false};
}

FindingFix FixFor(const ExtensionFinding& finding) {
    // The registration deleted, the browser removes the extension at its next
    // start: recommended for one that takes over a page a person starts from.
    if (finding.registeredAt.empty())
        return {};
    bool hijacks = finding.overrides & (OVERRIDES_HOME_PAGE | OVERRIDES_STARTUP_PAGES | OVERRIDES_SEARCH_ENGINE);
    return {FindFixKind("extension-registration"), hijacks,
            NeedsAdministrator(finding.registeredAt.rfind(L"HKEY_LOCAL_MACHINE\\", 0) == 0)};
}

FindingFix FixFor(const PolicyFinding& finding) {
    // A policies.json is moved whole, by the fix of its first finding that sets
    // a page; recommended when it sets nothing an administrator would.
    if (!finding.file.empty()) {
        if (!finding.movesFile)
            return {};
        return {FindFixKind("firefox-policies-file"), !finding.fileHoldsOthers,
                NeedsAdministrator(!MayChangeFolderEntries(FolderOfPath(finding.file)))};
    }
    // Deleting the one value stops what it forces; an organisation may have set
    // it, so only a person who chose it fixes it. The policy keys take an
    // administrator, the user's too.
    switch (finding.effect) {
        case PolicyEffect::ForcesExtension:
        case PolicyEffect::HomePage:
        case PolicyEffect::StartupPages:
        case PolicyEffect::NewTabPage:
        case PolicyEffect::SearchEngine:
            return {FindFixKind("policy-value"), false, NeedsAdministrator(true)};
        case PolicyEffect::ControlsExtensions:
        case PolicyEffect::Other:
            break;
    }
    return {};
}

FindingFix FixFor(const ProxySetting& finding) {
    // A proxy of a Firefox profile's own settings goes with its statements.
    if (IsFirefoxPrefsFile(finding.location))
        return {FindFixKind("firefox-prefs"), true, false};
    // Else only the user's own settings in the registry. Not recommended: an
    // organisation may have set it.
    if (finding.setting != L"ProxyServer" && finding.setting != L"AutoConfigURL")
        return {};
    return {FindFixKind("proxy"), false, false};
}

namespace {

// The finding's fix, its id and whether it is recommended; no kind when it has no fix.
template <typename Finding>
FixTarget TargetOf(const Finding& finding) {
    FindingFix fix = FixFor(finding);
    FixTarget target;
    if (!fix.kind)
        return target;
    target.kind = fix.kind;
    target.findingId = FindingId(finding);
    target.recommended = fix.recommended;
    return target;
}

}  // namespace

std::vector<FixTarget> FixTargets(const ReviewFindings& findings) {
    std::vector<FixTarget> targets;
    for (const SitePermissionFinding& finding : findings.sitePermissions) {
        FixTarget target = TargetOf(finding);
        if (!target.kind)
            continue;
        target.browser = finding.place.browser;
        target.profile = finding.place.profile;
        target.grant = finding.grant;
        std::wstring what = Utf8ToWide(SitePermissionName(finding.grant.permission));
        target.description =
            ProfileLabel(finding.place.browser, finding.place.profile) + L": " + what +
            (finding.grant.allSites ? std::wstring(L" allowed for every site")
                                    : L" allowed: " + MaskUnsafeCharacters(SiteOrigin(finding.grant.site)));
        targets.push_back(std::move(target));
    }
    for (const StartupFinding& finding : findings.startup) {
        FixTarget target = TargetOf(finding);
        if (!target.kind)
            continue;
        target.browser = finding.place.browser;
        target.profile = finding.place.profile;
        if (std::string_view(target.kind->name) == "firefox-prefs") {
            // Firefox applies user.js over prefs.js: both lose the statement.
            target.location = FirefoxProfileFolderOf(finding.place);
            target.prefNames = {"browser.startup.homepage"};
        }
        const wchar_t* what = L"start-up page ";
        if (finding.kind == StartupKind::StartupPage) {
            target.startupSettings = SETTING_STARTUP_PAGES;
        } else if (finding.kind == StartupKind::HomePage) {
            target.startupSettings = SETTING_HOME_PAGE;
            what = L"home page ";
        } else {
            target.startupSettings = SETTING_SEARCH_ENGINE;
            what = L"search engine ";
        }
        target.description = ProfileLabel(finding.place.browser, finding.place.profile) + L": " + what +
                             MaskUnsafeCharacters(finding.value);
        targets.push_back(std::move(target));
    }
    for (const LauncherFinding& finding : findings.launchers) {
        FixTarget target = TargetOf(finding);
        if (!target.kind)
            continue;
        if (finding.kind == LauncherKind::Shortcut)
            target.shortcut = finding.location;
        target.location = finding.location;
        target.command = finding.command;
        const wchar_t* what = finding.kind == LauncherKind::RunValue        ? L"start-up value "
                              : finding.kind == LauncherKind::StartupItem   ? L"Startup item "
                              : finding.kind == LauncherKind::ScheduledTask ? L"scheduled task "
                                                                            : L"shortcut ";
        target.description = what + MaskUnsafeCharacters(finding.location) +
                             (finding.url.empty() ? std::wstring() : L" opens " + MaskUnsafeCharacters(finding.url));
        targets.push_back(std::move(target));
    }
    for (const ExtensionFinding& finding : findings.extensions) {
        FixTarget target = TargetOf(finding);
        if (!target.kind)
            continue;
        target.location = finding.registeredAt;
        target.command = finding.id;
        target.description = ProfileLabel(finding.place.browser, finding.place.profile) + L": extension " +
                             MaskUnsafeCharacters(finding.name.empty() ? finding.id : finding.name) +
                             L" registered in " + MaskUnsafeCharacters(finding.registeredAt);
        targets.push_back(std::move(target));
    }
    std::vector<std::wstring> movedFiles;
    for (const PolicyFinding& finding : findings.policies) {
        FixTarget target = TargetOf(finding);
        if (!target.kind)
            continue;
        if (!finding.file.empty()) {
            // One target per file, however many of its findings there are: the file moves once.
            bool seen = false;
            for (const std::wstring& file : movedFiles)
                seen |= SamePath(file, finding.file);
            if (seen)
                continue;
            movedFiles.push_back(finding.file);
            target.location = finding.file;
            target.command = finding.fileDigest;
            target.description = L"Firefox's " + MaskUnsafeCharacters(finding.file) + L" (" +
                                 MaskUnsafeCharacters(finding.name) + L" = " + MaskUnsafeCharacters(finding.value) +
                                 (finding.fileHoldsOthers ? L", and other policies)" : L")");
            targets.push_back(std::move(target));
            continue;
        }
        target.location = finding.location;
        target.command = finding.value;
        target.description = L"policy " + finding.browser + (finding.machine ? L" (machine) " : L" (user) ") +
                             MaskUnsafeCharacters(finding.name) + L" = " + MaskUnsafeCharacters(finding.value);
        targets.push_back(std::move(target));
    }
    for (const ProxySetting& finding : findings.proxy) {
        FixTarget target = TargetOf(finding);
        if (!target.kind)
            continue;
        if (std::string_view(target.kind->name) == "firefox-prefs") {
            // network.proxy.type chooses the proxy; without it Firefox uses the system's settings.
            target.location = FolderOfPath(finding.location);
            std::string name = WideToUtf8(finding.setting);
            target.prefNames = {"network.proxy.type", name};
            if (name != "network.proxy.autoconfig_url")
                target.prefNames.push_back(name + "_port");
            target.description = L"Firefox proxy " + MaskUnsafeCharacters(finding.value) + L" in " +
                                 MaskUnsafeCharacters(finding.location);
        } else {
            target.location = finding.location;
            target.command = finding.value;
            target.description = MaskUnsafeCharacters(
                (finding.setting == L"ProxyServer" ? L"proxy server " : L"proxy script ") + finding.value);
        }
        targets.push_back(std::move(target));
    }
    return targets;
}
