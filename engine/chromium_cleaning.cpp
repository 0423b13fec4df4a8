#include "engine/engine.h"

#include <windows.h>

namespace {

bool PathExists(const std::wstring& path) {
    return GetFileAttributesW(LongPathForm(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

// Files that hold the open tabs and the previous session.
const wchar_t* const kSessionFiles[] = {L"Current Session", L"Current Tabs", L"Last Session", L"Last Tabs"};
const wchar_t kSessionsFolder[] = L"Sessions";
// Files that hold the recent browsing history; kept in a tabs-only run.
const wchar_t* const kHistoryFiles[] = {L"History", L"History-journal", L"History-wal", L"History-shm",
                                        L"Visited Links"};

}  // namespace

bool IsProfileFolder(const std::wstring& folder) {
    return PathExists(folder + L"\\Preferences") || PathExists(folder + L"\\Secure Preferences") ||
           PathExists(folder + L"\\Extensions");
}

bool IsProfileFolderName(std::wstring_view name) {
    if (EqualsIgnoringAsciiCase(name, L"Default"))
        return true;
    // The browser numbers its profiles; "Profile 1 - Copy" is a backup Explorer made.
    constexpr std::wstring_view prefix = L"Profile ";
    if (name.size() == prefix.size() || !StartsWithIgnoringAsciiCase(name, prefix))
        return false;
    for (wchar_t c : name.substr(prefix.size())) {
        if (c < L'0' || c > L'9')
            return false;
    }
    return true;
}

void CleanChromiumProfile(const CleanupOptions& options, const std::wstring& profile) {
    for (const wchar_t* name : kSessionFiles)
        RemoveFile(options, profile + L"\\" + name);
    RemoveFolderTree(options, profile + L"\\" + kSessionsFolder);
    if (options.tabsOnly)
        return;
    for (const wchar_t* name : kHistoryFiles)
        RemoveFile(options, profile + L"\\" + name);
}

void CleanChromiumBrowser(const CleanupOptions& options,
                          const std::wstring& displayName,
                          const std::wstring& userDataFolder) {
    if (!IsExistingFolder(userDataFolder))
        return;
    WriteLine(options, FormatWide(L"Cleaning %ls ...", displayName.c_str()));
    if (IsProfileFolder(userDataFolder))
        CleanChromiumProfile(options, userDataFolder);
    ForEachFolderEntry(userDataFolder, [&](const std::wstring& name, uint32_t attributes) {
        if (!(attributes & FILE_ATTRIBUTE_DIRECTORY))
            return;
        std::wstring child = userDataFolder + L"\\" + name;
        if (IsProfileFolderName(name) && IsProfileFolder(child))
            CleanChromiumProfile(options, child);
    });
}
