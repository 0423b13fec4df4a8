// Which arguments are web addresses and which programs open them: the rules
// every launcher finder shares.
#include "browsers/launcher_internal.h"

#include <algorithm>
#include <cwchar>
#include <iterator>

namespace {

const wchar_t* const SCHEMES[] = {L"http:", L"https:", L"ftp:", L"data:", L"chrome-extension:", L"moz-extension:"};
const wchar_t* const EMBEDDED_SCHEMES[] = {L"http://", L"https://", L"ftp://"};

// Endings of file names that would otherwise pass for a host name's last label.
const wchar_t* const FILE_ENDINGS[] = {
    L"exe", L"dll",  L"bat", L"cmd",  L"vbs", L"vbe",  L"js",   L"jse",   L"wsf", L"hta", L"lnk",  L"url",
    L"ps1", L"msi",  L"sys", L"txt",  L"log", L"ini",  L"cfg",  L"json",  L"xml", L"htm", L"html", L"pdf",
    L"crx", L"xpi",  L"zip", L"ico",  L"png", L"jpg",  L"jpeg", L"gif",   L"bmp", L"dat", L"tmp",  L"bin",
    L"doc", L"docx", L"xls", L"xlsx", L"ppt", L"pptx", L"rtf",  L"csv",   L"mp3", L"mp4", L"wav",  L"avi",
    L"reg", L"scr",  L"cpl", L"msc",  L"rar", L"iso",  L"cab",  L"ps1xml"};

const wchar_t* const LAUNCHERS[] = {L"cmd",        L"explorer", L"rundll32", L"mshta",
                                    L"powershell", L"pwsh",     L"wscript",  L"cscript"};
const wchar_t* const SCRIPT_RUNNERS[] = {L"cmd", L"wscript", L"cscript", L"mshta", L"powershell", L"pwsh"};
const wchar_t* const SCRIPT_ENDINGS[] = {L".bat", L".cmd", L".vbs", L".js", L".wsf", L".hta"};

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

// Blanks and separators outside ASCII that never stand in a host name.
bool IsUnicodeBlank(wchar_t c) {
    return c == 0x85 || c == 0xA0 || c == 0x1680 || (c >= 0x2000 && c <= 0x200B) || c == 0x2028 || c == 0x2029 ||
           c == 0x202F || c == 0x205F || c == 0x3000 || c == 0xFEFF;
}

// Letters, digits and hyphens; any character outside ASCII but blanks, as an
// internationalised host name holds them ("m\u00fcnchen", "\u4f8b\u3048").
bool IsHostCharacter(wchar_t c) {
    if (c >= 0x80)
        return !IsUnicodeBlank(c);
    return IsAsciiLetter(c) || (c >= L'0' && c <= L'9') || c == L'-';
}

bool IsDigit(wchar_t c) {
    return c >= L'0' && c <= L'9';
}

// A top-level label: letters (outside ASCII too), or the ASCII form "xn--..." of one.
bool IsTopLevelLabel(std::wstring_view label) {
    if (StartsWithIgnoringAsciiCase(label, L"xn--") && label.size() > 4)
        return true;
    if (label.size() < 2)
        return false;
    for (wchar_t c : label) {
        if (c < 0x80 && !IsAsciiLetter(c))
            return false;
    }
    return true;
}

// A host name of letters, digits and hyphens in two or more labels, the last a top-level label.
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
    if (!IsTopLevelLabel(last))
        return false;
    for (const wchar_t* ending : FILE_ENDINGS) {
        if (EqualsIgnoringAsciiCase(last, ending))
            return false;
    }
    return true;
}

// Four decimal numbers of 0 to 255 with dots between: "203.0.113.7".
bool IsIpv4Address(std::wstring_view host) {
    int parts = 0;
    for (std::size_t start = 0; start <= host.size(); ++parts) {
        std::size_t dot = host.find(L'.', start);
        std::wstring_view part = host.substr(start, dot == std::wstring_view::npos ? dot : dot - start);
        if (part.empty() || part.size() > 3)
            return false;
        int value = 0;
        for (wchar_t c : part) {
            if (!IsDigit(c))
                return false;
            value = value * 10 + (c - L'0');
        }
        if (value > 255)
            return false;
        start = dot == std::wstring_view::npos ? host.size() + 1 : dot + 1;
    }
    return parts == 4;
}

