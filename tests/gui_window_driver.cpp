#include "tests/gui_window_driver.h"

#include <algorithm>

#include <commctrl.h>
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
GuiProgram StartGuiProcess(const Sandbox& sandbox,
                           const wchar_t* forcedDpi,
                           const std::wstring& arguments,
                           const wchar_t* program = L"popswat-gui.exe") {
    GuiProgram gui;
    std::wstring environment = GuiEnvironment(sandbox, forcedDpi);
    std::wstring commandLine = L"\"" + TestProgramPath(program) + L"\"" + arguments;
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

GuiProgram StartFindingsProgram(const Sandbox& sandbox, const wchar_t* program, const std::wstring& arguments) {
    GuiProgram gui = StartGuiProcess(sandbox, L"96", arguments, program);
    if (gui.child.process)
        gui.findings = FindingsWindowOf(gui, 20000);
    return gui;
}

std::vector<std::string> RestartsRecorded(const Sandbox& sandbox) {
    return ReadLogLines(sandbox.localAppData() + L"\\restart-as-administrator.txt");
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

void ClickFindingsLink(HWND window) {
    RECT place = ChildRect(GetDlgItem(window, IDC_FINDINGS_LINK));
    POINT centre = {(place.left + place.right) / 2, (place.top + place.bottom) / 2};
    SetForegroundWindow(window);
    WaitUntil([&] { return GetForegroundWindow() == window; }, 5000);
    MouseButtonAt(window, centre.x, centre.y, true);
    MouseButtonAt(window, centre.x, centre.y, false);
    SetCursorPos(0, 0);
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

std::wstring DetailsText(HWND findings) {
    return ControlText(GetDlgItem(findings, IDC_FINDINGS_DETAILS));
}

namespace {

// A block of memory in the process of a window, for messages that carry pointers.
class RemoteMemory {
public:
    RemoteMemory(HWND window, std::size_t size) {
        DWORD processId = 0;
        GetWindowThreadProcessId(window, &processId);
        process_.reset(OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, processId));
        if (process_)
            address_ = VirtualAllocEx(process_.get(), nullptr, size, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
    }
    ~RemoteMemory() {
        if (address_)
            VirtualFreeEx(process_.get(), address_, 0, MEM_RELEASE);
    }
    RemoteMemory(const RemoteMemory&) = delete;
    RemoteMemory& operator=(const RemoteMemory&) = delete;
    char* at(std::size_t offset) const { return static_cast<char*>(address_) + offset; }
    bool Write(std::size_t offset, const void* data, std::size_t size) const {
        return address_ && WriteProcessMemory(process_.get(), at(offset), data, size, nullptr);
    }
    bool Read(std::size_t offset, void* data, std::size_t size) const {
        return address_ && ReadProcessMemory(process_.get(), at(offset), data, size, nullptr);
    }

private:
    UniqueHandle process_;
    void* address_ = nullptr;
};

HWND ListOf(HWND findings) {
    return GetDlgItem(findings, IDC_FINDINGS_LIST);
}

LRESULT SendWithin(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    DWORD_PTR result = 0;
    SendMessageTimeoutW(window, message, wParam, lParam, SMTO_ABORTIFHUNG, 10000, &result);
    return static_cast<LRESULT>(result);
}

std::wstring CellText(HWND list, int row, int column) {
    constexpr int CHARS = 2048;
    RemoteMemory memory(list, sizeof(LVITEMW) + CHARS * sizeof(wchar_t));
    LVITEMW item = {};
    item.iSubItem = column;
    item.pszText = reinterpret_cast<wchar_t*>(memory.at(sizeof(LVITEMW)));
    item.cchTextMax = CHARS;
    if (!memory.Write(0, &item, sizeof(item)))
        return L"(no memory)";
    LRESULT length = SendWithin(list, LVM_GETITEMTEXTW, row, reinterpret_cast<LPARAM>(memory.at(0)));
    std::wstring text(CHARS, L'\0');
    memory.Read(sizeof(LVITEMW), &text[0], CHARS * sizeof(wchar_t));
    text.resize(std::min<std::size_t>(static_cast<std::size_t>(length), wcsnlen(text.c_str(), CHARS)));
    return text;
}

}  // namespace

bool operator==(const ListRow& a, const ListRow& b) {
    return a.what == b.what && a.where == b.where && a.fix == b.fix && a.box == b.box;
}

void PrintTo(const ListRow& row, std::ostream* out) {
    *out << "{\"" << Utf8(row.what) << "\", \"" << Utf8(row.where) << "\", \"" << Utf8(row.fix) << "\", box " << row.box
         << "}";
}

int ListRowCount(HWND findings) {
    return static_cast<int>(SendWithin(ListOf(findings), LVM_GETITEMCOUNT, 0, 0));
}

ListRow ListRowAt(HWND findings, int row) {
    HWND list = ListOf(findings);
    UINT state = static_cast<UINT>(SendWithin(list, LVM_GETITEMSTATE, row, LVIS_STATEIMAGEMASK));
    return {CellText(list, row, 0), CellText(list, row, 1), CellText(list, row, 2),
            static_cast<int>((state & LVIS_STATEIMAGEMASK) >> 12)};
}

std::vector<ListRow> ListRows(HWND findings) {
    std::vector<ListRow> rows;
    for (int row = 0, count = ListRowCount(findings); row < count; ++row)
        rows.push_back(ListRowAt(findings, row));
    return rows;
}

void SelectListRow(HWND findings, int row) {
    HWND list = ListOf(findings);
    RemoteMemory memory(list, sizeof(LVITEMW));
    LVITEMW item = {};
    item.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    item.state = LVIS_SELECTED | LVIS_FOCUSED;
    if (memory.Write(0, &item, sizeof(item)))
        SendWithin(list, LVM_SETITEMSTATE, row, reinterpret_cast<LPARAM>(memory.at(0)));
}

bool ListShowsGroups(HWND findings) {
    return SendWithin(ListOf(findings), LVM_ISGROUPVIEWENABLED, 0, 0) != 0;
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
