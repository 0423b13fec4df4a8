// The review as text, in the audit's manner: a heading, one group per kind of
// finding with its items indented by two spaces, then advice for what was found.
// Every text that comes from a file or the registry is masked.
#include "review/review.h"

#include <algorithm>

namespace {

std::wstring Label(const ProfilePlace& place) {
    return ProfileLabel(place.browser, place.profile);
}

void WriteItem(const CleanupOptions& options, const std::wstring& label, const std::wstring& text) {
    WriteLine(options, FormatWide(L"  [%ls] %ls", label.c_str(), text.c_str()));
}

// A finding's line, with its id at the end when PopSwat can fix it, for
// "popswat --fix=<id>" ("  [Chrome] may open pop-ups: https://a.example [a1b2c3d4e5f6]").
template <typename Finding>
void WriteFinding(const CleanupOptions& options,
                  const Finding& finding,
                  const std::wstring& label,
                  const std::wstring& text) {
    if (FixFor(finding).kind)
        WriteItem(options, label, text + L" [" + FindingId(finding) + L"]");
    else
        WriteItem(options, label, text);
}

// A group: its heading, its items or one line saying there are none, what
// writeAfter writes, an empty line.
template <typename Finding, typename Write, typename WriteAfter>
void WriteGroup(const CleanupOptions& options,
                const wchar_t* heading,
                const std::vector<Finding>& items,
                Write write,
                WriteAfter writeAfter) {
    WriteLine(options, heading);
    for (const Finding& item : items)
        write(item);
    if (items.empty())
        WriteLine(options, L"  Nothing found.");
    writeAfter();
    WriteLine(options, L"");
}

template <typename Finding, typename Write>
void WriteGroup(const CleanupOptions& options, const wchar_t* heading, const std::vector<Finding>& items, Write write) {
    WriteGroup(options, heading, items, write, [] {});
}

const wchar_t* AllowedText(SitePermission permission) {
    switch (permission) {
        case SitePermission::Notifications:
            return L"show notifications";
        case SitePermission::Popups:
            return L"open pop-ups";
        case SitePermission::AutomaticDownloads:
            break;
    }
    return L"download files on its own";
}

std::wstring SiteText(const SitePermissionFinding& finding) {
    const wchar_t* allowed = AllowedText(finding.grant.permission);
    if (finding.grant.allSites)
        return std::wstring(L"every site may ") + allowed;
    return std::wstring(L"may ") + allowed + L": " + MaskUnsafeCharacters(SiteOrigin(finding.grant.site));
}

std::wstring StartupText(const StartupFinding& finding) {
    std::wstring source = MaskUnsafeCharacters(finding.source);
    std::wstring value = MaskUnsafeCharacters(finding.value);
    switch (finding.kind) {
        case StartupKind::StartupPage:
            return L"opens at every start (" + source + L"): " + value;
        case StartupKind::HomePage:
            return source == L"user.js" ? L"home page, set again at every start (user.js): " + value
                                        : L"home page (" + source + L"): " + value;
        case StartupKind::SearchEngine:
            break;
    }
    std::wstring name = finding.label.empty() ? std::wstring() : MaskUnsafeCharacters(finding.label) + L" -- ";
    return L"search engine (" + source + L"): " + name + value;
}

}  // namespace

const wchar_t* InstalledByText(InstalledBy installedBy) {
    switch (installedBy) {
        case InstalledBy::Store:
            return L"from a web store";
        case InstalledBy::File:
            return L"installed from a file";
        case InstalledBy::OtherProgram:
            return L"installed by another program";
        case InstalledBy::Unpacked:
            return L"unpacked (developer mode)";
        case InstalledBy::BuiltIn:
            return L"part of the browser";
        case InstalledBy::Policy:
            return L"forced by a policy";
        case InstalledBy::CommandLine:
            return L"loaded from the command line";
        case InstalledBy::ComputerMaker:
            return L"installed by the computer's maker";
        case InstalledBy::Unknown:
            break;
    }
    return L"installed in an unknown way";
}

