#include "engine/engine_parts.h"

void CleanFirefox(const CleanupOptions& options, const BrowserEntry& firefox, CleanupOutcome* outcome, ChangeLog* log) {
    std::vector<BrowserProfile> profiles = BrowserProfiles(firefox);
    std::wstring profilesFolder = FirefoxProfilesFolder();
    std::optional<UnreadProfileList> unread = UnreadFirefoxProfileList();
    if (profiles.empty() && !unread && (profilesFolder.empty() || !IsExistingFolder(profilesFolder)))
        return;
    WriteLine(options, FormatWide(L"Cleaning %ls ...", firefox.displayName));
    // The profiles that an unread profiles.ini names are not cleaned: say so.
    if (unread) {
        WritePathLine(
            options,
            unread->reason == FileRead::TooLarge ? L"  (too large, not read) %ls" : L"  (unreadable, not read) %ls",
            unread->path);
        if (outcome)
            outcome->profileListsNotRead.push_back(unread->path);
    }
    ChangeLog own;
    ChangeLog* changes = log ? log : &own;
    const wchar_t* name = firefox.reportName ? firefox.reportName : firefox.displayName;
    for (const BrowserProfile& profile : profiles) {
        CleanFirefoxProfile(options, profile.folder, outcome);
        if (options.resetPermissions)
            ResetFirefoxSitePermissions(options, {profile.folder, name, profile.name}, changes, outcome);
    }
    FinishChangeLog(changes);
}

void CleanFirefoxProfile(const CleanupOptions& options, const std::wstring& profile, CleanupOutcome* outcome) {
    // The open windows and tabs, in the current and older formats, and the copy
    // kept for crash recovery; history (places.sqlite) is left alone.
    RemoveFile(options, profile + L"\\sessionstore.jsonlz4", outcome);
    RemoveFile(options, profile + L"\\sessionstore.js", outcome);
    RemoveFile(options, profile + L"\\recovery.jsonlz4", outcome);
    RemoveFolderTree(options, profile + L"\\sessionstore-backups", outcome);
}
