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

namespace {

// One shortcut on its way through the list's two steps.
struct PlannedRepair {
    ShortcutRepair repair;
    std::wstring oldArguments;
    ShortcutFields fileFields;        // the old file as ReadShortcut read it
    std::size_t entry = 0;            // its entry in the record, once it has one
    bool toMake = false;              // checked and copied: its entry goes into the record
    std::vector<std::wstring> lines;  // written with the second step's, so that the lines keep the list's order
};

// The checks that write nothing, then the copy of the old file. Writes the
// line of a shortcut left alone, and in preview the line of what would be done.
PlannedRepair PlanRepair(const CleanupOptions& options,
                         const std::wstring& path,
                         ShortcutFolderMemo* folders,
                         ShortcutBackups* backups) {
    PlannedRepair plan;
    ShortcutRepair& repair = plan.repair;
    ShortcutReading reading = ReadShortcut(path);
    if (reading.result != ShortcutRead::Done) {
        std::wstring why = ShortcutReadProblem(reading);
        repair = LeaveAlone(options, path, repair, why.empty() ? L"it is no longer there" : why);
        return plan;
    }
    const ShortcutFields& fields = reading.fields;
    if (!BrowserOfProgram(fields.target)) {
        repair = LeaveAlone(options, path, repair, L"it does not start a browser");
        return plan;
    }
    plan.oldArguments = fields.arguments;
    plan.fileFields = fields;
    repair.arguments = ArgumentsWithoutWebAddresses(fields.target, fields.arguments, &repair.removed);
    if (repair.removed.empty()) {
        repair.outcome = ShortcutRepairOutcome::NothingToRemove;
        return plan;
    }
    ShortcutRewriteSteps steps;
    steps.dryRun = true;
    steps.folders = folders;
    repair.rewrite = RewriteShortcutArguments(path, fields.arguments, repair.arguments, steps);
    if (repair.rewrite.result != ShortcutRewriteResult::WouldDo) {
        repair = LeaveAlone(options, path, repair, ShortcutRewriteProblem(repair.rewrite));
        return plan;
    }
    // The run keeps a copy first, in LOCALAPPDATA; without one it changes nothing.
    if (options.preview && ReadEnvironmentVariable(L"LOCALAPPDATA").empty())
        repair.rewrite.result = ShortcutRewriteResult::NoCopy;
    else if (!options.preview && (repair.backup = KeepCopy(repair.rewrite.oldBytes, backups)).empty())
        repair.rewrite.result = ShortcutRewriteResult::NoCopy;
    if (repair.rewrite.result == ShortcutRewriteResult::NoCopy) {
        repair = LeaveAlone(options, path, repair, ShortcutRewriteProblem(repair.rewrite));
        return plan;
    }
    if (options.preview) {
        repair.outcome = ShortcutRepairOutcome::WouldRepair;
        WriteLine(options, L"  [preview] would make the shortcut no longer " + RemovedText(repair.removed, true) +
                               L": " + MaskUnsafeCharacters(path));
        return plan;
    }
    plan.toMake = true;
    return plan;
}

// Gives a planned shortcut its new arguments, its entry already in the record.
void MakeRepair(const CleanupOptions& options,
                const std::wstring& path,
                ShortcutBackups* backups,
                PlannedRepair* plan) {
    ShortcutRepair& repair = plan->repair;
    ShortcutRewrite checked = std::move(repair.rewrite);
    ShortcutRewriteSteps steps;
    steps.checked = &checked;
    steps.fileFields = &plan->fileFields;
    repair.rewrite = RewriteShortcutArguments(path, plan->oldArguments, repair.arguments, steps);
    std::wstring shownPath = MaskUnsafeCharacters(path);
    switch (repair.rewrite.result) {
        case ShortcutRewriteResult::Done:
            MarkChange(backups, plan->entry, ChangeState::Done);
            AppendIndexLine(*backups, repair.backup, path);
            repair.outcome = ShortcutRepairOutcome::Repaired;
            WriteLine(options, L"  shortcut no longer " + RemovedText(repair.removed, false) + L": " + shownPath);
            return;
        case ShortcutRewriteResult::MovedAside: {
            // The copy is all that still carries the shortcut's name: it stays, with its index line.
            AppendIndexLine(*backups, repair.backup, path);
            std::wstring why = ShortcutRewriteProblem(repair.rewrite) + L", and a copy is in the backups";
            MarkChange(backups, plan->entry, ChangeState::Left, why);
            repair = LeaveAlone(options, path, repair, why);
            return;
        }
        default:
            break;
    }
    std::wstring why = ShortcutRewriteProblem(repair.rewrite);
    backups->record.changes[plan->entry].copy.clear();
    MarkChange(backups, plan->entry, ChangeState::Left, why);
    DeleteFileW(LongPathForm(repair.backup).c_str());
    repair.backup.clear();
    repair = LeaveAlone(options, path, repair, why);
}

}  // namespace

