#include "engine/engine.h"
#include "engine/win_handles.h"

#include <windows.h>
#include <tlhelp32.h>

#include <algorithm>

namespace {

// The session of the interactive user who started PopSwat. Other sessions'
// processes (other users on a shared machine, services) are never touched.
bool SessionOf(DWORD processId, DWORD* session) {
    return ProcessIdToSessionId(processId, session) != FALSE;
}

BOOL CALLBACK PostCloseToBrowserWindow(HWND window, LPARAM parameter) {
    const auto& ids = *reinterpret_cast<const std::vector<uint32_t>*>(parameter);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    // Posted, never sent: a hung browser must not hang the cleanup with it.
    if (std::find(ids.begin(), ids.end(), owner) != ids.end() && IsWindowVisible(window))
        PostMessageW(window, WM_CLOSE, 0, 0);
    return TRUE;
}

// Waits for every handle to be signalled, at most until the deadline (a
// GetTickCount64 value). WaitForMultipleObjects takes at most
// MAXIMUM_WAIT_OBJECTS handles, so larger lists are waited for group by group,
// every group against the same deadline.
void WaitForAllUntil(const std::vector<UniqueHandle>& handles, ULONGLONG deadline) {
    std::vector<HANDLE> group;
    for (std::size_t first = 0; first < handles.size(); first += MAXIMUM_WAIT_OBJECTS) {
        std::size_t count = std::min<std::size_t>(MAXIMUM_WAIT_OBJECTS, handles.size() - first);
        group.clear();
        for (std::size_t i = first; i < first + count; ++i)
            group.push_back(handles[i].get());
        ULONGLONG now = GetTickCount64();
        DWORD remaining = now < deadline ? static_cast<DWORD>(deadline - now) : 0;
        // A failed or timed-out wait changes nothing: whatever still runs is terminated afterwards.
        WaitForMultipleObjects(static_cast<DWORD>(count), group.data(), TRUE, remaining);
    }
}

void RequestGracefulClose(const std::vector<uint32_t>& processIds) {
    EnumWindows(PostCloseToBrowserWindow, reinterpret_cast<LPARAM>(&processIds));

    std::vector<UniqueHandle> handles;
    handles.reserve(processIds.size());
    for (uint32_t id : processIds) {
        // Processes that have already ended, or that we may not open, are simply not waited for.
        UniqueHandle process(OpenProcess(SYNCHRONIZE, FALSE, id));
        if (process)
            handles.push_back(std::move(process));
    }
    if (!handles.empty())
        WaitForAllUntil(handles, GetTickCount64() + GRACEFUL_WAIT_MS);
}

void TerminateAll(const std::wstring& imageName) {
    for (uint32_t id : FindProcessIds(imageName)) {
        UniqueHandle process(OpenProcess(PROCESS_TERMINATE, FALSE, id));
        if (process)
            TerminateProcess(process.get(), 0);
    }
}

}  // namespace

std::vector<uint32_t> FindProcessIds(const std::wstring& imageName) {
    std::vector<uint32_t> ids;
    DWORD ownSession = 0;
    if (!SessionOf(GetCurrentProcessId(), &ownSession))
        return ids;
    UniqueHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (!snapshot)
        return ids;
    PROCESSENTRY32W entry = {};
    entry.dwSize = sizeof(entry);
    for (BOOL more = Process32FirstW(snapshot.get(), &entry); more; more = Process32NextW(snapshot.get(), &entry)) {
        if (!EqualsIgnoringAsciiCase(entry.szExeFile, imageName))
            continue;
        // A process whose session cannot be read is not known to be ours.
        DWORD session = 0;
        if (SessionOf(entry.th32ProcessID, &session) && session == ownSession)
            ids.push_back(entry.th32ProcessID);
    }
    return ids;
}

void CloseBrowser(const CleanupOptions& options, const std::wstring& displayName, const std::wstring& imageName) {
    std::vector<uint32_t> processIds = FindProcessIds(imageName);
    if (processIds.empty())
        return;
    WriteLine(options, FormatWide(L"Closing %ls ...", displayName.c_str()));
    if (options.preview) {
        WriteLine(options,
                  FormatWide(L"  [preview] would close %ls (%zu process(es))", displayName.c_str(), processIds.size()));
        return;
    }
    if (!options.force)
        RequestGracefulClose(processIds);
    // A fresh snapshot: processes that exited are gone, ones started meanwhile are included.
    TerminateAll(imageName);
}
