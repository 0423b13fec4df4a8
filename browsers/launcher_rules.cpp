// Which arguments are web addresses and which programs open them: the rules
// every launcher finder shares.
#include "browsers/launcher_internal.h"

#include <algorithm>
#include <cwchar>
#include <iterator>

namespace {

const wchar_t* const SCHEMES[] = {L"http:", L"https:", L"ftp:"};
const wchar_t* const EMBEDDED_SCHEMES[] = {L"http://", L"https://", L"ftp://"};

// Endings of file names that would otherwise pass for a host name's last label.
const wchar_t* const FILE_ENDINGS[] = {L"exe", L"dll",  L"bat", L"cmd",  L"vbs",  L"vbe", L"js",  L"jse", L"wsf",
                                       L"hta", L"lnk",  L"url", L"ps1",  L"msi",  L"sys", L"txt", L"log", L"ini",
                                       L"cfg", L"json", L"xml", L"htm",  L"html", L"pdf", L"crx", L"xpi", L"zip",
                                       L"ico", L"png",  L"jpg", L"jpeg", L"gif",  L"bmp", L"dat", L"tmp", L"bin"};

const wchar_t* const LAUNCHERS[] = {L"cmd",        L"explorer", L"rundll32", L"mshta",
                                    L"powershell", L"pwsh",     L"wscript",  L"cscript"};
const wchar_t* const SCRIPT_RUNNERS[] = {L"cmd", L"wscript", L"cscript", L"mshta", L"powershell", L"pwsh"};
const wchar_t* const SCRIPT_ENDINGS[] = {L".bat", L".cmd", L".vbs", L".js", L".hta"};

// A browser's own name as people write it on a shortcut.
struct ShortName {
    const wchar_t* name;
    const wchar_t* displayName;
};
const ShortName SHORT_NAMES[] = {
    {L"Chrome", L"Google Chrome"},
    {L"Edge", L"Microsoft Edge"},
    {L"Firefox", L"Mozilla Firefox"},
};

bool IsHostCharacter(wchar_t c) {
    return IsAsciiLetter(c) || (c >= L'0' && c <= L'9') || c == L'-';
}

// A host name of letters, digits and hyphens in two or more labels, the last all letters.
bool IsHostName(std::wstring_view host) {
    std::size_t lastDot = host.rfind(L'.');
    if (lastDot == std::wstring_view::npos || lastDot == 0)
        return false;
    std::size_t labelStart = 0;
    for (std::size_t at = 0; at <= host.size(); ++at) {
        if (at < host.size() && host[at] != L'.') {
            if (!IsHostCharacter(host[at]))
                return false;
            continue;
        }
        std::wstring_view label = host.substr(labelStart, at - labelStart);
        if (label.empty() || label.front() == L'-' || label.back() == L'-')
            return false;
        labelStart = at + 1;
    }
    std::wstring_view last = host.substr(lastDot + 1);
    if (last.size() < 2)
        return false;
    for (wchar_t c : last) {
        if (!IsAsciiLetter(c))
            return false;
    }
    for (const wchar_t* ending : FILE_ENDINGS) {
        if (EqualsIgnoringAsciiCase(last, ending))
            return false;
    }
    return true;
}

// A switch's name and value without its "--", "-" or "/"; "" for an argument that is no switch.
std::wstring_view SwitchBody(std::wstring_view argument) {
    if (StartsWithIgnoringAsciiCase(argument, L"--"))
        return argument.substr(2);
    if (!argument.empty() && (argument.front() == L'-' || argument.front() == L'/'))
        return argument.substr(1);
    return std::wstring_view();
}

// The file name of a program path, with ".exe" added when it has no ending.
std::wstring ImageName(std::wstring_view program) {
    std::size_t slash = program.find_last_of(L"\\/");
    std::wstring name(slash == std::wstring_view::npos ? program : program.substr(slash + 1));
    if (name.find(L'.') == std::wstring::npos)
        name += L".exe";
    return name;
}

bool IsProgramNamed(std::wstring_view program, const wchar_t* const* begin, const wchar_t* const* end) {
    std::wstring image = ImageName(program);
    for (const wchar_t* const* name = begin; name != end; ++name) {
        if (EqualsIgnoringAsciiCase(image, std::wstring(*name) + L".exe"))
            return true;
    }
    return false;
}

}  // namespace

std::wstring WebAddressInText(std::wstring_view text) {
    for (std::size_t at = 0; at < text.size(); ++at) {
        for (const wchar_t* scheme : EMBEDDED_SCHEMES) {
            if (!StartsWithIgnoringAsciiCase(text.substr(at), scheme))
                continue;
            std::size_t end = text.find_first_of(L" \t\r\n\"'<>()`|,;", at);
            std::wstring_view address = text.substr(at, end == std::wstring_view::npos ? end : end - at);
            if (address.size() > std::wcslen(scheme))
                return std::wstring(address);
        }
    }
    return std::wstring();
}

