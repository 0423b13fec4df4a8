#include "tests/child_programs.h"

#include <atomic>
#include <cstdio>
#include <map>
#include <thread>

std::wstring UniqueImageName() {
    static std::atomic<unsigned> counter{0};
    return L"pstest-" + std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(counter++) + L".exe";
}

std::wstring CopyTestHelper(const std::wstring& folder, const std::wstring& fileName) {
    MakeFolder(folder);
    std::wstring copy = folder + L"\\" + fileName;
    if (!CopyFileW(TestProgramPath(L"popswat_testhelper.exe").c_str(), copy.c_str(), FALSE))
        return std::wstring();
    return copy;
}

std::string ReadFileBytes(const std::wstring& path) {
    UniqueHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                  nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    std::string bytes;
    if (!file)
        return bytes;
    char buffer[4096];
    DWORD read = 0;
    while (ReadFile(file.get(), buffer, sizeof(buffer), &read, nullptr) && read > 0)
        bytes.append(buffer, read);
    return bytes;
}

std::vector<std::string> ReadLogLines(const std::wstring& path) {
    std::vector<std::string> lines;
    std::string bytes = ReadFileBytes(path);
    std::size_t start = 0;
    for (std::size_t end; (end = bytes.find('\n', start)) != std::string::npos; start = end + 1)
        lines.push_back(bytes.substr(start, end - start));
    return lines;
}

std::vector<std::string> ClosedStandInLog(const StandInBehaviour& behaviour) {
    if (!behaviour.visible)
        return {"ready"};
    if (!behaviour.exitOnClose)
        return {"ready", "close"};
    return {"ready", "close", "exit"};
}

bool HasEnded(const ChildProcess& child, DWORD timeoutMs) {
    return !child.process || WaitForSingleObject(child.process.get(), timeoutMs) == WAIT_OBJECT_0;
}

ChildProcess StartStandIn(const std::wstring& programPath,
                          const StandInBehaviour& behaviour,
                          const std::wstring& logPath) {
    std::wstring commandLine = L"\"" + programPath + L"\" browser " + (behaviour.visible ? L"visible " : L"hidden ") +
                               (behaviour.exitOnClose ? L"exit " : L"ignore ") +
                               std::to_wstring(behaviour.exitDelayMs) + L" \"" + logPath + L"\"";
    ChildProcess child = StartProgram(commandLine);
    if (!child.process)
        return child;
    // The log appears once the window exists.
    ULONGLONG deadline = GetTickCount64() + 30000;
    while (ReadLogLines(logPath).empty()) {
        if (HasEnded(child) || GetTickCount64() >= deadline) {
            DWORD code = 0;
            GetExitCodeProcess(child.process.get(), &code);
            fprintf(stderr, "stand-in %s did not come up (exit code %lu)\n", Utf8(programPath).c_str(), code);
            return ChildProcess();
        }  // the holder being dropped ends the process
        Sleep(10);
    }
    return child;
}

ChildProcess HoldFileInAnotherProcess(const std::wstring& file, const std::wstring& ready) {
    ChildProcess locker = StartProgram(L"\"" + TestProgramPath(L"popswat_testhelper.exe") + L"\" lock \"" + file +
                                       L"\" \"" + ready + L"\"");
    return locker.process && WaitForPath(ready, 20000) ? std::move(locker) : ChildProcess();
}

StandInBrowser::StandInBrowser(const StandInBehaviour& behaviour, std::size_t count, std::wstring image)
    : imageName(std::move(image)) {
    program = CopyTestHelper(folder.path(), imageName);
    for (std::size_t i = 0; i < count && !program.empty(); ++i) {
        std::wstring log = folder / (L"log-" + std::to_wstring(i) + L".txt");
        ChildProcess child = StartStandIn(program, behaviour, log);
        if (!child.process)
            break;
        processes.push_back(std::move(child));
        logs.push_back(log);
    }
}

std::vector<uint32_t> StandInBrowser::ids() const {
    std::vector<uint32_t> result;
    for (const ChildProcess& child : processes)
        result.push_back(child.id);
    return result;
}

