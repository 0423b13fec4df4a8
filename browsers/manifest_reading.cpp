// An extension's manifest.json read as Chromium reads it (base::JSONReader with
// its own extensions: // and /* */ comments, \xNN escapes and line breaks inside
// strings; a UTF-8 byte-order mark skipped; the last of a repeated name kept; no
// trailing commas, no UTF-16), one value after another without a parse tree, so
// that what stands before any damage still counts. Only the root object's own
// members are taken.
#include "browsers/browsers.h"

#include <cstring>
#include <vector>

namespace {

bool IsWhiteSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// One open object or array; key is the name of the member being read in an object.
struct Frame {
    bool object = true;
    bool afterComma = false;  // a comma was read: a value must follow, not the end
    bool empty = true;        // nothing read in it yet
    std::string key;
};

// What a root member's value turned out to be once read to its end.
enum class ValueKind { String, Object, Other };

struct ManifestReader {
    const std::string& text;
    ManifestFields* fields;
    std::size_t at = 0;
    std::vector<Frame> open{};
    // The override bits the members read so far set, and what repeated names clear again.
    unsigned overrides = 0;

    bool AtEnd() const { return at >= text.size(); }

    // White space and comments; false for a comment that never closes or a lone slash.
    bool SkipBlanks() {
        while (!AtEnd()) {
            char c = text[at];
            if (IsWhiteSpace(c)) {
                ++at;
            } else if (c == '/' && at + 1 < text.size() && text[at + 1] == '/') {
                std::size_t end = text.find_first_of("\r\n", at + 2);
                at = end == std::string::npos ? text.size() : end;
            } else if (c == '/' && at + 1 < text.size() && text[at + 1] == '*') {
                std::size_t end = text.find("*/", at + 2);
                if (end == std::string::npos)
                    return false;
                at = end + 2;
            } else if (c == '/') {
                return false;
            } else {
                return true;
            }
        }
        return true;
    }

    int Hex(std::size_t from, int digits) const {
        if (text.size() - from < static_cast<std::size_t>(digits))
            return -1;
        int value = 0;
        for (int i = 0; i < digits; ++i) {
            int digit = HexDigitValue(text[from + static_cast<std::size_t>(i)]);
            if (digit < 0)
                return -1;
            value = value * 16 + digit;
        }
        return value;
    }

    // The string whose opening quote is at `at`, decoded; false when it is cut
    // short or holds an escape the browser refuses. Bytes between escapes are
    // taken as they stand, raw control characters and invalid UTF-8 included.
    bool ReadString(std::string* value) {
        value->clear();
        ++at;
        while (true) {
            const char* data = text.data();
            std::size_t quote = text.find('"', at);
            if (quote == std::string::npos)
                return false;
            const void* slash = std::memchr(data + at, '\\', quote - at);
            std::size_t runEnd = slash ? static_cast<std::size_t>(static_cast<const char*>(slash) - data) : quote;
            value->append(data + at, runEnd - at);
            at = runEnd;
            if (at == quote) {
                ++at;
                return true;
            }
            if (at + 1 >= text.size())
                return false;
            char e = text[at + 1];
            at += 2;
            switch (e) {
                case '"':
                case '\\':
                case '/':
                    *value += e;
                    break;
                case 'b':
                    *value += '\b';
                    break;
                case 'f':
                    *value += '\f';
                    break;
                case 'n':
                    *value += '\n';
                    break;
                case 'r':
                    *value += '\r';
                    break;
                case 't':
                    *value += '\t';
                    break;
                case 'x': {  // Chromium's own: two digits naming a code point up to U+00FF
                    int unit = Hex(at, 2);
                    if (unit < 0)
                        return false;
                    AppendUtf8(static_cast<uint32_t>(unit), value);
                    at += 2;
                    break;
                }
                case 'u': {
                    int unit = Hex(at, 4);
                    if (unit < 0)
                        return false;
                    at += 4;
                    int low = -1;
                    if (unit >= 0xD800 && unit < 0xDC00 && text.compare(at, 2, "\\u") == 0)
                        low = Hex(at + 2, 4);
                    bool pair = false;
                    AppendUtf8(
                        Utf16Character(static_cast<uint32_t>(unit), low < 0 ? 0 : static_cast<uint32_t>(low), &pair),
                        value);
                    if (pair)
                        at += 6;
                    break;
                }
                default:
                    return false;
            }
        }
    }

    // true, false, null or a number as JSON writes it; false for anything else.
    bool ReadLiteral() {
        for (const char* word : {"true", "false", "null"}) {
            std::size_t length = std::strlen(word);
            if (text.compare(at, length, word) == 0) {
                at += length;
                return true;
            }
        }
        std::size_t start = at;
        if (!AtEnd() && text[at] == '-')
            ++at;
        if (AtEnd() || !IsDigit(text[at]))
            return false;
        if (text[at] == '0')
            ++at;
        else
            while (!AtEnd() && IsDigit(text[at]))
                ++at;
        if (!AtEnd() && text[at] == '.') {
            ++at;
            if (AtEnd() || !IsDigit(text[at]))
                return false;
            while (!AtEnd() && IsDigit(text[at]))
                ++at;
        }
        if (!AtEnd() && (text[at] == 'e' || text[at] == 'E')) {
            ++at;
            if (!AtEnd() && (text[at] == '+' || text[at] == '-'))
                ++at;
            if (AtEnd() || !IsDigit(text[at]))
                return false;
            while (!AtEnd() && IsDigit(text[at]))
                ++at;
        }
        return at > start;
    }

