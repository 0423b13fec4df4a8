// How a cleanup run ended, and what the status line and the link say after it.
#include "gui/gui.h"

WPARAM RunAndClassify(const CleanupCall& run, CleanupOutcome* record) {
    try {
        CleanupOutcome outcome = run(CleanupOptions());
        WPARAM ending = CLEANUP_FINISHED;
        if (outcome.lockHeldElsewhere)
            ending = outcome.lockNotTaken ? CLEANUP_LOCK_NOT_TAKEN : CLEANUP_ALREADY_RUNNING;
        else if (!outcome.inUse.empty())  // closing the browsers and running again may help
            ending = CLEANUP_FILES_LOCKED;
        else if (ItemsLeftBehind(outcome) > 0)  // a link, settings file or list of profiles stayed: it would again
            ending = CLEANUP_ITEMS_LEFT;
        if (record)
            *record = std::move(outcome);
        return ending;
    } catch (...) {
        return CLEANUP_FAILED;
    }
}

WPARAM RunAndReview(const CleanupCall& run, const ReviewCall& review, CleanupResult* result) {
    WPARAM ending = RunAndClassify(run, &result->outcome);
    if (ending != CLEANUP_FINISHED && ending != CLEANUP_FILES_LOCKED && ending != CLEANUP_ITEMS_LEFT)
        return ending;
    try {
        result->review = review();
    } catch (...) {
        result->review = ReviewResult();
        result->review.failed = true;
    }
    if (result->review.failed)
        return CLEANUP_FAILED;
    result->findingsLeft = result->review.count;
    return ending;
}

std::wstring CompletionStatus(WPARAM ending, std::size_t findingsLeft, const std::wstring& leftByKind) {
    switch (ending) {
        case CLEANUP_ITEMS_LEFT:
            return FormatText(IDS_STATUS_ITEMS_LEFT, {leftByKind});
        case CLEANUP_FILES_LOCKED:
            return LoadText(IDS_STATUS_FILES_LOCKED);
        case CLEANUP_FAILED:
            return LoadText(IDS_FAILED);
        case CLEANUP_ALREADY_RUNNING:
            return LoadText(IDS_ANOTHER_RUN);
        case CLEANUP_LOCK_NOT_TAKEN:
            return LoadText(IDS_NO_LOCK);
        default:
            break;
    }
    if (findingsLeft == 0)
        return LoadText(IDS_STATUS_DONE);
    if (findingsLeft == 1)
        return LoadText(IDS_STATUS_ONE_LEFT);
    return FormatText(IDS_STATUS_MANY_LEFT, {NumberText(findingsLeft)});
}

std::wstring FindingsLinkText(bool findingsLeft) {
    return LoadText(findingsLeft ? IDS_LINK_AFTER_FINDINGS : IDS_LINK);
}
