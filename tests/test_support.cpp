#include "tests/test_support.h"

#include <winioctl.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <stdexcept>

namespace {

std::wstring CreateUniqueTempFolder() {
    static std::atomic<unsigned> counter{0};
    wchar_t base[MAX_PATH + 1];
    DWORD length = GetTempPathW(MAX_PATH + 1, base);
    std::wstring temp(base, length);
    if (!temp.empty() && temp.back() == L'\\')
        temp.pop_back();
    for (;;) {
        std::wstring candidate = temp + L"\\popswat-test-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
                                 std::to_wstring(GetTickCount64()) + L"-" + std::to_wstring(counter++);
        if (CreateDirectoryW(candidate.c_str(), nullptr))
            return candidate;
        if (GetLastError() != ERROR_ALREADY_EXISTS)
            return candidate;  // nothing better to offer; the test's file checks will fail loudly
    }
}

}  // namespace

TempFolder::TempFolder() : path_(CreateUniqueTempFolder()) {}

TempFolder::~TempFolder() {
    DeleteTreeForTest(path_);
}

void DeleteTreeForTest(const std::wstring& path) {
    // The "\\?\" form reaches the names that tests make on purpose: a trailing dot or space, device names.
    std::wstring longPath = LongPathForm(path);
    DWORD attributes = GetFileAttributesW(longPath.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return;
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) && !(attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
        ForEachFolderEntry(path, [&](const std::wstring& name, uint32_t) { DeleteTreeForTest(path + L"\\" + name); });
        RemoveDirectoryW(longPath.c_str());
    } else if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
        RemoveDirectoryW(longPath.c_str());
    } else {
        SetFileAttributesW(longPath.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileW(longPath.c_str());
    }
}

ScopedEnvironmentVariable::ScopedEnvironmentVariable(const wchar_t* name, const wchar_t* value) : name_(name) {
    DWORD needed = GetEnvironmentVariableW(name, nullptr, 0);
    if (needed > 0) {
        std::wstring old(needed, L'\0');
        DWORD length = GetEnvironmentVariableW(name, &old[0], needed);
        old.resize(length);
        oldValue_ = old;
        hadValue_ = true;
    }
    SetEnvironmentVariableW(name, value);
}

ScopedEnvironmentVariable::~ScopedEnvironmentVariable() {
    SetEnvironmentVariableW(name_.c_str(), hadValue_ ? oldValue_.c_str() : nullptr);
}

Sandbox::Sandbox()
    : local_(L"LOCALAPPDATA", (folder_ / L"Local").c_str()), roaming_(L"APPDATA", (folder_ / L"Roaming").c_str()) {
    MakeFolder(localAppData());
    MakeFolder(appData());
}

void MakeFolder(const std::wstring& path) {
    if (PathExists(path))
        return;
    std::size_t slash = path.find_last_of(L'\\');
    if (slash != std::wstring::npos && slash > 2)
        MakeFolder(path.substr(0, slash));
    CreateDirectoryW(path.c_str(), nullptr);
}