namespace {

const wchar_t* OverrideText(ExtensionOverride bit) {
    switch (bit) {
        case OVERRIDES_HOME_PAGE:
            return L"the home page";
        case OVERRIDES_STARTUP_PAGES:
            return L"the start-up pages";
        case OVERRIDES_NEW_TAB:
            return L"the new tab page";
        case OVERRIDES_SEARCH_ENGINE:
            break;
    }
    return L"the search engine";
}

std::wstring ExtensionText(const ExtensionFinding& finding) {
    std::wstring text = InstalledByText(finding.installedBy);
    const wchar_t* separator = L"; takes over ";
    for (ExtensionOverride bit :
         {OVERRIDES_HOME_PAGE, OVERRIDES_STARTUP_PAGES, OVERRIDES_NEW_TAB, OVERRIDES_SEARCH_ENGINE}) {
        if (finding.overrides & bit) {
            text += separator;
            text += OverrideText(bit);
            separator = L", ";
        }
    }
    if (!finding.enabled)
        text += L"; turned off";
    text += L": " + (finding.name.empty() ? std::wstring(L"(unknown)") : MaskUnsafeCharacters(finding.name));
    if (!finding.version.empty())
        text += L"  v" + MaskUnsafeCharacters(finding.version);
    text += L" (" + MaskUnsafeCharacters(finding.id) + L")";
    if (!finding.registeredAt.empty())
        text += L", registered in " + MaskUnsafeCharacters(finding.registeredAt);
    return text;
}

const wchar_t* EffectText(PolicyEffect effect) {
    switch (effect) {
        case PolicyEffect::ForcesExtension:
            return L"forces an extension onto the browser: ";
        case PolicyEffect::ControlsExtensions:
            return L"decides which extensions are installed: ";
        case PolicyEffect::HomePage:
            return L"sets the home page: ";
        case PolicyEffect::StartupPages:
            return L"sets the start-up pages: ";
        case PolicyEffect::NewTabPage:
            return L"sets the new tab page: ";
        case PolicyEffect::SearchEngine:
            return L"sets the search engine: ";
        case PolicyEffect::Other:
            break;
    }
    return L"";
}

std::wstring PolicyText(const PolicyFinding& finding) {
    return EffectText(finding.effect) + MaskUnsafeCharacters(finding.name) + L" = " +
           MaskUnsafeCharacters(finding.value);
}

// Why a file that exists was not used (JsonLoad::Done and JsonLoad::Missing never reach the report).
const wchar_t* ReasonText(JsonLoad reason) {
    switch (reason) {
        case JsonLoad::Unreadable:
            return L"could not be opened or read";
        case JsonLoad::TooLarge:
            return L"too large to read";
        case JsonLoad::NotJson:
            return L"not valid JSON";
        case JsonLoad::TooDeep:
            return L"nested too deeply";
        case JsonLoad::NotAnObject:
            return L"not a JSON object";
        case JsonLoad::Locked:
            return L"locked by another program";
        case JsonLoad::NotADatabase:
            return L"not an SQLite database";
        case JsonLoad::Damaged:
            return L"damaged";
        case JsonLoad::OtherShape:
            return L"not in the shape the browser writes";
        case JsonLoad::Done:
        case JsonLoad::Missing:
            break;
    }
    return L"";
}

const wchar_t* LauncherKindText(LauncherKind kind) {
    switch (kind) {
        case LauncherKind::Shortcut:
            return L"shortcut";
        case LauncherKind::StartupItem:
            return L"Startup folder";
        case LauncherKind::RunValue:
            return L"Run key";
        case LauncherKind::ScheduledTask:
            break;
    }
    return L"scheduled task";
}

// The program's file name as stored: "cmd", "rundll32.exe".
std::wstring ProgramName(const std::wstring& program) {
    return program.substr(program.find_last_of(L"\\/") + 1);
}

// The folders of the first "--load-extension=<folders>" argument.
std::wstring ExtensionFolders(const std::wstring& arguments) {
    for (const CommandArgument& argument : SplitArguments(arguments)) {
        if (IsLoadExtensionArgument(argument.text))
            return argument.text.substr(argument.text.find(L'=') + 1);
    }
    return std::wstring();
}

// What a browser is started to do: "opens https://ad.example/ and loads an
// extension from C:\x", "sends web traffic through 127.0.0.1:8080", ...
std::wstring BrowserLaunchText(const LauncherFinding& finding) {
    std::vector<std::wstring> parts;
    if (!finding.url.empty())
        parts.push_back((finding.opensAsApp ? L"opens a site as an app: " : L"opens ") + finding.url);
    if (!finding.homePage.empty())
        parts.push_back(L"sets the home page to " + finding.homePage);
    if (finding.loadsExtension)
        parts.push_back(L"loads an extension from " + ExtensionFolders(finding.arguments));
    if (!finding.trafficThrough.empty())
        parts.push_back(L"sends web traffic through " + finding.trafficThrough);
    std::wstring text;
    for (const std::wstring& part : parts)
        text += (text.empty() ? L"" : L" and ") + part;
    return text;
}

// "Google Chrome opens https://ad.example/", "cmd opens https://ad.example/",
// "named after Firefox but starts C:\x\run.vbs", ..., after where it is; masked.
std::wstring LauncherText(const LauncherFinding& finding) {
    std::wstring text;
    if (finding.namedAfterBrowser) {
        text = L"named after " + finding.browser + L" but starts " + finding.program;
        if (!finding.url.empty())
            text += L", which opens " + finding.url;
    } else if (!finding.browser.empty()) {
        text = finding.browser + L" " + BrowserLaunchText(finding);
    } else if (finding.program.empty() || finding.program == finding.url) {
        text = L"opens " + finding.url;  // an internet shortcut, or a command that is a web address
    } else {
        text = ProgramName(finding.program) + L" opens " + finding.url;
    }
    std::wstring line = finding.location + L": " + text;
    if (finding.kind == LauncherKind::ScheduledTask)
        line += std::wstring(finding.enabled ? L" (enabled; " : L" (disabled; ") + finding.trigger + L")";
    return MaskUnsafeCharacters(line);
}

// Firefox's own proxy, from a profile's prefs.js or user.js ("network.proxy.http").
bool IsFirefoxProxy(const ProxySetting& setting) {
    return setting.setting.rfind(L"network.proxy.", 0) == 0;
}

bool IsProxyScript(const ProxySetting& setting) {
    return setting.setting == L"AutoConfigURL" || setting.setting == L"network.proxy.autoconfig_url";
}

std::wstring ProxyText(const ProxySetting& setting) {
    std::wstring text =
        setting.location +
        (IsProxyScript(setting) ? L": web traffic goes where this script sends it: " : L": web traffic goes through ") +
        setting.value;
    if (IsFirefoxProxy(setting))
        text += L" (Firefox's " + setting.setting + L")";
    return MaskUnsafeCharacters(text);
}

// What the launcher finders (proxy false) or the proxy finder could not read.
void WriteProblems(const CleanupOptions& options, const std::vector<LauncherProblem>& problems, bool proxy) {
    for (const LauncherProblem& problem : problems) {
        if (problem.proxy == proxy)
            WriteItem(options, L"could not be read", MaskUnsafeCharacters(problem.where + L": " + problem.why));
    }
}

bool HasLauncher(const ReviewFindings& findings, std::initializer_list<LauncherKind> kinds) {
    for (const LauncherFinding& finding : findings.launchers) {
        for (LauncherKind kind : kinds) {
            if (finding.kind == kind)
                return true;
        }
    }
    return false;
}

void WriteLines(const CleanupOptions& options, std::initializer_list<const wchar_t*> lines) {
    for (const wchar_t* line : lines)
        WriteLine(options, line);
}

void WriteAdvice(const CleanupOptions& options, const ReviewFindings& findings) {
    WriteLine(options, L"What you can do:");
    WriteLines(options, {L"- Sites: \"popswat --reset-permissions\" takes back what sites were allowed to do",
                         L"  in Chrome, Edge, Brave, Vivaldi, Opera and Firefox, or remove them in the browser's",
                         L"  site settings (chrome://settings/content, edge://settings/content; in Firefox,",
                         L"  Settings > Privacy & Security > Permissions)."});
    if (!findings.startup.empty())
        WriteLines(options, {L"- Start-up and home pages, search engines: \"popswat --fix\" gives those that no",
                             L"  policy or extension sets back to the browser's own (also a home page or proxy",
                             L"  in Firefox's user.js, which comes back at every start, and prefs.js). Remove an",
                             L"  extension that takes them over first; a policy sets them until it is deleted."});
    if (!findings.extensions.empty())
        WriteLines(options, {L"- Extensions: remove the ones you do not recognise on the extensions page",
                             L"  (chrome://extensions, edge://extensions, about:addons). One installed by another",
                             L"  program comes back until that program is uninstalled in Windows' settings."});
    if (std::any_of(findings.extensions.begin(), findings.extensions.end(),
                    [](const ExtensionFinding& f) { return FixFor(f).kind != nullptr; }))
        WriteLines(options,
                   {L"  For one registered where named above, \"popswat --fix\" deletes the registration of one",
                    L"  that takes over a page and \"popswat --fix=<id>\" that of any other (kept to put back);",
                    L"  the browser removes the extension at its next start."});
    if (!findings.policies.empty())
        WriteLines(options,
                   {L"- Policies: on a computer that no organisation manages, adware most likely wrote",
                    L"  them. Uninstall the program that did, or delete the values named above from",
                    L"  HKEY_LOCAL_MACHINE\\SOFTWARE\\Policies (machine) or HKEY_CURRENT_USER\\SOFTWARE\\Policies",
                    L"  (user), in regedit."});
    if (std::any_of(findings.policies.begin(), findings.policies.end(),
                    [](const PolicyFinding& f) { return !f.file.empty(); }))
        WriteLines(options,
                   {L"  Firefox also reads the policies.json named above, beside firefox.exe: \"popswat --fix\"",
                    L"  moves one that sets only pages, search engines or forced extensions into PopSwat's",
                    L"  backups, and \"popswat --fix=<id>\" one that also sets other policies (they go with it)."});
    // An organisation may have set a policy: only the person who names it fixes it.
    if (std::any_of(findings.policies.begin(), findings.policies.end(),
                    [](const PolicyFinding& f) { return f.file.empty() && FixFor(f).kind != nullptr; }))
        WriteLines(options,
                   {L"  \"popswat --fix=<id>\" deletes one that shows an id (kept to put back); \"popswat --fix\"",
                    L"  alone leaves policies as they are, since an organisation may have set them."});
    if (!findings.unreadable.empty())
        WriteLines(options, {L"- Files that could not be read: close the browser and run the review again."});
    // Only what the repair would change is promised to it: "--app=" stays, a
    // shortcut named after a browser that starts something else is not a
    // browser's, and a read-only one is kept as it is.
    bool repairable = std::any_of(findings.launchers.begin(), findings.launchers.end(), [](const LauncherFinding& f) {
        return ShortcutRepairWouldChange(f) && !ShortcutRepairKeepsFile(f.location);
    });
    if (HasLauncher(findings, {LauncherKind::Shortcut}))
        WriteLines(
            options,
            {L"- Shortcuts: in the shortcut's Properties, take the web address or --load-extension out",
             L"  of its Target, or delete it; delete a shortcut named after a browser that starts",
             repairable
                 ? L"  something else. \"popswat --fix\" or --repair-shortcuts fixes browser shortcuts and keeps a"
                 : L"  something else."});
    if (HasLauncher(findings, {LauncherKind::Shortcut}) && repairable)
        WriteLines(options, {L"  copy of each."});
    else if (repairable)
        WriteLines(options, {L"- Browser shortcuts in a Startup folder: \"popswat --fix\" or --repair-shortcuts fixes",
                             L"  them and keeps a copy of each."});
    if (HasLauncher(findings, {LauncherKind::StartupItem, LauncherKind::RunValue}))
        WriteLines(options,
                   {L"- Start-up entries: turn them off in Settings > Apps > Startup or on Task Manager's Startup",
                    L"  tab, or delete the item from the Startup folder named above; a Run value is deleted in",
                    L"  regedit under the key named above. \"popswat --fix\" deletes such a Run value or moves the",
                    L"  item out of the Startup folder, each kept to put back with \"popswat --undo\"."});
    if (HasLauncher(findings, {LauncherKind::ScheduledTask}))
        WriteLines(options, {L"- Scheduled tasks: open Task Scheduler (taskschd.msc), find the task by the path named",
                             L"  above under Task Scheduler Library, and disable or delete it. \"popswat --fix\" turns",
                             L"  such a task off without deleting it, kept to turn on again with \"popswat --undo\"."});
    bool firefoxProxy = std::any_of(findings.proxy.begin(), findings.proxy.end(), IsFirefoxProxy);
    if (findings.proxy.size() >
        static_cast<std::size_t>(std::count_if(findings.proxy.begin(), findings.proxy.end(), IsFirefoxProxy)))
        WriteLines(options, {L"- Proxy: keep it only if an organisation or you set it up; otherwise turn it off in",
                             L"  Settings > Network & internet > Proxy, or with \"popswat --fix=<id>\" (kept to put",
                             L"  back); \"popswat --fix\" alone leaves it as it is."});
    if (firefoxProxy)
        WriteLines(options,
                   {L"- Firefox's proxy: keep it only if an organisation or you set it up; otherwise choose",
                    L"  \"No proxy\" or \"Use system proxy settings\" in Firefox's Settings > General > Network",
                    L"  Settings. One set in user.js comes back at every start: delete its lines from user.js."});
    if (!findings.launcherProblems.empty())
        WriteLines(options,
                   {L"- Shortcuts, tasks and settings that could not be read: look at them where named above."});
}

}  // namespace

