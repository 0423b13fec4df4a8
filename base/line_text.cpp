// Text taken from a file is shown on one output line: characters that move the
// cursor, start a terminal escape sequence or reorder the line are masked.
// Plain C++ with no Windows headers, so it can also be built natively.
#include "base/base.h"

namespace {

bool IsUnsafeCharacter(wchar_t c) {
    // Controls; direction marks (U+061C, U+200E, U+200F), line and paragraph
    // separators (U+2028, U+2029), embeddings and overrides, isolates; zero-width
    // characters (U+200B-U+200D, U+2060, U+FEFF), which make "goo\u200Bgle" read
    // as another name.
    return (c <= 0x1F && c != L'\t') || (c >= 0x7F && c <= 0x9F) || c == 0x061C || (c >= 0x200B && c <= 0x200F) ||
           (c >= 0x2028 && c <= 0x202E) || c == 0x2060 || (c >= 0x2066 && c <= 0x2069) || c == 0xFEFF;
}

}  // namespace

std::wstring MaskUnsafeCharacters(std::wstring text) {
    for (wchar_t& c : text) {
        if (IsUnsafeCharacter(c))
            c = L'?';
    }
    return text;
}
