// Entry point of popswat-gui: settles the DPI, creates the window centred (or, with
// --review, only the findings window) and runs the message loop.
#include "gui/gui.h"
#include "base/win_handles.h"
#include "gui/window_parts.h"

#include <commctrl.h>
#include <shellapi.h>

namespace {

constexpr wchar_t MAIN_WINDOW_CLASS[] = L"PopSwatWindow";
// Caption, system menu and minimise box: no maximise box and no sizing border.
constexpr DWORD MAIN_WINDOW_STYLE = WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;

int MeasureDpi() {
    ScopedWindowDC screen(nullptr);
    return GetDeviceCaps(screen.get(), LOGPIXELSX);
}

int SettleDpi() {
    int measured = MeasureDpi();
    wchar_t buffer[FORCED_DPI_BUFFER_CHARS] = {};
    DWORD length = GetEnvironmentVariableW(L"POPSWAT_FORCE_DPI", buffer, FORCED_DPI_BUFFER_CHARS);
    return ChooseDpi(measured, length, buffer);
}

void RegisterMainWindowClass(HINSTANCE instance) {
    HICON icon = LoadIconW(instance, MAKEINTRESOURCEW(IDI_APP_ICON));
    WNDCLASSEXW windowClass = {};
    windowClass.cbSize = sizeof(windowClass);
    windowClass.style = 0;  // fixed size: no redraw on resize, no double-clicks
    windowClass.lpfnWndProc = MainWindowProc;
    windowClass.hInstance = instance;
    windowClass.hIcon = icon;
    windowClass.hIconSm = icon;
    windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    windowClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
    windowClass.lpszClassName = MAIN_WINDOW_CLASS;
    // A failed registration shows up as a failed window creation.
    RegisterClassExW(&windowClass);
}

// The frame's share of the window's outer size.
SIZE FrameSize() {
    RECT outer = {0, 0, 0, 0};
    AdjustWindowRect(&outer, MAIN_WINDOW_STYLE, FALSE);
    return {outer.right - outer.left, outer.bottom - outer.top};
}

HWND CreateMainWindow(HINSTANCE instance) {
    // The layout is fitted before the window exists, so the controls are made where they
    // stay: as wide as the work area allows, then as tall as the description's text needs.
    SIZE frame = FrameSize();
    RECT work = WorkAreaOf(MonitorFromPoint({0, 0}, MONITOR_DEFAULTTOPRIMARY));
    NarrowLayout(work.right - work.left - frame.cx);
    SetDescriptionHeight(DescriptionTextHeight());
    SIZE outer = {guiState.clientWidth + frame.cx, guiState.clientHeight + frame.cy};
    RECT place = PlaceInWorkArea(work, outer);
    HWND window = CreateWindowExW(0, MAIN_WINDOW_CLASS, LoadText(IDS_MAIN_TITLE).c_str(), MAIN_WINDOW_STYLE, place.left,
                                  place.top, place.right - place.left, place.bottom - place.top, nullptr, nullptr,
                                  instance, nullptr);
    if (!window)
        return nullptr;
    // Checked again on the monitor the window came to, which may not be the primary one.
    RECT actual = {};
    GetWindowRect(window, &actual);
    RECT fitted = PlaceInWorkArea(WorkAreaOf(MonitorFromWindow(window, MONITOR_DEFAULTTONEAREST)), outer);
    if (!EqualRect(&actual, &fitted))
        SetWindowPos(window, nullptr, fitted.left, fitted.top, fitted.right - fitted.left, fitted.bottom - fitted.top,
                     SWP_NOZORDER | SWP_NOACTIVATE);
    return window;
}

GuiArguments ReadArguments() {
    int count = 0;
    LPWSTR* arguments = CommandLineToArgvW(GetCommandLineW(), &count);
    if (!arguments)
        return GuiArguments();
    GuiArguments parsed = ParseGuiArguments(count, arguments);
    LocalFree(arguments);
    return parsed;
}

bool OpenMainWindow(HINSTANCE instance, int showCommand) {
    guiState.mainWindow = CreateMainWindow(instance);
    if (!guiState.mainWindow)
        return false;
    ShowWindow(guiState.mainWindow, showCommand);
    UpdateWindow(guiState.mainWindow);
    return true;
}

void RunMessageLoop() {
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        // Gives the controls of each window the system's dialog keyboard handling:
        // Tab, Enter, Esc.
        HWND window = message.hwnd ? GetAncestor(message.hwnd, GA_ROOT) : nullptr;
        if (window && IsDialogMessageW(window, &message))
            continue;
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int showCommand) {
    // SysLink and the list view's groups come with version 6 of the common controls, which the manifest asks for.
    INITCOMMONCONTROLSEX controls = {sizeof(controls), ICC_STANDARD_CLASSES | ICC_LINK_CLASS | ICC_LISTVIEW_CLASSES};
    InitCommonControlsEx(&controls);
    ComputeLayout(SettleDpi());
    RegisterMainWindowClass(instance);
    RegisterFindingsWindowClass(instance);
    GuiArguments arguments = ReadArguments();
    FixOnceReviewed(arguments.fixIds);
    bool opened = arguments.findingsOnly ? OpenFindingsWindow(instance, showCommand, true)
                                         : OpenMainWindow(instance, showCommand);
    if (!opened)
        return 1;
    RunMessageLoop();
    return 0;
}