// Eight groups of one to four hexadecimal digits with colons between, or fewer
// with one "::" standing for the rest; the last two groups may be an IPv4 address.
bool IsIpv6Address(std::wstring_view host) {
    if (host.size() < 2 || host.find(L':') == std::wstring_view::npos)
        return false;
    std::size_t gap = host.find(L"::");
    if (gap != std::wstring_view::npos && host.find(L"::", gap + 1) != std::wstring_view::npos)
        return false;
    int groups = 0;
    std::size_t at = 0;
    while (at < host.size()) {
        if (at == gap) {
            at += 2;
            continue;
        }
        std::size_t end = std::min(host.find(L':', at), host.size());
        std::wstring_view group = host.substr(at, end - at);
        if (end == host.size() && group.find(L'.') != std::wstring_view::npos) {
            if (!IsIpv4Address(group))
                return false;
            groups += 2;
        } else {
            if (group.empty() || group.size() > 4)
                return false;
            for (wchar_t c : group) {
                if (HexDigitValue(static_cast<char>(c < 0x80 ? c : 0)) < 0)
                    return false;
            }
            ++groups;
        }
        if (end == host.size())
            break;
        at = end == gap ? end : end + 1;
        if (at == host.size())
            return false;  // a single colon at the end
    }
    return gap == std::wstring_view::npos ? groups == 8 : groups < 8;
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
    if (argument.empty() || argument.front() == L'-' || argument.front() == L'/' ||
        argument.find(L'\\') != std::wstring_view::npos)
        return false;
    // "[2001:db8::1]:8080/x"; unbracketed, an IPv6 address is the whole argument or stands before a "/".
    std::size_t hostEnd = std::min(argument.find_first_of(L"/?#"), argument.size());
    if (argument.front() == L'[') {
        std::size_t close = argument.find(L']');
        if (close == std::wstring_view::npos || !IsIpv6Address(argument.substr(1, close - 1)))
            return false;
        hostEnd = close + 1;
    } else if (IsIpv6Address(argument.substr(0, hostEnd))) {
        return true;
    } else {
        hostEnd = std::min(argument.find_first_of(L"/?#:"), argument.size());
        std::wstring_view host = argument.substr(0, hostEnd);
        if (!IsHostName(host) && !IsIpv4Address(host))
            return false;
    }
    // "host:port" only; a colon followed by anything else is a drive, a scheme or a stream name.
    if (hostEnd < argument.size() && argument[hostEnd] == L':') {
        std::size_t portEnd = std::min(argument.find_first_of(L"/?#", hostEnd), argument.size());
        if (portEnd == hostEnd + 1)
            return false;
        for (std::size_t at = hostEnd + 1; at < portEnd; ++at) {
            if (!IsDigit(argument[at]))
                return false;
        }
    } else if (hostEnd < argument.size() && argument[hostEnd] != L'/' && argument[hostEnd] != L'?' &&
               argument[hostEnd] != L'#') {
        return false;
    }
    return true;
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

namespace {

// "-EncodedCommand", "-enc", "-e", "-ec", "/EncodedCommand", "--encodedcommand": PowerShell reads a
// parameter name from any start of it, and "-ec" as its short form.
bool IsEncodedCommandSwitch(std::wstring_view argument) {
    std::wstring_view name = SwitchBody(argument);
    constexpr std::wstring_view FULL = L"encodedcommand";
    return !name.empty() &&
           (EqualsIgnoringAsciiCase(name, L"ec") ||
            (name.size() <= FULL.size() && EqualsIgnoringAsciiCase(FULL.substr(0, name.size()), name)));
}

// The script of a base64 value: UTF-16LE text; false when it is not one.
bool DecodeScript(std::wstring_view value, std::wstring* script) {
    std::string bytes;
    if (!DecodeBase64(value, &bytes) || bytes.empty() || bytes.size() % 2 != 0)
        return false;
    script->clear();
    for (std::size_t at = 0; at < bytes.size(); at += 2) {
        wchar_t c = static_cast<wchar_t>(static_cast<unsigned char>(bytes[at]) |
                                         (static_cast<unsigned char>(bytes[at + 1]) << 8));
        script->push_back(c);
    }
    return true;
}

}  // namespace

std::wstring LaunchedText(std::wstring_view arguments) {
    std::vector<CommandArgument> split = SplitArguments(arguments);
    for (std::size_t i = 0; i + 1 < split.size(); ++i) {
        std::wstring script;
        if (!IsEncodedCommandSwitch(split[i].text) || !DecodeScript(split[i + 1].text, &script))
            continue;
        std::wstring text(arguments.substr(0, split[i].begin));
        text += script;
        text += arguments.substr(split[i + 1].end);
        return text;
    }
    return std::wstring(arguments);
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
    if (const BrowserEntry* browser = BrowserOfProgram(finding->program)) {
        finding->browser = browser->displayName;
        bool found = false;
        for (const BrowserArgument& argument : ReadBrowserArguments(*browser, finding->arguments)) {
            switch (argument.role) {
                case ArgumentRole::WebAddress:
                case ArgumentRole::App:
                    finding->opensAsApp |= argument.role == ArgumentRole::App;
                    if (finding->url.empty())
                        finding->url = argument.value;
                    break;
                case ArgumentRole::HomePage:
                    if (finding->homePage.empty())
                        finding->homePage = argument.value;
                    break;
                case ArgumentRole::LoadExtension:
                    finding->loadsExtension = true;
                    break;
                case ArgumentRole::TrafficSwitch:
                    if (finding->trafficThrough.empty())
                        finding->trafficThrough = argument.value;
                    break;
                case ArgumentRole::Kept:
                case ArgumentRole::AddressSwitch:
                case ArgumentRole::OnlyLoadedExtensions:
                    continue;
            }
            found = true;
        }
        return found;
    }
    finding->url = FirstWebAddress(LaunchedText(finding->arguments));
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
