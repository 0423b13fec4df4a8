// A program that tests start in place of other programs.
//   popswat_testhelper lock FILE READY   holds FILE open without delete sharing,
//                                        creates READY, then waits to be ended
//   popswat_testhelper browser visible|hidden exit|ignore DELAY_MS LOG
//                                        plays a browser: one top-level window;
//                                        appends "ready" to LOG once it is up,
//                                        "close" for every WM_CLOSE, and, in exit
//                                        mode, "exit" DELAY_MS later just before
//                                        it ends on its own
#include <windows.h>

#include <cwchar>
#include <cstdlib>
#include <string>

#include "engine/win_handles.h"

namespace {

int HoldFileOpen(const wchar_t* path, const wchar_t* readyMarker) {
    UniqueHandle file(CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file)
        return 2;
    UniqueHandle ready(
        CreateFileW(readyMarker, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    ready.reset();
    Sleep(INFINITE);
    return 0;
}

struct BrowserStandIn {
    bool exitOnClose = false;
    DWORD exitDelayMs = 0;
    std::wstring logPath;
};

BrowserStandIn g_standIn;

void AppendToLog(const char* word) {
    UniqueHandle log(CreateFileW(g_standIn.logPath.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                 nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!log)
        return;
    std::string line = std::string(word) + "\n";
    DWORD written = 0;
    WriteFile(log.get(), line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
}

LRESULT CALLBACK StandInWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_CLOSE:
            AppendToLog("close");
            if (g_standIn.exitOnClose) {
                // A browser saving its session before it goes.
                Sleep(g_standIn.exitDelayMs);
                AppendToLog("exit");
                DestroyWindow(window);
            }
            return 0;  // ignoring WM_CLOSE keeps the window
        case WM_DESTROY:
            PostQuitMessage(0);
            return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

int PlayBrowser(const wchar_t* visibility, const wchar_t* onClose, const wchar_t* delayMs, const wchar_t* logPath) {
    g_standIn.exitOnClose = wcscmp(onClose, L"exit") == 0;
    g_standIn.exitDelayMs = static_cast<DWORD>(wcstoul(delayMs, nullptr, 10));
    g_standIn.logPath = logPath;

    WNDCLASSW windowClass = {};
    windowClass.lpfnWndProc = StandInWindowProc;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = L"PopSwatTestBrowserStandIn";
    if (!RegisterClassW(&windowClass))
        return 3;
    HWND window = CreateWindowExW(0, windowClass.lpszClassName, L"stand-in", WS_OVERLAPPEDWINDOW, 0, 0, 200, 100,
                                  nullptr, nullptr, windowClass.hInstance, nullptr);
    if (!window)
        return 4;
    if (wcscmp(visibility, L"visible") == 0)
        ShowWindow(window, SW_SHOWNOACTIVATE);
    AppendToLog("ready");

    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc == 4 && wcscmp(argv[1], L"lock") == 0)
        return HoldFileOpen(argv[2], argv[3]);
    if (argc == 6 && wcscmp(argv[1], L"browser") == 0)
        return PlayBrowser(argv[2], argv[3], argv[4], argv[5]);
    return 64;
}
