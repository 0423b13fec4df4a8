#include "engine/engine_parts.h"

namespace {

// Files that hold the open tabs and the previous session.
const wchar_t* const SESSION_FILES[] = {L"Current Session", L"Current Tabs", L"Last Session", L"Last Tabs"};
const wchar_t SESSIONS_FOLDER[] = L"Sessions";
// Files that hold the recent browsing history; kept in a tabs-only run.
const wchar_t* const HISTORY_FILES[] = {L"History", L"History-journal", L"History-wal", L"History-shm",
                                        L"Visited Links"};

}  // namespace

void CleanChromiumProfile(const CleanupOptions& options, const std::wstring& profile, CleanupOutcome* outcome) {
    for (const wchar_t* name : SESSION_FILES)
        RemoveFile(options, profile + L"\\" + name, outcome);
    RemoveFolderTree(options, profile + L"\\" + SESSIONS_FOLDER, outcome);
    if (options.tabsOnly)
        return;
    for (const wchar_t* name : HISTORY_FILES)
        RemoveFile(options, profile + L"\\" + name, outcome);
}

void CleanChromiumBrowser(const CleanupOptions& options,
                          const BrowserEntry& browser,
                          const std::wstring& userDataFolder,
                          CleanupOutcome* outcome,
                          ChangeLog* log) {
    if (!IsExistingFolder(userDataFolder))
        return;
    ChangeLog own;
    ChangeLog* changes = log ? log : &own;
    WriteLine(options, FormatWide(L"Cleaning %ls ...", browser.displayName));
    for (const BrowserProfile& profile : ChromiumProfiles(browser, userDataFolder)) {
        CleanChromiumProfile(options, profile.folder, outcome);
        if (options.resetPermissions)
            ResetSitePermissions(
                options, {profile.folder, browser.reportName ? browser.reportName : browser.displayName, profile.name},
                changes, outcome);
    }
    FinishChangeLog(changes);
}
