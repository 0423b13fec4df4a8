#include "base/base.h"

#include <windows.h>

std::wstring LongPathForm(const std::wstring& path) {
    // Already in a device or long-path form: used as it is.
    if (path.rfind(L"\\\\?\\", 0) == 0 || path.rfind(L"\\\\.\\", 0) == 0)
        return path;
    if (path.size() >= 2 && IsAsciiLetter(path[0]) && path[1] == L':') {
        // "\\?\C:" names no folder (error 66): the root needs its backslash.
        if (path.size() == 2)
            return L"\\\\?\\" + path + L"\\";
        if (path[2] == L'\\')
            return L"\\\\?\\" + path;
    }
    if (path.rfind(L"\\\\", 0) == 0)
        return L"\\\\?\\UNC\\" + path.substr(2);
    return path;
}

std::wstring FullFolderPath(const std::wstring& path) {
    if (path.empty())
        return path;
    DWORD needed = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
    if (needed == 0)
        return std::wstring();
    std::wstring full(needed, L'\0');
    DWORD length = GetFullPathNameW(path.c_str(), needed, &full[0], nullptr);
    if (length == 0 || length >= needed)
        return std::wstring();
    full.resize(length);
    // "C:\" becomes "C:", so that a child is always the folder, a backslash and a name.
    if (full.size() > 1 && full.back() == L'\\')
        full.pop_back();
    return full;
}

bool SamePath(const std::wstring& a, const std::wstring& b) {
    // Windows compares file names without regard to case, beyond ASCII too.
    return CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(), static_cast<int>(b.size()), TRUE) ==
           CSTR_EQUAL;
}

bool PathIsGone(const std::wstring& path) {
    if (GetFileAttributesW(LongPathForm(path).c_str()) != INVALID_FILE_ATTRIBUTES)
        return false;
    return IsNotFoundError(GetLastError());
}

bool IsNotFoundError(uint32_t error) {
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}