    // The names of the open objects' members from the root down; an array counts as "[]".
    bool PathIs(std::initializer_list<const char*> names) const {
        if (open.size() != names.size())
            return false;
        std::size_t depth = 0;
        for (const char* name : names) {
            const Frame& frame = open[depth++];
            if (!frame.object || frame.key != name)
                return false;
        }
        return true;
    }

    // A member's name was read. A repeated name replaces what its earlier value set.
    void KeyRead() {
        if (PathIs({"chrome_settings_overrides"}))
            overrides &= ~(OVERRIDES_HOME_PAGE | OVERRIDES_STARTUP_PAGES | OVERRIDES_SEARCH_ENGINE);
        else if (PathIs({"chrome_url_overrides"}))
            overrides &= ~OVERRIDES_NEW_TAB;
        else if (PathIs({"chrome_settings_overrides", "homepage"}))
            overrides |= OVERRIDES_HOME_PAGE;
        else if (PathIs({"chrome_settings_overrides", "startup_pages"}))
            overrides |= OVERRIDES_STARTUP_PAGES;
        else if (PathIs({"chrome_settings_overrides", "search_provider"}) ||
                 PathIs({"chrome_settings_overrides", "search_provider", "is_default"}))
            overrides &= ~OVERRIDES_SEARCH_ENGINE;
        else if (PathIs({"chrome_url_overrides", "newtab"}))
            overrides |= OVERRIDES_NEW_TAB;
    }

    // A value was read to its end; open is what holds it.
    void ValueRead(ValueKind kind, const std::string& value, bool isTrue) {
        // A search provider replaces the default engine only with is_default set.
        if (isTrue && PathIs({"chrome_settings_overrides", "search_provider", "is_default"}))
            overrides |= OVERRIDES_SEARCH_ENGINE;
        if (open.size() != 1 || !open[0].object)
            return;
        const std::string& key = open[0].key;
        // A member whose last value is no string holds no text.
        const std::string& string = kind == ValueKind::String ? value : std::string();
        if (key == "name")
            fields->name = string;
        else if (key == "default_locale")
            fields->defaultLocale = string;
        else if (key == "version")
            fields->version = string;
        else if (key == "update_url")
            fields->updateUrl = true;  // of any value: a store's extension carries one
        else if (key == "theme")
            fields->theme = kind == ValueKind::Object;
    }

    // Reads up to the end of the root object; false at the first damage.
    bool Read() {
        std::string value;
        while (true) {
            if (!SkipBlanks() || AtEnd())
                return false;
            Frame& frame = open.back();
            char c = text[at];
            bool closes = c == (frame.object ? '}' : ']');
            if (!frame.empty && !frame.afterComma) {
                // After a value: a comma or the end of this object or array.
                if (c == ',') {
                    frame.afterComma = true;
                    ++at;
                    continue;
                }
                if (!closes)
                    return false;
            }
            if (closes) {
                if (frame.afterComma)  // a trailing comma, which the browser refuses
                    return false;
                ++at;
                bool object = frame.object;
                open.pop_back();
                if (open.empty())
                    return true;
                ValueRead(object ? ValueKind::Object : ValueKind::Other, std::string(), false);
                open.back().empty = false;
                open.back().afterComma = false;
                continue;
            }
            if (frame.object) {
                if (c != '"' || !ReadString(&frame.key) || !SkipBlanks() || AtEnd() || text[at] != ':')
                    return false;
                ++at;
                KeyRead();
                if (!SkipBlanks() || AtEnd())
                    return false;
                c = text[at];
            }
            frame.empty = false;
            frame.afterComma = false;
            if (c == '{' || c == '[') {
                if (open.size() >= MAX_JSON_DEPTH)
                    return false;
                ++at;
                Frame inner;
                inner.object = c == '{';
                open.push_back(inner);
            } else if (c == '"') {
                if (!ReadString(&value))
                    return false;
                ValueRead(ValueKind::String, value, false);
            } else {
                bool isTrue = text.compare(at, 4, "true") == 0;
                if (!ReadLiteral())
                    return false;
                ValueRead(ValueKind::Other, std::string(), isTrue);
            }
        }
    }
};

}  // namespace

ManifestFields ReadManifest(const std::string& bytes) {
    ManifestFields fields;
    ManifestReader reader{bytes, &fields};
    if (bytes.compare(0, 3, "\xEF\xBB\xBF") == 0)
        reader.at = 3;
    if (!reader.SkipBlanks() || reader.AtEnd() || bytes[reader.at] != '{')
        return fields;
    fields.opened = true;
    ++reader.at;
    reader.open.emplace_back();
    // Anything but blanks after the root object makes the whole text no manifest.
    fields.complete = reader.Read() && reader.SkipBlanks() && reader.AtEnd();
    if (fields.complete)
        fields.overrides = reader.overrides;
    return fields;
}
