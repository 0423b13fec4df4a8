// Command lines as Windows splits them, and taking web addresses out of one
// while keeping everything else as stored.
#include "browsers/launchers.h"

#include <algorithm>

namespace {

bool IsBlank(wchar_t c) {
    return c == L' ' || c == L'\t';
}

// "-url", "--url" or "/url": Firefox's switch that takes the address after it.
bool IsUrlSwitch(std::wstring_view argument) {
    return EqualsIgnoringAsciiCase(argument, L"-url") || EqualsIgnoringAsciiCase(argument, L"--url") ||
           EqualsIgnoringAsciiCase(argument, L"/url");
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

std::wstring ArgumentsWithoutWebAddresses(const std::wstring& arguments, std::vector<std::wstring>* removed) {
    std::vector<CommandArgument> split = SplitArguments(arguments);
    std::vector<bool> drop(split.size(), false);
    for (std::size_t i = 0; i < split.size(); ++i) {
        const std::wstring& text = split[i].text;
        drop[i] = IsWebAddress(text) || IsLoadExtensionArgument(text);
        if (!drop[i])
            continue;
        removed->push_back(text);
        if (i > 0 && !drop[i - 1] && IsUrlSwitch(split[i - 1].text) && IsWebAddress(text))
            drop[i - 1] = true;
    }
    // Each argument kept brings the blanks that stood before it, except the first one kept.
    std::wstring kept;
    std::size_t previousEnd = 0;
    bool any = false;
    for (std::size_t i = 0; i < split.size(); ++i) {
        if (!drop[i]) {
            if (any)
                kept.append(arguments, previousEnd, split[i].begin - previousEnd);
            kept.append(arguments, split[i].begin, split[i].end - split[i].begin);
            any = true;
        }
        previousEnd = split[i].end;
    }
    if (!split.empty() && !drop.back())
        kept.append(arguments, split.back().end, std::wstring::npos);
    return kept;
}
