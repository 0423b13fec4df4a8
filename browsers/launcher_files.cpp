// Shortcuts in the Desktop, Start menu and taskbar folders, and the items of
// the Startup folders, read but never started or followed.
#include "browsers/launcher_internal.h"

namespace {

std::wstring FileNameOf(const std::wstring& path) {
    std::size_t slash = path.find_last_of(L'\\');
    return slash == std::wstring::npos ? path : path.substr(slash + 1);
}

void AddProblem(LauncherFindings* findings, const std::wstring& where, const std::wstring& why) {
    findings->problems.push_back({where, why});
}

std::wstring FileProblem(FileRead read) {
    switch (read) {
        case FileRead::TooLarge:
            return FormatWide(L"larger than %llu MB, not read",
                              static_cast<unsigned long long>(MAX_SMALL_TEXT_FILE_BYTES >> 20));
        case FileRead::Unreadable:
            return L"could not be read";
        case FileRead::Done:
        case FileRead::Missing:
            break;
    }
    return std::wstring();
}

// A shortcut's finding, when it is one; launchers count in the Startup folders.
void LookAtShortcut(const std::wstring& path, LauncherKind kind, LauncherFindings* findings) {
    ShortcutReading reading = ReadShortcut(path);
    if (reading.result != ShortcutRead::Done) {
        std::wstring why = ShortcutReadProblem(reading);
        if (!why.empty())
            AddProblem(findings, path, why);
        return;
    }
    LauncherFinding finding;
    finding.kind = kind;
    finding.location = path;
    finding.program = reading.fields.target;
    finding.arguments = reading.fields.arguments;
    finding.command = JoinCommand(finding.program, finding.arguments);
    if (MarkLaunch(&finding, kind == LauncherKind::StartupItem)) {
        findings->launchers.push_back(std::move(finding));
        return;
    }
    // Named after a browser, it starts a script, or a launcher (rundll32
    // url.dll,FileProtocolHandler, explorer) that opens an address in whatever
    // browser is the default.
    const BrowserEntry* namedAfter = BrowserNamedIn(FileNameOf(path));
    finding.url = FirstWebAddress(LaunchedText(finding.arguments));
    bool launchesAddress = IsLauncherProgram(finding.program) && !finding.url.empty();
    if (namedAfter && (IsScriptRunner(finding.program) || launchesAddress)) {
        finding.namedAfterBrowser = true;
        finding.browser = namedAfter->displayName;
        findings->launchers.push_back(std::move(finding));
    }
}

// An internet shortcut or a script in a Startup folder, when it opens a web address.
void LookAtStartupText(const std::wstring& path, bool internetShortcut, LauncherFindings* findings) {
    std::wstring text;
    FileRead read = ReadSmallTextFile(path, &text);
    if (read != FileRead::Done) {
        std::wstring why = FileProblem(read);
        if (!why.empty())
            AddProblem(findings, path, why);
        return;
    }
    LauncherFinding finding;
    finding.kind = LauncherKind::StartupItem;
    finding.location = path;
    if (internetShortcut) {
        std::wstring url = InternetShortcutUrl(text);
        if (!IsWebAddress(url))
            return;
        finding.command = url;
        finding.url = url;
    } else {
        finding.url = WebAddressInText(text);
        if (finding.url.empty())
            return;
        finding.program = path;
        finding.command = path;
    }
    findings->launchers.push_back(std::move(finding));
}

struct ShortcutWalk {
    const std::vector<std::wstring>& skipFolders;  // full paths
    const FolderWalkLimits& limits;
    LauncherFindings* findings;
    std::size_t entries = 0;
    bool cut = false;
    bool tooDeep = false;  // a folder at the deepest level holds folders that were not entered
};

bool IsSkipped(const ShortcutWalk& walk, const std::wstring& folder) {
    for (const std::wstring& skip : walk.skipFolders) {
        if (SamePath(skip, folder))
            return true;
    }
    return false;
}

void WalkShortcuts(ShortcutWalk& walk, const std::wstring& folder, int depth) {
    std::vector<std::wstring> subfolders;
    ForEachFolderEntry(folder, [&](const std::wstring& name, uint32_t attributes) {
        if (walk.cut || ++walk.entries > walk.limits.maxEntries) {
            walk.cut = true;
            return;
        }
        std::wstring path = folder + L"\\" + name;
        // A folder link (or a loop of them) is never entered; a folder named "x.lnk" is no shortcut.
        if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
            if (!(attributes & FILE_ATTRIBUTE_REPARSE_POINT))
                subfolders.push_back(path);
        } else if (EndsWithIgnoringAsciiCase(name, L".lnk")) {
            LookAtShortcut(path, LauncherKind::Shortcut, walk.findings);
        }
    });
    if (depth >= walk.limits.maxDepth) {
        walk.tooDeep |= !subfolders.empty();
        return;
    }
    for (const std::wstring& subfolder : subfolders) {
        if (!walk.cut && !IsSkipped(walk, subfolder))
            WalkShortcuts(walk, subfolder, depth + 1);
    }
}

}  // namespace

