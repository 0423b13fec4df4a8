#include "base/base.h"

#include <windows.h>

#include <algorithm>
#include <climits>
#include <cstdarg>
#include <cwchar>

std::wstring FormatWide(const wchar_t* format, ...) {
    wchar_t buffer[FORMAT_BUFFER_CHARS];
    buffer[0] = L'\0';
    va_list args;
    va_start(args, format);
#if defined(_MSC_VER)
    // -1 when the text was cut.
    int length = _vsnwprintf_s(buffer, FORMAT_BUFFER_CHARS, _TRUNCATE, format, args);
#else
    // MinGW's own C99 formatter: understands %zu on every msvcrt, cuts long output
    // at the buffer's end with a terminating null and returns the uncut length.
    int length = __mingw_vsnwprintf(buffer, FORMAT_BUFFER_CHARS, format, args);
#endif
    va_end(args);
    buffer[FORMAT_BUFFER_CHARS - 1] = L'\0';
    std::wstring text(buffer);
    if (length >= 0 && static_cast<std::size_t>(length) < FORMAT_BUFFER_CHARS)
        return text;
    // A cut line says so, and never ends in half a surrogate pair.
    constexpr std::size_t DOTS = 3;
    std::size_t keep = std::min(text.size(), FORMAT_BUFFER_CHARS - 1 - DOTS);
    if (keep > 0 && text[keep - 1] >= 0xD800 && text[keep - 1] <= 0xDBFF)
        --keep;
    text.resize(keep);
    return text + L"...";
}

std::wstring ReadEnvironmentVariable(const wchar_t* name) {
    wchar_t buffer[ENV_BUFFER_CHARS];
    DWORD length = GetEnvironmentVariableW(name, buffer, static_cast<DWORD>(ENV_BUFFER_CHARS));
    // 0 means unset or empty; ENV_BUFFER_CHARS or more is the size a longer value would need.
    if (length == 0 || length >= ENV_BUFFER_CHARS)
        return std::wstring();
    return std::wstring(buffer, length);
}

std::wstring ExpandEnvironmentText(const std::wstring& text) {
    // ExpandEnvironmentStringsW takes at most 32,767 characters in and out.
    constexpr DWORD MAX_CHARS = 32767;
    if (text.empty() || text.size() >= MAX_CHARS)
        return text;
    std::wstring expanded(MAX_CHARS + 1, L'\0');
    DWORD length = ExpandEnvironmentStringsW(text.c_str(), &expanded[0], MAX_CHARS + 1);
    if (length == 0 || length > MAX_CHARS + 1)
        return text;
    expanded.resize(length - 1);
    return expanded;
}

std::string WideToUtf8(const std::wstring& text) {
    if (text.empty())
        return std::string();
    int size =
        WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string bytes(static_cast<std::size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &bytes[0], size, nullptr, nullptr);
    return bytes;
}

std::wstring Utf8ToWide(const std::string& bytes) {
    // MultiByteToWideChar takes a 32-bit count; profile files are far smaller.
    if (bytes.empty() || bytes.size() > static_cast<std::size_t>(INT_MAX))
        return std::wstring();
    int length = static_cast<int>(bytes.size());
    // Flags 0: malformed sequences become U+FFFD instead of failing the call.
    int needed = MultiByteToWideChar(CP_UTF8, 0, bytes.data(), length, nullptr, 0);
    if (needed <= 0)
        return std::wstring();
    std::wstring wide(static_cast<std::size_t>(needed), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, bytes.data(), length, &wide[0], needed);
    return wide;
}
