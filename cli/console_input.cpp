#include "cli/cli.h"

#include <windows.h>

namespace {

// In UTF-8, ANSWER_CHARS UTF-16 units take at most three bytes each, and one
// more character at most four: only bytes that are not UTF-8 reach this.
constexpr std::size_t MAX_ANSWER_BYTES = 3 * ANSWER_CHARS + 4;

bool ReadConsoleLine(HANDLE console, std::wstring* line) {
    // The whole line is read, so that nothing typed after the kept characters
    // is left in the console's input buffer for the shell to run as a command.
    wchar_t buffer[256];
    for (;;) {
        DWORD read = 0;
        if (!ReadConsoleW(console, buffer, static_cast<DWORD>(std::size(buffer)), &read, nullptr) || read == 0)
            break;
        line->append(buffer, read);
        if (line->find(L'\n') != std::wstring::npos)
            break;
    }
    return !line->empty();
}

// Redirected input is UTF-8, read one byte at a time so that reading stops at
// the line feed or once enough characters are in, even on a pipe kept open.
// Utf8ToWide makes a character that is not yet whole a U+FFFD, so reading goes
// on until the last character is whole or MAX_ANSWER_BYTES bytes are in.
bool ReadRedirectedLine(HANDLE input, std::wstring* line) {
    std::string bytes;
    for (;;) {
        char byte = 0;
        DWORD read = 0;
        if (!ReadFile(input, &byte, 1, &read, nullptr) || read == 0)
            break;
        bytes += byte;
        *line = Utf8ToWide(bytes);
        bool lastIsWhole = !line->empty() && line->back() != L'\xFFFD';
        if (byte == '\n' || (line->size() >= ANSWER_CHARS && lastIsWhole) || bytes.size() >= MAX_ANSWER_BYTES)
            break;
    }
    return !bytes.empty();
}

}  // namespace

bool ReadAnswerLine(std::wstring* answer) {
    answer->clear();
    HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
    if (input == nullptr || input == INVALID_HANDLE_VALUE)
        return false;
    DWORD mode = 0;
    bool read = GetConsoleMode(input, &mode) ? ReadConsoleLine(input, answer) : ReadRedirectedLine(input, answer);
    if (!read)
        return false;
    if (answer->size() > ANSWER_CHARS)
        answer->resize(ANSWER_CHARS);
    return true;
}
