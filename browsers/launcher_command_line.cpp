// Command lines as Windows splits them.
#include "browsers/launchers.h"

#include <windows.h>

#include <algorithm>

namespace {

bool IsBlank(wchar_t c) {
    return c == L' ' || c == L'\t';
}

}  // namespace

CommandLine SplitCommandLine(std::wstring_view line) {
    std::size_t at = 0;
    while (at < line.size() && IsBlank(line[at]))
        ++at;
    CommandLine split;
    std::size_t rest = line.size();
    if (at < line.size() && line[at] == L'"') {
        std::size_t close = line.find(L'"', at + 1);
        split.program = std::wstring(line.substr(at + 1, close == std::wstring_view::npos ? close : close - at - 1));
        rest = close == std::wstring_view::npos ? line.size() : close + 1;
    } else {
        std::size_t end = std::min(line.find_first_of(L" \t", at), line.size());
        split.program = std::wstring(line.substr(at, end - at));
        rest = end;
    }
    while (rest < line.size() && IsBlank(line[rest]))
        ++rest;
    split.arguments = std::wstring(line.substr(rest));
    return split;
}

namespace {

// More blanks than this in the program's part of a line are nobody's path.
constexpr int MAX_PROGRAM_BLANKS = 64;

// True when path (".exe" added to a name without an ending, as CreateProcessW
// adds it) is an existing file, not a folder.
bool NamesProgramFile(const std::wstring& path) {
    std::size_t name = path.find_last_of(L"\\/");
    bool hasEnding = path.find(L'.', name == std::wstring::npos ? 0 : name) != std::wstring::npos;
    DWORD attributes = GetFileAttributesW(LongPathForm(hasEnding ? path : path + L".exe").c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

CommandLine SplitAt(std::wstring_view line, std::size_t end) {
    CommandLine split;
    split.program = std::wstring(line.substr(0, end));
    while (end < line.size() && IsBlank(line[end]))
        ++end;
    split.arguments = std::wstring(line.substr(end));
    return split;
}

}  // namespace

CommandLine SplitLaunchedCommandLine(std::wstring_view line) {
    while (!line.empty() && IsBlank(line.front()))
        line.remove_prefix(1);
    if (line.empty() || line.front() == L'"')
        return SplitCommandLine(line);
    // CreateProcessW tries "C:\Program.exe", then "C:\Program Files\Vendor.exe", ...
    std::vector<std::size_t> ends;
    for (std::size_t at = 0; at <= line.size() && ends.size() <= MAX_PROGRAM_BLANKS; ++at) {
        if (at == line.size() || IsBlank(line[at])) {
            if (at > 0 && !IsBlank(line[at - 1]))
                ends.push_back(at);
        }
    }
    if (ends.size() == 1)
        return SplitCommandLine(line);
    for (std::size_t end : ends) {
        if (NamesProgramFile(std::wstring(line.substr(0, end))))
            return SplitAt(line, end);
    }
    for (std::size_t end : ends) {
        if (BrowserOfProgram(line.substr(0, end)))
            return SplitAt(line, end);
    }
    return SplitCommandLine(line);
}

std::vector<CommandArgument> SplitArguments(std::wstring_view arguments) {
    std::vector<CommandArgument> split;
    std::size_t at = 0;
    const std::size_t size = arguments.size();
    for (;;) {
        while (at < size && IsBlank(arguments[at]))
            ++at;
        if (at >= size)
            return split;
        CommandArgument argument;
        argument.begin = at;
        bool quoted = false;
        while (at < size && (quoted || !IsBlank(arguments[at]))) {
            wchar_t c = arguments[at];
            if (c == L'\\') {
                std::size_t count = 0;
                while (at < size && arguments[at] == L'\\') {
                    ++count;
                    ++at;
                }
                bool beforeQuote = at < size && arguments[at] == L'"';
                argument.text.append(beforeQuote ? count / 2 : count, L'\\');
                if (beforeQuote && count % 2 == 1) {
                    argument.text.push_back(L'"');
                    ++at;
                }
            } else if (c == L'"') {
                if (quoted && at + 1 < size && arguments[at + 1] == L'"') {
                    argument.text.push_back(L'"');
                    at += 2;
                } else {
                    quoted = !quoted;
                    ++at;
                }
            } else {
                argument.text.push_back(c);
                ++at;
            }
        }
        argument.end = at;
        argument.unclosedQuote = quoted;
        split.push_back(std::move(argument));
    }
}

std::wstring JoinCommand(const std::wstring& program, const std::wstring& arguments) {
    bool quote = program.find_first_of(L" \t") != std::wstring::npos;
    std::wstring line = quote ? L"\"" + program + L"\"" : program;
    if (!arguments.empty())
        line += L" " + arguments;
    return line;
}
