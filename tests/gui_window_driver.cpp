#include "tests/gui_window_driver.h"

#include <algorithm>
#include <vector>

#include "gui/gui.h"
#include "tests/child_programs.h"

namespace {

bool IsVariable(const std::wstring& entry, const wchar_t* name) {
    std::wstring prefix = std::wstring(name) + L"=";
    return entry.size() >= prefix.size() && EqualsIgnoringAsciiCase(entry.substr(0, prefix.size()), prefix);
}

// This process's environment with the sandbox folders and the forced DPI put in.
std::wstring GuiEnvironment(const Sandbox& sandbox, const wchar_t* forcedDpi) {
    std::vector<std::wstring> entries;
    wchar_t* block = GetEnvironmentStringsW();
    for (const wchar_t* p = block; *p; p += wcslen(p) + 1) {
        std::wstring entry(p);
        if (!IsVariable(entry, L"LOCALAPPDATA") && !IsVariable(entry, L"APPDATA") &&
            !IsVariable(entry, L"POPSWAT_FORCE_DPI"))
            entries.push_back(entry);
    }
    FreeEnvironmentStringsW(block);
    entries.push_back(L"LOCALAPPDATA=" + sandbox.localAppData());
    entries.push_back(L"APPDATA=" + sandbox.appData());
    if (forcedDpi)
        entries.push_back(std::wstring(L"POPSWAT_FORCE_DPI=") + forcedDpi);
    std::wstring result;
    for (const std::wstring& entry : entries)
        result += entry + L'\0';
    return result + L'\0';
}

struct WindowSearch {
    DWORD processId;
    const wchar_t* className;
    const wchar_t* caption;
    HWND found;
};

BOOL CALLBACK MatchWindow(HWND window, LPARAM parameter) {
    auto* search = reinterpret_cast<WindowSearch*>(parameter);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner != search->processId || !IsWindowVisible(window))
        return TRUE;
    wchar_t className[64] = {};
    GetClassNameW(window, className, 64);
    if (wcscmp(className, search->className) != 0)
        return TRUE;
    if (search->caption && WindowText(window) != search->caption)
        return TRUE;
    search->found = window;
    return FALSE;
}

HWND ChildWithStyle(HWND window, const wchar_t* className, DWORD styleBits) {
    for (HWND child = GetWindow(window, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        wchar_t name[32] = {};
        GetClassNameW(child, name, 32);
        if (_wcsicmp(name, className) == 0 && (GetWindowLongW(child, GWL_STYLE) & styleBits) == styleBits)
            return child;
    }
    return nullptr;
}

// Starts the program; its windows are not waited for.
GuiProgram StartGuiProcess(const Sandbox& sandbox, const wchar_t* forcedDpi, const wchar_t* arguments) {
    GuiProgram gui;
    std::wstring environment = GuiEnvironment(sandbox, forcedDpi);
    std::wstring commandLine = L"\"" + TestProgramPath(L"popswat-gui.exe") + L"\"" + arguments;
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info = {};
    if (!CreateProcessW(nullptr, &commandLine[0], nullptr, nullptr, FALSE, CREATE_UNICODE_ENVIRONMENT, &environment[0],
                        sandbox.root().c_str(), &startup, &info))
        return gui;
    CloseHandle(info.hThread);
    gui.child.process.reset(info.hProcess);
    gui.child.id = info.dwProcessId;
    return gui;
}

}  // namespace

GuiProgram StartGui(const Sandbox& sandbox, const wchar_t* forcedDpi) {
    GuiProgram gui = StartGuiProcess(sandbox, forcedDpi, L"");
    if (gui.child.process)
        gui.window = WaitForTopLevelWindow(gui.child.id, L"PopSwatWindow", nullptr, 20000);
    return gui;
}

GuiProgram StartFindingsOnly(const Sandbox& sandbox, const wchar_t* forcedDpi) {
    GuiProgram gui = StartGuiProcess(sandbox, forcedDpi, L" --review");
    if (gui.child.process)
        gui.findings = FindingsWindowOf(gui, 20000);
    return gui;
}

HWND WaitForTopLevelWindow(DWORD processId, const wchar_t* className, const wchar_t* caption, DWORD timeoutMs) {
    HWND found = nullptr;
    WaitUntil(
        [&] {
            WindowSearch search = {processId, className, caption, nullptr};
            EnumWindows(MatchWindow, reinterpret_cast<LPARAM>(&search));
            found = search.found;
            return found != nullptr;
        },
        timeoutMs);
    return found;
}

DWORD WaitForExit(const ChildProcess& child, DWORD timeoutMs) {
    DWORD code = STILL_ACTIVE;
    if (WaitForSingleObject(child.process.get(), timeoutMs) == WAIT_OBJECT_0)
        GetExitCodeProcess(child.process.get(), &code);
    return code;
}

