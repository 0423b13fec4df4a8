#include "base/json_writer.h"

namespace {

const char HEX_DIGITS[] = "0123456789ABCDEF";

// The short escape of a byte, or 0 when it has none.
char ShortEscape(unsigned char c) {
    switch (c) {
        case '"':
            return '"';
        case '\\':
            return '\\';
        case '\b':
            return 'b';
        case '\f':
            return 'f';
        case '\n':
            return 'n';
        case '\r':
            return 'r';
        case '\t':
            return 't';
        default:
            return 0;
    }
}

void AppendQuoted(std::string* out, std::string_view utf8) {
    out->reserve(out->size() + utf8.size() + 2);
    *out += '"';
    for (char byte : utf8) {
        unsigned char c = static_cast<unsigned char>(byte);
        if (char escape = ShortEscape(c)) {
            *out += '\\';
            *out += escape;
        } else if (c < 0x20) {
            *out += "\\u00";
            *out += HEX_DIGITS[c >> 4];
            *out += HEX_DIGITS[c & 15];
        } else {
            *out += byte;
        }
    }
    *out += '"';
}

}  // namespace

void JsonWriter::Separate() {
    if (levels_.empty())
        return;
    Level& level = levels_.back();
    // In an object keys and values alternate: a value follows its key's colon.
    if (level.object && level.items % 2 == 1)
        text_ += ':';
    else if (level.items > 0)
        text_ += ',';
    ++level.items;
}

void JsonWriter::StartObject() {
    Separate();
    text_ += '{';
    levels_.push_back({true, 0});
}

void JsonWriter::EndObject() {
    levels_.pop_back();
    text_ += '}';
}

void JsonWriter::StartArray() {
    Separate();
    text_ += '[';
    levels_.push_back({false, 0});
}

void JsonWriter::EndArray() {
    levels_.pop_back();
    text_ += ']';
}

void JsonWriter::Key(std::string_view key) {
    String(key);
}

void JsonWriter::String(std::string_view utf8) {
    Separate();
    AppendQuoted(&text_, utf8);
}

void JsonWriter::Bool(bool value) {
    Separate();
    text_ += value ? "true" : "false";
}

void JsonWriter::Null() {
    Separate();
    text_ += "null";
}

void JsonWriter::Raw(std::string_view json) {
    Separate();
    text_ += json;
}
