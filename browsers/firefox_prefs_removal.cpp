// Taking statements out of Firefox's prefs.js or user.js, and putting them back,
// with every other byte as it was. Firefox applies user.js at every start and
// writes prefs.js anew when it closes (so prefs.js is changed only with Firefox
// closed); either file may be written by hand, with CR LF or LF line ends,
// comments, and a statement split over lines.
#include <algorithm>

#include "browsers/browsers.h"

namespace {

bool IsLineEnd(char c) {
    return c == '\r' || c == '\n';
}

bool IsBlank(const std::string& text, std::size_t from, std::size_t to) {
    for (std::size_t i = from; i < to; ++i) {
        if (text[i] != ' ' && text[i] != '\t')
            return false;
    }
    return true;
}

std::size_t LineStart(const std::string& text, std::size_t at) {
    while (at > 0 && !IsLineEnd(text[at - 1]))
        --at;
    return at;
}

// Just after the line end of the line holding at (CR LF, CR or LF), or the text's end.
std::size_t NextLineStart(const std::string& text, std::size_t at) {
    while (at < text.size() && !IsLineEnd(text[at]))
        ++at;
    if (at < text.size() && text[at] == '\r')
        ++at;
    if (at < text.size() && text[at] == '\n')
        ++at;
    return at;
}

// Where the text before a place begins: the start of the line before it when
// the place starts a line, else the start of its own line; at most MAX_PREF_CONTEXT back.
std::size_t ContextStart(const std::string& text, std::size_t at) {
    std::size_t from = LineStart(text, at);
    if (from == at && at > 0) {
        std::size_t end = at;
        if (text[end - 1] == '\n')
            --end;
        if (end > 0 && text[end - 1] == '\r')
            --end;
        from = LineStart(text, end);
    }
    return std::max(from, at > MAX_PREF_CONTEXT ? at - MAX_PREF_CONTEXT : std::size_t{0});
}

}  // namespace

PrefStatementRemoval RemovePrefStatements(const std::string& text, const std::vector<std::string>& names) {
    PrefStatementRemoval result;
    struct Span {
        std::size_t from, to;
        std::string name;
    };
    std::vector<Span> spans;
    for (const FirefoxPref& pref : ParseFirefoxPrefs(text)) {
        if (std::find(names.begin(), names.end(), pref.name) == names.end())
            continue;
        Span span{pref.start, pref.end, pref.name};
        std::size_t lineStart = LineStart(text, pref.start);
        std::size_t lineEnd = pref.end;
        while (lineEnd < text.size() && !IsLineEnd(text[lineEnd]))
            ++lineEnd;
        // Alone on its line: the line goes, its line end with it. Two statements
        // on one line each keep the other's bytes.
        if (IsBlank(text, lineStart, pref.start) && IsBlank(text, pref.end, lineEnd) &&
            (spans.empty() || spans.back().to <= lineStart)) {
            span.from = lineStart;
            span.to = NextLineStart(text, pref.end);
        }
        if (!spans.empty() && span.from < spans.back().to)
            span.from = spans.back().to;
        spans.push_back(span);
    }
    if (spans.empty())
        return result;
    std::size_t copied = 0;
    for (const Span& span : spans) {
        result.bytes.append(text, copied, span.from - copied);
        copied = span.to;
        RemovedPrefStatement removed;
        removed.name = span.name;
        removed.statement = text.substr(span.from, span.to - span.from);
        removed.offset = result.bytes.size();
        result.removed.push_back(std::move(removed));
    }
    result.bytes.append(text, copied, std::string::npos);
    // The context is taken from the text without them all, as the undo will find it.
    for (RemovedPrefStatement& removed : result.removed) {
        std::size_t at = removed.offset;
        std::size_t from = ContextStart(result.bytes, at);
        std::size_t to = std::min(NextLineStart(result.bytes, at), at + MAX_PREF_CONTEXT);
        removed.before = result.bytes.substr(from, at - from);
        removed.after = result.bytes.substr(at, to - at);
    }
    return result;
}

PrefStatementPutBack PutBackPrefStatements(const std::string& text,
                                           const std::vector<RemovedPrefStatement>& statements) {
    PrefStatementPutBack result;
    struct Insert {
        std::size_t at;
        std::size_t order;
    };
    std::vector<Insert> inserts;
    std::vector<std::size_t> appended;
    for (std::size_t i = 0; i < statements.size(); ++i) {
        const RemovedPrefStatement& statement = statements[i];
        // Every place the text around it stands; the one nearest its old offset.
        bool found = false;
        std::size_t best = 0;
        std::string around = statement.before + statement.after;
        for (std::size_t hit = text.find(around); hit != std::string::npos; hit = text.find(around, hit + 1)) {
            std::size_t at = hit + statement.before.size();
            // At the start or the end of the file only when it was there.
            if ((statement.before.empty() && at != 0) || (statement.after.empty() && at != text.size()))
                continue;
            auto distance = [&](std::size_t place) {
                return place > statement.offset ? place - statement.offset : statement.offset - place;
            };
            if (!found || distance(at) < distance(best))
                best = at;
            found = true;
            if (around.empty())
                break;
        }
        result.inPlace.push_back(found);
        if (found)
            inserts.push_back({best, i});
        else
            appended.push_back(i);
    }
    std::stable_sort(inserts.begin(), inserts.end(), [](const Insert& a, const Insert& b) { return a.at < b.at; });
    std::size_t copied = 0;
    for (const Insert& insert : inserts) {
        result.bytes.append(text, copied, insert.at - copied);
        copied = insert.at;
        result.bytes += statements[insert.order].statement;
    }
    result.bytes.append(text, copied, std::string::npos);
    // The file's own line end; in a file of one line, the statement's.
    const char* lineEnd = "\n";
    if (text.find("\r\n") != std::string::npos)
        lineEnd = "\r\n";
    else if (text.find('\n') == std::string::npos && !appended.empty()) {
        const std::string& statement = statements[appended.front()].statement;
        if (statement.size() >= 2 && statement.compare(statement.size() - 2, 2, "\r\n") == 0)
            lineEnd = "\r\n";
    }
    for (std::size_t index : appended) {
        if (!result.bytes.empty() && !IsLineEnd(result.bytes.back()))
            result.bytes += lineEnd;
        result.bytes += statements[index].statement;
    }
    if (!appended.empty() && !IsLineEnd(result.bytes.back()))
        result.bytes += lineEnd;
    return result;
}
