// Seams of the browser shutdown and the cleanup run that only tests use.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/engine_parts.h"

// Ids of the running processes of this Windows session whose image name equals
// imageName (ASCII case ignored), in snapshot order.
std::vector<uint32_t> FindProcessIds(const std::wstring& imageName);

// The closing phase for one browser.
inline void CloseBrowser(const CleanupOptions& options,
                         const std::wstring& displayName,
                         const std::wstring& imageName) {
    CloseBrowsers(options,
                  {BrowserEntry{displayName.c_str(), imageName.c_str(), BrowserKind::ChromiumFamily, L"", L""}});
}

// RunCleanup with the folders the shortcut repair looks in (shortcutFolders and
// startupFolders of sources) given, where RunCleanup looks in the user's and the
// public ones (SystemLauncherSources()): a test's run never touches a real
// Desktop or Start menu.
CleanupOutcome RunCleanupWithShortcutFolders(const CleanupOptions& options, const LauncherSources& sources);
