#include "cli/cli.h"

#include <windows.h>

namespace {

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

// Length in bytes of the UTF-8 sequence that starts with this byte.
int SequenceLength(unsigned char lead) {
    if (lead >= 0xF0)
        return 4;
    if (lead >= 0xE0)
        return 3;
    if (lead >= 0xC0)
        return 2;
    return 1;
}

// Redirected input is UTF-8, read one byte at a time so that reading stops at
// the line feed or once enough characters are in, even on a pipe kept open.
bool ReadRedirectedLine(HANDLE input, std::wstring* line) {
    std::string bytes;
    std::size_t units = 0;
    int pending = 0;
    for (;;) {
        char byte = 0;
        DWORD read = 0;
        if (!ReadFile(input, &byte, 1, &read, nullptr) || read == 0)
            break;
        bytes += byte;
        unsigned char value = static_cast<unsigned char>(byte);
        if (pending > 0 && (value & 0xC0) == 0x80) {
            --pending;
        } else {
            int length = SequenceLength(value);
            pending = length - 1;
            units += length == 4 ? 2 : 1;
        }
        if (byte == '\n' || (pending == 0 && units >= ANSWER_CHARS))
            break;
    }
    if (bytes.empty())
        return false;
    int size = MultiByteToWideChar(CP_UTF8, 0, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
    line->assign(static_cast<std::size_t>(size), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, bytes.data(), static_cast<int>(bytes.size()), &(*line)[0], size);
    return true;
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
