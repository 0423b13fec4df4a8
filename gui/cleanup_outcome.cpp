#include "gui/gui.h"

WPARAM RunAndClassify(const std::function<CleanupOutcome(const CleanupOptions&)>& run) {
    try {
        CleanupOutcome outcome = run(CleanupOptions());
        if (outcome.lockHeldElsewhere)
            return CLEANUP_ALREADY_RUNNING;
        return outcome.leftBehind.empty() ? CLEANUP_FINISHED : CLEANUP_FILES_LOCKED;
    } catch (...) {
        return CLEANUP_FAILED;
    }
}
