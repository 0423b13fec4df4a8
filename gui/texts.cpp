// The windows' texts from the program's string table, and the one way numbers
// and names are put into them.
#include "gui/gui.h"

std::wstring LoadText(UINT id) {
    // With a zero size LoadStringW hands out the read-only resource itself, not terminated.
    const wchar_t* text = nullptr;
    int length = LoadStringW(GetModuleHandleW(nullptr), id, reinterpret_cast<LPWSTR>(&text), 0);
    return length > 0 && text ? std::wstring(text, static_cast<std::size_t>(length)) : std::wstring();
}

std::wstring FormatText(UINT id, std::initializer_list<std::wstring> inserts) {
    std::wstring format = LoadText(id);
    std::vector<DWORD_PTR> arguments;
    for (const std::wstring& insert : inserts)
        arguments.push_back(reinterpret_cast<DWORD_PTR>(insert.c_str()));
    // Up to 99 inserts; an insert is put in as it is, never read as a format itself.
    wchar_t* formatted = nullptr;
    DWORD length =
        FormatMessageW(FORMAT_MESSAGE_FROM_STRING | FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_ARGUMENT_ARRAY,
                       format.c_str(), 0, 0, reinterpret_cast<LPWSTR>(&formatted), 0,
                       arguments.empty() ? nullptr : reinterpret_cast<va_list*>(arguments.data()));
    if (length == 0 || !formatted)
        return format;
    std::wstring text(formatted, length);
    LocalFree(formatted);
    return text;
}

std::wstring NumberText(std::size_t number) {
    return std::to_wstring(number);
}