std::wstring ShortcutReadProblem(const ShortcutReading& reading) {
    switch (reading.result) {
        case ShortcutRead::Link:
            return L"a link, not followed";
        case ShortcutRead::TooLarge:
            return FormatWide(L"larger than %llu MB, not read as a shortcut",
                              static_cast<unsigned long long>(MAX_SHORTCUT_FILE_BYTES >> 20));
        case ShortcutRead::Unreadable:
            return L"could not be opened (" + HresultText(reading.error) + L")";
        case ShortcutRead::NotAShortcut:
            return L"corrupt or not a shortcut (" + HresultText(reading.error) + L")";
        case ShortcutRead::NotAFile:
            return L"a folder, not a shortcut";
        case ShortcutRead::Done:
        case ShortcutRead::Missing:
            break;
    }
    return std::wstring();
}

void FindShortcutLaunchers(const std::vector<std::wstring>& folders,
                           const std::vector<std::wstring>& skipFolders,
                           const FolderWalkLimits& limits,
                           LauncherFindings* findings) {
    std::vector<std::wstring> skipped;
    for (const std::wstring& skip : skipFolders)
        skipped.push_back(FullFolderPath(skip));
    for (const std::wstring& given : folders) {
        std::wstring folder = FullFolderPath(given);
        if (folder.empty() || !IsExistingFolder(folder))
            continue;
        ShortcutWalk walk{skipped, limits, findings};
        WalkShortcuts(walk, folder, 0);
        if (walk.cut)
            AddProblem(findings, folder,
                       FormatWide(L"only the first %zu entries in it and below were looked at", limits.maxEntries));
        if (walk.tooDeep)
            AddProblem(findings, folder,
                       FormatWide(L"folders more than %d levels below it were not looked at", limits.maxDepth));
    }
}

void FindStartupItems(const std::vector<std::wstring>& folders, LauncherFindings* findings) {
    for (const std::wstring& given : folders) {
        std::wstring folder = FullFolderPath(given);
        if (folder.empty())
            continue;
        // Windows starts the items of the folder itself, not of folders below it.
        ForEachFolderEntry(folder, [&](const std::wstring& name, uint32_t attributes) {
            if (attributes & FILE_ATTRIBUTE_DIRECTORY)
                return;
            std::wstring path = folder + L"\\" + name;
            if (EndsWithIgnoringAsciiCase(name, L".lnk"))
                LookAtShortcut(path, LauncherKind::StartupItem, findings);
            else if (EndsWithIgnoringAsciiCase(name, L".url"))
                LookAtStartupText(path, true, findings);
            else if (IsScriptFile(name))
                LookAtStartupText(path, false, findings);
        });
    }
}
