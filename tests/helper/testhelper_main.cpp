// A program that tests start in place of other programs.
//   popswat_testhelper lock FILE READY   holds FILE open without delete sharing,
//                                        creates READY, then waits to be ended
//   popswat_testhelper browser visible|hidden exit|ignore DELAY_MS LOG
//                                        plays a browser: one top-level window;
//                                        appends "ready" to LOG once it is up,
//                                        "close" for every WM_CLOSE, and, in exit
//                                        mode, "exit" DELAY_MS later just before
//                                        it ends on its own
//   popswat_testhelper console OUT INPUT COMMAND
//                                        started with a console of its own: types
//                                        INPUT (\n as Enter) into it, runs COMMAND
//                                        in it, then saves the screen's rows to OUT
//                                        as UTF-8 and exits with COMMAND's exit code
#include <windows.h>

#include <cwchar>
#include <cstdlib>
#include <string>
#include <vector>

#include "engine/engine.h"
#include "base/win_handles.h"

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

void TypeIntoConsole(HANDLE input, const std::wstring& text) {
    std::vector<INPUT_RECORD> records;
    for (wchar_t c : text) {
        INPUT_RECORD record = {};
        record.EventType = KEY_EVENT;
        record.Event.KeyEvent.wRepeatCount = 1;
        record.Event.KeyEvent.wVirtualKeyCode = c == L'\n' ? VK_RETURN : 0;
        record.Event.KeyEvent.uChar.UnicodeChar = c == L'\n' ? L'\r' : c;
        record.Event.KeyEvent.bKeyDown = TRUE;
        records.push_back(record);
        record.Event.KeyEvent.bKeyDown = FALSE;
        records.push_back(record);
    }
    DWORD written = 0;
    if (!records.empty())
        WriteConsoleInputW(input, records.data(), static_cast<DWORD>(records.size()), &written);
}

int RunInOwnConsole(const wchar_t* outputPath, const wchar_t* input, const wchar_t* command) {
    UniqueHandle consoleIn(CreateFileW(L"CONIN$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                       nullptr, OPEN_EXISTING, 0, nullptr));
    UniqueHandle consoleOut(CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                        nullptr, OPEN_EXISTING, 0, nullptr));
    if (!consoleIn || !consoleOut)
        return 70;
    // Wide enough that no line of the run wraps.
    SetConsoleScreenBufferSize(consoleOut.get(), COORD{400, 200});
    std::wstring keys = input;
    for (std::size_t at; (at = keys.find(L"\\n")) != std::wstring::npos;)
        keys.replace(at, 2, L"\n");
    TypeIntoConsole(consoleIn.get(), keys);

    std::wstring commandLine = command;
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info = {};
    if (!CreateProcessW(nullptr, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info))
        return 71;
    CloseHandle(info.hThread);
    UniqueHandle process(info.hProcess);
    if (WaitForSingleObject(process.get(), 60000) != WAIT_OBJECT_0) {
        TerminateProcess(process.get(), 1);
        return 72;
    }
    DWORD exitCode = 0;
    GetExitCodeProcess(process.get(), &exitCode);

    CONSOLE_SCREEN_BUFFER_INFO screen = {};
    GetConsoleScreenBufferInfo(consoleOut.get(), &screen);
    std::wstring rows;
    std::vector<wchar_t> row(static_cast<std::size_t>(screen.dwSize.X));
    for (SHORT y = 0; y <= screen.dwCursorPosition.Y; ++y) {
        DWORD read = 0;
        ReadConsoleOutputCharacterW(consoleOut.get(), row.data(), static_cast<DWORD>(row.size()), COORD{0, y}, &read);
        std::wstring text(row.data(), read);
        text.erase(text.find_last_not_of(L' ') + 1);
        rows += text + L"\n";
    }
    UniqueHandle output(
        CreateFileW(outputPath, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    std::string bytes = WideToUtf8(rows);
    DWORD written = 0;
    WriteFile(output.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    return static_cast<int>(exitCode);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc == 4 && wcscmp(argv[1], L"lock") == 0)
        return HoldFileOpen(argv[2], argv[3]);
    if (argc == 6 && wcscmp(argv[1], L"browser") == 0)
        return PlayBrowser(argv[2], argv[3], argv[4], argv[5]);
    if (argc == 5 && wcscmp(argv[1], L"console") == 0)
        return RunInOwnConsole(argv[2], argv[3], argv[4]);
    return 64;
}
