// Reads the statements of Firefox's prefs.js and user.js as Firefox does:
// pref("name", value);, user_pref(...); and sticky_pref(...);, each ending at its
// ";", several on a line or one over several lines. Comments (//, #, /* */) may
// stand anywhere and a line ends at CR, LF or CR LF; strings take either quote
// and the escapes \n \r \t \xHH \uHHHH.
#include "browsers/browsers.h"

namespace {

const char* const STATEMENT_KEYWORDS[] = {"user_pref", "sticky_pref", "pref"};

bool IsNameCharacter(char c) {
    return IsAsciiLetter(c) || (c >= '0' && c <= '9') || c == '_';
}

class PrefsReader {
public:
    explicit PrefsReader(const std::string& text) : text_(text) {}

    std::vector<FirefoxPref> ReadAll() {
        std::vector<FirefoxPref> prefs;
        while (SkipBlanks(), at_ < text_.size()) {
            std::size_t start = at_;
            FirefoxPref pref;
            if (ReadStatement(&pref)) {
                pref.start = start;
                pref.end = at_;
                prefs.push_back(std::move(pref));
            } else
                SkipStatement(start);
        }
        return prefs;
    }

private:
    const std::string& text_;
    std::size_t at_ = 0;

    bool Ahead(const char* word) const { return text_.compare(at_, std::char_traits<char>::length(word), word) == 0; }

    // White space and comments.
    void SkipBlanks() {
        while (at_ < text_.size()) {
            char c = text_[at_];
            if (c == ' ' || c == '\t' || c == '\r' || c == '\n') {
                ++at_;
            } else if (c == '#' || Ahead("//")) {
                std::size_t end = text_.find_first_of("\r\n", at_);
                at_ = end == std::string::npos ? text_.size() : end + 1;
            } else if (Ahead("/*")) {
                std::size_t end = text_.find("*/", at_ + 2);
                at_ = end == std::string::npos ? text_.size() : end + 2;
            } else {
                return;
            }
        }
    }

    // The length of the statement keyword at i, one that is no part of a longer
    // name; 0 when there is none.
    std::size_t KeywordAt(std::size_t i) const {
        if (i > 0 && IsNameCharacter(text_[i - 1]))
            return 0;
        for (const char* keyword : STATEMENT_KEYWORDS) {
            std::size_t length = std::char_traits<char>::length(keyword);
            if (text_.compare(i, length, keyword) == 0 &&
                (i + length >= text_.size() || !IsNameCharacter(text_[i + length])))
                return length;
        }
        return 0;
    }

    // A statement that cannot be read is dropped up to its ";", or up to the
    // next statement when that comes first: never more.
    void SkipStatement(std::size_t start) {
        for (std::size_t i = start + 1; i < text_.size(); ++i) {
            if (text_[i] == ';') {
                at_ = i + 1;
                return;
            }
            if (KeywordAt(i)) {
                at_ = i;
                return;
            }
        }
        at_ = text_.size();
    }

    bool Expect(char c) {
        SkipBlanks();
        if (at_ >= text_.size() || text_[at_] != c)
            return false;
        ++at_;
        return true;
    }

    bool ReadHex(std::size_t digits, unsigned* value) {
        *value = 0;
        for (std::size_t i = 0; i < digits; ++i, ++at_) {
            int digit = at_ < text_.size() ? HexDigitValue(text_[at_]) : -1;
            if (digit < 0)
                return false;
            *value = *value * 16 + static_cast<unsigned>(digit);
        }
        return true;
    }

    // \uD83D\uDE00 is one character; a lone surrogate becomes U+FFFD.
    bool ReadUnicodeEscape(std::string* out) {
        unsigned code = 0;
        if (!ReadHex(4, &code))
            return false;
        std::size_t back = at_;
        unsigned next = 0;
        if (Ahead("\\u")) {
            at_ += 2;
            if (!ReadHex(4, &next))
                next = 0;
        }
        bool pair = false;
        AppendUtf8(Utf16Character(code, next, &pair), out);
        if (!pair)
            at_ = back;
        return true;
    }

    bool ReadString(std::string* out) {
        SkipBlanks();
        if (at_ >= text_.size() || (text_[at_] != '"' && text_[at_] != '\''))
            return false;
        char quote = text_[at_++];
        while (at_ < text_.size()) {
            char c = text_[at_++];
            if (c == quote)
                return true;
            if (c != '\\') {
                *out += c;
                continue;
            }
            if (at_ >= text_.size())
                return false;
            char e = text_[at_++];
            unsigned code = 0;
            if (e == 'n')
                *out += '\n';
            else if (e == 'r')
                *out += '\r';
            else if (e == 't')
                *out += '\t';
            else if (e == 'x') {
                if (!ReadHex(2, &code))
                    return false;
                AppendUtf8(code, out);
            } else if (e == 'u') {
                if (!ReadUnicodeEscape(out))
                    return false;
            } else
                *out += e;  // \" \' \\ and the rest stand for themselves
        }
        return false;
    }

    // true, false or a whole number with an optional sign.
    bool ReadLiteral(std::string* out) {
        SkipBlanks();
        std::size_t start = at_;
        if (Ahead("true") || Ahead("false")) {
            at_ += text_[at_] == 't' ? 4 : 5;
        } else {
            if (at_ < text_.size() && (text_[at_] == '-' || text_[at_] == '+'))
                ++at_;
            std::size_t digits = at_;
            while (at_ < text_.size() && text_[at_] >= '0' && text_[at_] <= '9')
                ++at_;
            if (at_ == digits)
                return false;
        }
        out->assign(text_, start, at_ - start);
        return true;
    }

    bool ReadStatement(FirefoxPref* pref) {
        std::size_t keyword = KeywordAt(at_);
        if (!keyword)
            return false;
        at_ += keyword;
        if (!Expect('(') || !ReadString(&pref->name) || !Expect(','))
            return false;
        SkipBlanks();
        pref->isString = at_ < text_.size() && (text_[at_] == '"' || text_[at_] == '\'');
        bool read = pref->isString ? ReadString(&pref->value) : ReadLiteral(&pref->value);
        return read && Expect(')') && Expect(';');
    }
};

}  // namespace

std::vector<FirefoxPref> ParseFirefoxPrefs(const std::string& text) {
    return PrefsReader(text).ReadAll();
}
