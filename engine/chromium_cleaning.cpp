#include "engine/engine.h"

namespace {

// Files that hold the open tabs and the previous session.
const wchar_t* const SESSION_FILES[] = {L"Current Session", L"Current Tabs", L"Last Session", L"Last Tabs"};
const wchar_t SESSIONS_FOLDER[] = L"Sessions";
// Files that hold the recent browsing history; kept in a tabs-only run.
const wchar_t* const HISTORY_FILES[] = {L"History", L"History-journal", L"History-wal", L"History-shm",
                                        L"Visited Links"};

}  // namespace

void CleanChromiumProfile(const CleanupOptions& options, const std::wstring& profile) {
    for (const wchar_t* name : SESSION_FILES)
        RemoveFile(options, profile + L"\\" + name);
    RemoveFolderTree(options, profile + L"\\" + SESSIONS_FOLDER);
    if (options.tabsOnly)
        return;
    for (const wchar_t* name : HISTORY_FILES)
        RemoveFile(options, profile + L"\\" + name);
}

void CleanChromiumBrowser(const CleanupOptions& options,
                          const std::wstring& displayName,
                          const std::wstring& userDataFolder) {
    if (!IsExistingFolder(userDataFolder))
        return;
    WriteLine(options, FormatWide(L"Cleaning %ls ...", displayName.c_str()));
    for (const std::wstring& profile : ChromiumProfileFolders(userDataFolder)) {
        CleanChromiumProfile(options, profile);
        if (options.resetPermissions)
            ResetSitePermissions(options, profile);
    }
}
