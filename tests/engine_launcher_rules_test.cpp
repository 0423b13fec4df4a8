#include <gtest/gtest.h>

#include <iterator>
#include <string>
#include <vector>

#include "browsers/launchers.h"
#include "tests/test_support.h"

namespace {

enum class Rule {
    WebAddress,      // IsWebAddress: "yes" or "no"
    FirstAddress,    // FirstWebAddress
    Launched,        // FirstWebAddress of LaunchedText
    Program,         // "browser <name>", "launcher", "script runner" or "other"
    NamedAfter,      // BrowserNamedIn: the display name or ""
    SplitLine,       // SplitCommandLine: "<program>|<arguments>"
    Arguments,       // SplitArguments: the texts joined by "|"
    WithoutAddress,  // ArgumentsWithoutWebAddresses for Chrome: "<kept>|<removed, joined by |>"
    FirefoxWithout,  // the same for Firefox
    LaunchedSplit,   // SplitLaunchedCommandLine: "<program>|<arguments>"
    Switches,        // "extension" / "app <address>" / "-"
    Trigger,         // TriggerPhrase of "<kind>|<interval>|<start>|<days>|<enabled>"
};

struct RuleRow {
    const char* name;
    Rule rule;
    const wchar_t* input;
    const wchar_t* expected;
};

const TriggerKind KINDS[] = {TriggerKind::LogOn, TriggerKind::Boot,   TriggerKind::Time,
                             TriggerKind::Daily, TriggerKind::Weekly, TriggerKind::Other};

// "daily|PT30M|2024-01-01T10:00:00|1|1" -> a trigger; kinds by position: logon boot time daily weekly other.
TaskTrigger ParseTrigger(const std::wstring& text) {
    const wchar_t* const names[] = {L"logon", L"boot", L"time", L"daily", L"weekly", L"other"};
    std::vector<std::wstring> parts;
    for (std::size_t start = 0;;) {
        std::size_t bar = text.find(L'|', start);
        parts.push_back(text.substr(start, bar == std::wstring::npos ? bar : bar - start));
        if (bar == std::wstring::npos)
            break;
        start = bar + 1;
    }
    TaskTrigger trigger;
    for (std::size_t k = 0; k < std::size(names); ++k) {
        if (parts[0] == names[k])
            trigger.kind = KINDS[k];
    }
    trigger.interval = parts[1];
    trigger.start = parts[2];
    trigger.everyDays = std::stoi(parts[3]);
    trigger.enabled = parts[4] == L"1";
    return trigger;
}

std::wstring Apply(Rule rule, const std::wstring& input) {
    switch (rule) {
        case Rule::WebAddress:
            return IsWebAddress(input) ? L"yes" : L"no";
        case Rule::FirstAddress:
            return FirstWebAddress(input);
        case Rule::Launched:
            return FirstWebAddress(LaunchedText(input));
        case Rule::Program: {
            if (const BrowserEntry* browser = BrowserOfProgram(input))
                return std::wstring(L"browser ") + browser->displayName;
            std::wstring kinds;
            if (IsLauncherProgram(input))
                kinds += L"launcher";
            if (IsScriptRunner(input))
                kinds += kinds.empty() ? L"script runner" : L", script runner";
            return kinds.empty() ? L"other" : kinds;
        }
        case Rule::NamedAfter: {
            const BrowserEntry* browser = BrowserNamedIn(input);
            return browser ? browser->displayName : L"";
        }
        case Rule::SplitLine: {
            CommandLine split = SplitCommandLine(input);
            return split.program + L"|" + split.arguments;
        }
        case Rule::Arguments: {
            std::wstring joined;
            for (const CommandArgument& argument : SplitArguments(input))
                joined += (joined.empty() ? L"" : L"|") + argument.text;
            return joined;
        }
        case Rule::WithoutAddress:
        case Rule::FirefoxWithout: {
            std::vector<std::wstring> removed;
            std::wstring kept = ArgumentsWithoutWebAddresses(
                rule == Rule::FirefoxWithout ? L"firefox.exe" : L"chrome.exe", input, &removed);
            for (const std::wstring& argument : removed)
                kept += L"|" + argument;
            return kept;
        }
        case Rule::LaunchedSplit: {
            CommandLine split = SplitLaunchedCommandLine(input);
            return split.program + L"|" + split.arguments;
        }
        case Rule::Switches:
            if (IsLoadExtensionArgument(input))
                return L"extension";
            return AppAddress(input).empty() ? L"-" : L"app " + AppAddress(input);
        case Rule::Trigger:
            return TriggerPhrase(ParseTrigger(input));
    }
    return L"?";
}

const RuleRow RULES[] = {
    // Which arguments are web addresses.
    {"http address", Rule::WebAddress, L"http://ad.example/", L"yes"},
    {"https, any case", Rule::WebAddress, L"HTTPS://ad.example/x?y=1", L"yes"},
    {"ftp address", Rule::WebAddress, L"ftp://files.example/", L"yes"},
    {"scheme alone", Rule::WebAddress, L"https:", L"no"},
    {"host name with a dot", Rule::WebAddress, L"ad.example", L"yes"},
    {"host name with path and port", Rule::WebAddress, L"www.scam.com:8080/win", L"yes"},
    {"host name with a bad port", Rule::WebAddress, L"www.scam.com:x", L"no"},
    {"drive path", Rule::WebAddress, L"C:\\x.exe", L"no"},
    {"relative file", Rule::WebAddress, L"setup.exe", L"no"},
    {"file in a folder", Rule::WebAddress, L"folder\\page.html", L"no"},
    {"page file", Rule::WebAddress, L"page.html", L"no"},
    {"name without a dot", Rule::WebAddress, L"localhost", L"no"},
    {"four numbers are an IPv4 address", Rule::WebAddress, L"1.2.3.4", L"yes"},
    {"IPv4 address with port and path", Rule::WebAddress, L"203.0.113.7:8080/win", L"yes"},
    {"three numbers", Rule::WebAddress, L"1.2.3", L"no"},
    {"number above 255", Rule::WebAddress, L"256.1.1.1", L"no"},
    {"IPv6 address in brackets", Rule::WebAddress, L"[2001:db8::1]:8443/x", L"yes"},
    {"bare IPv6 address", Rule::WebAddress, L"2001:db8::7", L"yes"},
    {"IPv6 address with IPv4 end", Rule::WebAddress, L"::ffff:203.0.113.7", L"yes"},
    {"time of day", Rule::WebAddress, L"10:30:15", L"no"},
    {"two gaps", Rule::WebAddress, L"1::2::3", L"no"},
    {"Unicode host name", Rule::WebAddress, L"m\u00fcnchen.example/angebot", L"yes"},
    {"Unicode top-level label", Rule::WebAddress, L"\u043f\u0440\u0438\u043c\u0435\u0440.\u0440\u0444", L"yes"},
    {"ASCII form of one", Rule::WebAddress, L"xn--e1afmkfd.xn--p1ai", L"yes"},
    {"blank outside ASCII", Rule::WebAddress, L"ad\u00a0x.example", L"no"},
    {"document file", Rule::WebAddress, L"Report.docx", L"no"},
    {"data address", Rule::WebAddress, L"data:text/html,<script>open('x')</script>", L"yes"},
    {"extension page", Rule::WebAddress, L"chrome-extension://abcdefghijklmnopabcdefghijklmnop/tab.html", L"yes"},
    {"script address", Rule::WebAddress, L"javascript:location='http://ad.example/'", L"no"},
    {"switch", Rule::WebAddress, L"--app-id=abcdefghijklmnop", L"no"},
    {"profile switch", Rule::WebAddress, L"--profile-directory=Profile 1", L"no"},
    {"slash switch", Rule::WebAddress, L"/c", L"no"},
    {"extension id with @", Rule::WebAddress, L"a@adware.example", L"no"},
    {"label ending in a hyphen", Rule::WebAddress, L"ad-.example", L"no"},
    // The first web address among arguments.
    {"plain address after switches", Rule::FirstAddress,
     L"--profile-directory=\"Profile 1\" --new-window https://ad.example/", L"https://ad.example/"},
    {"app address", Rule::FirstAddress, L"--app=https://app.example/", L"https://app.example/"},
    {"address inside powershell", Rule::FirstAddress, L"-c \"Start-Process 'https://ad.example/p'\"",
     L"https://ad.example/p"},
    {"rundll32 handler", Rule::FirstAddress, L"url.dll,FileProtocolHandler http://ad.example/r",
     L"http://ad.example/r"},
    {"cmd start with a title", Rule::FirstAddress, L"/c start \"\" www.ad.example", L"www.ad.example"},
    {"profile and app id alone", Rule::FirstAddress, L"--profile-directory=Default --app-id=abc", L""},
    {"extension folder alone", Rule::FirstAddress, L"--load-extension=C:\\ext", L""},
    // What a launcher runs: PowerShell's encoded scripts are judged as written.
    {"encoded command", Rule::Launched,
     L"-NoProfile -EncodedCommand "
     L"UwB0AGEAcgB0AC0AUAByAG8AYwBlAHMAcwAgACcAaAB0AHQAcABzADoALwAvAHAAcwAuAGUAeABhAG0AcABsAGUALwAnAA==",
     L"https://ps.example/"},
    {"encoded command, short name", Rule::Launched,
     L"/c powershell -w hidden -e "
     L"UwB0AGEAcgB0AC0AUAByAG8AYwBlAHMAcwAgACcAaAB0AHQAcABzADoALwAvAHAAcwAuAGUAeABhAG0AcABsAGUALwAnAA==",
     L"https://ps.example/"},
    // PowerShell refuses base64 without its padding, and runs nothing.
    {"encoded command without padding", Rule::Launched,
     L"-e UwB0AGEAcgB0AC0AUAByAG8AYwBlAHMAcwAgACcAaAB0AHQAcABzADoALwAvAHAAcwAuAGUAeABhAG0AcABsAGUALwAnAA", L""},
    {"too much padding", Rule::Launched, L"-e YQBkAC4AZQB4AGEAbQBwAGwAZQA===", L""},
    {"odd last byte", Rule::Launched,
     L"-ec UwB0AGEAcgB0AC0AUAByAG8AYwBlAHMAcwAgACcAaAB0AHQAcABzADoALwAvAG8AZABkAC4AZQB4AGEAbQBwAGwAZQAvACcAQQ==",
     L"https://odd.example/"},
    {"blanks inside the value", Rule::Launched,
     L"-EncodedCommand \"UwB0AGEAcgB0AC0AUABy "
     L"AG8AYwBlAHMAcwAgACcAaAB0AHQAcABzADoALwAvAHMAcAAuAGUAeABhAG0AcABsAGUALwAnAA==\"",
     L"https://sp.example/"},
    {"bytes that are no text", Rule::Launched, L"-enc AQACACAAYQBkAC4AZQB4AGEAbQBwAGwAZQA=", L""},
    {"encoded command without an address", Rule::Launched, L"-enc VwByAGkAdABlAC0ATwB1AHQAcAB1AHQAIABoAGUAbABsAG8A",
     L""},
    {"not base64", Rule::Launched, L"-ec !!! https://plain.example/", L"https://plain.example/"},
    {"execution policy is no encoded command", Rule::Launched, L"-ExecutionPolicy Bypass -File run.ps1", L""},
    // Switches the browsers read.
    {"load extension", Rule::Switches, L"--load-extension=C:\\a,C:\\b", L"extension"},
    {"load extension, one dash, any case", Rule::Switches, L"-Load-Extension=C:\\a", L"extension"},
    {"app with an address", Rule::Switches, L"--app=https://app.example/", L"app https://app.example/"},
    {"app with a file", Rule::Switches, L"--app=C:\\page.html", L"-"},
    {"app id", Rule::Switches, L"--app-id=abc", L"-"},
    // Which programs count.
    {"chrome with its path", Rule::Program, L"C:\\Program Files\\Google\\Chrome\\Application\\chrome.exe",
     L"browser Google Chrome"},
    {"edge, other case, no ending", Rule::Program, L"MSEDGE", L"browser Microsoft Edge"},
    {"opera image is the first row", Rule::Program, L"opera.exe", L"browser Opera"},
    {"firefox through a variable", Rule::Program, L"%ProgramFiles%\\Mozilla Firefox\\firefox.exe",
     L"browser Mozilla Firefox"},
    {"cmd", Rule::Program, L"C:\\Windows\\System32\\cmd.exe", L"launcher, script runner"},
    {"explorer", Rule::Program, L"explorer.exe", L"launcher"},
    {"rundll32 without ending", Rule::Program, L"rundll32", L"launcher"},
    {"powershell", Rule::Program, L"powershell.exe", L"launcher, script runner"},
    {"batch file", Rule::Program, L"C:\\Users\\x\\run.BAT", L"script runner"},
    {"hta file", Rule::Program, L"C:\\x\\ad.hta", L"script runner"},
    {"notepad", Rule::Program, L"notepad.exe", L"other"},
    {"chrome lookalike", Rule::Program, L"chrome.exe.bak", L"other"},
    // Shortcuts named after a browser.
    {"display name", Rule::NamedAfter, L"Google Chrome.lnk", L"Google Chrome"},
    {"own name as a word", Rule::NamedAfter, L"Firefox.lnk", L"Mozilla Firefox"},
    {"copy number", Rule::NamedAfter, L"Chrome (2).lnk", L"Google Chrome"},
    {"longest name wins", Rule::NamedAfter, L"Opera GX Browser.lnk", L"Opera GX"},
    {"name inside a word", Rule::NamedAfter, L"Operating manual.lnk", L""},
    {"edge inside a word", Rule::NamedAfter, L"Knowledge.lnk", L""},
    {"no browser", Rule::NamedAfter, L"Notepad.lnk", L""},
    // Command lines as Windows splits them.
    {"quoted program", Rule::SplitLine, L"\"C:\\Program Files\\a b.exe\"  --x \"y z\"",
     L"C:\\Program Files\\a b.exe|--x \"y z\""},
    {"plain program", Rule::SplitLine, L"  cmd /c start https://a.example", L"cmd|/c start https://a.example"},
    {"unclosed quote", Rule::SplitLine, L"\"C:\\a b.exe", L"C:\\a b.exe|"},
    {"unquoted browser path with spaces", Rule::LaunchedSplit,
     L"C:\\Program Files\\Google\\Chrome\\Application\\chrome.exe  https://ad.example/",
     L"C:\\Program Files\\Google\\Chrome\\Application\\chrome.exe|https://ad.example/"},
    {"unquoted path of no browser", Rule::LaunchedSplit, L"C:\\Vendor Tools\\app.exe /x",
     L"C:\\Vendor|Tools\\app.exe /x"},
    {"quoted path", Rule::LaunchedSplit, L" \"C:\\a b\\chrome.exe\" x", L"C:\\a b\\chrome.exe|x"},
    {"quotes and escapes", Rule::Arguments, L"a\\\\\"b c\" \"d\"\"e\" f\\\"g \\\\h", L"a\\b c|d\"e|f\"g|\\\\h"},
    // What the repair takes out, everything else as stored.
    {"address after profile", Rule::WithoutAddress, L"--profile-directory=\"Profile 1\"  https://ad.example/",
     L"--profile-directory=\"Profile 1\"|https://ad.example/"},
    {"address first, spacing kept", Rule::WithoutAddress, L"https://ad.example/ --a  --b",
     L"--a  --b|https://ad.example/"},
    {"extension and two addresses", Rule::WithoutAddress, L"a.example --load-extension=\"C:\\e x\" -x http://b.example",
     L"-x|a.example|--load-extension=C:\\e x|http://b.example"},
    {"app stays", Rule::WithoutAddress, L"--app=https://app.example/", L"--app=https://app.example/"},
    {"nothing to take", Rule::WithoutAddress, L"--profile-directory=Default", L"--profile-directory=Default"},
    {"home page switch goes", Rule::WithoutAddress, L"--homepage=https://home.example/ --start-maximized",
     L"--start-maximized|--homepage=https://home.example/"},
    {"home page of no address stays", Rule::WithoutAddress, L"--homepage=about:blank", L"--homepage=about:blank"},
    {"traffic switches go", Rule::WithoutAddress,
     L"--proxy-server=127.0.0.1:8080 --host-resolver-rules=\"MAP * 203.0.113.7\" "
     L"--PROXY-PAC-URL=http://pac.example/p.pac",
     L"|--proxy-server=127.0.0.1:8080|--host-resolver-rules=MAP * "
     L"203.0.113.7|--PROXY-PAC-URL=http://pac.example/p.pac"},
    {"extensions except the ones loaded go with them", Rule::WithoutAddress,
     L"--load-extension=C:\\evil,C:\\ad --disable-extensions-except=c:/Evil/,C:\\AD",
     L"|--load-extension=C:\\evil,C:\\ad|--disable-extensions-except=c:/Evil/,C:\\AD"},
    {"extensions except another one stay", Rule::WithoutAddress,
     L"--load-extension=C:\\evil --disable-extensions-except=C:\\evil,C:\\blocker",
     L"--disable-extensions-except=C:\\evil,C:\\blocker|--load-extension=C:\\evil"},
    {"extensions except with nothing loaded stay", Rule::WithoutAddress, L"--disable-extensions-except=C:\\x",
     L"--disable-extensions-except=C:\\x"},
    {"address inside a switch's value stays", Rule::WithoutAddress, L"--user-data-dir=\"C:\\x https://ad.example/\"",
     L"--user-data-dir=\"C:\\x https://ad.example/\""},
    {"unclosed quote is no address", Rule::WithoutAddress, L"--x \"https://ad.example/ --y",
     L"--x \"https://ad.example/ --y"},
    {"script address stays", Rule::WithoutAddress, L"javascript:alert(1)", L"javascript:alert(1)"},
    {"Chrome takes no value after -P", Rule::WithoutAddress, L"-P ad.example", L"-P|ad.example"},
    {"Firefox profile name stays", Rule::FirefoxWithout, L"-P Work.Home https://ad.example/",
     L"-P Work.Home|https://ad.example/"},
    {"Firefox profile folder stays", Rule::FirefoxWithout, L"--profile \"D:\\My.Profile\" -no-remote",
     L"--profile \"D:\\My.Profile\" -no-remote"},
    {"Firefox search term stays, new tab goes", Rule::FirefoxWithout,
     L"-search news.example -new-tab https://ad.example/", L"-search news.example|https://ad.example/"},
    {"Firefox url switch goes too", Rule::FirefoxWithout, L"-url https://ad.example/ -private",
     L"-private|https://ad.example/"},
    {"Firefox private window stays", Rule::FirefoxWithout, L"-private-window https://ad.example/",
     L"-private-window|https://ad.example/"},
    // Trigger phrases.
    {"log-on", Rule::Trigger, L"logon|||1|1", L"at log-on"},
    {"log-on repeating", Rule::Trigger, L"logon|PT1H||1|1", L"at log-on, then every hour"},
    {"start-up", Rule::Trigger, L"boot|||1|1", L"at start-up"},
    {"every 30 minutes", Rule::Trigger, L"time|PT30M|2024-01-01T10:00:00|1|1", L"every 30 minutes"},
    {"mixed interval", Rule::Trigger, L"time|P1DT1H30M||1|1", L"every 1 day 1 hour 30 minutes"},
    {"interval not ISO", Rule::Trigger, L"time|soon||1|1", L"every soon"},
    {"once", Rule::Trigger, L"time||2024-05-06T07:08:09|1|1", L"once at 2024-05-06 07:08"},
    {"daily", Rule::Trigger, L"daily||2024-01-01T10:00:00+01:00|1|1", L"daily at 10:00"},
    {"every 2 days", Rule::Trigger, L"daily||2024-01-01T22:15:00|2|1", L"every 2 days at 22:15"},
    {"daily repeating", Rule::Trigger, L"daily|PT5M|2024-01-01T10:00:00|1|1", L"daily at 10:00, then every 5 minutes"},
    {"weekly without time", Rule::Trigger, L"weekly||2024|1|1", L"weekly"},
    {"other", Rule::Trigger, L"other|||1|1", L"other"},
    {"disabled", Rule::Trigger, L"logon|||1|0", L"at log-on (disabled)"},
};

}  // namespace

