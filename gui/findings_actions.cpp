// What the findings window does: the review, the fix of the ticked rows and the
// undo of the last fix on worker threads (one at a time), each asked for once;
// the restart as administrator; the summary, the buttons, the clipboard and closing.
#include "engine/engine.h"
#include "gui/gui.h"
#include "gui/window_parts.h"

#include <shellapi.h>

#include <cstring>

namespace {

void SetSummary(const std::wstring& text) {
    SetWindowTextW(findingsState.summary, text.c_str());
}

bool Busy() {
    return findingsState.reviewRunning || findingsState.changeRunning;
}

void EnableButton(HWND button, bool enable) {
    // A button that goes grey while it has the focus hands it to the list, where the keyboard still works.
    if (!enable && GetFocus() == button)
        SetFocus(findingsState.list);
    EnableWindow(button, enable ? TRUE : FALSE);
}

bool Ask(const std::wstring& question, UINT buttons) {
    return MessageBoxW(findingsState.window, question.c_str(), LoadText(IDS_CAPTION).c_str(), buttons) == IDYES;
}

DWORD WINAPI ReviewWorker(LPVOID parameter) {
    PostResult(static_cast<HWND>(parameter), WM_REVIEW_DONE, 0, std::make_unique<ReviewResult>(ReviewForWindow()));
    return 0;
}

struct FixJob {
    HWND window;
    std::vector<FixTarget> targets;
};

struct UndoJob {
    HWND window;
    ChangeRunSummary run;
};

// The fix and the undo take the one-run lock on the worker's thread and let it go before they return.
DWORD WINAPI FixWorker(LPVOID parameter) {
    std::unique_ptr<FixJob> job(static_cast<FixJob*>(parameter));
    PostResult(job->window, WM_CHANGE_DONE, 0, std::make_unique<WindowChangeResult>(FixTargetsForWindow(job->targets)));
    return 0;
}

DWORD WINAPI UndoWorker(LPVOID parameter) {
    std::unique_ptr<UndoJob> job(static_cast<UndoJob*>(parameter));
    PostResult(job->window, WM_CHANGE_DONE, 0, std::make_unique<WindowChangeResult>(UndoRunForWindow(job->run)));
    return 0;
}

// Marks the change as running, says what it does and starts the worker; says so when it cannot start.
template <typename Job>
void StartChange(UINT summary, LPTHREAD_START_ROUTINE worker, std::unique_ptr<Job> job) {
    findingsState.changeRunning = true;
    SetSummary(LoadText(summary));
    UpdateButtons();
    if (StartJob(worker, std::move(job)))
        return;
    findingsState.changeRunning = false;
    SetSummary(LoadText(IDS_NOT_STARTED));
    UpdateButtons();
}

bool StartElevated(HWND owner, const std::wstring& parameters) {
    std::wstring program(32768, L'\0');
    DWORD length = GetModuleFileNameW(nullptr, &program[0], static_cast<DWORD>(program.size()));
    if (length == 0 || length >= program.size())
        return false;
    program.resize(length);
    SHELLEXECUTEINFOW execute = {};
    execute.cbSize = sizeof(execute);
    execute.fMask = SEE_MASK_NOASYNC | SEE_MASK_FLAG_NO_UI;
    execute.hwnd = owner;
    execute.lpVerb = L"runas";
    execute.lpFile = program.c_str();
    execute.lpParameters = parameters.c_str();
    execute.nShow = SW_SHOWNORMAL;
    // Refused at the system's question (ERROR_CANCELLED) or not started: false either way.
    return ShellExecuteExW(&execute) != FALSE;
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

bool (*startAsAdministrator)(HWND owner, const std::wstring& parameters) = StartElevated;

// Fix needs a ticked row, Undo a run not undone, Copy a review; and nothing may be running.
void UpdateButtons() {
    bool idle = !Busy();
    EnableButton(findingsState.fixButton, idle && AnyTicked());
    EnableButton(findingsState.undoButton, idle && findingsState.undoable);
    EnableButton(findingsState.copyButton, idle && !findingsState.reportText.empty());
}

void StartReview() {
    findingsState.reportText.clear();
    findingsState.rows.clear();
    findingsState.targets.clear();
    findingsState.undoable = false;
    ClearFindingsList();
    findingsState.reviewRunning = true;
    SetSummary(LoadText(IDS_LOOKING));
    UpdateButtons();
    if (StartWorker(ReviewWorker, findingsState.window))
        return;
    findingsState.reviewRunning = false;
    SetSummary(LoadText(IDS_NOT_STARTED));
    UpdateButtons();
}

void OnReviewDone(LPARAM result) {
    std::unique_ptr<ReviewResult> review = TakeResult<ReviewResult>(result);
    // Only the review worker posts this with a result.
    if (!review || !findingsState.reviewRunning)
        return;
    findingsState.reviewRunning = false;
    ShowReview(std::move(review));
}

void ShowReview(std::unique_ptr<ReviewResult> review) {
    if (Busy())
        return;
    if (review->failed) {
        SetSummary(LoadText(IDS_FAILED));
        UpdateButtons();
        return;
    }
    findingsState.reportText = std::move(review->report);
    findingsState.rows = std::move(review->rows);
    findingsState.targets = std::move(review->targets);
    findingsState.undoable = review->undoable;
    findingsState.undoRun = std::move(review->undoRun);
    SetSummary(FindingsSummary(review->count));
    FillFindingsList();
    // What the last fix or undo did, until a row is chosen.
    ShowDetailsText(findingsState.lastChangeText);
    if (!findingsState.fixIds.empty()) {
        // Started again to fix these: exactly they are ticked, and the question comes once the window shows.
        TickExactly(findingsState.fixIds);
        findingsState.fixIds.clear();
        PostMessageW(findingsState.window, WM_COMMAND, MAKEWPARAM(IDC_FIX_SELECTED_BUTTON, BN_CLICKED), 0);
    }
    UpdateButtons();
}

void OnFixSelectedCommand() {
    if (Busy())
        return;
    std::vector<std::wstring> ids = TickedIds();
    std::vector<FixTarget> chosen = TargetsWithIds(findingsState.targets, ids);
    if (chosen.empty())
        return;
    std::size_t needing = TickedNeedingAdministrator();
    if (needing > 0 && !findingsState.startedForFixes) {
        int answer = MessageBoxW(findingsState.window, AdministratorQuestion(needing, chosen.size()).c_str(),
                                 LoadText(IDS_CAPTION).c_str(), MB_YESNOCANCEL | MB_ICONQUESTION);
        if (answer == IDCANCEL)
            return;
        if (answer == IDYES) {
            SetSummary(LoadText(startAsAdministrator(findingsState.window, RestartParameters(ids))
                                    ? IDS_RESTARTED
                                    : IDS_RESTART_FAILED));
            return;
        }
        // No: the others only; the row says which need an administrator.
        std::vector<std::wstring> others;
        for (const FindingRow& row : findingsState.rows) {
            if (!row.administrator)
                others.push_back(row.findingId);
        }
        chosen = TargetsWithIds(chosen, others);
        if (chosen.empty())
            return;
    }
    // A warning: the browsers may be closed. No, the default, changes nothing.
    if (!Ask(FixQuestion(chosen), MB_YESNO | MB_ICONWARNING | MB_DEFBUTTON2))
        return;
    StartChange(IDS_FIXING, FixWorker, std::make_unique<FixJob>(FixJob{findingsState.window, std::move(chosen)}));
}

void OnUndoLastCommand() {
    if (Busy() || !findingsState.undoable)
        return;
    if (!Ask(UndoQuestion(findingsState.undoRun), MB_YESNO | MB_ICONWARNING | MB_DEFBUTTON2))
        return;
    StartChange(IDS_UNDOING, UndoWorker,
                std::make_unique<UndoJob>(UndoJob{findingsState.window, findingsState.undoRun}));
}

void OnChangeDone(LPARAM result) {
    std::unique_ptr<WindowChangeResult> change = TakeResult<WindowChangeResult>(result);
    if (!change || !findingsState.changeRunning)
        return;
    findingsState.changeRunning = false;
    if (change->outcome.lockHeldElsewhere) {
        // Nothing was changed: the findings shown still hold.
        SetSummary(LoadText(IDS_ANOTHER_RUN));
        UpdateButtons();
        return;
    }
    findingsState.lastChangeText = ChangeResultText(*change);
    findingsState.lastChange = std::move(*change);
    findingsState.changed = true;
    // What is left now; the details say what was done until a row is chosen.
    StartReview();
}

void OnCopyReportCommand() {
    if (findingsState.reportText.empty() || Busy())
        return;
    // Another program holding the clipboard open: the person hears it and can try again.
    if (!CopyToClipboard(findingsState.window, findingsState.reportText))
        MessageBeep(MB_ICONWARNING);
}

void OnFindingsClose() {
    if (findingsState.changeRunning && !AskToCloseDuringWork(findingsState.window))
        return;
    DestroyWindow(findingsState.window);
}