std::wstring ControlText(HWND control) {
    DWORD_PTR length = 0;
    if (!SendMessageTimeoutW(control, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, 10000, &length))
        return L"(no answer)";
    std::wstring text(length + 1, L'\0');
    DWORD_PTR copied = 0;
    SendMessageTimeoutW(control, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(&text[0]), SMTO_ABORTIFHUNG, 10000,
                        &copied);
    text.resize(copied);
    return text;
}

std::wstring WindowText(HWND window) {
    wchar_t text[512] = {};
    GetWindowTextW(window, text, 512);
    return text;
}

SIZE ClientSize(HWND window) {
    RECT client = {};
    GetClientRect(window, &client);
    return {client.right - client.left, client.bottom - client.top};
}

RECT ChildRect(HWND child) {
    RECT rect = {};
    GetWindowRect(child, &rect);
    MapWindowPoints(nullptr, GetParent(child), reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

HWND CleanButtonOf(HWND window) {
    return GetDlgItem(window, 1001);
}

HWND DescriptionOf(HWND window) {
    return GetDlgItem(window, IDC_DESCRIPTION);
}

int BodyShift(HWND window, int dpi) {
    RECT description = ChildRect(DescriptionOf(window));
    return description.bottom - description.top - MulDiv(54, dpi, 96);
}

HWND StatusLabelOf(HWND window) {
    return ChildWithStyle(window, L"Static", SS_CENTER);
}

std::wstring StatusText(HWND window) {
    return WindowText(StatusLabelOf(window));
}

COLORREF ClientPixel(HWND window, int x, int y) {
    POINT point = {x, y};
    ClientToScreen(window, &point);
    HDC screen = GetDC(nullptr);
    COLORREF colour = GetPixel(screen, point.x, point.y);
    ReleaseDC(nullptr, screen);
    return colour;
}

namespace {

// The bounding box of the pixels inside area that are (matching) or are not of the colour.
RECT BoundingBox(HWND window, const RECT& area, COLORREF colour, bool matching) {
    int width = area.right - area.left;
    int height = area.bottom - area.top;
    POINT origin = {area.left, area.top};
    ClientToScreen(window, &origin);
    // One copy of the area into a 32-bit top-down bitmap, instead of a round trip per pixel.
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ previous = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, width, height, screen, origin.x, origin.y, SRCCOPY);
    GdiFlush();
    RECT box = {0, 0, 0, 0};
    bool any = false;
    const auto* pixels = static_cast<const DWORD*>(bits);
    DWORD wanted = (GetRValue(colour) << 16) | (GetGValue(colour) << 8) | GetBValue(colour);
    for (int y = 0; pixels && y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            if (((pixels[y * width + x] & 0xFFFFFF) == wanted) != matching)
                continue;
            int cx = area.left + x, cy = area.top + y;
            if (!any)
                box = {cx, cy, cx + 1, cy + 1};
            box = {std::min<LONG>(box.left, cx), std::min<LONG>(box.top, cy), std::max<LONG>(box.right, cx + 1),
                   std::max<LONG>(box.bottom, cy + 1)};
            any = true;
        }
    }
    SelectObject(memory, previous);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    return box;
}

}  // namespace

RECT FindColour(HWND window, const RECT& area, COLORREF colour) {
    return BoundingBox(window, area, colour, true);
}

RECT FindOtherColours(HWND window, const RECT& area, COLORREF colour) {
    return BoundingBox(window, area, colour, false);
}

HWND ClickCleanButton(const GuiProgram& gui) {
    // Posted, not sent: the handler opens a modal box that this thread must stay free to answer.
    PostMessageW(gui.window, WM_COMMAND, MAKEWPARAM(1001, BN_CLICKED),
                 reinterpret_cast<LPARAM>(CleanButtonOf(gui.window)));
    return WaitForTopLevelWindow(gui.child.id, L"#32770", L"Clean My Browsers", 10000);
}

std::wstring MessageBoxText(HWND box) {
    return WindowText(GetDlgItem(box, 65535));
}

void AnswerMessageBox(HWND box, int buttonId) {
    SendMessageW(GetDlgItem(box, buttonId), BM_CLICK, 0, 0);
    WaitUntil([&] { return !IsWindow(box) || !IsWindowVisible(box); }, 10000);
}

HWND FindingsLinkOf(HWND window) {
    return FindWindowExW(window, nullptr, L"SysLink", nullptr);
}

HWND FindingsWindowOf(const GuiProgram& gui, DWORD timeoutMs) {
    return WaitForTopLevelWindow(gui.child.id, L"PopSwatFindings", L"PopSwat - What brings pop-ups back", timeoutMs);
}

