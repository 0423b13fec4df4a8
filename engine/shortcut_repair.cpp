// Repairing browser shortcuts, with a copy of each old file kept first.
#include "base/win_handles.h"
#include "engine/engine_parts.h"

namespace {

const wchar_t INDEX_FILE[] = L"index.txt";

// "2026-12-07_143005" from the local time.
std::wstring TimeStamp() {
    SYSTEMTIME now;
    GetLocalTime(&now);
    return FormatWide(L"%04u-%02u-%02u_%02u%02u%02u", now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute,
                      now.wSecond);
}

bool MakeFolderStep(const std::wstring& folder) {
    return CreateDirectoryW(LongPathForm(folder).c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS;
}

// Makes this run's folder once; a second run within the same second gets "-2", "-3", ...
bool EnsureBackupFolder(ShortcutBackups* backups) {
    if (!backups->folder.empty())
        return true;
    std::wstring local = ReadEnvironmentVariable(L"LOCALAPPDATA");
    if (local.empty())
        return false;
    std::wstring base = FullFolderPath(local + L"\\PopSwat");
    if (base.empty() || !MakeFolderStep(base) || !MakeFolderStep(base + L"\\Backups"))
        return false;
    std::wstring stamp = base + L"\\Backups\\" + TimeStamp();
    for (int attempt = 1; attempt < 100; ++attempt) {
        std::wstring folder = attempt == 1 ? stamp : stamp + L"-" + std::to_wstring(attempt);
        if (CreateDirectoryW(LongPathForm(folder).c_str(), nullptr)) {
            backups->folder = folder;
            return true;
        }
        if (GetLastError() != ERROR_ALREADY_EXISTS)
            return false;
    }
    return false;
}

// Keeps the bytes read of the shortcut as the next free "<n>.lnk"; "" when no copy could be made.
std::wstring KeepCopy(const std::string& bytes, ShortcutBackups* backups) {
    if (!EnsureBackupFolder(backups))
        return std::wstring();
    for (int attempt = 0; attempt < 1000; ++attempt) {
        std::wstring copy = backups->folder + L"\\" + std::to_wstring(++backups->copies) + L".lnk";
        UniqueHandle file(CreateFileW(LongPathForm(copy).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file) {
            if (GetLastError() == ERROR_FILE_EXISTS || GetLastError() == ERROR_ALREADY_EXISTS)
                continue;
            return std::wstring();
        }
        DWORD written = 0;
        if (WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
            written == bytes.size() && FlushFileBuffers(file.get()))
            return copy;
        file.reset();
        DeleteFileW(LongPathForm(copy).c_str());
        return std::wstring();
    }
    return std::wstring();
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
                                     ShortcutBackups* backups) {
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
    steps.keepCopy = [&repair, backups](const std::string& bytes) {
        repair.backup = KeepCopy(bytes, backups);
        return !repair.backup.empty();
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
            AppendIndexLine(*backups, repair.backup, path);
            repair.outcome = ShortcutRepairOutcome::Repaired;
            WriteLine(options, L"  shortcut no longer " + RemovedText(repair.removed, false) + L": " + shownPath);
            return repair;
        case ShortcutRewriteResult::MovedAside:
            // The copy is all that still carries the shortcut's name: it stays, with its index line.
            AppendIndexLine(*backups, repair.backup, path);
            return LeaveAlone(options, path, repair,
                              ShortcutRewriteProblem(repair.rewrite) + L", and a copy is in the backups");
        default:
            break;
    }
    if (!repair.backup.empty()) {
        DeleteFileW(LongPathForm(repair.backup).c_str());
        repair.backup.clear();
    }
    return LeaveAlone(options, path, repair, ShortcutRewriteProblem(repair.rewrite));
}

void RepairBrowserShortcuts(const CleanupOptions& options, const LauncherSources& sources, CleanupOutcome* outcome) {
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
    ShortcutBackups backups;
    bool wroteLine = false;
    bool keptCopy = false;
    for (const LauncherFinding& finding : findings.launchers) {
        if (!ShortcutRepairWouldChange(finding))
            continue;
        ShortcutRepair repair = RepairBrowserShortcut(options, finding.location, &backups);
        wroteLine |= repair.outcome != ShortcutRepairOutcome::NothingToRemove;
        keptCopy |= !repair.backup.empty();
        if (repair.outcome == ShortcutRepairOutcome::Repaired && outcome)
            ++outcome->shortcutsRepaired;
        if (repair.outcome == ShortcutRepairOutcome::LeftAlone && outcome)
            outcome->shortcutsLeftAlone.push_back(finding.location);
    }
    if (!wroteLine)
        WriteLine(options, L"  No browser shortcut needed repairing.");
    if (keptCopy)
        WriteLine(options, L"  saved a copy of each old shortcut in: " + MaskUnsafeCharacters(backups.folder));
    else if (!backups.folder.empty())
        RemoveDirectoryW(LongPathForm(backups.folder).c_str());  // made for copies that were all taken back
}
