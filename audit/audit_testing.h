// The audit's lines for one browser or profile at a time, for tests and benchmarks.
#pragma once

#include <algorithm>
#include <string>

#include "audit/audit.h"

// Lists the extensions of every profile under one Chromium-family user-data folder.
inline void AuditChromiumBrowser(const CleanupOptions& options,
                                 const std::wstring& displayName,
                                 const std::wstring& userDataFolder) {
    BrowserEntry browser{displayName.c_str(), L"", BrowserKind::ChromiumFamily, L"", L"", displayName.c_str()};
    for (const BrowserProfile& profile : ChromiumProfiles(browser, userDataFolder))
        WriteAuditLines(options, InventoryChromiumProfile(displayName, profile.name, profile.folder));
}

// Lists the extensions of one profile folder, each line labelled with label.
inline void AuditChromiumProfile(const CleanupOptions& options,
                                 const std::wstring& label,
                                 const std::wstring& profileFolder) {
    WriteAuditLines(options, InventoryChromiumProfile(label, std::wstring(), profileFolder));
}

inline const BrowserEntry& FirefoxRow() {
    const BrowserCatalogue& catalogue = GetBrowserCatalogue();
    return *std::find_if(catalogue.begin(), catalogue.end(),
                         [](const BrowserEntry& row) { return row.kind == BrowserKind::Firefox; });
}

// Lists the add-ons of one Firefox profile folder.
inline void AuditFirefoxProfile(const CleanupOptions& options, const std::wstring& profileFolder) {
    WriteAuditLines(options, InventoryFirefoxProfile(FirefoxRow().reportName, profileFolder));
}

// Lists the add-ons of every Firefox profile (FirefoxProfileFolders).
inline void AuditFirefox(const CleanupOptions& options) {
    for (const BrowserProfile& profile : BrowserProfiles(FirefoxRow()))
        AuditFirefoxProfile(options, profile.folder);
}
