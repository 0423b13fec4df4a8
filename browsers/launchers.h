// What starts a browser with a web page from outside the browser: shortcuts,
// Startup-folder items, Run and RunOnce values, scheduled tasks, and the proxy
// settings that send every page through another program. Read-only: the rules
// (plain functions over text) and the finders, which take their folders and
// registry roots as parameters. Unlike the readers of browsers.h, the finders
// decide what counts: the review and the shortcut repair (engine/) must agree.
#pragma once

#include <windows.h>

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "base/windows_launch_sources.h"
#include "browsers/browsers.h"

// ---- Rules ---------------------------------------------------------------------------

// One argument of a command line: its text with quotes and escapes resolved,
// and where it stands in the line as stored.
struct CommandArgument {
    std::wstring text;
    std::size_t begin = 0;
    std::size_t end = 0;         // one past its last character
    bool unclosedQuote = false;  // a quote opened in it never closes: it runs to the end of the line
};

struct CommandLine {
    std::wstring program;    // the first token, quotes removed
    std::wstring arguments;  // the rest as stored, leading spaces dropped
};

// Splits a command line as Windows reads the program's name: a quoted first
// token ends at the next quote, an unquoted one at the first space or tab.
CommandLine SplitCommandLine(std::wstring_view line);
// Splits a command line as CreateProcessW finds its program: a quoted one as
// SplitCommandLine does; unquoted, each blank in turn may end the program's path
// ("C:\Program Files\Vendor\app.exe /x" tries "C:\Program", then
// "C:\Program Files\Vendor\app.exe", ...), ".exe" added to a name without an
// ending. The first that names an existing file wins, else the first whose file
// name is a catalogue browser's image, else the first token.
CommandLine SplitLaunchedCommandLine(std::wstring_view line);
// The arguments as CommandLineToArgvW separates them (2n backslashes and a
// quote: n backslashes, the quote opens or closes; 2n+1: n and a literal quote;
// "" inside quotes: a literal quote).
std::vector<CommandArgument> SplitArguments(std::wstring_view arguments);
// The program and arguments as one line: the program quoted when it holds a space.
std::wstring JoinCommand(const std::wstring& program, const std::wstring& arguments);

// True for an argument that is a web address: it begins with "http:", "https:",
// "ftp:", "data:", "chrome-extension:" or "moz-extension:", or it is a host name
// with a dot ("ad.example", "www.x.com/path", "m\u00fcnchen.example",
// "xn--e1afmkfd.xn--p1ai"), an IPv4 address ("203.0.113.7:8080/x") or an IPv6
// address ("[2001:db8::1]/x", "2001:db8::1"). A file path ("C:\x.exe", "x.exe",
// "folder\x"), a switch ("--app-id=..."), "javascript:..." or a name without a
// dot is not.
bool IsWebAddress(std::wstring_view argument);
// The first web address among the arguments: an argument that is one, the value
// of "--app=", or one written inside a longer argument ("Start-Process 'https://x'");
// "" when there is none.
std::wstring FirstWebAddress(std::wstring_view arguments);
// The arguments as what they run: PowerShell's -EncodedCommand (also -enc, -e,
// -ec or any other start of its name, after "-", "--" or "/") and its base64
// value are replaced by the script it stands for, decoded from UTF-16LE as
// PowerShell decodes it, so that its addresses count as written; everything else
// as stored. A value PowerShell refuses (bad base64, missing padding), one longer
// than a command line, or bytes that are no text (control characters) stay as stored.
std::wstring LaunchedText(std::wstring_view arguments);
// The first http://, https:// or ftp:// address written anywhere in a text (a
// script's), up to a blank, a quote, a bracket or a line end; "" for none.
std::wstring WebAddressInText(std::wstring_view text);
// True for "--load-extension=<folders>" (also with "-" or "/" before the name):
// the browser loads unpacked extensions from there. Chromium reads switch names
// without regard to case.
bool IsLoadExtensionArgument(std::wstring_view argument);
// The address of "--app=<address>": the browser opens that site as an app.
std::wstring AppAddress(std::wstring_view argument);

