// Times whole cleanup runs against browser stand-ins and sets each figure
// beside its goal: with nothing running, with stand-ins that exit on WM_CLOSE
// at once or after a while, with ones that ignore it, with ones that show no
// window, and with 70 of them. Each scenario is timed in process (RunCleanup)
// and as a whole program (popswat.exe --yes, process start included); the
// goals are for the run in process, and the last line says whether all were met.
//
// The stand-ins are copies of popswat_testhelper.exe under the real browser
// image names, so this program refuses to run anywhere but under Wine, where
// the process list holds only the processes of its own prefix.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "engine/engine_parts.h"
#include "base/win_handles.h"

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

struct StandInGroup {
    const wchar_t* imageName;
    int count;
    bool visible;
    bool exitOnClose;
    DWORD exitDelayMs;
};

struct Scenario {
    const char* name;
    std::vector<StandInGroup> standIns;
    double goalMs;       // what the whole run in process may take at most...
    bool afterLastExit;  // ...counted from the last stand-in's exit instead of the start
};

// One timed run, in milliseconds from its start.
struct Timing {
    double run = 0;
    double closingPhase = 0;  // until the empty line after the closing phase; in process only
    double lastExit = 0;      // when the last stand-in had gone; 0 without stand-ins
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
    for (const StandInGroup& group : scenario.standIns) {
        std::wstring folder = work + L"\\standins-" + std::to_wstring(counter++);
        CreateDirectoryW(folder.c_str(), nullptr);
        std::wstring program = folder + L"\\" + group.imageName;
        CopyFileW((ProgramFolder() + L"\\popswat_testhelper.exe").c_str(), program.c_str(), FALSE);
        for (int i = 0; i < group.count; ++i) {
            std::wstring log = folder + L"\\log-" + std::to_wstring(i) + L".txt";
            processes.push_back(Start(L"\"" + program + L"\" browser " + (group.visible ? L"visible " : L"hidden ") +
                                      (group.exitOnClose ? L"exit " : L"ignore ") + std::to_wstring(group.exitDelayMs) +
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
            // One by one: WaitForMultipleObjects takes at most 64 handles.
            thread_ = std::thread([this, handles] {
                for (HANDLE process : handles)
                    WaitForSingleObject(process, 60000);
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

double SinceStart(double start, double moment) {
    return moment > 0 ? moment - start : 0;
}

Timing TimeInProcess(const std::wstring& work, const Scenario& scenario) {
    std::vector<UniqueHandle> standIns = StartStandIns(work, scenario);
    ExitWatch watch(standIns);
    double closingEnd = 0;
    CleanupOptions options;
    // The first empty line follows the closing phase and its settling pause.
    options.log = [&](const std::wstring& line) {
        if (line.empty() && closingEnd == 0)
            closingEnd = NowMs();
    };
    double start = NowMs();
    RunCleanup(options);
    double end = NowMs();
    return Timing{end - start, SinceStart(start, closingEnd), SinceStart(start, watch.Finish())};
}

Timing TimeProgram(const std::wstring& work, const Scenario& scenario) {
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
        return Timing{};
    }
    CloseHandle(info.hThread);
    UniqueHandle process(info.hProcess);
    WaitForSingleObject(process.get(), 60000);
    double end = NowMs();
    return Timing{end - start, 0, SinceStart(start, watch.Finish())};
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    std::size_t middle = values.size() / 2;
    return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

// The figure the goal is about: the whole run, or how long it went on after the last stand-in's exit.
double GoalFigure(const Scenario& scenario, const Timing& timing) {
    return scenario.afterLastExit ? timing.run - timing.lastExit : timing.run;
}

// Prints every run and the medians; returns the median of the goal's figure.
double Report(const char* how, const Scenario& scenario, const std::vector<Timing>& timings) {
    std::vector<double> runs;
    std::vector<double> closing;
    std::vector<double> lastExits;
    std::vector<double> figures;
    std::printf("  %-12s run ms:", how);
    for (const Timing& timing : timings) {
        std::printf(" %.1f", timing.run);
        runs.push_back(timing.run);
        closing.push_back(timing.closingPhase);
        lastExits.push_back(timing.lastExit);
        figures.push_back(GoalFigure(scenario, timing));
    }
    std::printf("; median %.1f", Median(runs));
    if (Median(closing) > 0)
        std::printf(", closing phase %.1f", Median(closing));
    if (scenario.afterLastExit)
        std::printf(", last stand-in gone at %.1f, run ended %.1f later", Median(lastExits), Median(figures));
    std::printf("\n");
    return Median(figures);
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
    int repeats = argc > 1 ? std::max(3, _wtoi(argv[1])) : 3;
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    g_ticksPerMs = static_cast<double>(frequency.QuadPart) / 1000.0;

    // Empty base folders: the figures are about closing, pausing and walking the catalogue.
    std::wstring work = MakeWorkFolder();
    SetEnvironmentVariableW(L"LOCALAPPDATA", (work + L"\\Local").c_str());
    SetEnvironmentVariableW(L"APPDATA", (work + L"\\Roaming").c_str());

    const Scenario scenarios[] = {
        {"nothing running", {}, 50, false},
        {"3 chrome.exe + 2 msedge.exe + 1 firefox.exe stand-ins that exit at once on WM_CLOSE",
         {{L"chrome.exe", 3, true, true, 0}, {L"msedge.exe", 2, true, true, 0}, {L"firefox.exe", 1, true, true, 0}},
         50,
         true},
        {"3 chrome.exe + 1 firefox.exe stand-ins that exit 300 ms after WM_CLOSE",
         {{L"chrome.exe", 3, true, true, 300}, {L"firefox.exe", 1, true, true, 300}},
         400,
         false},
        {"chrome.exe and msedge.exe stand-ins that both ignore WM_CLOSE",
         {{L"chrome.exe", 1, true, false, 0}, {L"msedge.exe", 1, true, false, 0}},
         GRACEFUL_WAIT_MS + 150.0,
         false},
        {"3 msedge.exe stand-ins with only hidden windows, nothing else",
         {{L"msedge.exe", 3, false, true, 0}},
         150,
         false},
        {"70 chrome.exe stand-ins that exit on WM_CLOSE", {{L"chrome.exe", 70, true, true, 0}}, 100, true},
    };
    std::printf("graceful wait %u ms, settling pause at most %u ms; %d runs each, figures in ms\n", GRACEFUL_WAIT_MS,
                SETTLE_PAUSE_MS, repeats);
    std::size_t missed = 0;
    for (const Scenario& scenario : scenarios) {
        std::printf("\n%s\n", scenario.name);
        std::printf("  goal: the whole run in process takes at most %s%.0f ms\n",
                    scenario.afterLastExit ? "the last stand-in's exit + " : "", scenario.goalMs);
        std::vector<Timing> inProcess;
        std::vector<Timing> program;
        for (int i = 0; i < repeats; ++i)
            inProcess.push_back(TimeInProcess(work, scenario));
        for (int i = 0; i < repeats; ++i)
            program.push_back(TimeProgram(work, scenario));
        double figure = Report("RunCleanup", scenario, inProcess);
        Report("popswat.exe", scenario, program);
        bool met = figure <= scenario.goalMs;
        std::printf("  %s: median %.1f ms against at most %.0f ms\n", met ? "met" : "MISSED", figure, scenario.goalMs);
        if (!met)
            ++missed;
        std::fflush(stdout);
    }
    std::printf("\n");
    if (missed == 0)
        std::printf("Every goal was met (%zu of %zu).\n", std::size(scenarios), std::size(scenarios));
    else
        std::printf("Not every goal was met: %zu of %zu missed.\n", missed, std::size(scenarios));
    RemoveFolderTree(CleanupOptions{}, work, nullptr);
    return missed == 0 ? 0 : 1;
}