void WriteReviewReport(const CleanupOptions& options, const ReviewFindings& findings) {
    WriteLine(options, L"What can bring pop-ups back (nothing is changed):");
    WriteLine(options, L"");
    WriteGroup(options, L"Sites allowed to show notifications, open pop-ups or download on their own:",
               findings.sitePermissions,
               [&](const SitePermissionFinding& f) { WriteFinding(options, f, Label(f.place), SiteText(f)); });
    WriteGroup(options, L"Start-up pages, home pages and search engines that are not the browser's own:",
               findings.startup,
               [&](const StartupFinding& f) { WriteFinding(options, f, Label(f.place), StartupText(f)); });
    WriteGroup(options, L"Extensions that take over a page or were not installed from a web store:",
               findings.extensions,
               [&](const ExtensionFinding& f) { WriteFinding(options, f, Label(f.place), ExtensionText(f)); });
    WriteGroup(options, L"Browser policies:", findings.policies, [&](const PolicyFinding& f) {
        WriteFinding(options, f,
                     f.file.empty() ? f.browser + (f.machine ? L", machine" : L", user")
                                    : f.browser + L", " + MaskUnsafeCharacters(f.file),
                     PolicyText(f));
    });
    if (!findings.unreadable.empty()) {
        WriteGroup(options, L"Files that could not be read:", findings.unreadable, [&](const UnreadableFile& f) {
            WriteItem(options, Label(f.place), f.file + L": " + ReasonText(f.reason));
        });
    }
    WriteGroup(
        options, L"Programs and shortcuts that open a browser with a web page:", findings.launchers,
        [&](const LauncherFinding& f) { WriteFinding(options, f, LauncherKindText(f.kind), LauncherText(f)); },
        [&] {
            WriteProblems(options, findings.launcherProblems, false);
            // Where the service cannot list its tasks, the review says that it read the files the service keeps.
            if (findings.taskSource == TaskSource::Files)
                WriteLine(options, L"  (Scheduled tasks were read from their files in " +
                                       MaskUnsafeCharacters(findings.taskFilesFolder) +
                                       L": the Task Scheduler could not list them.)");
        });
    WriteGroup(
        options, L"Proxy settings that web traffic goes through:", findings.proxy,
        [&](const ProxySetting& f) {
            WriteFinding(options, f, IsProxyScript(f) ? L"proxy script" : L"proxy server", ProxyText(f));
        },
        [&] { WriteProblems(options, findings.launcherProblems, true); });
    WriteAdvice(options, findings);
}
