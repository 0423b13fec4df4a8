// The findings window: what brings pop-ups back, in standard controls that the
// keyboard and screen readers reach. A summary line, the list of findings, the
// selected row's details in a read-only edit control, and four buttons; laid out
// from its measured texts for the DPI, resizable down to a minimum size, closed
// with Esc.
#include "gui/gui.h"
#include "base/win_handles.h"
#include "gui/window_parts.h"

#include <algorithm>

FindingsState findingsState;

namespace {

constexpr wchar_t FINDINGS_WINDOW_CLASS[] = L"PopSwatFindings";
// WS_CLIPCHILDREN: resizing repaints the background around the controls, not under them.
constexpr DWORD FINDINGS_WINDOW_STYLE = WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN;

// Made with the first findings window, kept until the process ends.
HFONT summaryFont = nullptr;
HFONT textFont = nullptr;

void MakeFonts() {
    if (!summaryFont) {
        summaryFont = MakeFont(12, FW_SEMIBOLD, false);
        textFont = MakeFont(10, FW_NORMAL, false);
    }
}

SIZE MeasuredText(HDC dc, UINT id) {
    std::wstring text = LoadText(id);
    SIZE size = {0, 0};
    GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &size);
    return size;
}

// The buttons' captions and a line of the window's font, measured at the DPI in force.
FindingsTextSizes MeasureFindingsTexts() {
    MakeFonts();
    ScopedWindowDC screen(nullptr);
    ScopedSelectObject selected(screen.get(), textFont);
    FindingsTextSizes sizes;
    sizes.fixButton = MeasuredText(screen.get(), IDS_FIX_SELECTED);
    sizes.undoButton = MeasuredText(screen.get(), IDS_UNDO_LAST);
    sizes.copyButton = MeasuredText(screen.get(), IDS_COPY_REPORT);
    sizes.closeButton = MeasuredText(screen.get(), IDS_CLOSE);
    TEXTMETRICW metrics = {};
    GetTextMetricsW(screen.get(), &metrics);
    sizes.lineHeight = metrics.tmHeight;
    return sizes;
}

FindingsTextSizes textSizes;

HWND MakeControl(HWND parent,
                 const wchar_t* className,
                 const std::wstring& text,
                 DWORD style,
                 int id,
                 HFONT font,
                 DWORD extendedStyle = 0) {
    HWND control = CreateWindowExW(extendedStyle, className, text.c_str(), WS_CHILD | WS_VISIBLE | style, 0, 0, 0, 0,
                                   parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                                   reinterpret_cast<HINSTANCE>(GetWindowLongPtrW(parent, GWLP_HINSTANCE)), nullptr);
    SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    return control;
}

void Place(HWND control, const RECT& place) {
    MoveWindow(control, place.left, place.top, place.right - place.left, place.bottom - place.top, TRUE);
}

void OnFindingsSize(HWND window, int width, int height) {
    FindingsLayout layout = LayOutFindings(width, height, textSizes);
    Place(findingsState.summary, layout.summary);
    Place(findingsState.list, layout.list);
    SizeFindingsColumns(layout.list.right - layout.list.left);
    Place(findingsState.details, layout.details);
    Place(findingsState.fixButton, layout.fixButton);
    Place(findingsState.undoButton, layout.undoButton);
    Place(findingsState.copyButton, layout.copyButton);
    Place(GetDlgItem(window, IDCANCEL), layout.closeButton);
}

