// Registry values read with the plain registry calls, every value's data
// bounded before it is read.
#include "base/windows_launch_sources.h"

#include <algorithm>

namespace {

// Text of REG_SZ, REG_EXPAND_SZ and REG_MULTI_SZ data (its strings joined by "; ").
std::wstring RegistryText(const BYTE* data, DWORD size, DWORD type) {
    std::wstring text(reinterpret_cast<const wchar_t*>(data), size / sizeof(wchar_t));
    while (!text.empty() && text.back() == L'\0')
        text.pop_back();
    if (type == REG_MULTI_SZ) {
        for (std::size_t at = text.find(L'\0'); at != std::wstring::npos; at = text.find(L'\0', at))
            text.replace(at, 1, L"; ");
    }
    return text;
}

}  // namespace

std::wstring RegistryValueText(const BYTE* data, DWORD size, DWORD type) {
    switch (type) {
        case REG_SZ:
        case REG_EXPAND_SZ:
        case REG_MULTI_SZ:
            return RegistryText(data, size, type);
        case REG_DWORD:
            if (size == sizeof(DWORD))
                return std::to_wstring(*reinterpret_cast<const DWORD*>(data));
            break;
        case REG_QWORD:
            if (size == sizeof(ULONGLONG))
                return std::to_wstring(*reinterpret_cast<const ULONGLONG*>(data));
            break;
        default:
            break;
    }
    return FormatWide(L"(%lu bytes of data of type %lu)", static_cast<unsigned long>(size),
                      static_cast<unsigned long>(type));
}

std::vector<RegistryValue> ReadRegistryValues(HKEY key, DWORD maxBytes) {
    std::vector<RegistryValue> values;
    DWORD longestName = 0;
    DWORD longestData = 0;
    if (RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &longestName, &longestData,
                         nullptr, nullptr) != ERROR_SUCCESS)
        return values;
    std::vector<wchar_t> name(longestName + 1);
    // Room for one more character, so that string data without its terminator still ends.
    std::vector<BYTE> data(std::min(longestData, maxBytes) + sizeof(wchar_t));
    for (DWORD index = 0;; ++index) {
        DWORD nameChars = static_cast<DWORD>(name.size());
        DWORD type = 0;
        DWORD size = static_cast<DWORD>(data.size() - sizeof(wchar_t));
        LSTATUS status = RegEnumValueW(key, index, name.data(), &nameChars, nullptr, &type, data.data(), &size);
        if (status != ERROR_SUCCESS && status != ERROR_MORE_DATA)
            break;
        RegistryValue value;
        value.name.assign(name.data(), nameChars);
        value.type = type;
        value.size = size;
        // ERROR_MORE_DATA: the data is larger than the limit (or grew since the key was queried).
        value.tooLong = status == ERROR_MORE_DATA || size > maxBytes;
        if (!value.tooLong)
            value.text = RegistryValueText(data.data(), size, type);
        values.push_back(std::move(value));
    }
    return values;
}

RegistryOpen OpenRegistryKeyForReading(HKEY root, const std::wstring& path, UniqueRegistryKey* key) {
    HKEY opened = nullptr;
    LSTATUS status = RegOpenKeyExW(root, path.c_str(), 0, KEY_READ | KEY_WOW64_64KEY, &opened);
    if (status != ERROR_SUCCESS)
        return IsNotFoundError(static_cast<uint32_t>(status)) ? RegistryOpen::Missing : RegistryOpen::Unreadable;
    key->reset(opened);
    return RegistryOpen::Done;
}
