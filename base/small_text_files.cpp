// Small text files read whole: internet shortcuts (INI text) and scripts.
// Plain C++ with no Windows headers.
#include "base/base.h"

#include <string_view>

namespace {

std::wstring_view TrimSpaces(std::wstring_view text) {
    while (!text.empty() && (text.front() == L' ' || text.front() == L'\t'))
        text.remove_prefix(1);
    while (!text.empty() && (text.back() == L' ' || text.back() == L'\t' || text.back() == L'\r'))
        text.remove_suffix(1);
    return text;
}

}  // namespace

FileRead ReadSmallTextFile(const std::wstring& path, std::wstring* text) {
    text->clear();
    std::string bytes;
    FileRead read = ReadFileBytes(path, MAX_SMALL_TEXT_FILE_BYTES, &bytes);
    if (read != FileRead::Done)
        return read;
    if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFF &&
        static_cast<unsigned char>(bytes[1]) == 0xFE) {
        for (std::size_t at = 2; at + 1 < bytes.size(); at += 2)
            text->push_back(static_cast<wchar_t>(static_cast<unsigned char>(bytes[at]) |
                                                 (static_cast<unsigned char>(bytes[at + 1]) << 8)));
        return read;
    }
    if (bytes.compare(0, 3, "\xEF\xBB\xBF") == 0)
        bytes.erase(0, 3);
    *text = Utf8ToWide(bytes);
    return read;
}

std::wstring InternetShortcutUrl(const std::wstring& text) {
    bool inSection = false;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find(L'\n', start);
        if (end == std::wstring::npos)
            end = text.size();
        std::wstring_view line = TrimSpaces(std::wstring_view(text).substr(start, end - start));
        start = end + 1;
        if (!line.empty() && line.front() == L'[') {
            std::size_t close = line.find(L']');
            inSection = close != std::wstring_view::npos &&
                        EqualsIgnoringAsciiCase(TrimSpaces(line.substr(1, close - 1)), L"InternetShortcut");
            continue;
        }
        std::size_t equals = line.find(L'=');
        if (inSection && equals != std::wstring_view::npos &&
            EqualsIgnoringAsciiCase(TrimSpaces(line.substr(0, equals)), L"URL"))
            return std::wstring(TrimSpaces(line.substr(equals + 1)));
    }
    return std::wstring();
}
