// Pulls single values out of JSON text by key, without a parse tree.
// Plain C++ with no Windows headers, so it can also be built natively.
#include "audit/json_lookup.h"

#include <array>
#include <cstring>

namespace {

bool IsJsonWhiteSpace(char c) {
    return c == ' ' || (c >= '\t' && c <= '\r');
}

// Reads the four bytes after "\u" the way strtol(bytes, nullptr, 16) reads them:
// leading white space, a sign, an optional 0x prefix, then hexadecimal digits up
// to the first other byte; no digit gives 0.
long ReadEscapeNumber(const char* bytes) {
    int i = 0;
    while (i < 4 && IsJsonWhiteSpace(bytes[i]))
        ++i;
    bool negative = false;
    if (i < 4 && (bytes[i] == '+' || bytes[i] == '-')) {
        negative = bytes[i] == '-';
        ++i;
    }
    if (i + 2 < 4 && bytes[i] == '0' && (bytes[i + 1] == 'x' || bytes[i + 1] == 'X') &&
        HexDigitValue(bytes[i + 2]) >= 0)
        i += 2;
    long value = 0;
    for (; i < 4 && HexDigitValue(bytes[i]) >= 0; ++i)
        value = value * 16 + HexDigitValue(bytes[i]);
    return negative ? -value : value;
}

// The character that "\e" stands for: \n \r \t \b \f their control characters,
// every other byte (\" \\ \/ ...) itself.
char ControlEscape(char e) {
    switch (e) {
        case 'n':
            return '\n';
        case 'r':
            return '\r';
        case 't':
            return '\t';
        case 'b':
            return '\b';
        case 'f':
            return '\f';
        default:
            return e;
    }
}

// Appends the character of a \u escape whose number is unit (from
// ReadEscapeNumber), next being the offset just past it: a high surrogate and
// the low one of a \u escape right after make one character. Returns how many
// more bytes that took (0 or 6). A lone surrogate, or a negative number, is U+FFFD.
std::size_t AppendUnicodeEscape(const std::string& text, std::size_t next, long unit, std::string* value) {
    if (unit < 0) {
        AppendUtf8(0xFFFD, value);
        return 0;
    }
    long low = 0;
    if (text.size() - next >= 6 && text[next] == '\\' && text[next + 1] == 'u')
        low = ReadEscapeNumber(text.data() + next + 2);
    bool pair = false;
    AppendUtf8(Utf16Character(static_cast<uint32_t>(unit), low < 0 ? 0 : static_cast<uint32_t>(low), &pair), value);
    return pair ? 6 : 0;
}

// Offset of the first byte c in data[from, to), or to.
std::size_t Find(const char* data, std::size_t from, std::size_t to, char c) {
    const void* found = std::memchr(data + from, c, to - from);
    return found ? static_cast<std::size_t>(static_cast<const char*>(found) - data) : to;
}

}  // namespace

std::size_t FindJsonKey(const std::string& text, const std::string& key, std::size_t start) {
    const std::size_t n = text.size();
    const std::size_t m = key.size() + 2;
    if (start > n || n - start < m)
        return std::string::npos;

    // Horspool search over case-folded bytes: the window moves by the distance from
    // the folded byte under its last position to that byte's last use in the needle.
    std::string needle;
    needle.reserve(m);
    needle += '"';
    for (char c : key)
        needle += static_cast<char>(FOLD_TABLE[static_cast<unsigned char>(c)]);
    needle += '"';
    // Shifts are capped at 255 to keep the table small; a shorter shift is always safe.
    const unsigned char longest = static_cast<unsigned char>(m < 255 ? m : 255);
    std::array<unsigned char, 256> shift;
    shift.fill(longest);
    for (std::size_t i = m - 1 < 255 ? 0 : m - 1 - 255; i + 1 < m; ++i)
        shift[static_cast<unsigned char>(needle[i])] = static_cast<unsigned char>(m - 1 - i);

    const unsigned char* bytes = reinterpret_cast<const unsigned char*>(text.data());
    const unsigned char* folded = reinterpret_cast<const unsigned char*>(needle.data());
    for (std::size_t p = start; p <= n - m;) {
        unsigned char last = FOLD_TABLE[bytes[p + m - 1]];
        if (last == folded[m - 1]) {
            std::size_t i = 0;
            while (i + 1 < m && FOLD_TABLE[bytes[p + i]] == folded[i])
                ++i;
            if (i + 1 == m)
                return p;
        }
        p += shift[last];
    }
    return std::string::npos;
}

namespace {

// The string whose content starts at i, its escapes decoded as GetJsonString says.
std::string DecodeJsonString(const std::string& text, std::size_t i) {
    const std::size_t n = text.size();
    // The runs between escapes are copied whole. The next quote is looked for again
    // only when an escape has taken the last one found, so each byte is searched once.
    const char* data = text.data();
    std::size_t quote = Find(data, i, n, '"');
    std::string value;
    value.reserve(quote - i);
    while (i < n) {
        if (quote < i)
            quote = Find(data, i, n, '"');
        std::size_t runEnd = Find(data, i, quote, '\\');
        value.append(data + i, runEnd - i);
        i = runEnd;
        if (i >= n || text[i] == '"')
            break;
        char c = text[i];
        if (i + 1 >= n) {  // a lone backslash at the very end stays
            value += c;
            ++i;
            continue;
        }
        char e = text[i + 1];
        if (e == 'u') {
            if (n - (i + 2) < 4) {  // too short: drop "\u", read what follows as content
                i += 2;
                continue;
            }
            i += 6;
            i += AppendUnicodeEscape(text, i, ReadEscapeNumber(text.data() + i - 4), &value);
        } else {
            value += ControlEscape(e);
            i += 2;
        }
    }
    return value;
}

}  // namespace

std::string GetJsonString(const std::string& text, const std::string& key, std::size_t start) {
    std::size_t p = FindJsonKey(text, key, start);
    if (p == std::string::npos)
        return std::string();
    std::size_t i = FindJsonValue(text, p + key.size() + 2);
    if (i >= text.size() || text[i] != '"')
        return std::string();
    return DecodeJsonString(text, i + 1);
}

std::size_t FindJsonStringEnd(const std::string& text, std::size_t i) {
    const std::size_t begin = i;
    const std::size_t n = text.size();
    const char* data = text.data();
    while (i < n) {
        std::size_t q = Find(data, i, n, '"');
        // Backslashes pair off; an odd run before the quote escapes it.
        std::size_t backslashes = 0;
        while (q < n && q - backslashes > begin && data[q - backslashes - 1] == '\\')
            ++backslashes;
        if (backslashes % 2 == 0)
            return q;
        i = q + 1;
    }
    return n;
}

std::size_t FindJsonValue(const std::string& text, std::size_t i) {
    const std::size_t n = text.size();
    while (i < n && IsJsonWhiteSpace(text[i]))
        ++i;
    if (i >= n || text[i] != ':')
        return std::string::npos;
    ++i;
    while (i < n && IsJsonWhiteSpace(text[i]))
        ++i;
    return i;
}

std::size_t FindJsonObjectValue(const std::string& text, std::size_t i) {
    i = FindJsonValue(text, i);
    return i < text.size() && text[i] == '{' ? i : std::string::npos;
}
