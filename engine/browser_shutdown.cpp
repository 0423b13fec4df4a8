#include "base/win_handles.h"
#include "engine/engine_testing.h"

#include <windows.h>
#include <tlhelp32.h>

#include <algorithm>
#include <string_view>

namespace {

bool ProcessSession(uint32_t processId, uint32_t* session) {
    DWORD id = 0;
    if (!ProcessIdToSessionId(processId, &id))
        return false;
    *session = id;
    return true;
}

}  // namespace

bool (*readProcessSession)(uint32_t processId, uint32_t* session) = ProcessSession;

namespace {

// One row of the closing phase: the processes the first snapshot gave it and
// whether any of its windows was asked to close.
struct BrowserToClose {
    const BrowserEntry* row;
    std::vector<uint32_t> ids;
    std::vector<UniqueHandle> waitHandles;
    bool closeRequested = false;
};

struct ClosingPhase {
    std::vector<BrowserToClose> browsers;    // one per row, in row order
    std::vector<UniqueHandle> endedHandles;  // processes terminated, opened for waiting as well
    bool someProcessNotWaitable = false;     // running, but not to be opened for waiting
};

// The session of the interactive user who started PopSwat. Other sessions'
// processes (other users on a shared machine, services) are never touched.
bool SessionOf(DWORD processId, uint32_t* session) {
    return readProcessSession(processId, session);
}

// From one snapshot, for each of imageNames, the ids of our session's processes
// whose image name equals it (ASCII case ignored), in snapshot order. A process
// counts only for the first name it equals.
std::vector<std::vector<uint32_t>> FindProcessIdsByImage(const std::vector<std::wstring_view>& imageNames) {
    std::vector<std::vector<uint32_t>> ids(imageNames.size());
    uint32_t ownSession = 0;
    if (!SessionOf(GetCurrentProcessId(), &ownSession))
        return ids;
    UniqueHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (!snapshot)
        return ids;
    PROCESSENTRY32W entry = {};
    entry.dwSize = sizeof(entry);
    for (BOOL more = Process32FirstW(snapshot.get(), &entry); more; more = Process32NextW(snapshot.get(), &entry)) {
        auto first = std::find_if(imageNames.begin(), imageNames.end(), [&](std::wstring_view name) {
            return EqualsIgnoringAsciiCase(entry.szExeFile, name);
        });
        if (first == imageNames.end())
            continue;
        // A process whose session cannot be read is not known to be ours.
        uint32_t session = 0;
        if (SessionOf(entry.th32ProcessID, &session) && session == ownSession)
            ids[first - imageNames.begin()].push_back(entry.th32ProcessID);
    }
    return ids;
}

std::vector<std::vector<uint32_t>> FindBrowserProcessIds(const std::vector<BrowserToClose>& browsers) {
    std::vector<std::wstring_view> imageNames;
    for (const BrowserToClose& browser : browsers)
        imageNames.push_back(browser.row->imageName);
    return FindProcessIdsByImage(imageNames);
}

// Opening fails with ERROR_INVALID_PARAMETER when no such process exists any
// more: it has ended and holds nothing. Any other failure (access denied)
// leaves a process that may still hold its files and cannot be waited for.
bool ProcessIsGone() {
    return GetLastError() == ERROR_INVALID_PARAMETER;
}

void OpenForWaiting(ClosingPhase* phase, BrowserToClose* browser) {
    for (uint32_t id : browser->ids) {
        UniqueHandle process(OpenProcess(SYNCHRONIZE, FALSE, id));
        if (process)
            browser->waitHandles.push_back(std::move(process));
        else if (!ProcessIsGone())
            phase->someProcessNotWaitable = true;
    }
}

BOOL CALLBACK PostCloseToBrowserWindow(HWND window, LPARAM parameter) {
    auto& browsers = *reinterpret_cast<std::vector<BrowserToClose>*>(parameter);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    for (BrowserToClose& browser : browsers) {
        if (std::find(browser.ids.begin(), browser.ids.end(), owner) == browser.ids.end())
            continue;
        // Posted, never sent: a hung browser must not hang the cleanup with it.
        if (IsWindowVisible(window) && PostMessageW(window, WM_CLOSE, 0, 0))
            browser.closeRequested = true;
        break;
    }
    return TRUE;
}

// Waits for every handle to be signalled, at most until the deadline (a
// GetTickCount64 value). WaitForMultipleObjects takes at most
// MAXIMUM_WAIT_OBJECTS handles, so larger lists are waited for group by group,
// every group against the same deadline.
void WaitForAllUntil(const std::vector<HANDLE>& handles, ULONGLONG deadline) {
    for (std::size_t first = 0; first < handles.size(); first += MAXIMUM_WAIT_OBJECTS) {
        std::size_t count = std::min<std::size_t>(MAXIMUM_WAIT_OBJECTS, handles.size() - first);
        ULONGLONG now = GetTickCount64();
        DWORD remaining = now < deadline ? static_cast<DWORD>(deadline - now) : 0;
        // A failed or timed-out wait changes nothing: whatever still runs is terminated afterwards.
        WaitForMultipleObjects(static_cast<DWORD>(count), handles.data() + first, TRUE, remaining);
    }
}

// The wait handles of the browsers found, of only those asked to close when requestedOnly is set.
std::vector<HANDLE> WaitHandlesOf(const ClosingPhase& phase, bool requestedOnly) {
    std::vector<HANDLE> handles;
    for (const BrowserToClose& browser : phase.browsers) {
        if (requestedOnly && !browser.closeRequested)
            continue;
        for (const UniqueHandle& process : browser.waitHandles)
            handles.push_back(process.get());
    }
    return handles;
}

// Terminates, from a fresh snapshot, every process of the browsers found at
// the start (of only those not asked to close when unaskedOnly is set):
// processes that ended meanwhile are no longer listed, ones started since are.
void TerminateBrowsers(ClosingPhase* phase, bool unaskedOnly) {
    auto selected = [unaskedOnly](const BrowserToClose& browser) {
        return !browser.ids.empty() && !(unaskedOnly && browser.closeRequested);
    };
    if (std::none_of(phase->browsers.begin(), phase->browsers.end(), selected))
        return;
    std::vector<std::vector<uint32_t>> current = FindBrowserProcessIds(phase->browsers);
    for (std::size_t i = 0; i < phase->browsers.size(); ++i) {
        if (!selected(phase->browsers[i]))
            continue;
        for (uint32_t id : current[i]) {
            UniqueHandle process(OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, id));
            bool waitable = static_cast<bool>(process);
            if (!waitable && !ProcessIsGone())
                process.reset(OpenProcess(PROCESS_TERMINATE, FALSE, id));
            if (!process)
                continue;
            TerminateProcess(process.get(), 0);
            if (waitable)
                phase->endedHandles.push_back(std::move(process));
            else
                phase->someProcessNotWaitable = true;
        }
    }
}

