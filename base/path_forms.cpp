#include "base/base.h"
#include "base/win_handles.h"

#include <algorithm>

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

std::wstring FolderOfPath(const std::wstring& path) {
    std::size_t slash = path.find_last_of(L'\\');
    return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash);
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

bool IsFullPath(const std::wstring& path) {
    bool drive = path.size() >= 3 && IsAsciiLetter(path[0]) && path[1] == L':' && path[2] == L'\\';
    return drive || path.rfind(L"\\\\", 0) == 0;
}

std::wstring FinalPathOfHandle(void* handle) {
    std::wstring resolved(MAX_PATH, L'\0');
    for (;;) {
        DWORD length = GetFinalPathNameByHandleW(handle, &resolved[0], static_cast<DWORD>(resolved.size()), 0);
        if (length == 0)
            return std::wstring();
        if (length < resolved.size()) {
            resolved.resize(length);
            return resolved;
        }
        resolved.resize(length);
    }
}

std::wstring FinalPath(const std::wstring& path) {
    // No access asked: only the name is wanted, and no sharing mode stands in the way.
    UniqueHandle handle(CreateFileW(LongPathForm(path).c_str(), 0,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                    FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    return handle ? FinalPathOfHandle(handle.get()) : std::wstring();
}

bool ReadFileIdentity(const std::wstring& path, FileIdentity* identity) {
    UniqueHandle handle(CreateFileW(LongPathForm(path).c_str(), 0,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                    FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    BY_HANDLE_FILE_INFORMATION information = {};
    if (!handle || !GetFileInformationByHandle(handle.get(), &information))
        return false;
    identity->volume = information.dwVolumeSerialNumber;
    identity->index = (uint64_t{information.nFileIndexHigh} << 32) | information.nFileIndexLow;
    return true;
}

namespace {

// Every name of the path without its trailing dots and spaces.
std::wstring TrimEveryName(const std::wstring& path) {
    std::wstring trimmed;
    for (std::size_t start = 0; start <= path.size();) {
        std::size_t end = std::min(path.find(L'\\', start), path.size());
        std::wstring name = path.substr(start, end - start);
        trimmed += name.substr(0, name.find_last_not_of(L". ") + 1);
        if (end < path.size())
            trimmed += L'\\';
        start = end + 1;
    }
    return trimmed;
}

}  // namespace

bool IsAtItsOwnName(const std::wstring& finalPath, const std::wstring& folderFinalPath, const std::wstring& name) {
    if (finalPath.empty() || folderFinalPath.empty())
        return false;
    return SamePath(TrimEveryName(finalPath), TrimEveryName(folderFinalPath + L"\\" + name));
}
