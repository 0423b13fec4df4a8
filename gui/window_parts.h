// The handlers the window procedures route to; private to the window code.
#pragma once

#include <windows.h>

#include <memory>
#include <string>

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

// The findings window's state, used only on the window's thread; reset when it closes.
struct FindingsState {
    HWND window = nullptr;  // null while no findings window is open
    HWND summary = nullptr;
    HWND report = nullptr;
    HWND takeBackButton = nullptr;
    HWND fixShortcutsButton = nullptr;
    HWND copyButton = nullptr;
    HWND lastFocus = nullptr;     // the control that had the focus when the window was left
    bool endsTheProgram = false;  // closing it quits (popswat-gui --review)
    bool reviewRunning = false;
    bool repairRunning = false;     // site permissions are taken back or browser shortcuts repaired
    bool siteGrants = false;        // the last review found sites allowed something
    bool browserShortcuts = false;  // the last review found browser shortcuts to repair
    std::wstring reportText;        // the last review's report, as "popswat --review" prints it
    std::wstring runLines;          // the lines of the last repair, shown above the report
};
extern FindingsState findingsState;

// The findings window: one at a time. Opening it again brings the open one to the
// front. When it ends the program (popswat-gui --review), closing it quits.
void RegisterFindingsWindowClass(HINSTANCE instance);
bool OpenFindingsWindow(HINSTANCE instance, int showCommand, bool endsTheProgram);
// True while the findings window takes back site permissions or repairs shortcuts.
bool RepairRunning();
LRESULT CALLBACK FindingsWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
void StartReview();
void OnReviewDone(LPARAM result);
void OnTakeBackCommand();
void OnFixShortcutsCommand();
void OnRepairDone(LPARAM result);
void OnCopyReportCommand();
void OnFindingsClose();

// ---- Workers ----
// A worker gets the window handle by value and answers only with one posted
// message whose lParam carries a result made with new; the window deletes it.

// Starts a worker thread that is never joined or waited for; false when none started.
bool StartWorker(LPTHREAD_START_ROUTINE worker, HWND window);

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
