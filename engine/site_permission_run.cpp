// Closing the browsers, then taking back what sites were allowed to do in every
// profile of every browser, as one run under the one-run lock. Nothing is deleted.
#include "engine/engine_parts.h"

CleanupOutcome TakeBackAllSitePermissions(const CleanupOptions& options) {
    return RunUnderLock([&options](CleanupOutcome* outcome) {
        const BrowserCatalogue& catalogue = GetBrowserCatalogue();

        WriteLine(options, L"Closing browsers...");
        // A running browser writes its settings back on exit and would undo the change.
        CloseBrowsers(options, catalogue);

        WriteLine(options, L"");
        WriteLine(options, L"Taking back what sites were allowed to do...");
        ChangeLog log;
        for (const BrowserEntry& browser : catalogue) {
            if (browser.kind == BrowserKind::Firefox) {
                std::vector<BrowserProfile> profiles = BrowserProfiles(browser);
                if (!profiles.empty())
                    WriteLine(options, FormatWide(L"Checking %ls ...", browser.displayName));
                for (const BrowserProfile& profile : profiles)
                    ResetFirefoxSitePermissions(options, {profile.folder, browser.reportName, profile.name}, &log,
                                                outcome);
                continue;
            }
            std::wstring userData = UserDataFolder(browser);
            if (userData.empty() || !IsExistingFolder(userData))
                continue;
            WriteLine(options, FormatWide(L"Checking %ls ...", browser.displayName));
            for (const BrowserProfile& profile : ChromiumProfiles(browser, userData))
                ResetSitePermissions(
                    options,
                    {profile.folder, browser.reportName ? browser.reportName : browser.displayName, profile.name}, &log,
                    outcome);
        }
        FinishChangeLog(&log);

        WriteLine(options, L"");
        WriteLine(options, FormatWide(L"Site permissions taken back: %zu. Settings files left alone: %zu.",
                                      outcome->permissionsTakenBack, outcome->settingsLeftAlone.size()));
    });
}
