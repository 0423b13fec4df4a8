// What the findings window does: the review and the repairs (taking back site
// permissions, repairing browser shortcuts) on worker threads (one at a time),
// the summary, the report, the buttons, the clipboard and closing.
#include "engine/engine.h"
#include "gui/gui.h"
#include "gui/window_parts.h"

#include <cstring>

namespace {

constexpr wchar_t STATUS_LOOKING[] = L"Looking for what brings pop-ups back...";
constexpr wchar_t STATUS_TAKING_BACK[] = L"Closing the browsers and taking back site permissions...";
constexpr wchar_t STATUS_FIXING_SHORTCUTS[] = L"Taking web addresses and extensions out of browser shortcuts...";

constexpr wchar_t CONFIRM_TAKE_BACK_TEXT[] =
    L"This will close ALL open browsers. Then sites will no longer be allowed to show notifications, open pop-ups "
    L"or download files on their own.\n\n"
    L"Your open tabs, history, bookmarks and saved passwords are kept, and a copy of each changed settings file is "
    L"kept.\n\nContinue?";
constexpr wchar_t CONFIRM_FIX_SHORTCUTS_TEXT[] =
    L"The web addresses and extensions will be taken out of the browser shortcuts named in the report. Nothing "
    L"else in them changes, and no browser needs to be closed.\n\n"
    L"A copy of each old shortcut is kept in PopSwat's backups folder.\n\nContinue?";
constexpr wchar_t CONFIRM_CAPTION[] = L"PopSwat";

void SetSummary(const std::wstring& text) {
    SetWindowTextW(findingsState.summary, text.c_str());
}

// The last repair's lines (if any) above the report.
void ShowReport() {
    std::wstring text = findingsState.runLines;
    if (!text.empty() && !findingsState.reportText.empty())
        text += L"\r\n";
    text += findingsState.reportText;
    SetWindowTextW(findingsState.report, text.c_str());
}

void EnableButton(HWND button, bool enable) {
    // A button that goes grey while it has the focus hands it to the report, where the keyboard still works.
    if (!enable && GetFocus() == button)
        SetFocus(findingsState.report);
    EnableWindow(button, enable ? TRUE : FALSE);
}

// Take back, Fix and Copy need a review's findings, and nothing may be running.
void UpdateButtons() {
    bool idle = !findingsState.reviewRunning && !findingsState.repairRunning;
    EnableButton(findingsState.takeBackButton, idle && findingsState.siteGrants);
    EnableButton(findingsState.fixShortcutsButton, idle && findingsState.browserShortcuts);
    EnableButton(findingsState.copyButton, idle && !findingsState.reportText.empty());
}

DWORD WINAPI ReviewWorker(LPVOID parameter) {
    PostResult(static_cast<HWND>(parameter), WM_REVIEW_DONE, 0, std::make_unique<ReviewResult>(ReviewForWindow()));
    return 0;
}

// The repair takes the one-run lock on the worker's thread and lets it go before it returns.
void PostRepair(LPVOID window, const CleanupCall& repair) {
    PostResult(static_cast<HWND>(window), WM_REPAIR_DONE, 0, std::make_unique<RepairResult>(RepairForWindow(repair)));
}

DWORD WINAPI TakeBackWorker(LPVOID parameter) {
    PostRepair(parameter, TakeBackAllSitePermissions);
    return 0;
}

DWORD WINAPI FixShortcutsWorker(LPVOID parameter) {
    PostRepair(parameter, RepairAllBrowserShortcuts);
    return 0;
}

// Marks the worker as running, says what it does and starts it; says so when it
// cannot start.
void StartFindingsWorker(bool FindingsState::*running, const wchar_t* summary, LPTHREAD_START_ROUTINE worker) {
    findingsState.*running = true;
    SetSummary(summary);
    UpdateButtons();
    if (StartWorker(worker, findingsState.window))
        return;
    findingsState.*running = false;
    SetSummary(STATUS_NOT_STARTED);
    UpdateButtons();
}

// Asks first, then starts the repair when the last review found what it changes
// and nothing runs.
void AskAndRepair(bool found,
                  const wchar_t* question,
                  UINT icon,
                  const wchar_t* summary,
                  LPTHREAD_START_ROUTINE worker) {
    if (findingsState.reviewRunning || findingsState.repairRunning || !found)
        return;
    if (MessageBoxW(findingsState.window, question, CONFIRM_CAPTION, MB_YESNO | icon | MB_DEFBUTTON2) != IDYES)
        return;
    StartFindingsWorker(&FindingsState::repairRunning, summary, worker);
}

// Another program may hold the clipboard open for a moment (a clipboard manager
// reading what was just copied): a few short tries, at most about 200 ms in all.
bool OpenClipboardSoon(HWND owner) {
    for (int attempt = 0; attempt < 10; ++attempt) {
        if (OpenClipboard(owner))
            return true;
        Sleep(20);
    }
    return false;
}

// The clipboard, open for as long as this lives.
class ScopedClipboard {
public:
    explicit ScopedClipboard(HWND owner) : open_(OpenClipboardSoon(owner)) {}
    ~ScopedClipboard() {
        if (open_)
            CloseClipboard();
    }
    ScopedClipboard(const ScopedClipboard&) = delete;
    ScopedClipboard& operator=(const ScopedClipboard&) = delete;
    bool open() const { return open_; }

private:
    bool open_;
};

bool CopyToClipboard(HWND owner, const std::wstring& text) {
    std::size_t bytes = (text.size() + 1) * sizeof(wchar_t);
    HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, bytes);
    if (!memory)
        return false;
    if (void* target = GlobalLock(memory)) {
        std::memcpy(target, text.c_str(), bytes);
        GlobalUnlock(memory);
        ScopedClipboard clipboard(owner);
        // Once SetClipboardData takes the memory, it belongs to the system.
        if (clipboard.open() && EmptyClipboard() && SetClipboardData(CF_UNICODETEXT, memory))
            return true;
    }
    GlobalFree(memory);
    return false;
}

}  // namespace

