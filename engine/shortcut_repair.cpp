// Repairing browser shortcuts, with a copy of each old file kept first.
#include "base/win_handles.h"
#include "engine/engine_parts.h"

namespace {

const wchar_t INDEX_FILE[] = L"index.txt";

// Keeps the bytes read of the shortcut in the run's folder as the next free "<n>.lnk"; its full path, or "" when no
// copy could be made.
std::wstring KeepCopy(const std::string& bytes, ShortcutBackups* backups) {
    std::wstring name = KeepBytesInRun(backups, bytes, L".lnk");
    return name.empty() ? name : backups->folder + L"\\" + name;
}

bool AppendIndexLine(const ShortcutBackups& backups, const std::wstring& copy, const std::wstring& original) {
    UniqueHandle index(CreateFileW(LongPathForm(backups.folder + L"\\" + INDEX_FILE).c_str(), FILE_APPEND_DATA,
                                   FILE_SHARE_READ, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!index)
        return false;
    std::string line = WideToUtf8(copy.substr(copy.find_last_of(L'\\') + 1) + L"\t" + original) + "\r\n";
    DWORD written = 0;
    return WriteFile(index.get(), line.data(), static_cast<DWORD>(line.size()), &written, nullptr) &&
           written == line.size();
}

// "opens https://a.example/ nor loads an extension from C:\x", for the line; preview: "open ... nor load ...".
std::wstring RemovedText(const std::vector<std::wstring>& removed, bool preview) {
    struct Phrase {
        ArgumentRole role;
        const wchar_t* done;
        const wchar_t* preview;
        std::wstring values;
    };
    Phrase phrases[] = {
        {ArgumentRole::WebAddress, L"opens ", L"open ", L""},
        {ArgumentRole::HomePage, L"sets the home page to ", L"set the home page to ", L""},
        {ArgumentRole::LoadExtension, L"loads an extension from ", L"load an extension from ", L""},
        {ArgumentRole::TrafficSwitch, L"sends web traffic through ", L"send web traffic through ", L""},
    };
    std::wstring joined;
    for (const std::wstring& text : removed) {
        std::wstring value;
        ArgumentRole role = RoleOfArgument(text, &value);
        for (Phrase& phrase : phrases) {
            if (phrase.role == role)
                phrase.values += (phrase.values.empty() ? L"" : L", ") + MaskUnsafeCharacters(value);
        }
    }
    for (const Phrase& phrase : phrases) {
        if (!phrase.values.empty())
            joined += (joined.empty() ? L"" : L" nor ") + std::wstring(preview ? phrase.preview : phrase.done) +
                      phrase.values;
    }
    return joined;
}

ChangeEntry ShortcutChange(const std::wstring& findingId,
                           const std::wstring& path,
                           const std::wstring& oldArguments,
                           const ShortcutRepair& repair) {
    ChangeEntry change;
    change.findingId = findingId;
    change.kind = "browser-shortcut";
    change.location = path;
    change.oldArguments = oldArguments;
    change.newArguments = repair.arguments;
    change.copy = repair.backup.substr(repair.backup.find_last_of(L'\\') + 1);
    return change;
}

ShortcutRepair LeaveAlone(const CleanupOptions& options,
                          const std::wstring& path,
                          ShortcutRepair repair,
                          const std::wstring& reason) {
    repair.outcome = ShortcutRepairOutcome::LeftAlone;
    repair.reason = reason;
    WriteLine(options, L"  shortcut left as it was (" + reason + L"): " + MaskUnsafeCharacters(path));
    return repair;
}

}  // namespace

bool ShortcutRepairWouldChange(const LauncherFinding& finding) {
    // Shortcuts whose target is a browser; .url items, scripts and shortcuts named
    // after a browser that start something else are the review's to name, and an
    // address opened as an app ("--app=") stays.
    bool shortcut = finding.kind == LauncherKind::Shortcut || finding.kind == LauncherKind::StartupItem;
    if (!shortcut || !BrowserOfProgram(finding.program))
        return false;
    std::vector<std::wstring> removed;
    ArgumentsWithoutWebAddresses(finding.program, finding.arguments, &removed);
    return !removed.empty();
}

bool ShortcutRepairKeepsFile(const std::wstring& path) {
    // The same test the rewrite makes before it reads the file.
    DWORD attributes = GetFileAttributesW(LongPathForm(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY);
}

ShortcutRepair RepairBrowserShortcut(const CleanupOptions& options,
                                     const std::wstring& path,
                                     ShortcutBackups* backups,
                                     const std::wstring& findingId) {
    ShortcutRepair repair;
    ShortcutReading reading = ReadShortcut(path);
    if (reading.result != ShortcutRead::Done) {
        std::wstring why = ShortcutReadProblem(reading);
        return LeaveAlone(options, path, repair, why.empty() ? L"it is no longer there" : why);
    }
    const ShortcutFields& fields = reading.fields;
    if (!BrowserOfProgram(fields.target))
        return LeaveAlone(options, path, repair, L"it does not start a browser");
    repair.arguments = ArgumentsWithoutWebAddresses(fields.target, fields.arguments, &repair.removed);
    if (repair.removed.empty()) {
        repair.outcome = ShortcutRepairOutcome::NothingToRemove;
        return repair;
    }
    ShortcutRewriteSteps steps;
    steps.dryRun = options.preview;
    std::size_t entry = backups->record.changes.size();
    bool recorded = false;
    bool recordFailed = false;
    steps.keepCopy = [&](const std::string& bytes) {
        repair.backup = KeepCopy(bytes, backups);
        if (repair.backup.empty())
            return false;
        // The record names the change before it is made.
        recorded = RecordPending(backups, {ShortcutChange(findingId, path, fields.arguments, repair)});
        if (!recorded) {
            DeleteFileW(LongPathForm(repair.backup).c_str());
            repair.backup.clear();
            recordFailed = true;
        }
        return recorded;
    };
    repair.rewrite = RewriteShortcutArguments(path, fields.arguments, repair.arguments, steps);
    std::wstring shownPath = MaskUnsafeCharacters(path);
    switch (repair.rewrite.result) {
        case ShortcutRewriteResult::WouldDo:
            // The run keeps a copy first, in LOCALAPPDATA; without one it changes nothing.
            if (ReadEnvironmentVariable(L"LOCALAPPDATA").empty()) {
                repair.rewrite.result = ShortcutRewriteResult::NoCopy;
                return LeaveAlone(options, path, repair, ShortcutRewriteProblem(repair.rewrite));
            }
            repair.outcome = ShortcutRepairOutcome::WouldRepair;
            WriteLine(options, L"  [preview] would make the shortcut no longer " + RemovedText(repair.removed, true) +
                                   L": " + shownPath);
            return repair;
        case ShortcutRewriteResult::Done:
            MarkChange(backups, entry, ChangeState::Done);
            AppendIndexLine(*backups, repair.backup, path);
            repair.outcome = ShortcutRepairOutcome::Repaired;
            WriteLine(options, L"  shortcut no longer " + RemovedText(repair.removed, false) + L": " + shownPath);
            return repair;
        case ShortcutRewriteResult::MovedAside: {
            // The copy is all that still carries the shortcut's name: it stays, with its index line.
            AppendIndexLine(*backups, repair.backup, path);
            std::wstring why = ShortcutRewriteProblem(repair.rewrite) + L", and a copy is in the backups";
            MarkChange(backups, entry, ChangeState::Left, why);
            return LeaveAlone(options, path, repair, why);
        }
        default:
            break;
    }
    std::wstring why =
        recordFailed ? L"the record of changes could not be written" : ShortcutRewriteProblem(repair.rewrite);
    if (recorded) {
        backups->record.changes[entry].copy.clear();
        MarkChange(backups, entry, ChangeState::Left, why);
    }
    if (!repair.backup.empty()) {
        DeleteFileW(LongPathForm(repair.backup).c_str());
        repair.backup.clear();
    }
    return LeaveAlone(options, path, repair, why);
}

void RepairBrowserShortcuts(const CleanupOptions& options,
                            const LauncherSources& sources,
                            CleanupOutcome* outcome,
                            ChangeLog* log) {
    WriteLine(options, L"Repairing browser shortcuts...");
    ComApartment apartment;
    if (!apartment.ready()) {
        WriteLine(options, L"  (shortcuts could not be read: COM could not be started, " +
                               HresultText(apartment.result()) + L")");
        return;
    }
    LauncherFindings findings;
    FindStartupItems(sources.startupFolders, &findings);
    FindShortcutLaunchers(sources.shortcutFolders, sources.startupFolders, FolderWalkLimits(), &findings);
    ShortcutBackups own;
    ShortcutBackups& backups = log ? *log : own;
    bool wroteLine = false;
    bool keptCopy = false;
    for (const LauncherFinding& finding : findings.launchers) {
        if (!ShortcutRepairWouldChange(finding))
            continue;
        ShortcutRepair repair = RepairBrowserShortcut(options, finding.location, &backups, LauncherFindingId(finding));
        wroteLine |= repair.outcome != ShortcutRepairOutcome::NothingToRemove;
        keptCopy |= !repair.backup.empty();
        if (repair.outcome == ShortcutRepairOutcome::Repaired && outcome)
            ++outcome->shortcutsRepaired;
        if (repair.outcome == ShortcutRepairOutcome::LeftAlone && outcome)
            outcome->shortcutsLeftAlone.push_back(finding.location);
    }
    FinishChangeLog(&backups);
    if (!wroteLine)
        WriteLine(options, L"  No browser shortcut needed repairing.");
    if (keptCopy)
        WriteLine(options, L"  saved a copy of each old shortcut in: " + MaskUnsafeCharacters(backups.folder));
}
