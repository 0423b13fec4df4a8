// Which programs open web addresses, which arguments they are given to open, and
// what a launch is: the rules every launcher finder shares.
#include "browsers/launcher_internal.h"

#include <algorithm>
#include <cwchar>
#include <iterator>

namespace {

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

// No command line holds more characters than this, nor a base64 value in one.
constexpr std::size_t MAX_ENCODED_CHARS = 32767;

// True for a character no script holds: NUL and the other control characters
// but tab, line feed and carriage return.
bool IsControlCharacter(wchar_t c) {
    return (c < 0x20 && c != L'\t' && c != L'\n' && c != L'\r') || c == 0x7F;
}

// The script of a base64 value as PowerShell decodes it (Convert.FromBase64String,
// then UTF-16LE): blanks and line ends inside are skipped, the rest must be a
// whole number of four-character groups ("=" padding included), and a last odd
// byte becomes U+FFFD. False when PowerShell would refuse it, and for bytes that
// are no text (a control character): addresses found in those would be chance.
bool DecodeScript(std::wstring_view value, std::wstring* script) {
    if (value.size() > MAX_ENCODED_CHARS)
        return false;
    std::wstring packed;
    for (wchar_t c : value) {
        if (c != L' ' && c != L'\t' && c != L'\r' && c != L'\n')
            packed.push_back(c);
    }
    std::size_t padding = packed.size() - std::min(packed.size(), packed.find_last_not_of(L'=') + 1);
    std::string bytes;
    if (packed.empty() || packed.size() % 4 != 0 || padding > 2 || !DecodeBase64(packed, &bytes) || bytes.empty())
        return false;
    script->clear();
    for (std::size_t at = 0; at < bytes.size(); at += 2) {
        wchar_t c = at + 1 < bytes.size() ? static_cast<wchar_t>(static_cast<unsigned char>(bytes[at]) |
                                                                 (static_cast<unsigned char>(bytes[at + 1]) << 8))
                                          : static_cast<wchar_t>(0xFFFD);
        if (IsControlCharacter(c))
            return false;
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