// The catalogue row whose image the program is (its file name, ASCII case
// ignored, ".exe" implied); nullptr for any other program.
const BrowserEntry* BrowserOfProgram(std::wstring_view program);
// True for the programs that open a web address given to them: cmd, explorer,
// rundll32 (url.dll,FileProtocolHandler), mshta, powershell (and PowerShell 7's
// pwsh), wscript, cscript.
bool IsLauncherProgram(std::wstring_view program);
// True for what a shortcut named after a browser must not start: cmd, wscript,
// cscript, mshta, powershell, pwsh, or a .bat, .cmd, .vbs, .js, .wsf or .hta file.
bool IsScriptRunner(std::wstring_view program);
// True for a script file: .bat, .cmd, .vbs, .js, .wsf, .hta.
bool IsScriptFile(std::wstring_view path);
// The catalogue row a shortcut's file name (".lnk" dropped) is named after: it
// holds the display name ("Google Chrome.lnk") or the browser's own name as a
// word ("Firefox.lnk", "Chrome (2).lnk"); the longest match wins; nullptr for none.
const BrowserEntry* BrowserNamedIn(std::wstring_view fileName);

// What one argument of a browser's command line does, as that browser reads it.
// One reading for what the review names and what the shortcut repair takes out.
enum class ArgumentRole {
    Kept,           // anything else, and a switch's own value: stays
    WebAddress,     // an address the browser opens: removed
    AddressSwitch,  // Firefox's "-url", "-new-tab" or "-new-window" before a removed address: removed with it
    HomePage,       // "--homepage=<address>": removed
    LoadExtension,  // "--load-extension=<folders>": removed
    // "--disable-extensions-except=<folders>" that names only folders a removed
    // "--load-extension=" loads: removed with them (left alone, it would turn off
    // every other extension, an ad blocker too, at each start)
    OnlyLoadedExtensions,
    TrafficSwitch,  // "--proxy-server=", "--proxy-pac-url=", "--host-resolver-rules=": removed
    App,            // "--app=<address>": opens the site as an app; named, but it stays
};

struct BrowserArgument {
    CommandArgument argument;
    ArgumentRole role = ArgumentRole::Kept;
    std::wstring value;  // the address, the folders or where traffic goes; "" for Kept and AddressSwitch
};

// True for the roles the shortcut repair takes out.
bool IsRemovedRole(ArgumentRole role);
// The role of one argument read on its own, without the ones around it: Kept,
// WebAddress, HomePage, LoadExtension, TrafficSwitch or App; *value as in
// BrowserArgument.
ArgumentRole RoleOfArgument(std::wstring_view argument, std::wstring* value);

// The arguments of a browser as the browser reads them. Chromium-family
// browsers take a switch's value after "=" (a separate argument is an address
// to open); Firefox also takes the next argument as the value of -P, -profile,
// -CreateProfile, -search, -window-size and the like ("-P Work.Home" names a
// profile, not a site). An argument with a quote that never closes, a
// "javascript:" address and an address inside a switch's value are no address
// to open. Switch names are read without regard to ASCII case, after "--", "-"
// or "/".
std::vector<BrowserArgument> ReadBrowserArguments(const BrowserEntry& browser, std::wstring_view arguments);

// The browser's arguments without those of a removed role, everything else kept
// as stored; "--app=" and profile arguments stay. *removed gets the text of each
// argument that went (not the "-url" before an address). A program that is no
// catalogue browser keeps its arguments.
std::wstring ArgumentsWithoutWebAddresses(std::wstring_view program,
                                          const std::wstring& arguments,
                                          std::vector<std::wstring>* removed);

