// Times turning scheduled tasks off and on again through the real Task
// Scheduler, on their own: 20 tasks of a folder of its own, each read, compared
// and turned off as the fix does, then each turned on again as the undo does;
// and the reading alone, which each of those starts with.
// Prints the timings; exits with 77 when the Task Scheduler cannot be reached.
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "bench/bench_support.h"
#include "tests/task_folder.h"

namespace {

constexpr int TASKS = 20;

std::wstring TaskXml(int n) {
    return LR"(<?xml version="1.0" encoding="UTF-16"?>
<Task version="1.2" xmlns="http://schemas.microsoft.com/windows/2004/02/mit/task">
  <Triggers><LogonTrigger><Enabled>true</Enabled></LogonTrigger></Triggers>
  <Settings><Enabled>true</Enabled></Settings>
  <Actions Context="Author"><Exec><Command>C:\Program Files\Google\Chrome\Application\chrome.exe</Command>)"
           L"<Arguments>https://ad.example/" +
           std::to_wstring(n) + L"</Arguments></Exec></Actions>\n</Task>";
}

// Wine 8's service writes a task's file without its actions: the file gets the whole definition.
void WriteWholeFile(const std::wstring& file, const std::wstring& xml) {
    std::wstring text = xml;
    text.replace(text.find(L"UTF-16"), 6, L"UTF-8");
    int size =
        WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string bytes(size, '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), &bytes[0], size, nullptr, nullptr);
    WriteFileBytes(file, bytes);
}

}  // namespace

int main() {
    CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    int status = 0;
    {
        TaskFolderForTest folder(L"PopSwat-bench-" + std::to_wstring(GetCurrentProcessId()));
        if (FAILED(folder.result())) {
            std::printf("the Task Scheduler cannot be reached (0x%08lx)\n",
                        static_cast<unsigned long>(folder.result()));
            CoUninitialize();
            return 77;
        }
        const std::wstring files = SystemTaskFilesFolder();
        std::vector<std::wstring> paths;
        std::vector<std::string> before(TASKS), after(TASKS);
        std::size_t failed = 0;
        bool wine = GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr;
        auto setUp = [&] {
            paths.clear();
            for (int n = 0; n < TASKS; ++n) {
                std::wstring name = L"Task " + std::to_wstring(n);
                folder.Register(name, TaskXml(n).c_str());
                if (wine)
                    WriteWholeFile(files + folder.path() + L"\\" + name, TaskXml(n));
                paths.push_back(folder.path() + L"\\" + name);
            }
        };
        auto off = [&] {
            for (int n = 0; n < TASKS; ++n) {
                TaskEnabling read = ReadScheduledTaskDefinition(paths[n], files, 5000);
                TaskChange change;
                change.path = paths[n];
                change.expected = read.definition;
                change.filesFolder = files;
                TaskEnabling done = SetScheduledTaskEnabled(change);
                failed += done.result != TaskEnable::Done;
                before[n] = read.definition;
                after[n] = done.definitionAfter;
            }
            return static_cast<std::size_t>(TASKS);
        };
        auto on = [&] {
            for (int n = 0; n < TASKS; ++n) {
                TaskChange change;
                change.path = paths[n];
                change.enable = true;
                change.expected = after[n];
                change.filesFolder = files;
                change.definition = before[n];
                failed += SetScheduledTaskEnabled(change).result != TaskEnable::Done;
            }
            return static_cast<std::size_t>(TASKS);
        };
        auto read = [&] {
            for (int n = 0; n < TASKS; ++n)
                failed += ReadScheduledTaskDefinition(paths[n], files, 5000).result != TaskEnable::Done;
            return static_cast<std::size_t>(TASKS);
        };
        Timing readOnly = Measure(3, setUp, read);
        Timing turnedOff = Measure(3, setUp, off);
        Timing turnedOn = Measure(
            3,
            [&] {
                setUp();
                off();
            },
            on);
        std::printf("%d task definitions read: best %.0f ms, median %.0f ms (%.1f ms a task)\n", TASKS,
                    readOnly.seconds * 1000, readOnly.median * 1000, readOnly.seconds * 1000 / TASKS);
        std::printf("%d tasks turned off: best %.0f ms, median %.0f ms (%.1f ms a task)\n", TASKS,
                    turnedOff.seconds * 1000, turnedOff.median * 1000, turnedOff.seconds * 1000 / TASKS);
        std::printf("%d tasks turned on again: best %.0f ms, median %.0f ms (%.1f ms a task)\n", TASKS,
                    turnedOn.seconds * 1000, turnedOn.median * 1000, turnedOn.seconds * 1000 / TASKS);
        if (failed) {
            std::printf("%zu changes failed\n", failed);
            status = 1;
        }
    }
    CoUninitialize();
    return status;
}
