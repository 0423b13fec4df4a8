// JSON documents for scripts and fleet tools, written with RapidJSON's Writer:
// UTF-8 without a byte-order mark, every text as it is (the writer escapes
// quotes, backslashes and control characters, as JSON requires).
#pragma once

#include <string>

#include "engine/engine.h"
#include "rapidjson/stringbuffer.h"
#include "rapidjson/writer.h"

using JsonWriter = rapidjson::Writer<rapidjson::StringBuffer>;

inline void WriteJsonText(JsonWriter& writer, const std::wstring& text) {
    std::string utf8 = WideToUtf8(text);
    writer.String(utf8.data(), static_cast<rapidjson::SizeType>(utf8.size()), true);
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
    rapidjson::StringBuffer buffer;
    JsonWriter writer(buffer);
    writer.StartObject();
    WriteJsonField(writer, "schema", schema);
    fill(writer);
    writer.EndObject();
    return std::string(buffer.GetString(), buffer.GetSize());
}
