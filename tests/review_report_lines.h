// The fixed lines of the review report, for tests that compare whole reports.
#pragma once

#include <regex>
#include <string>
#include <vector>

// The text without the finding ids that end fixable lines (" [a1b2c3d4e5f6]"), for
// tests that compare what the lines say; the ids have tests of their own.
template <typename Char>
std::basic_string<Char> WithoutFindingIds(const std::basic_string<Char>& text) {
    static const std::basic_regex<Char> id(
        std::basic_string<Char>({Char(' '), Char('\\'), Char('['),  Char('['), Char('0'), Char('-'), Char('9'),
                                 Char('a'), Char('-'),  Char('f'),  Char(']'), Char('{'), Char('1'), Char('2'),
                                 Char('}'), Char('\\'), Char(']'),  Char('('), Char('?'), Char('='), Char('\\'),
                                 Char('r'), Char('?'),  Char('\\'), Char('n'), Char('|'), Char('$'), Char(')')}));
    return std::regex_replace(text, id, std::basic_string<Char>());
}

// The report up to and including "What you can do:", with each group's lines
// under its heading and "  Nothing found." for an empty group; the group of
// files that could not be read shows only when it has lines. Groups in report
// order: sites, start-up pages, extensions, policies, unreadable files,
// programs and shortcuts that open a web page, proxy settings.
inline std::vector<std::wstring> ReviewReportLines(const std::vector<std::vector<std::wstring>>& groups) {
    static const wchar_t* const HEADINGS[] = {
        L"Sites allowed to show notifications, open pop-ups or download on their own:",
        L"Start-up pages, home pages and search engines that are not the browser's own:",
        L"Extensions that take over a page or were not installed from a web store:",
        L"Browser policies:",
        L"Files that could not be read:",
        L"Programs and shortcuts that open a browser with a web page:",
        L"Proxy settings that web traffic goes through:",
    };
    std::vector<std::wstring> lines = {L"What can bring pop-ups back (nothing is changed):", L""};
    for (std::size_t g = 0; g < 7; ++g) {
        std::vector<std::wstring> group = g < groups.size() ? groups[g] : std::vector<std::wstring>();
        if (g == 4 && group.empty())
            continue;
        lines.push_back(HEADINGS[g]);
        lines.insert(lines.end(), group.begin(), group.end());
        if (group.empty())
            lines.push_back(L"  Nothing found.");
        lines.push_back(L"");
    }
    lines.push_back(L"What you can do:");
    return lines;
}

// The advice about sites, which every report gives first.
const std::vector<std::wstring> SITES_ADVICE = {
    L"- Sites: \"popswat --reset-permissions\" takes back what sites were allowed to do",
    L"  in Chrome, Edge, Brave, Vivaldi, Opera and Firefox, or remove them in the browser's",
    L"  site settings (chrome://settings/content, edge://settings/content; in Firefox,",
    L"  Settings > Privacy & Security > Permissions).",
};