void StartReview() {
    findingsState.reportText.clear();
    findingsState.siteGrants = false;
    findingsState.browserShortcuts = false;
    ShowReport();
    StartFindingsWorker(&FindingsState::reviewRunning, STATUS_LOOKING, ReviewWorker);
}

void OnReviewDone(LPARAM result) {
    std::unique_ptr<ReviewResult> review = TakeResult<ReviewResult>(result);
    // Only the review worker posts this with a result.
    if (!review || !findingsState.reviewRunning)
        return;
    findingsState.reviewRunning = false;
    if (review->failed) {
        SetSummary(STATUS_FAILED);
    } else {
        findingsState.reportText = std::move(review->report);
        findingsState.siteGrants = review->siteGrants;
        findingsState.browserShortcuts = review->browserShortcuts;
        SetSummary(FindingsSummary(review->count));
    }
    ShowReport();
    UpdateButtons();
}

void OnTakeBackCommand() {
    // A warning: every browser is closed.
    AskAndRepair(findingsState.siteGrants, CONFIRM_TAKE_BACK_TEXT, MB_ICONWARNING, STATUS_TAKING_BACK, TakeBackWorker);
}

void OnFixShortcutsCommand() {
    AskAndRepair(findingsState.browserShortcuts, CONFIRM_FIX_SHORTCUTS_TEXT, MB_ICONQUESTION, STATUS_FIXING_SHORTCUTS,
                 FixShortcutsWorker);
}

void OnRepairDone(LPARAM result) {
    std::unique_ptr<RepairResult> repair = TakeResult<RepairResult>(result);
    if (!repair || !findingsState.repairRunning)
        return;
    findingsState.repairRunning = false;
    if (repair->outcome.lockHeldElsewhere) {
        // Nothing was changed: the findings shown still hold.
        SetSummary(RefusedRunText(repair->outcome));
        UpdateButtons();
        return;
    }
    findingsState.runLines = std::move(repair->lines);
    if (repair->failed)
        findingsState.runLines += std::wstring(STATUS_FAILED) + L"\r\n";
    // What is left now, under what was done.
    StartReview();
}

void OnCopyReportCommand() {
    if (findingsState.reportText.empty() || findingsState.reviewRunning || findingsState.repairRunning)
        return;
    // Another program holding the clipboard open: the person hears it and can try again.
    if (!CopyToClipboard(findingsState.window, findingsState.reportText))
        MessageBeep(MB_ICONWARNING);
}

void OnFindingsClose() {
    if (findingsState.repairRunning && !AskToCloseDuringWork(findingsState.window))
        return;
    DestroyWindow(findingsState.window);
}
