// Helpers for tests that start programs: browser stand-ins and whole runs of a
// program with its own environment, standard input and captured output.
#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "tests/test_support.h"

// An image name no real program uses: "pstest-<test pid>-<counter>.exe".
std::wstring UniqueImageName();

// Copies popswat_testhelper.exe into folder as fileName; returns the copy's path ("" on failure).
std::wstring CopyTestHelper(const std::wstring& folder, const std::wstring& fileName);

struct StandInBehaviour {
    bool visible = true;      // a visible top-level window; otherwise a hidden one
    bool exitOnClose = true;  // exit on WM_CLOSE; otherwise ignore it
    DWORD exitDelayMs = 0;    // time between WM_CLOSE and the exit
};

// Starts a browser stand-in from a helper copy; it records "ready", "close" and
// "exit" lines in logPath. Waits until its window is up; the returned process is
// invalid when it did not come up.
ChildProcess StartStandIn(const std::wstring& programPath,
                          const StandInBehaviour& behaviour,
                          const std::wstring& logPath);

// Several stand-ins of one browser, all started from one helper copy named
// imageName; started(count) tells whether all of them came up.
struct StandInBrowser {
    TempFolder folder;
    std::wstring imageName;
    std::wstring program;
    std::vector<ChildProcess> processes;
    std::vector<std::wstring> logs;

    explicit StandInBrowser(const StandInBehaviour& behaviour,
                            std::size_t count = 1,
                            std::wstring imageName = UniqueImageName());
    bool started(std::size_t count) const { return processes.size() == count; }
    std::vector<uint32_t> ids() const;
};

// Starts the test helper holding file open without delete sharing and waits
// until it has made ready; the process is empty when it did not within 20 s.
ChildProcess HoldFileInAnotherProcess(const std::wstring& file, const std::wstring& ready);

// The lines of a file that ends each one in "\n", such as a stand-in's log.
std::vector<std::string> ReadLogLines(const std::wstring& path);
// The log of a stand-in whose visible window, if any, was asked to close before it was ended.
std::vector<std::string> ClosedStandInLog(const StandInBehaviour& behaviour);
std::string ReadFileBytes(const std::wstring& path);

// True when the process has ended within timeoutMs.
bool HasEnded(const ChildProcess& child, DWORD timeoutMs = 0);

struct ProgramRun {
    bool finished = false;  // false: it did not end within the time-out and was terminated
    DWORD exitCode = 0;
    std::string output;  // standard output, bytes as written
    std::string errors;  // standard error
};

// Environment changes for a child: a value of std::nullopt removes the variable.
using EnvironmentChanges = std::vector<std::pair<std::wstring, std::optional<std::wstring>>>;

// Runs commandLine with this process's environment plus changes, standard input
// fed from input (then end of input, or with inputStaysOpen nothing more until
// the child has ended), standard output and error captured through pipes (or,
// with outputToFile, through files).
ProgramRun RunProgram(const std::wstring& commandLine,
                      const EnvironmentChanges& changes,
                      const std::string& input,
                      DWORD timeoutMs = 60000,
                      bool outputToFile = false,
                      bool inputStaysOpen = false);

// Splits output at CR LF; a missing final line end leaves the last piece as a line.
std::vector<std::string> SplitCrLfLines(const std::string& output);
