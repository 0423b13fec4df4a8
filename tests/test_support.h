// Helpers for tests: sandbox folders, files, environment and child processes.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "base/win_handles.h"
#include "browsers/json_document.h"
#include "engine/engine_parts.h"

// A fresh, uniquely named folder under the temporary folder; it is deleted with
// everything in it (links removed, never followed) when the holder goes away.
class TempFolder {
public:
    TempFolder();
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::wstring& path() const { return path_; }
    // path() + "\" + relative
    std::wstring operator/(const std::wstring& relative) const { return path_ + L"\\" + relative; }

private:
    std::wstring path_;
};

// Sets an environment variable of this process (nullptr: removes it) and puts
// the old value back on destruction.
class ScopedEnvironmentVariable {
public:
    ScopedEnvironmentVariable(const wchar_t* name, const wchar_t* value);
    ~ScopedEnvironmentVariable();
    ScopedEnvironmentVariable(const ScopedEnvironmentVariable&) = delete;
    ScopedEnvironmentVariable& operator=(const ScopedEnvironmentVariable&) = delete;

private:
    std::wstring name_;
    std::wstring oldValue_;
    bool hadValue_ = false;
};

// A sandbox for one test: a TempFolder with LOCALAPPDATA pointing at its
// "Local" and APPDATA at its "Roaming" subfolder while the object lives.
class Sandbox {
public:
    Sandbox();
    const std::wstring& root() const { return folder_.path(); }
    std::wstring localAppData() const { return folder_ / L"Local"; }
    std::wstring appData() const { return folder_ / L"Roaming"; }
    std::wstring operator/(const std::wstring& relative) const { return folder_ / relative; }

private:
    TempFolder folder_;
    ScopedEnvironmentVariable local_;
    ScopedEnvironmentVariable roaming_;
};

// Creates the folder and any missing parents.
void MakeFolder(const std::wstring& path);
// Creates (or replaces) a file with the given bytes and attributes, making parents first.
void MakeFile(const std::wstring& path, const std::string& content = "data", DWORD attributes = FILE_ATTRIBUTE_NORMAL);
// Creates (or replaces) a file of the given size that holds no data on disk.
bool MakeSparseFile(const std::wstring& path, long long size);
bool PathExists(const std::wstring& path);
// Opens an existing file and keeps it open: by default for reading and without
// sharing, so that nobody else can open, change or delete it meanwhile.
UniqueHandle HoldFile(const std::wstring& path, DWORD access = GENERIC_READ, DWORD share = 0);
// Deletes a tree without following links; used for test clean-up only.
void DeleteTreeForTest(const std::wstring& path);

// The whole file as raw bytes, up to the limit of a Firefox extensions.json;
// empty when it cannot be read or is larger.
std::string ReadWholeFile(const std::wstring& path);
// The newest run folder below %LOCALAPPDATA%\PopSwat\Backups, "" when there is none.
std::wstring NewestRunFolder();

// The catalogue's row of that display name ("Google Chrome", "Mozilla Firefox").
const BrowserEntry& CatalogueRow(const std::wstring& displayName);

// Options whose log appends every line to *lines.
CleanupOptions CapturingOptions(std::vector<std::wstring>* lines, bool preview = false, bool tabsOnly = false);

// The entries of an audit JSON document, parsed back: one
// "browser|profile|id|name|version|type|sideLoaded" per extension, then one
// "unreadable|browser|profile|path|reason" per unreadable file (null as "null",
// texts as UTF-8). A document of another shape gives one line that says so.
std::vector<std::string> AuditJsonEntries(const std::string& json);

// The named members of a JSON object as "a|b|c": texts as they are, other values
// as "(true)", "(false)", "(null)" or "(other)", an absent member as "(absent)".
std::string JsonFields(const JsonValue& object, std::initializer_list<const char*> names);

// UTF-8 for test messages.
std::string Utf8(const std::wstring& text);

// True when running under Wine rather than on Windows.
bool RunningUnderWine();
// For tests that close processes by the real browser image names or write real
// policy keys: they run only in the project's own Wine prefix.
#define SKIP_UNLESS_UNDER_WINE() \
    if (!RunningUnderWine())     \
    GTEST_SKIP() << "touches real browsers or policies; runs only in the project's Wine prefix"
// The Unix path of a Windows path under Wine; "" elsewhere.
std::string UnixPath(const std::wstring& windowsPath);
// Starts a Unix program under Wine (such as L"Z:\\bin\\ln") and waits for
// its process handle. Wine may signal that handle before the program is done:
// callers poll for the program's effect.
bool RunUnixCommand(const wchar_t* program, std::wstring commandLine);
// Creates a Unix symbolic link under Wine (ln -s); false when that is impossible.
bool MakeUnixSymlink(const std::wstring& target, const std::wstring& link);
// Removes a Unix symbolic link (not its target) under Wine.
bool RemoveUnixLink(const std::wstring& link);
// Creates an NTFS junction; false where the file system refuses (as on Wine).
bool MakeJunction(const std::wstring& target, const std::wstring& link);

// Opens root\path, making what is missing of it; when the holder goes away, the
// shallowest key it made is deleted with everything below it, so tests remove
// only keys they made themselves. created() tells whether path was made here.
class TemporaryRegistryKey {
public:
    TemporaryRegistryKey(HKEY root, const std::wstring& path);
    ~TemporaryRegistryKey();
    TemporaryRegistryKey(const TemporaryRegistryKey&) = delete;
    TemporaryRegistryKey& operator=(const TemporaryRegistryKey&) = delete;

    HKEY get() const { return key_.get(); }
    bool created() const { return !made_.empty(); }
    // Writes a value in a subkey (made as needed); data is the raw bytes.
    void Set(const std::wstring& subkey, const std::wstring& name, DWORD type, const void* data, DWORD size) const;
    void SetText(const std::wstring& subkey, const std::wstring& name, const std::wstring& text) const;
    void SetNumber(const std::wstring& subkey, const std::wstring& name, DWORD number) const;

private:
    HKEY root_;
    std::wstring made_;  // the shallowest key of path that was missing
    UniqueRegistryKey key_;
};

// Full path of a program built next to the running test program.
std::wstring TestProgramPath(const std::wstring& fileName);

// A started child process; terminated (if still running) when the holder goes away.
struct ChildProcess {
    UniqueHandle process;
    DWORD id = 0;
    ChildProcess() = default;
    ChildProcess(ChildProcess&&) = default;
    ChildProcess& operator=(ChildProcess&&) = default;
    ~ChildProcess();
};

// Starts a program with the given command line (program path quoted by the caller)
// and CreateProcessW's creation flags.
ChildProcess StartProgram(const std::wstring& commandLine, DWORD creationFlags = 0);
// Polls until the condition holds; false after timeoutMs.
bool WaitUntil(const std::function<bool()>& condition, DWORD timeoutMs);
// Polls until the path exists; false after timeoutMs.
bool WaitForPath(const std::wstring& path, DWORD timeoutMs);
