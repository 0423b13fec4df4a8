#include "engine/engine.h"

#include <windows.h>

void CleanFirefox(const CleanupOptions& options) {
    std::wstring profiles = FirefoxProfilesFolder();
    if (profiles.empty() || !IsExistingFolder(profiles))
        return;
    WriteLine(options, FormatWide(L"Cleaning Mozilla Firefox ..."));
    ForEachFolderEntry(profiles, [&](const std::wstring& name, uint32_t attributes) {
        if (attributes & FILE_ATTRIBUTE_DIRECTORY)
            CleanFirefoxProfile(options, profiles + L"\\" + name);
    });
}

void CleanFirefoxProfile(const CleanupOptions& options, const std::wstring& profile) {
    // The open windows and tabs, in the current and older formats, and the copy
    // kept for crash recovery; history (places.sqlite) is left alone.
    RemoveFile(options, profile + L"\\sessionstore.jsonlz4");
    RemoveFile(options, profile + L"\\sessionstore.js");
    RemoveFile(options, profile + L"\\recovery.jsonlz4");
    RemoveFolderTree(options, profile + L"\\sessionstore-backups");
}
