// Times whole cleanup runs: with nothing running, with browser stand-ins that
// exit on WM_CLOSE, and with one that ignores it. Each run is timed in process
// (RunCleanup) and as a whole program (popswat.exe --yes, process start
// included).
//
// The stand-ins are copies of popswat_testhelper.exe under the real browser
// image names, so this program refuses to run anywhere but under Wine, where
// the process list holds only the processes of its own prefix.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "engine/engine.h"
#include "engine/win_handles.h"

namespace {

double g_ticksPerMs = 0;

double NowMs() {
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return static_cast<double>(now.QuadPart) / g_ticksPerMs;
}

std::wstring ProgramFolder() {
    wchar_t self[MAX_PATH];
    DWORD length = GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring folder(self, length);
    return folder.substr(0, folder.find_last_of(L'\\'));
}

std::wstring MakeWorkFolder() {
    wchar_t temp[MAX_PATH + 1];
    DWORD length = GetTempPathW(MAX_PATH + 1, temp);
    std::wstring folder = std::wstring(temp, length) + L"popswat-timing-" + std::to_wstring(GetCurrentProcessId());
    CreateDirectoryW(folder.c_str(), nullptr);
    CreateDirectoryW((folder + L"\\Local").c_str(), nullptr);
    CreateDirectoryW((folder + L"\\Roaming").c_str(), nullptr);
    return folder;
}

struct StandInSpec {
    const wchar_t* imageName;
    int count;
    bool exitOnClose;
    DWORD exitDelayMs;
};

struct Scenario {
    const char* name;
    std::vector<StandInSpec> standIns;
};

UniqueHandle Start(const std::wstring& commandLine) {
    std::wstring line = commandLine;
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info = {};
    if (!CreateProcessW(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info))
        return UniqueHandle();
    CloseHandle(info.hThread);
    return UniqueHandle(info.hProcess);
}

// Starts the scenario's stand-ins and waits until every window is up.
std::vector<UniqueHandle> StartStandIns(const std::wstring& work, const Scenario& scenario) {
    static int counter = 0;
    std::vector<UniqueHandle> processes;
    std::vector<std::wstring> logs;
    for (const StandInSpec& spec : scenario.standIns) {
        std::wstring folder = work + L"\\standins-" + std::to_wstring(counter++);
        CreateDirectoryW(folder.c_str(), nullptr);
        std::wstring program = folder + L"\\" + spec.imageName;
        CopyFileW((ProgramFolder() + L"\\popswat_testhelper.exe").c_str(), program.c_str(), FALSE);
        for (int i = 0; i < spec.count; ++i) {
            std::wstring log = folder + L"\\log-" + std::to_wstring(i) + L".txt";
            processes.push_back(Start(L"\"" + program + L"\" browser visible " +
                                      (spec.exitOnClose ? L"exit " : L"ignore ") + std::to_wstring(spec.exitDelayMs) +
                                      L" \"" + log + L"\""));
            logs.push_back(log);
        }
    }
    for (const std::wstring& log : logs) {
        for (int i = 0; i < 3000 && GetFileAttributesW(log.c_str()) == INVALID_FILE_ATTRIBUTES; ++i)
            Sleep(10);
    }
    Sleep(100);  // let the windows finish showing
    return processes;
}

// Records when the last stand-in has ended.
class ExitWatch {
public:
    explicit ExitWatch(const std::vector<UniqueHandle>& processes) {
        std::vector<HANDLE> handles;
        for (const UniqueHandle& process : processes)
            handles.push_back(process.get());
        if (!handles.empty()) {
            thread_ = std::thread([this, handles] {
                WaitForMultipleObjects(static_cast<DWORD>(handles.size()), handles.data(), TRUE, 60000);
                lastExitMs_ = NowMs();
            });
        }
    }
    ~ExitWatch() { Finish(); }
    ExitWatch(const ExitWatch&) = delete;
    ExitWatch& operator=(const ExitWatch&) = delete;

