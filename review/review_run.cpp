#include "review/review.h"

namespace {

std::wstring LastPathElement(const std::wstring& path) {
    return path.substr(path.find_last_of(L'\\') + 1);
}

}  // namespace

ReviewFindings CollectReview(const PolicyRoots& roots) {
    ReviewFindings findings;
    for (const BrowserEntry& browser : GetBrowserCatalogue()) {
        if (browser.kind == BrowserKind::Firefox) {
            for (const std::wstring& folder : FirefoxProfileFolders())
                ReviewFirefoxProfile({L"Firefox", LastPathElement(folder)}, folder, &findings);
            continue;
        }
        std::wstring userData = UserDataFolder(browser);
        for (const std::wstring& folder : ChromiumProfileFolders(userData)) {
            std::wstring profile = folder == userData ? std::wstring() : LastPathElement(folder);
            ReviewChromiumProfile({browser.displayName, profile}, folder, &findings);
        }
    }
    findings.policies = ReadBrowserPolicies(roots);
    return findings;
}
