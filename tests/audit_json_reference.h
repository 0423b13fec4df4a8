// Slow, literal versions of the JSON lookup and the Firefox record scan, written
// straight from their rules, to check the fast ones against. Plain C++.
#pragma once

#include <cctype>
#include <cstdlib>
#include <string>
#include <vector>

#include "audit/json_lookup.h"

namespace reference {

constexpr std::size_t ABSENT = std::string::npos;

// Compares the quoted key at every offset, through tolower in the "C" locale.
inline std::size_t FindKey(const std::string& text, const std::string& key, std::size_t start) {
    std::string needle = "\"" + key + "\"";
    for (std::size_t p = start; p + needle.size() <= text.size(); ++p) {
        std::size_t i = 0;
        while (i < needle.size() && std::tolower(static_cast<unsigned char>(text[p + i])) ==
                                        std::tolower(static_cast<unsigned char>(needle[i])))
            ++i;
        if (i == needle.size())
            return p;
    }
    return ABSENT;
}

inline bool IsWhiteSpace(char c) {
    return c == 0x09 || c == 0x0A || c == 0x0B || c == 0x0C || c == 0x0D || c == 0x20;
}

// Where the value of the key quoted at anchor starts: after the key, white
// space, a colon and white space; ABSENT when there is no colon or no value.
inline std::size_t ValueStart(const std::string& text, std::size_t anchor, std::size_t keyLength) {
    std::size_t i = anchor + keyLength + 2;
    while (i < text.size() && IsWhiteSpace(text[i]))
        ++i;
    if (i >= text.size() || text[i] != ':')
        return ABSENT;
    ++i;
    while (i < text.size() && IsWhiteSpace(text[i]))
        ++i;
    return i < text.size() ? i : ABSENT;
}

inline std::string GetString(const std::string& text, const std::string& key, std::size_t start) {
    std::size_t p = FindKey(text, key, start);
    std::size_t i = p == ABSENT ? ABSENT : ValueStart(text, p, key.size());
    if (i == ABSENT || text[i] != '"')
        return "";
    ++i;
    std::string result;
    while (i < text.size()) {
        char c = text[i];
        if (c == '"')
            break;
        if (c == '\\' && i + 1 < text.size()) {
            char e = text[i + 1];
            const std::string controls = "n\nr\rt\tb\bf\f";
            std::size_t control = controls.find(e);
            if (control != std::string::npos && control % 2 == 0) {
                result += controls[control + 1];
                i += 2;
            } else if (e == 'u') {
                if (text.size() - (i + 2) < 4) {
                    i += 2;
                } else {
                    long number = std::strtol(text.substr(i + 2, 4).c_str(), nullptr, 16);
                    i += 6;
                    // A high surrogate and the low one of the next escape are one character.
                    long low = -1;
                    if (number >= 0xD800 && number <= 0xDBFF && text.size() - i >= 6 && text[i] == '\\' &&
                        text[i + 1] == 'u')
                        low = std::strtol(text.substr(i + 2, 4).c_str(), nullptr, 16);
                    if (low >= 0xDC00 && low <= 0xDFFF) {
                        AppendUtf8(static_cast<char32_t>(0x10000 + ((number - 0xD800) << 10) + (low - 0xDC00)),
                                   &result);
                        i += 6;
                    } else {
                        AppendUtf8(number < 0 ? 0xFFFD : static_cast<char32_t>(number), &result);
                    }
                }
            } else {
                result += e;
                i += 2;
            }
        } else {
            result += c;
            ++i;
        }
    }
    return result;
}

// Offset just past the string whose opening quote is at i (a backslash takes the
// next byte along), or ABSENT when the text ends first.
inline std::size_t SkipString(const std::string& text, std::size_t i) {
    for (++i; i < text.size(); ++i) {
        if (text[i] == '\\')
            ++i;
        else if (text[i] == '"')
            return i + 1;
    }
    return ABSENT;
}

// The opening brace of the object innermost at offset, or ABSENT.
inline std::size_t InnermostObject(const std::string& text, std::size_t offset) {
    std::vector<std::size_t> open;
    for (std::size_t i = 0; i < offset;) {
        if (text[i] == '"') {
            i = SkipString(text, i);
            if (i == ABSENT || i > offset)
                break;
        } else {
            if (text[i] == '{')
                open.push_back(i);
            else if (text[i] == '}' && !open.empty())
                open.pop_back();
            ++i;
        }
    }
    return open.empty() ? ABSENT : open.back();
}

inline bool IsKeyNamed(const std::string& token, const char* key) {
    std::string lower;
    for (char c : token)
        lower += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return lower == key;
}

// The value of the first key named key that belongs to the object opened at brace itself.
inline std::string OwnKeyValue(const std::string& text, std::size_t brace, const char* key) {
    int depth = 1;
    for (std::size_t i = brace + 1; i < text.size();) {
        char c = text[i];
        if (c == '"') {
            std::size_t end = SkipString(text, i);
            if (end == ABSENT)
                return "";
            std::string token = text.substr(i + 1, end - i - 2);
            std::size_t j = end;
            while (j < text.size() && IsWhiteSpace(text[j]))
                ++j;
            if (depth == 1 && j < text.size() && text[j] == ':' && IsKeyNamed(token, key))
                return GetString(text, key, i);
            i = end;
            continue;
        }
        if (c == '{')
            ++depth;
        if (c == '}' && --depth == 0)
            return "";
        ++i;
    }
    return "";
}

// The brace of the object that is the value of the key quoted at anchor, not
// inside a string; or ABSENT.
inline std::size_t ValueObject(const std::string& text, std::size_t anchor, std::size_t keyLength) {
    std::size_t i = ValueStart(text, anchor, keyLength);
    return i != ABSENT && text[i] == '{' && InnermostObject(text, i + 1) == i ? i : ABSENT;
}

inline std::vector<FirefoxAddonRecord> ScanRecords(const std::string& text) {
    std::vector<FirefoxAddonRecord> records;
    for (std::size_t anchor = FindKey(text, "defaultLocale", 0); anchor != ABSENT;
         anchor = FindKey(text, "defaultLocale", anchor + 13)) {
        FirefoxAddonRecord record;
        std::size_t locale = ValueObject(text, anchor, 13);
        if (locale != ABSENT)
            record.name = OwnKeyValue(text, locale, "name");
        std::size_t brace = InnermostObject(text, anchor);
        if (brace != ABSENT) {
            record.type = OwnKeyValue(text, brace, "type");
            record.location = OwnKeyValue(text, brace, "location");
            record.id = OwnKeyValue(text, brace, "id");
            record.version = OwnKeyValue(text, brace, "version");
        }
        records.push_back(record);
    }
    return records;
}

}  // namespace reference
