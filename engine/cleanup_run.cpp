#include "engine/engine_testing.h"

#include <algorithm>

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
           outcome.profileListsNotRead.size() + outcome.shortcutsLeftAlone.size();
}

std::wstring LeftBehindByKind(const CleanupOutcome& outcome) {
    std::size_t inUse = outcome.inUse.size();
    // Every item held open is a file, a tree or a settings file: it counts once, as in use.
    std::size_t settingsInUse = 0;
    for (const std::wstring& item : outcome.inUse)
        settingsInUse += std::count(outcome.settingsLeftAlone.begin(), outcome.settingsLeftAlone.end(), item) > 0;
    struct Kind {
        std::size_t count;
        const wchar_t* one;
        const wchar_t* many;
    };
    const Kind kinds[] = {
        {inUse, L"file or folder in use", L"files or folders in use"},
        {outcome.leftBehind.size() - (inUse - settingsInUse), L"file or folder not deleted",
         L"files or folders not deleted"},
        {outcome.settingsLeftAlone.size() - settingsInUse, L"settings file left alone", L"settings files left alone"},
        {outcome.shortcutsLeftAlone.size(), L"browser shortcut left as it was", L"browser shortcuts left as they were"},
        {outcome.linksLeftAlone.size(), L"link left alone", L"links left alone"},
        {outcome.profileListsNotRead.size(), L"list of profiles not read", L"lists of profiles not read"},
    };
    std::wstring text;
    for (const Kind& kind : kinds) {
        if (kind.count == 0)
            continue;
        if (!text.empty())
            text += L", ";
        text += std::to_wstring(kind.count) + L" " + (kind.count == 1 ? kind.one : kind.many);
    }
    return text;
}

namespace {

// The first sentence counts what was left; the browser advice follows only when
// something was held open, since running again helps with nothing else.
void WriteClosingAdvice(const CleanupOptions& options, const CleanupOutcome& outcome) {
    std::wstring line = FormatWide(L"Finished, but %zu item(s) could not be cleaned.", ItemsLeftBehind(outcome));
    if (!outcome.inUse.empty())
        line += L" Close every browser window and run PopSwat again.";
    else
        line += L" The lines above say why.";
    WriteLine(options, line);
    WriteLine(options, L"Left: " + LeftBehindByKind(outcome) + L".");
}

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
                CleanFirefox(options, browser, outcome, &log);
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
            WriteClosingAdvice(options, *outcome);
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