// Terminated processes let go of their files only once the system has closed
// everything they held, which is when their handles are signalled. A process
// that could not be opened for waiting gets the whole pause.
void SettleAfterClosing(const ClosingPhase& phase) {
    ULONGLONG deadline = GetTickCount64() + SETTLE_PAUSE_MS;
    std::vector<HANDLE> handles = WaitHandlesOf(phase, false);
    for (const UniqueHandle& process : phase.endedHandles)
        handles.push_back(process.get());
    WaitForAllUntil(handles, deadline);
    ULONGLONG now = GetTickCount64();
    if (phase.someProcessNotWaitable && now < deadline)
        Sleep(static_cast<DWORD>(deadline - now));
}

}  // namespace

std::vector<uint32_t> FindProcessIds(const std::wstring& imageName) {
    return FindProcessIdsByImage({imageName}).front();
}

void CloseBrowsers(const CleanupOptions& options, const BrowserCatalogue& rows) {
    ClosingPhase phase;
    for (const BrowserEntry& row : rows)
        phase.browsers.push_back(BrowserToClose{&row, {}, {}, false});
    std::vector<std::vector<uint32_t>> found = FindBrowserProcessIds(phase.browsers);
    bool anyFound = false;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        phase.browsers[i].ids = std::move(found[i]);
        if (phase.browsers[i].ids.empty())
            continue;
        anyFound = true;
        WriteLine(options, FormatWide(L"Closing %ls ...", rows[i].displayName));
        if (options.preview) {
            WriteLine(options, FormatWide(L"  [preview] would close %ls (%zu process(es))", rows[i].displayName,
                                          phase.browsers[i].ids.size()));
        }
    }
    if (!anyFound || options.preview)
        return;

    // Opened before any close request, so that a process which exits at once is still waited for, not missed.
    for (BrowserToClose& browser : phase.browsers)
        OpenForWaiting(&phase, &browser);
    if (!options.force) {
        EnumWindows(PostCloseToBrowserWindow, reinterpret_cast<LPARAM>(&phase.browsers));
        ULONGLONG deadline = GetTickCount64() + GRACEFUL_WAIT_MS;
        bool anyRequested = std::any_of(phase.browsers.begin(), phase.browsers.end(),
                                        [](const BrowserToClose& browser) { return browser.closeRequested; });
        if (anyRequested) {
            // A browser without a visible window cannot answer; it is not waited for, but ended
            // only now that every other browser has had its close request.
            TerminateBrowsers(&phase, true);
            WaitForAllUntil(WaitHandlesOf(phase, true), deadline);
        }
    }
    TerminateBrowsers(&phase, false);
    SettleAfterClosing(phase);
}
