#include "engine/engine_testing.h"

void WriteLine(const CleanupOptions& options, const std::wstring& line) {
    if (options.log)
        options.log(line);
}

void WritePathLine(const CleanupOptions& options, const wchar_t* format, const std::wstring& path) {
    if (options.log)
        options.log(FormatWide(format, MaskUnsafeCharacters(path).c_str()));
}

std::size_t ItemsLeftBehind(const CleanupOutcome& outcome) {
    return outcome.leftBehind.size() + outcome.settingsLeftAlone.size() + outcome.linksLeftAlone.size() +
           outcome.profileListsNotRead.size();
}

namespace {

// The run; sources names where the shortcut repair looks, nullptr for the user's
// and the public folders (looked up only when the repair is asked for).
CleanupOutcome RunCleanupWith(const CleanupOptions& options, const LauncherSources* sources) {
    return RunUnderLock([&options, sources](CleanupOutcome* outcome) {
        const BrowserCatalogue& catalogue = GetBrowserCatalogue();

        WriteLine(options, L"Closing browsers...");
        CloseBrowsers(options, catalogue);
        ChangeLog log;  // one record for every change of the run

        WriteLine(options, L"");
        WriteLine(options,
                  options.tabsOnly ? L"Resetting open tabs..." : L"Resetting open tabs and clearing recent history...");
        for (const BrowserEntry& browser : catalogue) {
            if (browser.kind == BrowserKind::Firefox) {
                CleanFirefox(options, browser, outcome);
                continue;
            }
            std::wstring userData = UserDataFolder(browser);
            if (!userData.empty())
                CleanChromiumBrowser(options, browser, userData, outcome, &log);
        }
        if (options.repairShortcuts) {
            WriteLine(options, L"");
            RepairBrowserShortcuts(options, sources ? *sources : SystemLauncherSources(), outcome, &log);
        }

        WriteLine(options, L"");
        std::size_t left = ItemsLeftBehind(*outcome);
        if (left == 0 || options.preview)
            WriteLine(options, L"All done. Reopen your browser and it will start with a clean set of tabs.");
        else
            WriteLine(options, FormatWide(L"Finished, but %zu item(s) could not be cleaned. Close every browser "
                                          L"window and run PopSwat again.",
                                          left));
        if (!options.tabsOnly)
            WriteLine(options, L"If popups keep coming back, run \"popswat --audit\" to list installed extensions.");
    });
}

}  // namespace

CleanupOutcome RunCleanup(const CleanupOptions& options) {
    return RunCleanupWith(options, nullptr);
}

CleanupOutcome RunCleanupWithShortcutFolders(const CleanupOptions& options, const LauncherSources& sources) {
    return RunCleanupWith(options, &sources);
}
