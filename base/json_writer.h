// JSON documents for scripts and fleet tools: compact UTF-8 without a byte-order
// mark, every text as it is. Quotes, backslashes and control characters are
// escaped as JSON requires ("\b", "\f", "\n", "\r", "\t", the others as "\u00XX"
// with upper-case digits); "/" and everything beyond ASCII are written as they are.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "base/base.h"

// Appends values to text, putting the commas and colons between them.
class JsonWriter {
public:
    void StartObject();
    void EndObject();
    void StartArray();
    void EndArray();
    void Key(std::string_view key);
    void String(std::string_view utf8);
    void Bool(bool value);
    void Null();
    // A value that is already JSON text (checked by whoever made it), written as it is.
    void Raw(std::string_view json);

    const std::string& text() const { return text_; }

private:
    struct Level {
        bool object;
        std::size_t items;  // keys and values written so far
    };
    // The comma or colon the next key or value needs.
    void Separate();

    std::string text_;
    std::vector<Level> levels_;
};

inline void WriteJsonText(JsonWriter& writer, const std::wstring& text) {
    writer.String(WideToUtf8(text));
}

// "key": text
inline void WriteJsonField(JsonWriter& writer, const char* key, const std::wstring& text) {
    writer.Key(key);
    WriteJsonText(writer, text);
}

inline void WriteJsonField(JsonWriter& writer, const char* key, const char* text) {
    writer.Key(key);
    writer.String(text);
}

// "key": text, or "key": null when the value is not known.
inline void WriteJsonFieldOrNull(JsonWriter& writer, const char* key, bool known, const std::wstring& text) {
    writer.Key(key);
    if (known)
        WriteJsonText(writer, text);
    else
        writer.Null();
}

// "key": [...], one object per item, whose members write(item) adds.
template <typename Items, typename Write>
void WriteJsonArray(JsonWriter& writer, const char* key, const Items& items, Write write) {
    writer.Key(key);
    writer.StartArray();
    for (const auto& item : items) {
        writer.StartObject();
        write(item);
        writer.EndObject();
    }
    writer.EndArray();
}

// One document, {"schema": schema, ...}, with the members fill(writer) adds.
template <typename Fill>
std::string WriteJsonDocument(const char* schema, Fill fill) {
    JsonWriter writer;
    writer.StartObject();
    WriteJsonField(writer, "schema", schema);
    fill(writer);
    writer.EndObject();
    return writer.text();
}
