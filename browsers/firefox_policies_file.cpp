// Firefox's policies.json: where Firefox is installed (the folders whose
// distribution\policies.json it reads at start-up), and the file's policies
// named as the same policies are named in the registry.
#include "browsers/json_document.h"

#include <knownfolders.h>
#include <shlobj.h>

#include <algorithm>
#include <cstdio>
#include <set>

#include "base/win_handles.h"
#include "base/windows_launch_sources.h"

namespace {

// Policies nest a few levels (ExtensionSettings\<id>\install_sources\1); deeper values are not followed.
constexpr int MAX_POLICY_DEPTH = 8;

// A string value of root\key (REG_SZ, or REG_EXPAND_SZ expanded); "" when there is none.
std::wstring ReadText(HKEY root, const std::wstring& key, const wchar_t* name) {
    UniqueRegistryKey opened;
    if (OpenRegistryKeyForReading(root, key, &opened) != RegistryOpen::Done)
        return std::wstring();
    DWORD type = REG_NONE, bytes = 0;
    if (RegQueryValueExW(opened.get(), name, nullptr, &type, nullptr, &bytes) != ERROR_SUCCESS ||
        (type != REG_SZ && type != REG_EXPAND_SZ) || bytes == 0 || bytes > 64 * 1024)
        return std::wstring();
    std::wstring text(bytes / sizeof(wchar_t) + 1, L'\0');
    if (RegQueryValueExW(opened.get(), name, nullptr, &type, reinterpret_cast<BYTE*>(&text[0]), &bytes) !=
        ERROR_SUCCESS)
        return std::wstring();
    text.resize(std::min<std::size_t>(text.size(), bytes / sizeof(wchar_t)));
    while (!text.empty() && text.back() == L'\0')
        text.pop_back();
    if (type == REG_EXPAND_SZ) {
        std::vector<wchar_t> expanded(32768);
        DWORD chars = ExpandEnvironmentStringsW(text.c_str(), expanded.data(), 32768);
        text = chars > 0 && chars <= 32768 ? std::wstring(expanded.data()) : std::wstring();
    }
    return text;
}

// The names of root\key's subkeys.
std::vector<std::wstring> SubkeyNames(HKEY root, const std::wstring& key) {
    std::vector<std::wstring> names;
    UniqueRegistryKey opened;
    if (OpenRegistryKeyForReading(root, key, &opened) != RegistryOpen::Done)
        return names;
    wchar_t name[256];
    for (DWORD index = 0;; ++index) {
        DWORD chars = 256;
        if (RegEnumKeyExW(opened.get(), index, name, &chars, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            break;
        names.emplace_back(name, chars);
    }
    return names;
}

// A folder as the registry may write it: quoted, or with a trailing ";" or backslash.
std::wstring PlainFolder(std::wstring text) {
    if (text.size() >= 2 && text.front() == L'"' && text.back() == L'"')
        text = text.substr(1, text.size() - 2);
    while (!text.empty() && (text.back() == L';' || text.back() == L'\\' || text.back() == L' '))
        text.pop_back();
    return text;
}

// An executable's folder from App Paths' default value, quoted or not.
std::wstring FolderOfExecutable(std::wstring text) {
    if (!text.empty() && text.front() == L'"') {
        std::size_t close = text.find(L'"', 1);
        text = text.substr(1, close == std::wstring::npos ? std::wstring::npos : close - 1);
    }
    return FolderOfPath(text);
}

void AddFolder(const std::wstring& candidate, std::vector<std::wstring>* folders) {
    std::wstring plain = PlainFolder(candidate);
    if (!IsFullPath(plain))
        return;
    std::wstring folder = FullFolderPath(plain);
    if (folder.empty() || std::any_of(folders->begin(), folders->end(),
                                      [&](const std::wstring& known) { return SamePath(known, folder); }))
        return;
    DWORD attributes = GetFileAttributesW(LongPathForm(folder + L"\\firefox.exe").c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY))
        folders->push_back(folder);
}

std::wstring NumberText(const JsonValue& value) {
    if (value.IsInt64())
        return std::to_wstring(value.GetInt64());
    if (value.IsUint64())
        return std::to_wstring(value.GetUint64());
    wchar_t text[64];
    std::swprintf(text, 64, L"%.17g", value.GetDouble());
    return text;
}

void Flatten(const JsonValue& value, const std::wstring& name, int depth, std::vector<FirefoxPolicyValue>* values) {
    if (value.IsObject()) {
        if (depth >= MAX_POLICY_DEPTH)
            return;
        // A name given twice counts once, as its last value: Firefox's JSON.parse keeps the last.
        std::vector<const JsonValue::Member*> members;
        std::set<std::string> seen;
        for (auto member = value.MemberEnd(); member != value.MemberBegin();) {
            --member;
            if (seen.insert(std::string(member->name.GetString(), member->name.GetStringLength())).second)
                members.push_back(&*member);
        }
        std::reverse(members.begin(), members.end());
        for (const JsonValue::Member* member : members)
            Flatten(member->value, name + (name.empty() ? L"" : L"\\") + JsonText(&member->name), depth + 1, values);
    } else if (value.IsArray()) {
        if (depth >= MAX_POLICY_DEPTH)
            return;
        for (rapidjson::SizeType i = 0; i < value.Size(); ++i)
            Flatten(value[i], name + L"\\" + std::to_wstring(i + 1), depth + 1, values);
    } else if (value.IsString()) {
        values->push_back({name, JsonText(&value)});
    } else if (value.IsBool()) {
        values->push_back({name, value.GetBool() ? L"1" : L"0"});
    } else if (value.IsNumber()) {
        values->push_back({name, NumberText(value)});
    } else {
        values->push_back({name, L""});
    }
}

}  // namespace

std::vector<std::wstring> FirefoxInstallFolders(HKEY machine,
                                                HKEY user,
                                                const std::vector<std::wstring>& programFiles) {
    std::vector<std::wstring> folders;
    for (HKEY root : {machine, user}) {
        for (const wchar_t* software : {L"SOFTWARE\\", L"SOFTWARE\\WOW6432Node\\"}) {
            std::wstring appPath =
                std::wstring(software) + L"Microsoft\\Windows\\CurrentVersion\\App Paths\\firefox.exe";
            AddFolder(FolderOfExecutable(ReadText(root, appPath, nullptr)), &folders);
            AddFolder(ReadText(root, appPath, L"Path"), &folders);
            std::wstring versions = std::wstring(software) + L"Mozilla\\Mozilla Firefox";
            for (const std::wstring& version : SubkeyNames(root, versions))
                AddFolder(ReadText(root, versions + L"\\" + version + L"\\Main", L"Install Directory"), &folders);
        }
    }
    for (const std::wstring& folder : programFiles) {
        if (!folder.empty())
            AddFolder(folder + L"\\Mozilla Firefox", &folders);
    }
    return folders;
}

PolicyRoots SystemPolicyRoots() {
    std::vector<std::wstring> programFiles;
    for (const GUID* id : {&FOLDERID_ProgramFilesX64, &FOLDERID_ProgramFilesX86, &FOLDERID_ProgramFiles})
        programFiles.push_back(KnownFolderPath(*id));
    return {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER,
            FirefoxInstallFolders(HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER, programFiles)};
}

std::wstring FileBytesDigest(const std::string& bytes) {
    std::uint64_t hash = 0xCBF29CE484222325ull;
    for (char byte : bytes) {
        hash ^= static_cast<unsigned char>(byte);
        hash *= 0x100000001B3ull;
    }
    return FormatWide(L"%llu-%016llx", static_cast<unsigned long long>(bytes.size()),
                      static_cast<unsigned long long>(hash));
}

FirefoxPoliciesFile ReadFirefoxPoliciesFile(const std::wstring& path) {
    FirefoxPoliciesFile file;
    std::string bytes;
    file.result = JsonLoadOf(ReadFileBytes(path, MAX_FIREFOX_POLICIES_BYTES, &bytes));
    if (file.result != JsonLoad::Done)
        return file;
    file.digest = FileBytesDigest(bytes);
    JsonDocument document;
    file.result = ParseJsonObject(bytes, &document);
    if (file.result != JsonLoad::Done)
        return file;
    const JsonValue* policies = FindJsonMember(document, "policies");
    if (!policies)
        return file;
    if (!policies->IsObject()) {
        file.result = JsonLoad::OtherShape;
        return file;
    }
    Flatten(*policies, L"", 0, &file.values);
    return file;
}
