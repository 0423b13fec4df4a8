// Times the findings window of popswat-gui --review: how soon it shows its first
// results on the review benchmark's 12 generated profiles (from the window's
// appearance, and from the process start, until its summary line shows what was
// found), then, on a profile of 5,000 sites allowed to notify, how soon the list
// holds its 5,000 rows once the review's result reached the window (the summary
// changes in the same message that fills the list; the list answers once it is
// filled), how soon its first rows are painted, and how long a page of scrolling
// takes, painted. The program is
// started with LOCALAPPDATA and APPDATA pointing at the generated folders. Needs a
// display (the test bed's, under Wine). Prints every run and the medians, and
// exits with 1 when a goal is missed.
#include <windows.h>

#include <commctrl.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "bench/bench_support.h"
#include "bench/review_profiles.h"

namespace {

constexpr int PROFILES = 12;
constexpr int RUNS = 9;
constexpr wchar_t LOOKING[] = L"Looking for what brings pop-ups back...";
constexpr int SUMMARY_ID = 1101;
constexpr int LIST_ID = 1102;
constexpr int MANY_FINDINGS = 5000;
constexpr int SCROLLED_PAGES = 40;

using Clock = std::chrono::steady_clock;

double Milliseconds(Clock::time_point from, Clock::time_point to) {
    return std::chrono::duration<double, std::milli>(to - from).count();
}

std::wstring ProgramBeside(const wchar_t* fileName) {
    wchar_t own[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, own, MAX_PATH);
    std::wstring path(own);
    return path.substr(0, path.find_last_of(L'\\') + 1) + fileName;
}

// This process's environment with the profile folders put in.
std::wstring Environment(const std::wstring& root) {
    std::wstring block;
    wchar_t* strings = GetEnvironmentStringsW();
    for (const wchar_t* p = strings; *p; p += wcslen(p) + 1) {
        std::wstring entry(p);
        if (_wcsnicmp(p, L"LOCALAPPDATA=", 13) != 0 && _wcsnicmp(p, L"APPDATA=", 8) != 0)
            block += entry + L'\0';
    }
    FreeEnvironmentStringsW(strings);
    block += L"LOCALAPPDATA=" + root + L"\\Local" + L'\0';
    block += L"APPDATA=" + root + L"\\Roaming" + L'\0';
    return block + L'\0';
}

struct Search {
    DWORD processId;
    HWND found;
};

BOOL CALLBACK MatchFindingsWindow(HWND window, LPARAM parameter) {
    auto* search = reinterpret_cast<Search*>(parameter);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    wchar_t className[32] = {};
    GetClassNameW(window, className, 32);
    if (owner != search->processId || !IsWindowVisible(window) || wcscmp(className, L"PopSwatFindings") != 0)
        return TRUE;
    search->found = window;
    return FALSE;
}

struct Run {
    double fromWindow;  // ms from the window's appearance to the result
    double fromStart;   // ms from the process start to the result
    std::wstring summary;
    double listFilled = 0;   // ms from the result to a list that answers with every row
    double listShown = 0;    // ... and has painted its first rows
    int rows = 0;            // what it answered
    double slowestPage = 0;  // ms for the slowest page of scrolling, painted
    double pagesInAll = 0;   // ms for all of them
};

LRESULT Ask(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    DWORD_PTR result = 0;
    SendMessageTimeoutW(window, message, wParam, lParam, SMTO_NORMAL, 30000, &result);
    return static_cast<LRESULT>(result);
}

// Pages down through the list, each page painted before the next (UpdateWindow sends WM_PAINT).
void TimeScrolling(HWND list, Run* run) {
    Clock::time_point all = Clock::now();
    for (int page = 0; page < SCROLLED_PAGES; ++page) {
        Clock::time_point start = Clock::now();
        Ask(list, WM_VSCROLL, MAKEWPARAM(SB_PAGEDOWN, 0), 0);
        UpdateWindow(list);
        Ask(list, WM_NULL, 0, 0);
        run->slowestPage = std::max(run->slowestPage, Milliseconds(start, Clock::now()));
    }
    run->pagesInAll = Milliseconds(all, Clock::now());
}

// One start of popswat-gui --review, closed again once the result shows; false when it did not.
bool TimeOneStart(const std::wstring& program, std::wstring environment, Run* run) {
    std::wstring commandLine = L"\"" + program + L"\" --review";
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info = {};
    Clock::time_point start = Clock::now();
    if (!CreateProcessW(nullptr, &commandLine[0], nullptr, nullptr, FALSE, CREATE_UNICODE_ENVIRONMENT, &environment[0],
                        nullptr, &startup, &info))
        return false;
    CloseHandle(info.hThread);
    Search search = {info.dwProcessId, nullptr};
    Clock::time_point shown, done;
    bool finished = false;
    // Polled about once a millisecond, for at most 30 s.
    while (!finished && Milliseconds(start, Clock::now()) < 30000) {
        if (!search.found) {
            EnumWindows(MatchFindingsWindow, reinterpret_cast<LPARAM>(&search));
            shown = Clock::now();
        } else {
            wchar_t text[256] = {};
            GetWindowTextW(GetDlgItem(search.found, SUMMARY_ID), text, 256);
            if (text[0] && wcscmp(text, LOOKING) != 0) {
                done = Clock::now();
                run->summary = text;
                finished = true;
                HWND list = GetDlgItem(search.found, LIST_ID);
                run->rows = static_cast<int>(Ask(list, LVM_GETITEMCOUNT, 0, 0));
                run->listFilled = Milliseconds(done, Clock::now());
                // The first page painted: UpdateWindow sends WM_PAINT to the list's thread.
                UpdateWindow(list);
                Ask(list, WM_NULL, 0, 0);
                run->listShown = Milliseconds(done, Clock::now());
                if (run->rows > 0)
                    TimeScrolling(list, run);
            }
        }
        Sleep(1);
    }
    if (search.found)
        PostMessageW(search.found, WM_CLOSE, 0, 0);
    if (WaitForSingleObject(info.hProcess, 10000) != WAIT_OBJECT_0)
        TerminateProcess(info.hProcess, 1);
    CloseHandle(info.hProcess);
    if (!finished)
        return false;
    run->fromWindow = Milliseconds(shown, done);
    run->fromStart = Milliseconds(start, done);
    return true;
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// A Chrome profile whose Preferences lets that many sites notify.
void MakeManyFindings(const std::wstring& root, int sites) {
    std::string grants;
    for (int n = 0; n < sites; ++n)
        grants += (n ? "," : "") + std::string("\"https://s") + std::to_string(n) + ".example:443,*\":{\"setting\":1}";
    std::wstring profile = root + L"\\Local\\Google\\Chrome\\User Data\\Default";
    MakeFolders(profile);
    WriteFileBytes(profile + L"\\Preferences",
                   "{\"profile\":{\"content_settings\":{\"exceptions\":{\"notifications\":{" + grants + "}}}}}");
}

}  // namespace

int main() {
    std::wstring root = MakeScratchFolder();
    std::size_t bytes = MakeReviewProfiles(root, PROFILES);
    std::wstring program = ProgramBeside(L"popswat-gui.exe");
    std::printf("popswat-gui --review on %d profiles (%.1f MB), %d starts\n", PROFILES, bytes / 1e6, RUNS);
    std::vector<double> fromWindow, fromStart;
    for (int r = 0; r < RUNS; ++r) {
        Run run;
        if (!TimeOneStart(program, Environment(root), &run)) {
            std::printf("  start %d: no result within 30 s (is there a display?)\n", r + 1);
            DeleteTree(root);
            return 1;
        }
        std::printf("  start %d: %6.1f ms after the window appeared, %6.1f ms after the process start: %ls\n", r + 1,
                    run.fromWindow, run.fromStart, run.summary.c_str());
        fromWindow.push_back(run.fromWindow);
        fromStart.push_back(run.fromStart);
    }
    double median = Median(fromWindow);
    std::printf("  median %.1f ms after the window appeared, %.1f ms after the process start\n", median,
                Median(fromStart));
    bool met = Report("first results within 300 ms of the findings window's appearance", median < 300);
    DeleteTree(root);

    std::wstring many = MakeScratchFolder();
    MakeManyFindings(many, MANY_FINDINGS);
    std::printf("popswat-gui --review on %d findings, %d starts, %d pages scrolled each\n", MANY_FINDINGS, RUNS,
                SCROLLED_PAGES);
    std::vector<double> filled, shown, slowest;
    for (int r = 0; r < RUNS; ++r) {
        Run run;
        if (!TimeOneStart(program, Environment(many), &run) || run.rows != MANY_FINDINGS) {
            std::printf("  start %d: no list of %d rows within 30 s (rows: %d)\n", r + 1, MANY_FINDINGS, run.rows);
            DeleteTree(many);
            return 1;
        }
        std::printf(
            "  start %d: %d rows %6.1f ms after the review's result, painted %6.1f ms; pages %6.1f ms in all, "
            "slowest %5.1f ms\n",
            r + 1, run.rows, run.listFilled, run.listShown, run.pagesInAll, run.slowestPage);
        filled.push_back(run.listFilled);
        shown.push_back(run.listShown);
        slowest.push_back(run.slowestPage);
    }
    std::printf("  median %.1f ms to the full list, %.1f ms to its first rows painted, slowest page %.1f ms\n",
                Median(filled), Median(shown), Median(slowest));
    met = Report("5,000 rows listed, the first painted, within 300 ms of the review's end", Median(shown) < 300) && met;
    met = Report("each page of scrolling painted within 50 ms", Median(slowest) < 50) && met;
    DeleteTree(many);
    std::printf(met ? "All speed goals met.\n" : "Some speed goals were missed.\n");
    return met ? 0 : 1;
}
