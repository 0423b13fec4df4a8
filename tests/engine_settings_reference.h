// A slow, literal JSON reader and site-permission finder written straight from
// the rules (RFC 8259 without extensions, a NUL byte refused, at most
// MAX_JSON_DEPTH levels, the last of repeated names), to check the engine's
// settings reading against. Recursive: only for the small texts of the tests.
#pragma once

#include <string>
#include <unordered_set>
#include <utility>
#include <vector>

#include "engine/engine.h"

namespace reference {

struct Value {
    enum Kind { Null, Bool, Number, String, Array, Object } kind = Null;
    std::string text;  // a number's token, a string's bytes
    std::vector<std::pair<std::string, Value>> members;
    std::vector<Value> elements;
};

class Reader {
public:
    explicit Reader(const std::string& text) : text_(text) {}

    JsonLoad Read(Value* root) {
        if (text_.compare(0, 3, "\xEF\xBB\xBF") == 0)
            at_ = 3;
        if (text_.find('\0') != std::string::npos)
            return JsonLoad::NotJson;
        if (!ReadValue(root, 0))
            return tooDeep_ ? JsonLoad::TooDeep : JsonLoad::NotJson;
        SkipSpace();
        if (at_ != text_.size())
            return JsonLoad::NotJson;
        return root->kind == Value::Object ? JsonLoad::Done : JsonLoad::NotAnObject;
    }

private:
    const std::string& text_;
    std::size_t at_ = 0;
    bool tooDeep_ = false;

    char Peek() const { return at_ < text_.size() ? text_[at_] : '\0'; }
    void SkipSpace() {
        while (Peek() == ' ' || Peek() == '\t' || Peek() == '\n' || Peek() == '\r')
            ++at_;
    }
    bool Take(char c) {
        SkipSpace();
        if (Peek() != c)
            return false;
        ++at_;
        return true;
    }
    bool Word(const char* word) {
        std::string w(word);
        if (text_.compare(at_, w.size(), w) != 0)
            return false;
        at_ += w.size();
        return true;
    }
    static bool IsDigit(char c) { return c >= '0' && c <= '9'; }

    bool ReadHex4(unsigned* code) {
        *code = 0;
        for (int i = 0; i < 4; ++i, ++at_) {
            char c = Peek();
            int digit = IsDigit(c)               ? c - '0'
                        : (c >= 'a' && c <= 'f') ? c - 'a' + 10
                        : (c >= 'A' && c <= 'F') ? c - 'A' + 10
                                                 : -1;
            if (digit < 0)
                return false;
            *code = *code * 16 + static_cast<unsigned>(digit);
        }
        return true;
    }

    static void PutUtf8(unsigned code, std::string* out) {
        if (code < 0x80) {
            *out += static_cast<char>(code);
        } else if (code < 0x800) {
            *out += static_cast<char>(0xC0 | (code >> 6));
            *out += static_cast<char>(0x80 | (code & 0x3F));
        } else if (code < 0x10000) {
            *out += static_cast<char>(0xE0 | (code >> 12));
            *out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
            *out += static_cast<char>(0x80 | (code & 0x3F));
        } else {
            *out += static_cast<char>(0xF0 | (code >> 18));
            *out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
            *out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
            *out += static_cast<char>(0x80 | (code & 0x3F));
        }
    }

    bool ReadString(std::string* out) {
        if (!Take('"'))
            return false;
        for (;;) {
            if (at_ >= text_.size())
                return false;
            unsigned char c = static_cast<unsigned char>(text_[at_++]);
            if (c == '"')
                return true;
            if (c < 0x20)
                return false;
            if (c != '\\') {
                *out += static_cast<char>(c);
                continue;
            }
            char e = Peek();
            ++at_;
            const std::string plain = "\"\\/bfnrt";
            const std::string meant = "\"\\/\b\f\n\r\t";
            if (plain.find(e) != std::string::npos && e != '\0') {
                *out += meant[plain.find(e)];
            } else if (e == 'u') {
                unsigned code = 0;
                if (!ReadHex4(&code))
                    return false;
                // A high surrogate must be followed by a low one; a lone low one passes.
                if (code >= 0xD800 && code <= 0xDBFF) {
                    unsigned low = 0;
                    if (!Word("\\u") || !ReadHex4(&low) || low < 0xDC00 || low > 0xDFFF)
                        return false;
                    code = 0x10000 + ((code - 0xD800) << 10) + (low - 0xDC00);
                }
                PutUtf8(code, out);
            } else {
                return false;
            }
        }
    }