namespace {

// True when name stands in text as a whole word (no ASCII letter either side).
bool HoldsWord(std::wstring_view text, std::wstring_view name) {
    for (std::size_t at = 0; at + name.size() <= text.size(); ++at) {
        if (!EqualsIgnoringAsciiCase(text.substr(at, name.size()), name))
            continue;
        bool startsWord = at == 0 || !IsAsciiLetter(text[at - 1]);
        bool endsWord = at + name.size() == text.size() || !IsAsciiLetter(text[at + name.size()]);
        if (startsWord && endsWord)
            return true;
    }
    return false;
}

const BrowserEntry* BrowserNamed(std::wstring_view displayName) {
    for (const BrowserEntry& row : GetBrowserCatalogue()) {
        if (displayName == row.displayName)
            return &row;
    }
    return nullptr;
}

}  // namespace

bool IsWebAddress(std::wstring_view argument) {
    for (const wchar_t* scheme : SCHEMES) {
        if (StartsWithIgnoringAsciiCase(argument, scheme) && argument.size() > std::wcslen(scheme))
            return true;
    }
    if (argument.empty() || argument.front() == L'-' || argument.front() == L'/')
        return false;
    std::size_t hostEnd = std::min(argument.find_first_of(L"/?#:"), argument.size());
    std::wstring_view host = argument.substr(0, hostEnd);
    if (!IsHostName(host))
        return false;
    // "host:port" only; a colon followed by anything else is a drive, a scheme or a stream name.
    if (hostEnd < argument.size() && argument[hostEnd] == L':') {
        std::size_t portEnd = std::min(argument.find_first_of(L"/?#", hostEnd), argument.size());
        if (portEnd == hostEnd + 1)
            return false;
        for (std::size_t at = hostEnd + 1; at < portEnd; ++at) {
            if (argument[at] < L'0' || argument[at] > L'9')
                return false;
        }
    }
    return argument.find(L'\\') == std::wstring_view::npos;
}

bool IsLoadExtensionArgument(std::wstring_view argument) {
    return StartsWithIgnoringAsciiCase(SwitchBody(argument), L"load-extension=");
}

std::wstring AppAddress(std::wstring_view argument) {
    std::wstring_view body = SwitchBody(argument);
    if (!StartsWithIgnoringAsciiCase(body, L"app="))
        return std::wstring();
    std::wstring_view address = body.substr(4);
    return IsWebAddress(address) ? std::wstring(address) : std::wstring();
}

std::wstring FirstWebAddress(std::wstring_view arguments) {
    for (const CommandArgument& argument : SplitArguments(arguments)) {
        if (IsWebAddress(argument.text))
            return argument.text;
        std::wstring address = AppAddress(argument.text);
        if (address.empty())
            address = WebAddressInText(argument.text);
        if (!address.empty())
            return address;
    }
    return std::wstring();
}

const BrowserEntry* BrowserOfProgram(std::wstring_view program) {
    std::wstring image = ImageName(program);
    for (const BrowserEntry& row : GetBrowserCatalogue()) {
        if (EqualsIgnoringAsciiCase(image, row.imageName))
            return &row;
    }
    return nullptr;
}

bool IsLauncherProgram(std::wstring_view program) {
    return IsProgramNamed(program, std::begin(LAUNCHERS), std::end(LAUNCHERS));
}

bool IsScriptFile(std::wstring_view path) {
    for (const wchar_t* ending : SCRIPT_ENDINGS) {
        if (EndsWithIgnoringAsciiCase(path, ending))
            return true;
    }
    return false;
}

bool IsScriptRunner(std::wstring_view program) {
    return IsProgramNamed(program, std::begin(SCRIPT_RUNNERS), std::end(SCRIPT_RUNNERS)) || IsScriptFile(program);
}

const BrowserEntry* BrowserNamedIn(std::wstring_view fileName) {
    if (EndsWithIgnoringAsciiCase(fileName, L".lnk"))
        fileName.remove_suffix(4);
    const BrowserEntry* best = nullptr;
    std::size_t bestLength = 0;
    auto consider = [&](std::wstring_view name, const BrowserEntry* row) {
        if (row && name.size() > bestLength && HoldsWord(fileName, name)) {
            best = row;
            bestLength = name.size();
        }
    };
    for (const BrowserEntry& row : GetBrowserCatalogue())
        consider(row.displayName, &row);
    for (const ShortName& shortName : SHORT_NAMES)
        consider(shortName.name, BrowserNamed(shortName.displayName));
    return best;
}

bool MarkLaunch(LauncherFinding* finding, bool launchersCount) {
    const BrowserEntry* browser = BrowserOfProgram(finding->program);
    finding->url = FirstWebAddress(finding->arguments);
    if (browser) {
        finding->browser = browser->displayName;
        for (const CommandArgument& argument : SplitArguments(finding->arguments)) {
            finding->loadsExtension |= IsLoadExtensionArgument(argument.text);
            finding->opensAsApp |= !AppAddress(argument.text).empty();
        }
        return !finding->url.empty() || finding->loadsExtension;
    }
    if (!launchersCount)
        return false;
    if (IsLauncherProgram(finding->program))
        return !finding->url.empty();
    if (IsWebAddress(finding->program) && finding->arguments.empty()) {
        finding->url = finding->program;
        return true;
    }
    return false;
}
