#include "gui/gui.h"

namespace {

constexpr wchar_t STATUS_DONE[] = L"Done. Your browsers are clean - reopen one to start fresh.";
constexpr wchar_t STATUS_FILES_LOCKED[] = L"Some files were in use - close your browsers and try again.";

constexpr wchar_t LINK_TEXT[] = L"What keeps bringing pop-ups back?";
constexpr wchar_t LINK_TEXT_AFTER_FINDINGS[] = L"See what and how to stop it";

}  // namespace

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

WPARAM RunAndReview(const CleanupCall& run, const std::function<std::size_t()>& countFindings, CleanupResult* result) {
    WPARAM ending = RunAndClassify(run, &result->outcome);
    if (ending != CLEANUP_FINISHED && ending != CLEANUP_FILES_LOCKED && ending != CLEANUP_ITEMS_LEFT)
        return ending;
    try {
        result->findingsLeft = countFindings();
    } catch (...) {
        return CLEANUP_FAILED;
    }
    return ending;
}

std::wstring CompletionStatus(WPARAM ending, std::size_t findingsLeft, const std::wstring& leftByKind) {
    switch (ending) {
        case CLEANUP_ITEMS_LEFT:
            return L"Done, but some things were left as they were: " + leftByKind + L".";
        case CLEANUP_FILES_LOCKED:
            return STATUS_FILES_LOCKED;
        case CLEANUP_FAILED:
            return STATUS_FAILED;
        case CLEANUP_ALREADY_RUNNING:
            return ANOTHER_CLEANUP_RUNNING;
        case CLEANUP_LOCK_NOT_TAKEN:
            return NO_CLEANUP_LOCK;
        default:
            break;
    }
    if (findingsLeft == 0)
        return STATUS_DONE;
    if (findingsLeft == 1)
        return L"Done, but 1 thing can still bring pop-ups back.";
    return FormatWide(L"Done, but %zu things can still bring pop-ups back.", findingsLeft);
}

std::wstring FindingsLinkText(bool findingsLeft) {
    return findingsLeft ? LINK_TEXT_AFTER_FINDINGS : LINK_TEXT;
}
