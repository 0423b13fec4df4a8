// The handlers the window procedures route to; private to the window code.
#pragma once

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "gui/gui.h"

LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Header icon and child controls, made once in WM_CREATE.
void LoadHeaderIcon(HINSTANCE instance);
void CreateChildControls(HWND window, HINSTANCE instance);
// A Segoe UI font of that size for the DPI in force.
HFONT MakeFont(int points, int weight, bool underline);
// The height of the description's text wrapped to the content width, in its font at the
// DPI in force (DrawTextW with DT_CALCRECT, as the static control wraps it).
int DescriptionTextHeight();

// The part of the monitor that windows may cover (the taskbar left out); the whole
// primary screen when the monitor cannot be asked.
RECT WorkAreaOf(HMONITOR monitor);

// Painting.
void PaintHeader(HDC dc);
void EraseBody(HWND window, HDC dc);
void DrawCleanButton(const DRAWITEMSTRUCT& item);
HBRUSH ControlColourStatic(HDC dc);
HBRUSH ControlColourButton();

// The cleanup run and the status line.
void StartCleanup(WPARAM wParam);
DWORD WINAPI CleanupWorker(LPVOID parameter);
void OnCleanupDone(WPARAM outcome, LPARAM result);
void OnClose(HWND window);
// Asks whether to close while a worker changes things; true on Yes.
bool AskToCloseDuringWork(HWND window);

// The byline link.
bool OnSetCursor(HWND window, WPARAM wParam);
void OnLinkButtonDown(LPARAM lParam);
bool OnLinkButtonUp(LPARAM lParam);
void OnCaptureChanged();

// The findings link under the status line.
void SetFindingsLinkText(const std::wstring& text);
LRESULT OnMainNotify(const NMHDR& header);
// The review made after a cleanup run: the findings window the link opens next shows it.
void KeepRunReview(std::unique_ptr<ReviewResult> review);

// The findings window's state, used only on the window's thread; reset when it closes.
struct FindingsState {
    HWND window = nullptr;  // null while no findings window is open
    HWND summary = nullptr;
    HWND list = nullptr;
    HWND details = nullptr;
    HWND fixButton = nullptr;
    HWND undoButton = nullptr;
    HWND copyButton = nullptr;
    HWND lastFocus = nullptr;     // the control that had the focus when the window was left
    bool endsTheProgram = false;  // closing it quits (popswat-gui --review)
    bool reviewRunning = false;
    bool changeRunning = false;  // a fix or an undo
    bool filling = false;        // the list is being filled: its check boxes are set, not ticked
    bool groups = false;         // the list shows its rows in groups
    std::wstring reportText;     // the last review's report, as "popswat --review" prints it
    std::vector<FindingRow> rows;
    std::vector<std::wstring> fixTexts;  // the list's third column, row by row
    std::vector<FixTarget> targets;
    bool undoable = false;
    ChangeRunSummary undoRun;
    bool changed = false;  // lastChange holds the last fix or undo of this window
    WindowChangeResult lastChange;
    std::wstring lastChangeText;       // ChangeResultText of lastChange
    std::vector<std::wstring> fixIds;  // popswat-gui --review --fix=<id>,...: fixed once the review is done
    bool startedForFixes = false;      // started so: offers no restart as administrator again
};
extern FindingsState findingsState;

// The findings window: one at a time. Opening it again brings the open one to the
// front. When it ends the program (popswat-gui --review), closing it quits. With a
// review it lists that review's rows at once instead of reviewing (an open, idle
// window shows it too).
void RegisterFindingsWindowClass(HINSTANCE instance);
bool OpenFindingsWindow(HINSTANCE instance,
                        int showCommand,
                        bool endsTheProgram,
                        std::unique_ptr<ReviewResult> review = nullptr);
// With popswat-gui --review --fix=<id>,...: the ids fixed after the first review, and its question.
void FixOnceReviewed(const std::vector<std::wstring>& ids);
// True while the findings window fixes or undoes.
bool RepairRunning();
LRESULT CALLBACK FindingsWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// The list (findings_list.cpp).
void CreateFindingsList(HWND window, HFONT font);
void SizeFindingsColumns(int width);
void FillFindingsList();
void ClearFindingsList();
// Ids of the ticked rows, in row order.
std::vector<std::wstring> TickedIds();
// Whether a row is ticked: the first ticked row ends the search.
bool AnyTicked();
// How many ticked rows need an administrator.
std::size_t TickedNeedingAdministrator();
// Ticks exactly the rows of those ids that have a fix.
void TickExactly(const std::vector<std::wstring>& ids);
// Its notifications; the result is the window procedure's.
LRESULT OnFindingsListNotify(const NMHDR& header);
// Enter: the focused row's details, and the focus to them.
void ShowFocusedRowDetails();
void ShowDetailsText(const std::wstring& text);

// What the buttons do (findings_actions.cpp).
void StartReview();
void OnReviewDone(LPARAM result);
// Shows a review made elsewhere, unless the window is busy.
void ShowReview(std::unique_ptr<ReviewResult> review);
void OnFixSelectedCommand();
void OnUndoLastCommand();
void OnChangeDone(LPARAM result);
void OnCopyReportCommand();
void OnFindingsClose();
void UpdateButtons();

// Starts popswat-gui again, elevated ("runas"), with those parameters; false when
// it did not start. Tests put their own in place to record the command line.
extern bool (*startAsAdministrator)(HWND owner, const std::wstring& parameters);

// ---- Workers ----
// A worker gets the window handle by value and answers only with one posted
// message whose lParam carries a result made with new; the window deletes it.

// Starts a worker thread that is never joined or waited for; false when none started.
bool StartWorker(LPTHREAD_START_ROUTINE worker, void* parameter);
// The same with a job made with new, which the worker deletes; deleted here when no worker started.
template <typename Job>
bool StartJob(LPTHREAD_START_ROUTINE worker, std::unique_ptr<Job> job) {
    if (!StartWorker(worker, job.get()))
        return false;
    job.release();
    return true;
}

template <typename Result>
void PostResult(HWND window, UINT message, WPARAM wParam, std::unique_ptr<Result> result) {
    // A window that is gone takes nothing: the worker keeps and frees the result.
    if (PostMessageW(window, message, wParam, reinterpret_cast<LPARAM>(result.get())))
        result.release();
}

template <typename Result>
std::unique_ptr<Result> TakeResult(LPARAM lParam) {
    return std::unique_ptr<Result>(reinterpret_cast<Result*>(lParam));
}