namespace {

struct WindowCount {
    DWORD processId;
    int count;
};

BOOL CALLBACK CountFindingsWindow(HWND window, LPARAM parameter) {
    auto* counted = reinterpret_cast<WindowCount*>(parameter);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    wchar_t className[64] = {};
    GetClassNameW(window, className, 64);
    counted->count +=
        owner == counted->processId && IsWindowVisible(window) && wcscmp(className, L"PopSwatFindings") == 0;
    return TRUE;
}

}  // namespace

int FindingsWindowCount(const GuiProgram& gui) {
    WindowCount counted = {gui.child.id, 0};
    EnumWindows(CountFindingsWindow, reinterpret_cast<LPARAM>(&counted));
    return counted.count;
}

std::wstring SummaryText(HWND findings) {
    return WindowText(GetDlgItem(findings, 1101));
}

std::wstring ReportText(HWND findings) {
    return ControlText(GetDlgItem(findings, 1102));
}

bool WaitForReport(HWND findings, DWORD timeoutMs) {
    return WaitUntil([&] { return IsWindowEnabled(GetDlgItem(findings, 1104)) != FALSE; }, timeoutMs);
}

void ClickFindingsButton(HWND findings, int id) {
    // Posted: Take back opens a modal box that this thread must stay free to answer.
    PostMessageW(findings, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(findings, id)));
}

bool FindingsButtonEnabled(HWND findings, int id) {
    return IsWindowEnabled(GetDlgItem(findings, id)) != FALSE;
}

HWND ConfirmationBoxOf(const GuiProgram& gui, int buttonId) {
    ClickFindingsButton(gui.findings, buttonId);
    return WaitForTopLevelWindow(gui.child.id, L"#32770", L"PopSwat", 10000);
}

std::wstring ClipboardText() {
    std::wstring text;
    if (!OpenClipboard(nullptr))
        return L"(clipboard busy)";
    if (HANDLE data = GetClipboardData(CF_UNICODETEXT)) {
        if (const auto* chars = static_cast<const wchar_t*>(GlobalLock(data))) {
            text = chars;
            GlobalUnlock(data);
        }
    }
    CloseClipboard();
    return text;
}

void EmptyClipboardForTest() {
    if (OpenClipboard(nullptr)) {
        EmptyClipboard();
        CloseClipboard();
    }
}

void PressKey(WORD virtualKey) {
    INPUT inputs[2] = {};
    inputs[0].type = inputs[1].type = INPUT_KEYBOARD;
    inputs[0].ki.wVk = inputs[1].ki.wVk = virtualKey;
    inputs[1].ki.dwFlags = KEYEVENTF_KEYUP;
    SendInput(2, inputs, sizeof(INPUT));
}

HWND FocusOf(HWND window) {
    GUITHREADINFO info = {};
    info.cbSize = sizeof(info);
    GetGUIThreadInfo(GetWindowThreadProcessId(window, nullptr), &info);
    return info.hwndFocus;
}

int TabToNextControl(HWND window) {
    HWND before = FocusOf(window);
    PressKey(VK_TAB);
    HWND after = before;
    WaitUntil(
        [&] {
            after = FocusOf(window);
            return after != before;
        },
        5000);
    return after != before ? GetDlgCtrlID(after) : 0;
}

bool AnswersWithin(HWND window, UINT timeoutMs) {
    DWORD_PTR result = 0;
    return SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, timeoutMs, &result) != 0;
}

std::wstring OpenedAddressesFile() {
    // The recorder writes beside itself, in the test bed that made this prefix,
    // wherever that is (one started by hand need not sit beside the build's programs):
    // the prefix's own setting names it, as a Unix path, which Wine shows on drive Z:.
    wchar_t value[1024] = {};
    DWORD size = sizeof(value);
    if (RegGetValueW(HKEY_CURRENT_USER, L"Software\\Wine\\WineBrowser", L"Browsers", RRF_RT_REG_SZ, nullptr, value,
                     &size) == ERROR_SUCCESS &&
        value[0] == L'/') {
        std::wstring recorder = value;
        std::replace(recorder.begin(), recorder.end(), L'/', L'\\');
        return L"Z:" + recorder.substr(0, recorder.find_last_of(L'\\')) + L"\\opened-addresses.txt";
    }
    return TestProgramPath(L"..\\testbed\\opened-addresses.txt");
}

std::vector<std::string> OpenedAddresses() {
    return ReadLogLines(OpenedAddressesFile());
}

void MouseButtonAt(HWND window, int x, int y, bool down) {
    POINT point = {x, y};
    ClientToScreen(window, &point);
    SetCursorPos(point.x, point.y);
    INPUT input = {};
    input.type = INPUT_MOUSE;
    input.mi.dwFlags = down ? MOUSEEVENTF_LEFTDOWN : MOUSEEVENTF_LEFTUP;
    SendInput(1, &input, sizeof(input));
}
