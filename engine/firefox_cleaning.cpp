#include "engine/engine_parts.h"

void CleanFirefox(const CleanupOptions& options, const BrowserEntry& firefox, CleanupOutcome* outcome) {
    std::vector<BrowserProfile> profiles = BrowserProfiles(firefox);
    std::wstring profilesFolder = FirefoxProfilesFolder();
    if (profiles.empty() && (profilesFolder.empty() || !IsExistingFolder(profilesFolder)))
        return;
    WriteLine(options, FormatWide(L"Cleaning %ls ...", firefox.displayName));
    for (const BrowserProfile& profile : profiles)
        CleanFirefoxProfile(options, profile.folder, outcome);
}

void CleanFirefoxProfile(const CleanupOptions& options, const std::wstring& profile, CleanupOutcome* outcome) {
    // The open windows and tabs, in the current and older formats, and the copy
    // kept for crash recovery; history (places.sqlite) is left alone.
    RemoveFile(options, profile + L"\\sessionstore.jsonlz4", outcome);
    RemoveFile(options, profile + L"\\sessionstore.js", outcome);
    RemoveFile(options, profile + L"\\recovery.jsonlz4", outcome);
    RemoveFolderTree(options, profile + L"\\sessionstore-backups", outcome);
}
