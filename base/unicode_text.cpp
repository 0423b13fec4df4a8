// Characters to UTF-8, for the decoders of escapes in browser files (\uXXXX in
// JSON and in Firefox's prefs): one place that knows surrogate pairs.
// Plain C++ with no Windows headers, so it can also be built natively.
#include "base/base.h"

namespace {

constexpr char32_t REPLACEMENT_CHARACTER = 0xFFFD;

bool IsHighSurrogate(uint32_t unit) {
    return unit >= 0xD800 && unit <= 0xDBFF;
}

bool IsLowSurrogate(uint32_t unit) {
    return unit >= 0xDC00 && unit <= 0xDFFF;
}

}  // namespace

void AppendUtf8(char32_t character, std::string* text) {
    if (IsHighSurrogate(character) || IsLowSurrogate(character) || character > 0x10FFFF)
        character = REPLACEMENT_CHARACTER;
    if (character < 0x80) {
        *text += static_cast<char>(character);
        return;
    }
    char bytes[4];
    int count = character < 0x800 ? 2 : character < 0x10000 ? 3 : 4;
    for (int i = count - 1; i > 0; --i, character >>= 6)
        bytes[i] = static_cast<char>(0x80 | (character & 0x3F));
    static const unsigned char LEAD[] = {0, 0, 0xC0, 0xE0, 0xF0};
    bytes[0] = static_cast<char>(LEAD[count] | character);
    text->append(bytes, static_cast<std::size_t>(count));
}

char32_t Utf16Character(uint32_t unit, uint32_t next, bool* pair) {
    *pair = IsHighSurrogate(unit) && IsLowSurrogate(next);
    if (*pair)
        return 0x10000 + ((unit - 0xD800) << 10) + (next - 0xDC00);
    return unit;  // a lone surrogate becomes U+FFFD in AppendUtf8
}
