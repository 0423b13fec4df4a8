#include "base/win_handles.h"
#include "gui/gui.h"
#include "gui/window_parts.h"

namespace {

constexpr wchar_t CONFIRM_RUN_TEXT[] =
    L"This will close ALL open browsers, reset their open tabs, and clear your recent history.\n\n"
    L"Your bookmarks and saved passwords are kept.\n\nContinue?";
constexpr wchar_t CONFIRM_RUN_CAPTION[] = L"Clean My Browsers";
constexpr wchar_t CONFIRM_CLOSE_TEXT[] = L"A cleanup is still running. Close anyway?";
constexpr wchar_t CONFIRM_CLOSE_CAPTION[] = L"PopSwat";

constexpr wchar_t STATUS_WORKING[] = L"Working... please wait.";
constexpr wchar_t STATUS_NOT_STARTED[] = L"Could not start.";
constexpr wchar_t STATUS_DONE[] = L"Done. Your browsers are clean - reopen one to start fresh.";
constexpr wchar_t STATUS_FILES_LOCKED[] = L"Some files were in use - close your browsers and try again.";
constexpr wchar_t STATUS_FAILED[] = L"Could not finish.";

void SetStatus(const wchar_t* text) {
    SetWindowTextW(guiState.statusLabel, text);
}

const wchar_t* StatusForOutcome(WPARAM outcome) {
    switch (outcome) {
        case CLEANUP_FILES_LOCKED:
            return STATUS_FILES_LOCKED;
        case CLEANUP_FAILED:
            return STATUS_FAILED;
        case CLEANUP_ALREADY_RUNNING:
            return ANOTHER_CLEANUP_RUNNING;
        default:
            return STATUS_DONE;
    }
}

}  // namespace

void StartCleanup(WPARAM wParam) {
    // The notification code in the high word is not looked at.
    if (LOWORD(wParam) != IDC_CLEAN_BUTTON || guiState.cleanupRunning)
        return;
    if (MessageBoxW(guiState.mainWindow, CONFIRM_RUN_TEXT, CONFIRM_RUN_CAPTION,
                    MB_YESNO | MB_ICONWARNING | MB_DEFBUTTON2) != IDYES)
        return;
    guiState.cleanupRunning = true;
    EnableWindow(guiState.cleanButton, FALSE);
    SetStatus(STATUS_WORKING);
    // The worker gets the window handle by value and answers only with a posted message.
    // Never joined, so the handle goes at once: the run reports back through
    // WM_CLEANUP_DONE, or ends with the process.
    UniqueHandle thread(CreateThread(nullptr, 0, CleanupWorker, guiState.mainWindow, 0, nullptr));
    if (thread)
        return;
    guiState.cleanupRunning = false;
    EnableWindow(guiState.cleanButton, TRUE);
    SetStatus(STATUS_NOT_STARTED);
}

DWORD WINAPI CleanupWorker(LPVOID parameter) {
    HWND window = static_cast<HWND>(parameter);
    // The run takes the one-run lock on this thread and lets it go before it returns.
    WPARAM outcome = RunAndClassify(RunCleanup);
    PostMessageW(window, WM_CLEANUP_DONE, outcome, 0);
    return 0;
}

void OnCleanupDone(WPARAM outcome) {
    guiState.cleanupRunning = false;
    EnableWindow(guiState.cleanButton, TRUE);
    SetStatus(StatusForOutcome(outcome));
}

void OnClose(HWND window) {
    if (guiState.cleanupRunning &&
        MessageBoxW(window, CONFIRM_CLOSE_TEXT, CONFIRM_CLOSE_CAPTION, MB_YESNO | MB_ICONQUESTION) != IDYES)
        return;
    // A worker still running is not waited for; it ends with the process.
    DestroyWindow(window);
}
