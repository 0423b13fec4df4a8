// Everything below a test's registry keys as sorted lines, to compare states byte for byte.
#pragma once

#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

#include "tests/test_support.h"

// Every value below the key as "<path>\<name>=<type>:<hex bytes>", and every
// key as "<path>\", subkeys followed.
inline void DumpRegistryKey(HKEY key, const std::wstring& path, std::vector<std::string>* lines) {
    wchar_t name[256];
    BYTE data[4096];
    lines->push_back(Utf8(path) + "\\");
    for (DWORD i = 0;; ++i) {
        DWORD chars = 256, size = sizeof data, type = 0;
        if (RegEnumValueW(key, i, name, &chars, nullptr, &type, data, &size) != ERROR_SUCCESS)
            break;
        std::string line = Utf8(path + L"\\" + name) + "=" + std::to_string(type) + ":";
        for (DWORD b = 0; b < size; ++b)
            line += "0123456789abcdef"[data[b] >> 4], line += "0123456789abcdef"[data[b] & 15];
        lines->push_back(line);
    }
    for (DWORD i = 0;; ++i) {
        DWORD chars = 256;
        if (RegEnumKeyExW(key, i, name, &chars, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            break;
        HKEY child = nullptr;
        if (RegOpenKeyExW(key, name, 0, KEY_READ, &child) == ERROR_SUCCESS) {
            DumpRegistryKey(child, path + L"\\" + name, lines);
            RegCloseKey(child);
        }
    }
}

// The two roots' trees, sorted.
inline std::vector<std::string> RegistryState(HKEY machine, HKEY user) {
    std::vector<std::string> lines;
    DumpRegistryKey(machine, L"machine", &lines);
    DumpRegistryKey(user, L"user", &lines);
    std::sort(lines.begin(), lines.end());
    return lines;
}
