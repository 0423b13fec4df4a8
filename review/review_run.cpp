#include "review/review_internal.h"

void NoteUnreadable(const ProfilePlace& place, const std::wstring& file, JsonLoad reason, ReviewFindings* findings) {
    if (reason != JsonLoad::Done && reason != JsonLoad::Missing)
        findings->unreadable.push_back({place, file, reason});
}

namespace {

// Where another program registered each extension it installed, as its fix finds it.
void NoteRegistrations(const LauncherRegistryRoots& roots, ReviewFindings* findings) {
    for (ExtensionFinding& finding : findings->extensions) {
        if (finding.installedBy != InstalledBy::OtherProgram)
            continue;
        for (const BrowserEntry& browser : GetBrowserCatalogue()) {
            if (!browser.reportName || finding.place.browser != browser.reportName)
                continue;
            std::vector<ExtensionRegistration> found = FindExtensionRegistrations(browser, finding.id, roots);
            if (!found.empty())
                finding.registeredAt = ExtensionRegistrationText(found.front());
        }
    }
}

}  // namespace

ReviewFindings CollectReview(const PolicyRoots& roots, const LauncherSources& launchers) {
    ReviewFindings findings;
    for (const BrowserProfile& profile : AllBrowserProfiles()) {
        ProfilePlace place = {profile.browser->reportName, profile.name};
        if (profile.browser->kind == BrowserKind::Firefox)
            ReviewFirefoxProfile(place, profile.folder, &findings);
        else
            ReviewChromiumProfile(place, profile.folder, &findings);
    }
    // An unread profiles.ini hides the profiles it names, which is not the same as none.
    if (std::optional<UnreadProfileList> unread = UnreadFirefoxProfileList()) {
        for (const BrowserEntry& browser : GetBrowserCatalogue()) {
            if (browser.kind == BrowserKind::Firefox)
                NoteUnreadable({browser.reportName, L""}, L"profiles.ini", JsonLoadOf(unread->reason), &findings);
        }
    }
    NoteRegistrations(launchers.registry, &findings);
    findings.policies = ReadBrowserPolicies(roots);
    ReviewFirefoxPolicyFiles(roots.firefoxFolders, &findings);
    NoteStartupOwners(&findings);
    LauncherFindings found = FindLaunchers(launchers);
    findings.launchers = std::move(found.launchers);
    // After the proxies that Firefox profiles set themselves, which are kept.
    findings.proxy.insert(findings.proxy.end(), found.proxy.begin(), found.proxy.end());
    findings.launcherProblems = std::move(found.problems);
    findings.taskSource = found.taskSource;
    findings.taskFilesFolder = std::move(found.taskFilesFolder);
    return findings;
}

std::size_t CountFindings(const ReviewFindings& findings) {
    return findings.sitePermissions.size() + findings.startup.size() + findings.extensions.size() +
           findings.policies.size() + findings.launchers.size() + findings.proxy.size();
}