TEST(LauncherRules, DecideWhatOpensAWebPage) {
    for (const RuleRow& row : RULES) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(Utf8(Apply(row.rule, row.input)), Utf8(row.expected));
    }
    EXPECT_EQ(Utf8(TriggersPhrase({})), "no trigger");
    EXPECT_EQ(Utf8(TriggersPhrase({ParseTrigger(L"logon|||1|1"), ParseTrigger(L"time|PT30M||1|1")})),
              "at log-on; every 30 minutes");
    EXPECT_EQ(Utf8(JoinCommand(L"C:\\Program Files\\x.exe", L"-a")), "\"C:\\Program Files\\x.exe\" -a");
}

// An encoded script longer than any command line is not decoded: no finding, and no time spent.
TEST(LauncherRules, LeavesAnEncodedValueLongerThanACommandLineAsStored) {
    std::wstring script = L"Start-Process 'https://long.example/';" + std::wstring(20000, L' ');
    std::string bytes;
    for (wchar_t c : script)
        bytes += std::string{static_cast<char>(c & 0xFF), static_cast<char>(c >> 8)};
    const char ALPHABET[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::wstring encoded;
    for (std::size_t at = 0; at < bytes.size(); at += 3) {
        unsigned group = static_cast<unsigned char>(bytes[at]) << 16;
        group |= at + 1 < bytes.size() ? static_cast<unsigned char>(bytes[at + 1]) << 8 : 0;
        group |= at + 2 < bytes.size() ? static_cast<unsigned char>(bytes[at + 2]) : 0;
        for (int k = 0; k < 4; ++k)
            encoded += k <= static_cast<int>(bytes.size() - at) ? ALPHABET[(group >> (18 - 6 * k)) & 63] : L'=';
    }
    ASSERT_GT(encoded.size(), 32767u);
    EXPECT_EQ(Utf8(FirstWebAddress(LaunchedText(L"-enc " + encoded))), "");
    // The same script, short enough, is read.
    EXPECT_EQ(Utf8(FirstWebAddress(LaunchedText(L"-enc " + encoded.substr(0, 104)))), "https://long.example/");
}
