#include "engine/engine.h"

void WriteLine(const CleanupOptions& options, const std::wstring& line) {
    if (options.log)
        options.log(line);
}

void RunCleanup(const CleanupOptions& options) {
    const BrowserCatalogue& catalogue = GetBrowserCatalogue();

    WriteLine(options, L"Closing browsers...");
    CloseBrowsers(options, catalogue);

    WriteLine(options, L"");
    WriteLine(options,
              options.tabsOnly ? L"Resetting open tabs..." : L"Resetting open tabs and clearing recent history...");
    for (const BrowserEntry& browser : catalogue) {
        if (browser.kind == BrowserKind::Firefox) {
            CleanFirefox(options);
            continue;
        }
        std::wstring userData = UserDataFolder(browser);
        if (!userData.empty())
            CleanChromiumBrowser(options, browser.displayName, userData);
    }

    WriteLine(options, L"");
    WriteLine(options, L"All done. Reopen your browser and it will start with a clean set of tabs.");
    if (!options.tabsOnly)
        WriteLine(options, L"If popups keep coming back, run \"popswat --audit\" to list installed extensions.");
}