// "at log-on", "at start-up", "every 30 minutes", "daily at 10:00", "every 2 days
// at 10:00", "weekly at 08:15", "once at 2024-01-01 10:00", "other"; a repeating
// log-on, start-up, daily or weekly trigger adds ", then every ..."; a disabled
// one adds " (disabled)".
std::wstring TriggerPhrase(const TaskTrigger& trigger);
// The phrases of all triggers joined by "; "; "no trigger" for none.
std::wstring TriggersPhrase(const std::vector<TaskTrigger>& triggers);

// ---- Findings ---------------------------------------------------------------------------

enum class LauncherKind { Shortcut, StartupItem, RunValue, ScheduledTask };

struct LauncherFinding {
    LauncherKind kind = LauncherKind::Shortcut;
    // The file's path, the registry key and value name
    // ("HKEY_CURRENT_USER\Software\...\Run\Updater") or the task's path.
    std::wstring location;
    std::wstring command;    // program and arguments as stored (a .url: its address; a script: its path)
    std::wstring program;    // the program's path as stored
    std::wstring arguments;  // as stored
    std::wstring browser;    // the catalogue's display name, or ""
    std::wstring url;        // the first web address found, or ""
    bool enabled = true;     // false only for a disabled task
    std::wstring trigger;    // tasks only: TriggersPhrase
    bool opensAsApp = false;
    bool loadsExtension = false;
    bool namedAfterBrowser = false;  // a shortcut named after a browser that starts something else
    std::wstring homePage;           // what "--homepage=" sets, or ""
    std::wstring trafficThrough;     // where "--proxy-server=" and the like send web traffic, or ""
    // Tasks only: who the task runs as (ScheduledTask::runsAs and runsAsGroup).
    std::wstring runsAs;
    bool runsAsGroup = false;
};

struct ProxySetting {
    std::wstring setting;  // "ProxyServer" or "AutoConfigURL"
    std::wstring value;
    std::wstring location;  // the registry key and value name
};

// Something that could not be read, with where it is and why.
struct LauncherProblem {
    std::wstring where;
    std::wstring why;
    bool proxy = false;  // one of the proxy settings' values or their key
};

struct LauncherFindings {
    std::vector<LauncherFinding> launchers;
    std::vector<ProxySetting> proxy;
    std::vector<LauncherProblem> problems;
    TaskSource taskSource = TaskSource::None;  // where the scheduled tasks were read from
    std::wstring taskFilesFolder;              // the folder of task files, when read from there
};

// Why a shortcut could not be read ("a link, not followed", "corrupt or not a
// shortcut (0x80004005)", ...); "" when it was read or is gone.
std::wstring ShortcutReadProblem(const ShortcutReading& reading);

// ---- Finders --------------------------------------------------------------------------

// Each folder given is walked with these limits, counted over its whole tree;
// a walk cut short by either says so in one problem per folder given.
struct FolderWalkLimits {
    int maxDepth = 8;                // levels of folders below each folder given
    std::size_t maxEntries = 10000;  // entries looked at in each folder given and below it, in all
};

// Shortcuts (.lnk) in the folders and below them, never through reparse points
// and never into a folder of skipFolders; a shortcut to a shortcut is read as it
// is. Findings: a browser started with a web address, "--load-extension=" or
// "--app=", and a shortcut named after a browser that starts a script runner.
void FindShortcutLaunchers(const std::vector<std::wstring>& folders,
                           const std::vector<std::wstring>& skipFolders,
                           const FolderWalkLimits& limits,
                           LauncherFindings* findings);
// Startup-folder items of any kind, these folders only: shortcuts as above and
// also one that starts a launcher with a web address, internet shortcuts (.url)
// with a web address, scripts whose text holds one (looked at, never run).
void FindStartupItems(const std::vector<std::wstring>& folders, LauncherFindings* findings);