    bool ReadNumber(std::string* out) {
        std::size_t start = at_;
        if (Peek() == '-')
            ++at_;
        if (Peek() == '0') {
            ++at_;
        } else if (IsDigit(Peek())) {
            while (IsDigit(Peek()))
                ++at_;
        } else {
            return false;
        }
        if (Peek() == '.') {
            ++at_;
            if (!IsDigit(Peek()))
                return false;
            while (IsDigit(Peek()))
                ++at_;
        }
        if (Peek() == 'e' || Peek() == 'E') {
            ++at_;
            bool negative = Peek() == '-';
            if (Peek() == '+' || Peek() == '-')
                ++at_;
            if (!IsDigit(Peek()))
                return false;
            long exponent = 0;
            while (IsDigit(Peek()))
                exponent = std::min(100000L, exponent * 10 + (text_[at_++] - '0'));
            if (!negative && exponent > 308)
                return false;  // too big for a double
        }
        out->assign(text_, start, at_ - start);
        return true;
    }

    bool ReadValue(Value* value, unsigned depth) {
        SkipSpace();
        char c = Peek();
        if (c == '{' || c == '[') {
            if (depth + 1 > MAX_JSON_DEPTH) {
                tooDeep_ = true;
                return false;
            }
            ++at_;
            value->kind = c == '{' ? Value::Object : Value::Array;
            char close = c == '{' ? '}' : ']';
            if (Take(close))
                return true;
            do {
                if (c == '{') {
                    std::string name;
                    Value member;
                    SkipSpace();
                    if (!ReadString(&name) || !Take(':') || !ReadValue(&member, depth + 1))
                        return false;
                    value->members.emplace_back(std::move(name), std::move(member));
                } else {
                    Value element;
                    if (!ReadValue(&element, depth + 1))
                        return false;
                    value->elements.push_back(std::move(element));
                }
            } while (Take(','));
            return Take(close);
        }
        if (c == '"') {
            value->kind = Value::String;
            return ReadString(&value->text);
        }
        if (c == '-' || IsDigit(c)) {
            value->kind = Value::Number;
            return ReadNumber(&value->text);
        }
        value->kind = c == 'n' ? Value::Null : Value::Bool;
        return Word("null") || Word("true") || Word("false");
    }
};

inline const Value* Member(const Value* object, const std::string& name) {
    const Value* found = nullptr;
    if (object && object->kind == Value::Object) {
        for (const auto& member : object->members) {
            if (member.first == name)
                found = &member.second;
        }
    }
    return found;
}

inline const Value* Path(const Value& root, std::initializer_list<const char*> names) {
    const Value* value = &root;
    for (const char* name : names)
        value = Member(value, name);
    return value;
}

inline bool Allows(const Value* setting) {
    return setting && setting->kind == Value::Number && setting->text == "1";
}

// "permission site" per grant, "permission *" for a default that allows.
inline std::vector<std::string> Grants(const Value& root) {
    std::vector<std::string> grants;
    for (const char* permission : {"notifications", "popups", "automatic_downloads"}) {
        if (Allows(Path(root, {"profile", "default_content_setting_values", permission})))
            grants.push_back(std::string(permission) + " *");
        const Value* exceptions = Path(root, {"profile", "content_settings", "exceptions", permission});
        if (!exceptions || exceptions->kind != Value::Object)
            continue;
        const auto& members = exceptions->members;
        for (std::size_t i = 0; i < members.size(); ++i) {
            bool repeatedLater = false;
            for (std::size_t j = i + 1; j < members.size(); ++j)
                repeatedLater |= members[j].first == members[i].first;
            std::string primary = members[i].first.substr(0, members[i].first.find(','));
            if (!repeatedLater && !primary.empty() && Allows(Member(&members[i].second, "setting")))
                grants.push_back(std::string(permission) + " " + WideToUtf8(Utf8ToWide(primary)));
        }
    }
    return grants;
}

}  // namespace reference