std::vector<ShortcutRepair> RepairBrowserShortcutList(const CleanupOptions& options,
                                                      const std::vector<ShortcutToRepair>& shortcuts,
                                                      ShortcutBackups* backups) {
    std::vector<PlannedRepair> plans;
    std::vector<ChangeEntry> entries;
    ShortcutFolderMemo folders;  // most shortcuts of a list share a few folders
    for (const ShortcutToRepair& shortcut : shortcuts) {
        CleanupOptions held = options;
        std::vector<std::wstring> lines;
        held.log = [&lines](const std::wstring& line) { lines.push_back(line); };
        plans.push_back(PlanRepair(held, shortcut.path, &folders, backups));
        PlannedRepair& plan = plans.back();
        plan.lines = std::move(lines);
        if (plan.toMake) {
            plan.entry = backups->record.changes.size() + entries.size();
            entries.push_back(ShortcutChange(shortcut.findingId, shortcut.path, plan.oldArguments, plan.repair));
        }
    }
    // The record names every change before any is made: one write for the whole list.
    bool recorded = entries.empty() || RecordPending(backups, std::move(entries));
    std::vector<ShortcutRepair> repairs;
    for (std::size_t n = 0; n < plans.size(); ++n) {
        PlannedRepair& plan = plans[n];
        for (const std::wstring& line : plan.lines)
            WriteLine(options, line);
        if (plan.toMake && recorded) {
            MakeRepair(options, shortcuts[n].path, backups, &plan);
        } else if (plan.toMake) {
            DeleteFileW(LongPathForm(plan.repair.backup).c_str());
            plan.repair.backup.clear();
            plan.repair.rewrite.result = ShortcutRewriteResult::NoCopy;
            plan.repair =
                LeaveAlone(options, shortcuts[n].path, plan.repair, L"the record of changes could not be written");
        }
        repairs.push_back(std::move(plan.repair));
    }
    return repairs;
}

ShortcutRepair RepairBrowserShortcut(const CleanupOptions& options,
                                     const std::wstring& path,
                                     ShortcutBackups* backups,
                                     const std::wstring& findingId) {
    return RepairBrowserShortcutList(options, {{path, findingId}}, backups).front();
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
    std::vector<ShortcutToRepair> shortcuts;
    for (const LauncherFinding& finding : findings.launchers) {
        if (ShortcutRepairWouldChange(finding))
            shortcuts.push_back({finding.location, LauncherFindingId(finding)});
    }
    std::vector<ShortcutRepair> repairs = RepairBrowserShortcutList(options, shortcuts, &backups);
    for (std::size_t n = 0; n < repairs.size(); ++n) {
        const ShortcutRepair& repair = repairs[n];
        wroteLine |= repair.outcome != ShortcutRepairOutcome::NothingToRemove;
        keptCopy |= !repair.backup.empty();
        if (repair.outcome == ShortcutRepairOutcome::Repaired && outcome)
            ++outcome->shortcutsRepaired;
        if (repair.outcome == ShortcutRepairOutcome::LeftAlone && outcome)
            outcome->shortcutsLeftAlone.push_back(shortcuts[n].path);
    }
    FinishChangeLog(&backups);
    if (!wroteLine)
        WriteLine(options, L"  No browser shortcut needed repairing.");
    if (keptCopy)
        WriteLine(options, L"  saved a copy of each old shortcut in: " + MaskUnsafeCharacters(backups.folder));
}