LRESULT OnFindingsCreate(HWND window) {
    MakeFonts();
    findingsState.window = window;
    // In this order: the summary names the list for screen readers, and Tab goes
    // from the list to the details and through the buttons, left to right.
    findingsState.summary =
        MakeControl(window, L"STATIC", L"", SS_LEFTNOWORDWRAP | SS_NOPREFIX, IDC_FINDINGS_SUMMARY, summaryFont);
    CreateFindingsList(window, textFont);
    // Read-only but selectable, to be copied from.
    findingsState.details =
        MakeControl(window, L"EDIT", L"", WS_TABSTOP | WS_VSCROLL | ES_MULTILINE | ES_READONLY | ES_AUTOVSCROLL,
                    IDC_FINDINGS_DETAILS, textFont, WS_EX_CLIENTEDGE);
    findingsState.fixButton = MakeControl(window, L"BUTTON", LoadText(IDS_FIX_SELECTED), WS_TABSTOP | BS_PUSHBUTTON,
                                          IDC_FIX_SELECTED_BUTTON, textFont);
    findingsState.undoButton = MakeControl(window, L"BUTTON", LoadText(IDS_UNDO_LAST), WS_TABSTOP | BS_PUSHBUTTON,
                                           IDC_UNDO_LAST_BUTTON, textFont);
    findingsState.copyButton = MakeControl(window, L"BUTTON", LoadText(IDS_COPY_REPORT), WS_TABSTOP | BS_PUSHBUTTON,
                                           IDC_COPY_REPORT_BUTTON, textFont);
    MakeControl(window, L"BUTTON", LoadText(IDS_CLOSE), WS_TABSTOP | BS_PUSHBUTTON, IDCANCEL, textFont);
    findingsState.lastFocus = findingsState.list;
    // Laid out now: the first WM_SIZE comes only once the window is already shown.
    RECT client;
    GetClientRect(window, &client);
    OnFindingsSize(window, client.right, client.bottom);
    return 0;
}

void OnFindingsMinMaxInfo(MINMAXINFO* info) {
    SIZE minimum = FindingsMinimumClientSize(textSizes);
    RECT outer = {0, 0, minimum.cx, minimum.cy};
    AdjustWindowRectEx(&outer, FINDINGS_WINDOW_STYLE, FALSE, 0);
    info->ptMinTrackSize = {outer.right - outer.left, outer.bottom - outer.top};
}

// Keeps the focus on the control that had it when the window is left and comes
// back, as a dialog box does; the list first.
void OnFindingsActivate(HWND window, WPARAM wParam) {
    if (LOWORD(wParam) == WA_INACTIVE) {
        HWND focus = GetFocus();
        if (focus && IsChild(window, focus))
            findingsState.lastFocus = focus;
        return;
    }
    // A minimised window keeps no focus of its own.
    if (HIWORD(wParam))
        return;
    HWND target = findingsState.lastFocus;
    if (!target || !IsWindowEnabled(target))
        target = findingsState.list;
    SetFocus(target);
}

// A multi-line edit control takes Tab itself and asks its parent, as it would a
// dialog box, to move the focus on (wParam: backwards) or to the control in wParam.
void OnNextControl(HWND window, WPARAM wParam, LPARAM lParam) {
    HWND target = LOWORD(lParam) ? reinterpret_cast<HWND>(wParam) : GetNextDlgTabItem(window, GetFocus(), wParam != 0);
    if (target)
        SetFocus(target);
}

// IsDialogMessageW turns Enter into a click of the button DM_GETDEFID names. In a
// dialog box the focused push button is the default one; here it is made so by
// answering with it, so that Enter presses the button that has the focus. Elsewhere
// Enter comes as IDOK.
LRESULT OnGetDefaultId(HWND window) {
    HWND focus = GetFocus();
    if (focus && IsChild(window, focus) && IsWindowEnabled(focus) &&
        (SendMessageW(focus, WM_GETDLGCODE, 0, 0) & (DLGC_UNDEFPUSHBUTTON | DLGC_DEFPUSHBUTTON)))
        return MAKELRESULT(GetDlgCtrlID(focus), DC_HASDEFID);
    return 0;
}

void OnFindingsCommand(WPARAM wParam) {
    switch (LOWORD(wParam)) {
        case IDC_FIX_SELECTED_BUTTON:
            OnFixSelectedCommand();
            break;
        case IDC_UNDO_LAST_BUTTON:
            OnUndoLastCommand();
            break;
        case IDC_COPY_REPORT_BUTTON:
            OnCopyReportCommand();
            break;
        case IDOK:  // Enter outside the buttons: on the list, the row's details
            if (GetFocus() == findingsState.list)
                ShowFocusedRowDetails();
            break;
        case IDCANCEL:  // the Close button, and Esc
            OnFindingsClose();
            break;
    }
}

void OnFindingsDestroy() {
    bool quit = findingsState.endsTheProgram;
    // A worker still running posts to a window that is gone, and frees its own result.
    findingsState = FindingsState();
    if (quit)
        PostQuitMessage(0);
}

