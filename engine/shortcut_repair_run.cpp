// Repairing the browser shortcuts on their own, as one run under the one-run
// lock: no browser is closed (a shortcut is not theirs to write back) and
// nothing is deleted.
#include "engine/engine_parts.h"

CleanupOutcome RepairAllBrowserShortcuts(const CleanupOptions& options) {
    return RunUnderLock([&options](CleanupOutcome* outcome) {
        RepairBrowserShortcuts(options, SystemLauncherSources(), outcome);
        WriteLine(options, L"");
        WriteLine(options, FormatWide(L"Browser shortcuts repaired: %zu. Shortcuts left as they were: %zu.",
                                      outcome->shortcutsRepaired, outcome->shortcutsLeftAlone.size()));
    });
}
