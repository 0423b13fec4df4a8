// Comparisons and digits of ASCII text, the same for every locale.
// Plain C++ with no Windows headers, so it can also be built natively.
#include "base/base.h"

namespace {

template <typename Char>
bool EqualFolded(std::basic_string_view<Char> a, std::basic_string_view<Char> b) {
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (FoldAscii(static_cast<wchar_t>(a[i])) != FoldAscii(static_cast<wchar_t>(b[i])))
            return false;
    }
    return true;
}

}  // namespace

int HexDigitValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

bool EqualsIgnoringAsciiCase(std::wstring_view a, std::wstring_view b) {
    return EqualFolded(a, b);
}

bool EqualsIgnoringAsciiCase(std::string_view a, std::string_view b) {
    return EqualFolded(a, b);
}

bool StartsWithIgnoringAsciiCase(std::wstring_view text, std::wstring_view prefix) {
    return text.size() >= prefix.size() && EqualsIgnoringAsciiCase(text.substr(0, prefix.size()), prefix);
}

bool EndsWithIgnoringAsciiCase(std::wstring_view text, std::wstring_view suffix) {
    return text.size() >= suffix.size() && EqualsIgnoringAsciiCase(text.substr(text.size() - suffix.size()), suffix);
}

bool DecodeBase64(std::wstring_view text, std::string* bytes) {
    bytes->clear();
    while (!text.empty() && text.back() == L'=')
        text.remove_suffix(1);
    if (text.size() % 4 == 1)
        return false;
    unsigned bits = 0;
    int count = 0;
    for (wchar_t c : text) {
        int value = c >= L'A' && c <= L'Z'   ? c - L'A'
                    : c >= L'a' && c <= L'z' ? c - L'a' + 26
                    : c >= L'0' && c <= L'9' ? c - L'0' + 52
                    : c == L'+'              ? 62
                    : c == L'/'              ? 63
                                             : -1;
        if (value < 0) {
            bytes->clear();
            return false;
        }
        bits = (bits << 6) | static_cast<unsigned>(value);
        count += 6;
        if (count >= 8) {
            count -= 8;
            bytes->push_back(static_cast<char>((bits >> count) & 0xFF));
        }
    }
    return true;
}
