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

std::wstring FolderOf(const std::wstring& path) {
    std::size_t slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash);
}

}  // namespace

FindingFix FixFor(const SitePermissionFinding& finding) {
    // Firefox keeps its grants in permissions.sqlite, which no fix changes yet.
    if (IsFirefoxPlace(finding.place))
        return {};
    return {FindFixKind("site-permission"), true, false};
}

FindingFix FixFor(const LauncherFinding& finding) {
    if (!ShortcutRepairWouldChange(finding) || ShortcutRepairKeepsFile(finding.location))
        return {};
    // The repair writes the new shortcut beside the old one and swaps them: it needs
    // to add and remove entries in the shortcut's folder (the public desktop and the
    // Start menu for all users need an administrator).
    return {FindFixKind("browser-shortcut"), true, !MayChangeFolderEntries(FolderOf(finding.location))};
}

FindingFix FixFor(const StartupFinding&) {
    return {};
}

FindingFix FixFor(const ExtensionFinding&) {
    return {};
}

FindingFix FixFor(const PolicyFinding&) {
    return {};
}

FindingFix FixFor(const ProxySetting&) {
    return {};
}