HBRUSH OnFindingsControlColour(HDC dc) {
    // The summary and the read-only details (which ask as a static does) on the window's colour.
    SetBkColor(dc, GetSysColor(COLOR_WINDOW));
    return GetSysColorBrush(COLOR_WINDOW);
}

HWND CreateFindingsWindow(HINSTANCE instance) {
    textSizes = MeasureFindingsTexts();
    SIZE client = FindingsClientSize(textSizes);
    RECT outer = {0, 0, client.cx, client.cy};
    AdjustWindowRectEx(&outer, FINDINGS_WINDOW_STYLE, FALSE, 0);
    // Never larger than the work area, centred in it as the main window is.
    RECT place = PlaceInWorkArea(WorkAreaOf(MonitorFromPoint({0, 0}, MONITOR_DEFAULTTOPRIMARY)),
                                 {outer.right - outer.left, outer.bottom - outer.top});
    return CreateWindowExW(0, FINDINGS_WINDOW_CLASS, LoadText(IDS_FINDINGS_TITLE).c_str(), FINDINGS_WINDOW_STYLE,
                           place.left, place.top, place.right - place.left, place.bottom - place.top, nullptr, nullptr,
                           instance, nullptr);
}

}  // namespace

void RegisterFindingsWindowClass(HINSTANCE instance) {
    HICON icon = LoadIconW(instance, MAKEINTRESOURCEW(IDI_APP_ICON));
    WNDCLASSEXW windowClass = {};
    windowClass.cbSize = sizeof(windowClass);
    windowClass.lpfnWndProc = FindingsWindowProc;
    windowClass.hInstance = instance;
    windowClass.hIcon = icon;
    windowClass.hIconSm = icon;
    windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    windowClass.hbrBackground = GetSysColorBrush(COLOR_WINDOW);
    windowClass.lpszClassName = FINDINGS_WINDOW_CLASS;
    // A failed registration shows up as a failed window creation.
    RegisterClassExW(&windowClass);
}

bool OpenFindingsWindow(HINSTANCE instance,
                        int showCommand,
                        bool endsTheProgram,
                        std::unique_ptr<ReviewResult> review) {
    if (findingsState.window) {
        if (review)
            ShowReview(std::move(review));
        if (IsIconic(findingsState.window))
            ShowWindow(findingsState.window, SW_RESTORE);
        SetForegroundWindow(findingsState.window);
        return true;
    }
    HWND window = CreateFindingsWindow(instance);
    if (!window)
        return false;
    findingsState.endsTheProgram = endsTheProgram;
    // Shown with its rows, or already looking with the buttons that need findings disabled.
    if (review)
        ShowReview(std::move(review));
    else
        StartReview();
    ShowWindow(window, showCommand);
    UpdateWindow(window);
    return true;
}

void FixOnceReviewed(const std::vector<std::wstring>& ids) {
    findingsState.fixIds = ids;
    findingsState.startedForFixes = !ids.empty();
}

bool RepairRunning() {
    return findingsState.changeRunning;
}

LRESULT CALLBACK FindingsWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_CREATE:
            return OnFindingsCreate(window);
        case WM_DESTROY:
            OnFindingsDestroy();
            return 0;
        case WM_SIZE:
            OnFindingsSize(window, LOWORD(lParam), HIWORD(lParam));
            return 0;
        case WM_ACTIVATE:
            OnFindingsActivate(window, wParam);
            return 0;
        case WM_CLOSE:
            OnFindingsClose();
            return 0;
        case WM_GETMINMAXINFO:
            OnFindingsMinMaxInfo(reinterpret_cast<MINMAXINFO*>(lParam));
            return 0;
        case WM_COMMAND:
            OnFindingsCommand(wParam);
            return 0;
        case WM_NOTIFY:
            return OnFindingsListNotify(*reinterpret_cast<const NMHDR*>(lParam));
        case WM_NEXTDLGCTL:
            OnNextControl(window, wParam, lParam);
            return 0;
        case DM_GETDEFID:
            return OnGetDefaultId(window);
        case WM_CTLCOLORSTATIC:
            return reinterpret_cast<LRESULT>(OnFindingsControlColour(reinterpret_cast<HDC>(wParam)));
        case WM_REVIEW_DONE:
            OnReviewDone(lParam);
            return 0;
        case WM_CHANGE_DONE:
            OnChangeDone(lParam);
            return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}
