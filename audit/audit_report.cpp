#include "audit/audit.h"

void RunAudit(const CleanupOptions& options) {
    WriteLine(options, L"Installed browser extensions:");
    WriteLine(options, L"");
    for (const BrowserEntry& browser : GetBrowserCatalogue()) {
        if (browser.kind == BrowserKind::Firefox) {
            AuditFirefox(options);
            continue;
        }
        std::wstring userData = UserDataFolder(browser);
        if (!userData.empty())
            AuditChromiumBrowser(options, browser.displayName, userData);
    }
    WriteLine(options, L"");
    WriteLine(options, L"Anything marked \"side-loaded\" was NOT installed from a web store -- that");
    WriteLine(options, L"is a common way popup/adware sneaks in. Remove anything you don't recognise");
    WriteLine(options, L"from your browser's extensions page (chrome://extensions, edge://extensions,");
    WriteLine(options, L"or about:addons in Firefox).");
}