namespace {

bool NamesEqual(const std::wstring& a, const std::wstring& b) {
    return CompareStringOrdinal(a.c_str(), -1, b.c_str(), -1, TRUE) == CSTR_EQUAL;
}

// Environment block: NAME=VALUE strings, each ending in a null, then one more null.
std::wstring BuildEnvironmentBlock(const EnvironmentChanges& changes) {
    std::vector<std::pair<std::wstring, std::wstring>> variables;
    wchar_t* current = GetEnvironmentStringsW();
    for (const wchar_t* entry = current; *entry; entry += wcslen(entry) + 1) {
        std::wstring text(entry);
        // Entries such as "=C:=C:\..." start with '=' and belong to the name.
        std::size_t equals = text.find(L'=', 1);
        if (equals == std::wstring::npos)
            continue;
        variables.emplace_back(text.substr(0, equals), text.substr(equals + 1));
    }
    FreeEnvironmentStringsW(current);
    for (const auto& [name, value] : changes) {
        for (auto it = variables.begin(); it != variables.end();) {
            it = NamesEqual(it->first, name) ? variables.erase(it) : it + 1;
        }
        if (value)
            variables.emplace_back(name, *value);
    }
    std::wstring block;
    for (const auto& [name, value] : variables)
        block += name + L"=" + value + L'\0';
    block += L'\0';
    return block;
}

struct Pipe {
    UniqueHandle read;
    UniqueHandle write;
};

// A pipe whose childEnd end (read or write) can be inherited.
Pipe MakePipe(bool childReads) {
    HANDLE read = nullptr;
    HANDLE write = nullptr;
    CreatePipe(&read, &write, nullptr, 1 << 16);
    Pipe pipe{UniqueHandle(read), UniqueHandle(write)};
    SetHandleInformation(childReads ? read : write, HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT);
    return pipe;
}

std::string ReadAll(HANDLE source) {
    std::string bytes;
    char buffer[4096];
    DWORD read = 0;
    while (ReadFile(source, buffer, sizeof(buffer), &read, nullptr) && read > 0)
        bytes.append(buffer, read);
    return bytes;
}

UniqueHandle MakeInheritableFile(const std::wstring& path) {
    SECURITY_ATTRIBUTES inherit = {sizeof(inherit), nullptr, TRUE};
    return UniqueHandle(CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                    &inherit, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
}

}  // namespace

ProgramRun RunProgram(const std::wstring& commandLine,
                      const EnvironmentChanges& changes,
                      const std::string& input,
                      DWORD timeoutMs,
                      bool outputToFile,
                      bool inputStaysOpen) {
    ProgramRun run;
    Pipe in = MakePipe(true);
    DWORD written = 0;
    if (!input.empty())
        WriteFile(in.write.get(), input.data(), static_cast<DWORD>(input.size()), &written, nullptr);
    if (!inputStaysOpen)
        in.write.reset();  // end of input once the child has read what is there

    TempFolder outputFolder;
    Pipe out;
    Pipe err;
    UniqueHandle outFile;
    UniqueHandle errFile;
    HANDLE childOut = nullptr;
    HANDLE childErr = nullptr;
    if (outputToFile) {
        outFile = MakeInheritableFile(outputFolder / L"stdout.txt");
        errFile = MakeInheritableFile(outputFolder / L"stderr.txt");
        childOut = outFile.get();
        childErr = errFile.get();
    } else {
        out = MakePipe(false);
        err = MakePipe(false);
        childOut = out.write.get();
        childErr = err.write.get();
    }

    // Under Wine the first program to touch a window (an STA's COM window, say)
    // starts the desktop process and hands it its standard error: started by
    // the child, it would hold our pipe open after the child ends. Started here,
    // it holds only ours.
    GetDesktopWindow();

    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = in.read.get();
    startup.hStdOutput = childOut;
    startup.hStdError = childErr;
    PROCESS_INFORMATION info = {};
    std::wstring environment = BuildEnvironmentBlock(changes);
    std::wstring mutableLine = commandLine;
    BOOL started = CreateProcessW(nullptr, &mutableLine[0], nullptr, nullptr, TRUE, CREATE_UNICODE_ENVIRONMENT,
                                  &environment[0], nullptr, &startup, &info);
    // Our copies of the child's ends go, so reading sees the end when the child exits.
    in.read.reset();
    out.write.reset();
    err.write.reset();
    if (!started)
        return run;
    CloseHandle(info.hThread);
    ChildProcess child;
    child.process.reset(info.hProcess);
    child.id = info.dwProcessId;

    if (outputToFile) {
        run.finished = WaitForSingleObject(child.process.get(), timeoutMs) == WAIT_OBJECT_0;
        outFile.reset();
        errFile.reset();
        run.output = ReadFileBytes(outputFolder / L"stdout.txt");
        run.errors = ReadFileBytes(outputFolder / L"stderr.txt");
    } else {
        // Standard error is read on a second thread so neither pipe can fill up and stall the child.
        std::thread errorReader([&] { run.errors = ReadAll(err.read.get()); });
        // A child that never ends is terminated after the time-out, which closes its pipes.
        std::thread watchdog([&] {
            run.finished = WaitForSingleObject(child.process.get(), timeoutMs) == WAIT_OBJECT_0;
            if (!run.finished)
                TerminateProcess(child.process.get(), 1);
        });
        run.output = ReadAll(out.read.get());
        errorReader.join();
        watchdog.join();
    }
    if (!run.finished) {
        TerminateProcess(child.process.get(), 1);
        WaitForSingleObject(child.process.get(), 5000);
    }
    GetExitCodeProcess(child.process.get(), &run.exitCode);
    return run;
}

std::vector<std::string> SplitCrLfLines(const std::string& output) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t end; (end = output.find("\r\n", start)) != std::string::npos; start = end + 2)
        lines.push_back(output.substr(start, end - start));
    if (start < output.size())
        lines.push_back(output.substr(start));
    return lines;
}
