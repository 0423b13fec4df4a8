// Settings files are parsed by RapidJSON's iterative parser, which keeps its own
// stack on the heap, and every object or array deeper than MAX_JSON_DEPTH is
// refused while parsing: no file, however nested, can overflow the thread's stack.
#include <cstring>

#include "browsers/json_document.h"
#include "rapidjson/reader.h"
#include "rapidjson/stringbuffer.h"
#include "rapidjson/writer.h"

namespace {

const char UTF8_BYTE_ORDER_MARK[] = "\xEF\xBB\xBF";

// Passes the parser's events on to the document, counting the nesting.
struct DepthLimitedBuilder {
    JsonDocument& document;
    unsigned depth = 0;
    bool tooDeep = false;

    bool Enter() {
        if (++depth <= MAX_JSON_DEPTH)
            return true;
        tooDeep = true;
        return false;
    }

    bool Null() { return document.Null(); }
    bool Bool(bool b) { return document.Bool(b); }
    bool Int(int i) { return document.Int(i); }
    bool Uint(unsigned u) { return document.Uint(u); }
    bool Int64(int64_t i) { return document.Int64(i); }
    bool Uint64(uint64_t u) { return document.Uint64(u); }
    bool Double(double d) { return document.Double(d); }
    bool RawNumber(const char* text, rapidjson::SizeType length, bool copy) {
        return document.RawNumber(text, length, copy);
    }
    bool String(const char* text, rapidjson::SizeType length, bool copy) { return document.String(text, length, copy); }
    bool Key(const char* text, rapidjson::SizeType length, bool copy) { return document.Key(text, length, copy); }
    bool StartObject() { return Enter() && document.StartObject(); }
    bool EndObject(rapidjson::SizeType members) {
        --depth;
        return document.EndObject(members);
    }
    bool StartArray() { return Enter() && document.StartArray(); }
    bool EndArray(rapidjson::SizeType elements) {
        --depth;
        return document.EndArray(elements);
    }
};

template <unsigned Flags>
JsonLoad ParseWithFlags(const std::string& bytes, JsonDocument* document) {
    document->SetNull();
    std::size_t start = bytes.compare(0, 3, UTF8_BYTE_ORDER_MARK) == 0 ? 3 : 0;
    // The parser reads up to a NUL byte; one inside the text would hide the rest,
    // and the browsers refuse such a file.
    if (std::memchr(bytes.data() + start, '\0', bytes.size() - start))
        return JsonLoad::NotJson;

    bool tooDeep = false;
    bool parsed = false;
    auto generate = [&](JsonDocument& target) {
        DepthLimitedBuilder builder{target};
        rapidjson::StringStream stream(bytes.c_str() + start);
        rapidjson::Reader reader;
        parsed = !reader.Parse<rapidjson::kParseIterativeFlag | Flags>(stream, builder).IsError();
        tooDeep = builder.tooDeep;
        return parsed;
    };
    document->Populate(generate);
    if (tooDeep)
        return JsonLoad::TooDeep;
    if (!parsed)
        return JsonLoad::NotJson;
    return document->IsObject() ? JsonLoad::Done : JsonLoad::NotAnObject;
}

}  // namespace

JsonLoad ParseJsonObject(const std::string& bytes, JsonDocument* document) {
    return ParseWithFlags<rapidjson::kParseDefaultFlags>(bytes, document);
}

JsonLoad ParseJsonObjectExactly(const std::string& bytes, JsonDocument* document) {
    // Without full precision RapidJSON may round a long number to a neighbouring double.
    return ParseWithFlags<rapidjson::kParseFullPrecisionFlag | rapidjson::kParseValidateEncodingFlag>(bytes, document);
}

JsonLoad JsonLoadOf(FileRead read) {
    switch (read) {
        case FileRead::Done:
            return JsonLoad::Done;
        case FileRead::Missing:
            return JsonLoad::Missing;
        case FileRead::TooLarge:
            return JsonLoad::TooLarge;
        case FileRead::Unreadable:
            break;
    }
    return JsonLoad::Unreadable;
}

FileRead ReadBrowserFile(const std::wstring& path, BrowserFile file, std::string* bytes) {
    return ReadFileBytes(path, MaxBytes(file), bytes);
}

JsonLoad LoadJsonObjectFile(const std::wstring& path, std::size_t maxBytes, JsonDocument* document) {
    document->SetNull();
    std::string bytes;
    FileRead read = ReadFileBytes(path, maxBytes, &bytes);
    return read == FileRead::Done ? ParseJsonObject(bytes, document) : JsonLoadOf(read);
}

const JsonValue* FindJsonMember(const JsonValue& object, std::string_view name) {
    if (!object.IsObject())
        return nullptr;
    const JsonValue* found = nullptr;
    for (auto member = object.MemberBegin(); member != object.MemberEnd(); ++member) {
        if (std::string_view(member->name.GetString(), member->name.GetStringLength()) == name)
            found = &member->value;
    }
    return found;
}

const JsonValue* FindJsonPath(const JsonValue& root, std::initializer_list<std::string_view> path) {
    const JsonValue* value = &root;
    for (std::string_view name : path) {
        value = FindJsonMember(*value, name);
        if (!value)
            return nullptr;
    }
    return value;
}

std::wstring JsonText(const JsonValue* value) {
    if (!value || !value->IsString())
        return std::wstring();
    return Utf8ToWide(std::string(value->GetString(), value->GetStringLength()));
}

std::string JsonUtf8(const JsonValue* value) {
    if (!value || !value->IsString())
        return std::string();
    return std::string(value->GetString(), value->GetStringLength());
}

bool IsJsonTrue(const JsonValue* value) {
    return value && value->IsBool() && value->GetBool();
}

bool SerializeJson(const JsonValue& value, std::string* bytes) {
    rapidjson::StringBuffer buffer;
    rapidjson::Writer<rapidjson::StringBuffer, rapidjson::UTF8<>, rapidjson::UTF8<>, rapidjson::CrtAllocator,
                      rapidjson::kWriteValidateEncodingFlag>
        writer(buffer);
    if (!value.Accept(writer))
        return false;
    bytes->assign(buffer.GetString(), buffer.GetSize());
    return true;
}

// RapidJSON's own operator== finds members by name and would take a repeated
// name for its first copy.
bool SameJson(const JsonValue& a, const JsonValue& b) {
    if (a.GetType() != b.GetType())
        return false;
    if (a.IsObject()) {
        if (a.MemberCount() != b.MemberCount())
            return false;
        for (auto x = a.MemberBegin(), y = b.MemberBegin(); x != a.MemberEnd(); ++x, ++y) {
            if (!SameJson(x->name, y->name) || !SameJson(x->value, y->value))
                return false;
        }
        return true;
    }
    if (a.IsArray()) {
        if (a.Size() != b.Size())
            return false;
        for (rapidjson::SizeType i = 0; i < a.Size(); ++i) {
            if (!SameJson(a[i], b[i]))
                return false;
        }
        return true;
    }
    if (a.IsString())
        return a.GetStringLength() == b.GetStringLength() &&
               std::memcmp(a.GetString(), b.GetString(), a.GetStringLength()) == 0;
    if (a.IsNumber())
        return a.IsDouble() == b.IsDouble() && a == b;
    return true;  // null, true and false: the type says it all
}
