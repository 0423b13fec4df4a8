// Built into the tests' copy of popswat-gui: the process plays one without
// administrator rights, and its restart as administrator writes the parameters
// it would start with to restart-as-administrator.txt in %LOCALAPPDATA% (the
// test's sandbox) instead of starting anything.
#include <windows.h>

#include <string>

#include "base/base.h"
#include "engine/engine_testing.h"
#include "gui/window_parts.h"

namespace {

bool RecordRestart(HWND, const std::wstring& parameters) {
    wchar_t folder[1024] = {};
    DWORD length = GetEnvironmentVariableW(L"LOCALAPPDATA", folder, 1024);
    if (length == 0 || length >= 1024)
        return false;
    std::wstring path = std::wstring(folder) + L"\\restart-as-administrator.txt";
    HANDLE file = CreateFileW(path.c_str(), FILE_APPEND_DATA, 0, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    std::string line = WideToUtf8(parameters) + "\n";
    DWORD written = 0;
    bool done =
        WriteFile(file, line.data(), static_cast<DWORD>(line.size()), &written, nullptr) && written == line.size();
    CloseHandle(file);
    return done;
}

struct Seams {
    Seams() {
        isProcessElevated = [] { return false; };
        startAsAdministrator = RecordRestart;
    }
} seams;

}  // namespace