void MakeFile(const std::wstring& path, const std::string& content, DWORD attributes) {
    std::size_t slash = path.find_last_of(L'\\');
    if (slash != std::wstring::npos)
        MakeFolder(path.substr(0, slash));
    SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    UniqueHandle file(
        CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    DWORD written = 0;
    if (file && !content.empty())
        WriteFile(file.get(), content.data(), static_cast<DWORD>(content.size()), &written, nullptr);
    file.reset();
    if (attributes != FILE_ATTRIBUTE_NORMAL)
        SetFileAttributesW(path.c_str(), attributes);
}

bool MakeSparseFile(const std::wstring& path, long long size) {
    MakeFile(path, "");
    UniqueHandle file(CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    if (!file)
        return false;
    // NTFS needs the sparse flag before the size; under Wine every file is sparse on a Unix file system.
    DWORD returned = 0;
    DeviceIoControl(file.get(), FSCTL_SET_SPARSE, nullptr, 0, nullptr, 0, &returned, nullptr);
    LARGE_INTEGER end = {};
    end.QuadPart = size;
    return SetFilePointerEx(file.get(), end, nullptr, FILE_BEGIN) && SetEndOfFile(file.get());
}

bool PathExists(const std::wstring& path) {
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::string ReadWholeFile(const std::wstring& path) {
    std::string bytes;
    ReadBrowserFile(path, BrowserFile::FirefoxAddons, &bytes);
    return bytes;
}

const BrowserEntry& CatalogueRow(const std::wstring& displayName) {
    const BrowserCatalogue& catalogue = GetBrowserCatalogue();
    auto row = std::find_if(catalogue.begin(), catalogue.end(),
                            [&](const BrowserEntry& entry) { return displayName == entry.displayName; });
    if (row == catalogue.end())
        throw std::invalid_argument("no such browser in the catalogue");
    return *row;
}

UniqueHandle HoldFile(const std::wstring& path, DWORD access, DWORD share) {
    return UniqueHandle(CreateFileW(path.c_str(), access, share, nullptr, OPEN_EXISTING, 0, nullptr));
}

CleanupOptions CapturingOptions(std::vector<std::wstring>* lines, bool preview, bool tabsOnly) {
    CleanupOptions options;
    options.preview = preview;
    options.tabsOnly = tabsOnly;
    options.log = [lines](const std::wstring& line) { lines->push_back(line); };
    return options;
}

std::string Utf8(const std::wstring& text) {
    return WideToUtf8(text);
}

std::vector<std::string> AuditJsonEntries(const std::string& json) {
    JsonDocument document;
    if (ParseJsonObject(json, &document) != JsonLoad::Done || !document.HasMember("schema") ||
        document["schema"] != "popswat.audit/1" || document.MemberCount() != 3)
        return {"not an audit document: " + json};
    auto text = [](const JsonValue& value) -> std::string {
        if (value.IsBool())
            return value.GetBool() ? "true" : "false";
        return value.IsString() ? std::string(value.GetString(), value.GetStringLength()) : "null";
    };
    std::vector<std::string> entries;
    for (const char* list : {"extensions", "unreadable"}) {
        std::string expectedKeys =
            list[0] == 'e' ? "browser profile id name version type sideLoaded " : "browser profile path reason ";
        if (!document.HasMember(list) || !document[list].IsArray())
            return {std::string("no array ") + list};
        for (const JsonValue& entry : document[list].GetArray()) {
            std::string keys;
            std::string line = list[0] == 'e' ? "" : "unreadable|";
            for (auto member = entry.MemberBegin(); member != entry.MemberEnd(); ++member) {
                keys += text(member->name) + " ";
                line += text(member->value) + "|";
            }
            if (!line.empty())
                line.pop_back();
            entries.push_back(keys == expectedKeys ? line : "unexpected members: " + keys);
        }
    }
    return entries;
}

std::string JsonFields(const JsonValue& object, std::initializer_list<const char*> names) {
    std::string fields;
    for (const char* name : names) {
        const JsonValue* value = object.IsObject() && object.HasMember(name) ? &object[name] : nullptr;
        fields += "|";
        if (value && value->IsString())
            fields.append(value->GetString(), value->GetStringLength());
        else
            fields += !value            ? "(absent)"
                      : value->IsBool() ? (value->GetBool() ? "(true)" : "(false)")
                      : value->IsNull() ? "(null)"
                                        : "(other)";
    }
    return fields.erase(0, 1);
}

bool RunningUnderWine() {
    HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    return ntdll && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

std::string UnixPath(const std::wstring& windowsPath) {
    using ToUnix = char*(CDECL*)(const wchar_t*);
    HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
    auto toUnix = reinterpret_cast<ToUnix>(reinterpret_cast<void*>(GetProcAddress(kernel, "wine_get_unix_file_name")));
    if (!toUnix)
        return std::string();
    char* unixPath = toUnix(windowsPath.c_str());
    if (!unixPath)
        return std::string();
    std::string result(unixPath);
    HeapFree(GetProcessHeap(), 0, unixPath);
    return result;
}

bool WaitUntil(const std::function<bool()>& condition, DWORD timeoutMs) {
    ULONGLONG deadline = GetTickCount64() + timeoutMs;
    while (!condition()) {
        if (GetTickCount64() >= deadline)
            return false;
        Sleep(10);
    }
    return true;
}

namespace {

bool IsLinkPath(const std::wstring& path) {
    DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

std::wstring QuotedUnixPath(const std::wstring& windowsPath) {
    std::string unixPath = UnixPath(windowsPath);
    return L"\"" + std::wstring(unixPath.begin(), unixPath.end()) + L"\"";
}

}  // namespace

// Starts a Unix program from Wine's Z: drive. Wine hands it to the Unix side
// and may signal the process handle before the program has finished, so
// callers wait for its effect instead.
bool RunUnixCommand(const wchar_t* program, std::wstring commandLine) {
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info = {};
    if (!CreateProcessW(program, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info))
        return false;
    CloseHandle(info.hThread);
    UniqueHandle process(info.hProcess);
    WaitForSingleObject(process.get(), 10000);
    return true;
}

bool MakeUnixSymlink(const std::wstring& target, const std::wstring& link) {
    if (UnixPath(target).empty() || UnixPath(link).empty())
        return false;
    // A link to a file carries no reparse point under Wine: it shows as the file it names.
    return RunUnixCommand(L"Z:\\bin\\ln", L"ln -s " + QuotedUnixPath(target) + L" " + QuotedUnixPath(link)) &&
           WaitUntil([&] { return IsLinkPath(link) || PathExists(link); }, 10000);
}

bool RemoveUnixLink(const std::wstring& link) {
    // rm without -r removes the link itself, never what it points to.
    return !UnixPath(link).empty() && RunUnixCommand(L"Z:\\bin\\rm", L"rm -f " + QuotedUnixPath(link)) &&
           WaitUntil([&] { return !IsLinkPath(link) && !PathExists(link); }, 10000);
}

namespace {

// The mount-point form of REPARSE_DATA_BUFFER, which user-mode headers do not declare.
struct MountPointReparseBuffer {
    DWORD ReparseTag;
    WORD ReparseDataLength;
    WORD Reserved;
    WORD SubstituteNameOffset;
    WORD SubstituteNameLength;
    WORD PrintNameOffset;
    WORD PrintNameLength;
    WCHAR PathBuffer[1024];
};

}  // namespace

bool MakeJunction(const std::wstring& target, const std::wstring& link) {
    if (!CreateDirectoryW(link.c_str(), nullptr))
        return false;
    UniqueHandle directory(CreateFileW(link.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                       FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    std::wstring substitute = L"\\??\\" + target;
    MountPointReparseBuffer buffer = {};
    if (!directory || substitute.size() + target.size() + 2 > std::size(buffer.PathBuffer)) {
        directory.reset();
        RemoveDirectoryW(link.c_str());
        return false;
    }
    buffer.ReparseTag = IO_REPARSE_TAG_MOUNT_POINT;
    buffer.SubstituteNameOffset = 0;
    buffer.SubstituteNameLength = static_cast<WORD>(substitute.size() * sizeof(WCHAR));
    buffer.PrintNameOffset = static_cast<WORD>((substitute.size() + 1) * sizeof(WCHAR));
    buffer.PrintNameLength = static_cast<WORD>(target.size() * sizeof(WCHAR));
    memcpy(buffer.PathBuffer, substitute.c_str(), (substitute.size() + 1) * sizeof(WCHAR));
    memcpy(buffer.PathBuffer + substitute.size() + 1, target.c_str(), (target.size() + 1) * sizeof(WCHAR));
    buffer.ReparseDataLength =
        static_cast<WORD>(4 * sizeof(WORD) + (substitute.size() + target.size() + 2) * sizeof(WCHAR));
    DWORD headerSize = sizeof(DWORD) + 2 * sizeof(WORD);
    DWORD returned = 0;
    BOOL ok = DeviceIoControl(directory.get(), FSCTL_SET_REPARSE_POINT, &buffer, headerSize + buffer.ReparseDataLength,
                              nullptr, 0, &returned, nullptr);
    directory.reset();
    if (!ok)
        RemoveDirectoryW(link.c_str());
    return ok != FALSE;
}

std::wstring TestProgramPath(const std::wstring& fileName) {
    wchar_t self[MAX_PATH];
    DWORD length = GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring folder(self, length);
    folder.resize(folder.find_last_of(L'\\'));
    return folder + L"\\" + fileName;
}

ChildProcess::~ChildProcess() {
    if (process) {
        TerminateProcess(process.get(), 1);
        WaitForSingleObject(process.get(), 5000);
    }
}

ChildProcess StartProgram(const std::wstring& commandLine, DWORD creationFlags) {
    ChildProcess child;
    std::wstring mutableLine = commandLine;
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info = {};
    if (CreateProcessW(nullptr, &mutableLine[0], nullptr, nullptr, FALSE, creationFlags, nullptr, nullptr, &startup,
                       &info)) {
        CloseHandle(info.hThread);
        child.process.reset(info.hProcess);
        child.id = info.dwProcessId;
    }
    return child;
}

bool WaitForPath(const std::wstring& path, DWORD timeoutMs) {
    return WaitUntil([&] { return PathExists(path); }, timeoutMs);
}

TemporaryRegistryKey::TemporaryRegistryKey(HKEY root, const std::wstring& path) : root_(root) {
    for (std::size_t end = path.find(L'\\');; end = path.find(L'\\', end + 1)) {
        HKEY existing = nullptr;
        LSTATUS status = RegOpenKeyExW(root, path.substr(0, end).c_str(), 0, KEY_READ, &existing);
        if (status == ERROR_FILE_NOT_FOUND)
            made_ = path.substr(0, end);
        if (status != ERROR_SUCCESS)
            break;  // a key that exists but cannot be read is never deleted
        RegCloseKey(existing);
        if (end == std::wstring::npos)
            break;
    }
    HKEY key = nullptr;
    if (RegCreateKeyExW(root_, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr) == ERROR_SUCCESS)
        key_.reset(key);
}

TemporaryRegistryKey::~TemporaryRegistryKey() {
    key_.reset();
    if (!created())
        return;
    RegDeleteTreeW(root_, made_.c_str());
    RegDeleteKeyW(root_, made_.c_str());
}

void TemporaryRegistryKey::Set(const std::wstring& subkey,
                               const std::wstring& name,
                               DWORD type,
                               const void* data,
                               DWORD size) const {
    HKEY key = nullptr;
    if (RegCreateKeyExW(key_.get(), subkey.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr) !=
        ERROR_SUCCESS)
        return;
    UniqueRegistryKey holder(key);
    RegSetValueExW(key, name.c_str(), 0, type, static_cast<const BYTE*>(data), size);
}

void TemporaryRegistryKey::SetText(const std::wstring& subkey,
                                   const std::wstring& name,
                                   const std::wstring& text) const {
    Set(subkey, name, REG_SZ, text.c_str(), static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
}

void TemporaryRegistryKey::SetNumber(const std::wstring& subkey, const std::wstring& name, DWORD number) const {
    Set(subkey, name, REG_DWORD, &number, sizeof(number));
}

std::wstring NewestRunFolder() {
    std::wstring backups = ReadEnvironmentVariable(L"LOCALAPPDATA") + L"\\PopSwat\\Backups";
    std::wstring newest;
    ForEachFolderEntry(backups, [&](const std::wstring& name, uint32_t attributes) {
        if ((attributes & FILE_ATTRIBUTE_DIRECTORY) && name != L"." && name != L".." && name > newest)
            newest = name;
    });
    return newest.empty() ? newest : backups + L"\\" + newest;
}
