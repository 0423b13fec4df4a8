// Seams of the engine (the browser shutdown, the reset, the cleanup run) that only tests use.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/engine_parts.h"

// Called, when set, once ReplaceSettingsFile (the reset's new Preferences
// among others) has written and flushed the new file under its temporary name
// and before it reads that file back, with the file's path: a test plays
// another program that opens or changes the file meanwhile.
extern void (*resetWroteTemporaryFile)(const std::wstring& temporaryFile);

// Called, when set, right after each change a fix or a cleanup step made (before
// its entry is marked done), with the entry's index in the record: a test throws
// from it to stop the run there, as a power cut or a killed process would.
extern void (*changeMade)(std::size_t entry);
// Called, when set, once a shortcut rewrite has written and checked the new file
// and before it compares the old file's bytes once more, then again after that
// comparison and just before the swap, with the shortcut's path: a test plays
// another program that changes the shortcut meanwhile.
extern void (*shortcutRewriteBeforeLastCheck)(const std::wstring& path);
extern void (*shortcutRewriteBeforeSwap)(const std::wstring& path);

// Reads the Windows session of a process (ProcessIdToSessionId); false when it
// cannot be read. A test puts its own in place to report one of its stand-ins
// as a process of another session, which the shutdown must leave alone.
extern bool (*readProcessSession)(uint32_t processId, uint32_t* session);

// Whether this process is elevated (its token's TokenElevation); a test puts
// its own in place to play a process without administrator rights.
extern bool (*isProcessElevated)();

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
