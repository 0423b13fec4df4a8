#include "cli/cli.h"

#include <windows.h>

#include <algorithm>

namespace {

// Text mode of the C runtime turned every line feed into CR LF; keep that.
std::wstring WithCrLf(const std::wstring& text) {
    std::wstring result;
    result.reserve(text.size() + text.size() / 16);
    for (wchar_t c : text) {
        if (c == L'\n')
            result += L'\r';
        result += c;
    }
    return result;
}

void WriteToConsole(HANDLE console, const std::wstring& text) {
    // Older consoles refuse very large writes; chunks never split a surrogate pair.
    constexpr std::size_t CONSOLE_CHUNK_CHARS = 8192;
    std::size_t done = 0;
    while (done < text.size()) {
        std::size_t count = std::min(CONSOLE_CHUNK_CHARS, text.size() - done);
        if (done + count < text.size() && IS_HIGH_SURROGATE(text[done + count - 1]))
            --count;
        DWORD written = 0;
        if (!WriteConsoleW(console, text.data() + done, static_cast<DWORD>(count), &written, nullptr) || written == 0)
            return;
        done += written;
    }
}

void WriteToFile(HANDLE file, const std::string& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        DWORD written = 0;
        if (!WriteFile(file, bytes.data() + done, static_cast<DWORD>(bytes.size() - done), &written, nullptr) ||
            written == 0)
            return;
        done += written;
    }
}

void WriteText(DWORD standardHandle, const std::wstring& text) {
    HANDLE output = GetStdHandle(standardHandle);
    if (output == nullptr || output == INVALID_HANDLE_VALUE)
        return;
    std::wstring crlfText = WithCrLf(text);
    // GetConsoleMode succeeds only for a console; pipes and files get UTF-8,
    // which the runtime's own conversion would have cut at the first
    // character outside the code page.
    DWORD mode = 0;
    if (GetConsoleMode(output, &mode))
        WriteToConsole(output, crlfText);
    else
        WriteToFile(output, WideToUtf8(crlfText));
}

}  // namespace

void WriteOutputText(const std::wstring& text) {
    WriteText(STD_OUTPUT_HANDLE, text);
}

void WriteErrorText(const std::wstring& text) {
    WriteText(STD_ERROR_HANDLE, text);
}

LogSink ConsoleLogSink() {
    return [](const std::wstring& line) { WriteOutputText(line + L"\n"); };
}
