#include "engine/engine.h"

void CleanFirefox(const CleanupOptions& options) {
    std::vector<std::wstring> profiles = FirefoxProfileFolders();
    std::wstring profilesFolder = FirefoxProfilesFolder();
    if (profiles.empty() && (profilesFolder.empty() || !IsExistingFolder(profilesFolder)))
        return;
    WriteLine(options, FormatWide(L"Cleaning Mozilla Firefox ..."));
    for (const std::wstring& profile : profiles)
        CleanFirefoxProfile(options, profile);
}

void CleanFirefoxProfile(const CleanupOptions& options, const std::wstring& profile) {
    // The open windows and tabs, in the current and older formats, and the copy
    // kept for crash recovery; history (places.sqlite) is left alone.
    RemoveFile(options, profile + L"\\sessionstore.jsonlz4");
    RemoveFile(options, profile + L"\\sessionstore.js");
    RemoveFile(options, profile + L"\\recovery.jsonlz4");
    RemoveFolderTree(options, profile + L"\\sessionstore-backups");
}