// The registry roots of the Run values and the proxy settings; tests pass keys
// of their own. A null root is not looked at.
struct LauncherRegistryRoots {
    HKEY machine = nullptr;
    HKEY user = nullptr;
};
// Run and RunOnce values under both roots (the machine's also through
// WOW6432Node): a command that starts a browser or a launcher with a web
// address, or is a web address itself. Each command is read as Windows starts
// it: a REG_EXPAND_SZ value expanded first (its command stays as stored), the
// program found as CreateProcessW finds it (SplitLaunchedCommandLine). A value
// of another type, or longer than any command line, is a problem.
void FindRunValues(const LauncherRegistryRoots& roots, LauncherFindings* findings);
// True for a key below a root (the machine's or the user's) that FindRunValues reads.
bool IsRunValueKey(bool machine, const std::wstring& key);
// The user's proxy: ProxyServer when ProxyEnable is not 0, and AutoConfigURL.
void FindProxySettings(HKEY user, LauncherFindings* findings);
// The task's exec actions that start a browser or a launcher with a web
// address, each a finding with the task's path, whether it is on and its
// triggers; the task as ReadTaskDefinition reads its definition.
void JudgeScheduledTask(const ScheduledTask& task, LauncherFindings* findings);
// Exec actions of scheduled tasks in the folder and below that start a browser
// or a launcher with a web address, read as ReadScheduledTasks reads them (from
// the task files below taskFilesFolder where the service cannot list them).
void FindScheduledTaskLaunchers(const std::wstring& taskFolder,
                                const std::wstring& taskFilesFolder,
                                const TaskLimits& limits,
                                LauncherFindings* findings);

// An extension another program registered for a browser to install at its next
// start: a Chromium-family browser's Software\[WOW6432Node\]<vendor>\<browser>\Extensions\<id>
// key (with all its values), or a value of Firefox's Software\[WOW6432Node\]Mozilla\Firefox\Extensions
// named by the add-on's id.
struct ExtensionRegistration {
    bool machine = false;  // below HKEY_LOCAL_MACHINE; otherwise HKEY_CURRENT_USER
    std::wstring key;      // below the root
    std::wstring name;     // Firefox: the value's name; "" for a Chromium key
};
// Where the extension with that id is registered for the browser, below both roots (the user's first).
std::vector<ExtensionRegistration> FindExtensionRegistrations(const BrowserEntry& browser,
                                                              const std::wstring& id,
                                                              const LauncherRegistryRoots& roots);
// "HKEY_CURRENT_USER\<key>", with "\<name>" for a value.
std::wstring ExtensionRegistrationText(const ExtensionRegistration& registration);
// True for a place FindExtensionRegistrations can name, of any catalogue browser.
bool IsExtensionRegistrationPlace(const ExtensionRegistration& place);
// The registration ExtensionRegistrationText made that text of; false for any other place.
bool ParseExtensionRegistration(const std::wstring& text, ExtensionRegistration* registration);

// Where a run looks; LauncherSources() looks nowhere.
struct LauncherSources {
    std::vector<std::wstring> shortcutFolders;
    std::vector<std::wstring> startupFolders;
    LauncherRegistryRoots registry;
    std::wstring taskFolder;       // "" to leave tasks out
    std::wstring taskFilesFolder;  // where the service keeps the task files; "" to read none
};

// The user's and the public Desktop, the Start menu's Programs folders (user and
// all users) and the Startup folders, from the known folders; the taskbar's
// pinned items (User Pinned\TaskBar and \StartMenu below %APPDATA%);
// HKEY_LOCAL_MACHINE and HKEY_CURRENT_USER; every task folder, with the
// system's task files (SystemTaskFilesFolder).
LauncherSources SystemLauncherSources();

// Everything above, in this order: Startup items, shortcuts (the Startup folders
// skipped), Run values, scheduled tasks, proxy. Initialises COM on this thread.
LauncherFindings FindLaunchers(const LauncherSources& sources);
