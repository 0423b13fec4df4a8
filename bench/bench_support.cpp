#include "bench/bench_support.h"

#include <windows.h>

#include <cstdio>

#include "base/base.h"
#include "base/win_handles.h"

void MakeFolders(const std::wstring& path) {
    std::size_t slash = path.find_last_of(L'\\');
    if (slash != std::wstring::npos && slash > 2 &&
        GetFileAttributesW(path.substr(0, slash).c_str()) == INVALID_FILE_ATTRIBUTES)
        MakeFolders(path.substr(0, slash));
    CreateDirectoryW(path.c_str(), nullptr);
}

std::wstring MakeScratchFolder() {
    wchar_t base[MAX_PATH + 1];
    DWORD length = GetTempPathW(MAX_PATH + 1, base);
    std::wstring temp(base, length);
    if (!temp.empty() && temp.back() == L'\\')
        temp.pop_back();
    std::wstring folder = temp + L"\\popswat-bench-" + std::to_wstring(GetCurrentProcessId());
    CreateDirectoryW(folder.c_str(), nullptr);
    return folder;
}

void WriteFileBytes(const std::wstring& path, const std::string& bytes) {
    MakeFolders(path.substr(0, path.find_last_of(L'\\')));
    UniqueHandle file(
        CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    DWORD written = 0;
    if (file)
        WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}

void DeleteTree(const std::wstring& path) {
    ForEachFolderEntry(path, [&](const std::wstring& name, uint32_t attributes) {
        std::wstring child = path + L"\\" + name;
        if ((attributes & FILE_ATTRIBUTE_DIRECTORY) && !(attributes & FILE_ATTRIBUTE_REPARSE_POINT))
            DeleteTree(child);
        else if (attributes & FILE_ATTRIBUTE_DIRECTORY)
            RemoveDirectoryW(child.c_str());
        else
            DeleteFileW(child.c_str());
    });
    RemoveDirectoryW(path.c_str());
}

bool Report(const char* goal, bool met) {
    std::printf("  goal: %-58s %s\n", goal, met ? "met" : "MISSED");
    return met;
}

std::string Number(long long n) {
    return std::to_string(n);
}

std::wstring ChromiumProfileFolder(const std::wstring& root, int browser, int round) {
    static const wchar_t* const USER_DATA[] = {L"Local\\Google\\Chrome\\User Data",
                                               L"Local\\Microsoft\\Edge\\User Data",
                                               L"Local\\BraveSoftware\\Brave-Browser\\User Data",
                                               L"Local\\Vivaldi\\User Data",
                                               L"Roaming\\Opera Software\\Opera Stable",
                                               L"Roaming\\Opera Software\\Opera GX Stable"};
    std::wstring folder = root + L"\\" + USER_DATA[browser];
    if (browser >= 4 && round == 0)
        return folder;
    return folder + (round == 0 ? L"\\Default" : L"\\Profile " + std::to_wstring(round));
}

std::string SiteEngagementPadding(std::size_t bytes) {
    std::string text = "\"site_engagement\":{";
    for (int n = 0; text.size() < bytes; ++n) {
        if (n)
            text += ',';
        text += "\"https://site" + Number(n) + ".example:443,*\":{\"last_modified\":\"1334567890" +
                Number(1000000 + n) +
                "\",\"setting\":{\"lastEngagementTime\":1.3345678901234567e+16,\"lastShortcutLaunchTime\":0.0,"
                "\"pointsAddedToday\":" +
                Number(n % 15) + ".0,\"rawScore\":" + Number(n % 100) + ".123456789}}";
    }
    return text + "}";
}

namespace {

std::string Exceptions(int profile, int grants) {
    static const char* const KINDS[] = {"notifications", "popups", "automatic_downloads"};
    std::string text;
    for (int kind = 0; kind < 3; ++kind) {
        text += std::string(kind ? "," : "") + "\"" + KINDS[kind] + "\":{";
        // Each grant among a block and an ask, as a profile used for a while holds them.
        for (int n = kind; n < grants; n += 3) {
            std::string site = "https://site" + Number(profile * 100 + n);
            for (const char* entry : {"-blocked.example:443,*\":{\"setting\":2", ".example:443,*\":{\"setting\":1",
                                      "-ask.example:443,*\":{\"setting\":3"})
                text += std::string(text.back() == '{' ? "\"" : ",\"") + site + entry +
                        ",\"expiration\":\"0\",\"last_modified\":\"13345678901234567\",\"model\":0}";
        }
        text += "}";
    }
    return text;
}
}  // namespace

std::string GrantedPreferences(int profile, int grants, std::size_t bytes) {
    return "{\"account_values\":{\"browser\":{\"show_home_button\":true}},\"browser\":{\"window_placement\":{"
           "\"bottom\":1000,\"left\":10,\"maximized\":true,\"right\":1900,\"top\":10}},\"profile\":{\"avatar_index\":"
           "26,\"content_settings\":{\"exceptions\":{" +
           Exceptions(profile, grants) + "," + SiteEngagementPadding(bytes - 3000) +
           "},\"pref_version\":1},\"default_content_setting_values\":{\"geolocation\":2},\"exit_type\":\"Normal\"},"
           "\"protection\":{\"macs\":{\"browser\":{\"show_home_button\":\"0123456789ABCDEF\"}}},\"session\":{"
           "\"restore_on_startup\":1}}";
}

void SetRegistryText(HKEY root, const wchar_t* path, const std::wstring& name, const std::wstring& text) {
    HKEY key = nullptr;
    if (RegCreateKeyExW(root, path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr) != ERROR_SUCCESS)
        return;
    RegSetValueExW(key, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                   static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(key);
}
