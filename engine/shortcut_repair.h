// Repairing a browser shortcut: the web addresses and "--load-extension="
// arguments that adware appends are taken out, everything else stays.
#pragma once

#include <string>
#include <vector>

#include "engine/engine.h"

// One cleanup run's copies of the shortcuts it changes, kept in
// %LOCALAPPDATA%\PopSwat\Backups\<date>_<time> (such as "2026-12-07_143005"),
// made at the first copy: "1.lnk", "2.lnk", ... and "index.txt" with one UTF-8
// line "<copy's name><TAB><original full path>" per copy. Never beside the
// shortcut: a copy on the Desktop would be one more shortcut there.
struct ShortcutBackups {
    std::wstring folder;  // "" until the first copy is made
    unsigned copies = 0;
};

enum class ShortcutRepairOutcome {
    Repaired,
    WouldRepair,      // preview: nothing was touched
    NothingToRemove,  // no web address and no "--load-extension=" among its arguments
    LeftAlone         // could not or must not be changed: see reason
};

struct ShortcutRepair {
    ShortcutRepairOutcome outcome = ShortcutRepairOutcome::LeftAlone;
    std::vector<std::wstring> removed;  // the arguments taken out, as the browser reads them
    std::wstring arguments;             // the arguments it has now, or would have
    std::wstring backup;                // the copy of the old file
    std::wstring reason;                // why it was left alone
};

// Repairs one shortcut whose target is a catalogue browser's image: keeps a copy
// of the file in backups, then gives it its arguments without the web addresses
// and "--load-extension=" arguments (a "-url" before a removed address goes with
// it; "--app=" stays) and checks that every other field is as it was. A
// shortcut that is read-only, in use, in a folder without the right to write, or
// that cannot be copied first, is left exactly as it was. Writes one line:
// "  shortcut no longer opens <address>: <path>" (or "... no longer loads an
// extension from <folders>: ..."), with preview "  [preview] would make the
// shortcut no longer open ...", or "  shortcut left as it was (<reason>): <path>".
// COM must be initialised on the calling thread.
ShortcutRepair RepairBrowserShortcut(const CleanupOptions& options, const std::wstring& path, ShortcutBackups* backups);
