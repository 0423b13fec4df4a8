#include "base/win_handles.h"
#include "gui/gui.h"
#include "gui/window_parts.h"

namespace {

void SetStatus(const std::wstring& text) {
    SetWindowTextW(guiState.statusLabel, text.c_str());
}

}  // namespace

void StartCleanup(WPARAM wParam) {
    // The notification code in the high word is not looked at.
    if (LOWORD(wParam) != IDC_CLEAN_BUTTON || guiState.cleanupRunning)
        return;
    if (MessageBoxW(guiState.mainWindow, LoadText(IDS_CONFIRM_RUN).c_str(), LoadText(IDS_CONFIRM_RUN_CAPTION).c_str(),
                    MB_YESNO | MB_ICONWARNING | MB_DEFBUTTON2) != IDYES)
        return;
    guiState.cleanupRunning = true;
    EnableWindow(guiState.cleanButton, FALSE);
    SetStatus(LoadText(IDS_WORKING));
    // The run reports back through WM_CLEANUP_DONE, or ends with the process.
    if (StartWorker(CleanupWorker, guiState.mainWindow))
        return;
    guiState.cleanupRunning = false;
    EnableWindow(guiState.cleanButton, TRUE);
    SetStatus(LoadText(IDS_NOT_STARTED));
}

DWORD WINAPI CleanupWorker(LPVOID parameter) {
    auto result = std::make_unique<CleanupResult>();
    // The run takes the one-run lock on this thread and lets it go before it returns;
    // the review after it finds what the run could not take away.
    WPARAM ending = RunAndReview(RunCleanup, ReviewForWindow, result.get());
    PostResult(static_cast<HWND>(parameter), WM_CLEANUP_DONE, ending, std::move(result));
    return 0;
}

void OnCleanupDone(WPARAM outcome, LPARAM result) {
    // Not posted by the worker when there is no result: then nothing is known to be left.
    std::unique_ptr<CleanupResult> posted = TakeResult<CleanupResult>(result);
    std::size_t findingsLeft = posted ? posted->findingsLeft : 0;
    std::wstring leftByKind = posted ? LeftBehindByKind(posted->outcome) : std::wstring();
    guiState.cleanupRunning = false;
    EnableWindow(guiState.cleanButton, TRUE);
    SetStatus(CompletionStatus(outcome, findingsLeft, leftByKind));
    if (outcome == CLEANUP_FINISHED)
        SetFindingsLinkText(FindingsLinkText(findingsLeft > 0));
    // The findings window opened next lists what this review found, without a review of its own.
    if (posted && (outcome == CLEANUP_FINISHED || outcome == CLEANUP_FILES_LOCKED || outcome == CLEANUP_ITEMS_LEFT))
        KeepRunReview(std::make_unique<ReviewResult>(std::move(posted->review)));
}

bool StartWorker(LPTHREAD_START_ROUTINE worker, void* parameter) {
    // Never joined, so the handle goes at once.
    UniqueHandle thread(CreateThread(nullptr, 0, worker, parameter, 0, nullptr));
    return thread.valid();
}

bool AskToCloseDuringWork(HWND window) {
    return MessageBoxW(window, LoadText(IDS_CLOSE_DURING_WORK).c_str(), LoadText(IDS_CAPTION).c_str(),
                       MB_YESNO | MB_ICONQUESTION) == IDYES;
}

void OnClose(HWND window) {
    // Closing this window ends the program, a repair of the findings window included.
    if ((guiState.cleanupRunning || RepairRunning()) && !AskToCloseDuringWork(window))
        return;
    // A worker still running is not waited for; it ends with the process.
    DestroyWindow(window);
}
