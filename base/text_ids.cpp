// Short identities of texts, for finding ids that a person can type.
#include "base/base.h"

#include <cstdint>

std::wstring ShortTextId(std::initializer_list<std::wstring_view> texts) {
    std::uint64_t hash = 0xCBF29CE484222325ull;
    auto addByte = [&hash](unsigned byte) {
        hash ^= byte;
        hash *= 0x100000001B3ull;
    };
    for (std::wstring_view text : texts) {
        for (std::size_t i = 0; i <= text.size(); ++i) {
            unsigned unit = i < text.size() ? static_cast<unsigned>(text[i]) & 0xFFFF : 0;
            addByte(unit & 0xFF);
            addByte(unit >> 8);
        }
    }
    // 48 bits, the upper 16 folded in.
    std::uint64_t folded = (hash ^ (hash >> 48)) & 0xFFFFFFFFFFFFull;
    wchar_t digits[13];
    for (int i = 11; i >= 0; --i) {
        digits[i] = L"0123456789abcdef"[folded & 0xF];
        folded >>= 4;
    }
    digits[12] = L'\0';
    return digits;
}