    // When the last stand-in ended; 0 without stand-ins.
    double Finish() {
        if (thread_.joinable())
            thread_.join();
        return lastExitMs_;
    }

private:
    std::thread thread_;
    double lastExitMs_ = 0;
};

void PrintFigures(const char* how, double start, double closingEnd, double end, double lastExit) {
    std::printf("  %-12s run %7.1f ms, closing phase %7.1f ms", how, end - start, closingEnd - start);
    if (lastExit > 0)
        std::printf(", last stand-in gone after %7.1f ms", lastExit - start);
    std::printf("\n");
}

void TimeInProcess(const std::wstring& work, const Scenario& scenario) {
    std::vector<UniqueHandle> standIns = StartStandIns(work, scenario);
    ExitWatch watch(standIns);
    double pauseStart = 0;
    CleanupOptions options;
    // The first empty line follows the closing phase and the settling pause.
    options.log = [&](const std::wstring& line) {
        if (line.empty() && pauseStart == 0)
            pauseStart = NowMs() - SETTLE_PAUSE_MS;
    };
    double start = NowMs();
    RunCleanup(options);
    double end = NowMs();
    PrintFigures("RunCleanup", start, pauseStart, end, watch.Finish());
}

void TimeProgram(const std::wstring& work, const Scenario& scenario) {
    std::vector<UniqueHandle> standIns = StartStandIns(work, scenario);
    ExitWatch watch(standIns);
    std::wstring commandLine = L"\"" + ProgramFolder() + L"\\popswat.exe\" --yes";
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    // The program's output is not part of the figures.
    UniqueHandle nul(
        CreateFileW(L"NUL", GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr));
    SetHandleInformation(nul.get(), HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = nul.get();
    startup.hStdOutput = nul.get();
    startup.hStdError = nul.get();
    PROCESS_INFORMATION info = {};
    double start = NowMs();
    if (!CreateProcessW(nullptr, &commandLine[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &info)) {
        std::printf("  popswat.exe could not be started\n");
        return;
    }
    CloseHandle(info.hThread);
    UniqueHandle process(info.hProcess);
    WaitForSingleObject(process.get(), 60000);
    double end = NowMs();
    double lastExit = watch.Finish();
    std::printf("  %-12s run %7.1f ms (process start and exit included)", "popswat.exe", end - start);
    if (lastExit > 0)
        std::printf(", last stand-in gone after %7.1f ms", lastExit - start);
    std::printf("\n");
}

bool RunningUnderWine() {
    HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    return ntdll && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (!RunningUnderWine()) {
        std::printf("popswat_run_timing starts stand-ins under real browser names; it runs only under Wine.\n");
        return 2;
    }
    int repeats = argc > 1 ? std::max(1, _wtoi(argv[1])) : 3;
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    g_ticksPerMs = static_cast<double>(frequency.QuadPart) / 1000.0;

    // Empty base folders: the figures are about closing, pausing and walking the catalogue.
    std::wstring work = MakeWorkFolder();
    SetEnvironmentVariableW(L"LOCALAPPDATA", (work + L"\\Local").c_str());
    SetEnvironmentVariableW(L"APPDATA", (work + L"\\Roaming").c_str());

    const Scenario scenarios[] = {
        {"nothing running", {}},
        {"stand-ins exit at once on WM_CLOSE (3 chrome.exe, 2 msedge.exe, 1 firefox.exe)",
         {{L"chrome.exe", 3, true, 0}, {L"msedge.exe", 2, true, 0}, {L"firefox.exe", 1, true, 0}}},
        {"stand-ins exit 300 ms after WM_CLOSE (3 chrome.exe, 1 firefox.exe)",
         {{L"chrome.exe", 3, true, 300}, {L"firefox.exe", 1, true, 300}}},
        {"one stand-in ignores WM_CLOSE (1 chrome.exe)", {{L"chrome.exe", 1, false, 0}}},
    };
    std::printf("settling pause %u ms, graceful wait %u ms\n", SETTLE_PAUSE_MS, GRACEFUL_WAIT_MS);
    for (const Scenario& scenario : scenarios) {
        std::printf("\n%s\n", scenario.name);
        for (int i = 0; i < repeats; ++i)
            TimeInProcess(work, scenario);
        for (int i = 0; i < repeats; ++i)
            TimeProgram(work, scenario);
        std::fflush(stdout);
    }
    RemoveFolderTree(CleanupOptions{}, work);
    return 0;
}
