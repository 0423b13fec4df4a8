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

// Copies the shortcut to the next free "<n>.lnk"; "" when no copy could be made.
std::wstring CopyToBackups(const std::wstring& path, ShortcutBackups* backups) {
    if (!EnsureBackupFolder(backups))
        return std::wstring();
    for (int attempt = 0; attempt < 1000; ++attempt) {
        std::wstring copy = backups->folder + L"\\" + std::to_wstring(++backups->copies) + L".lnk";
        if (CopyFileW(LongPathForm(path).c_str(), LongPathForm(copy).c_str(), TRUE)) {
            SetFileAttributesW(LongPathForm(copy).c_str(), FILE_ATTRIBUTE_NORMAL);
            return copy;
        }
        if (GetLastError() != ERROR_FILE_EXISTS && GetLastError() != ERROR_ALREADY_EXISTS)
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

std::wstring WriteFailure(const ShortcutWriting& writing) {
    switch (writing.result) {
        case ShortcutWrite::ReadOnly:
            return L"read-only";
        case ShortcutWrite::Changed:
            return L"it changed while it was read";
        case ShortcutWrite::NotSaved:
            if (writing.error == E_ACCESSDENIED)
                return L"no right to write in its folder";
            return L"no new file could be written beside it, " + HresultText(writing.error);
        case ShortcutWrite::OtherFields:
            return L"saving would have changed more than its arguments";
        case ShortcutWrite::NotReplaced:
            if (writing.error == HRESULT_FROM_WIN32(ERROR_SHARING_VIOLATION) ||
                writing.error == HRESULT_FROM_WIN32(ERROR_LOCK_VIOLATION))
                return L"in use by another program";
            return L"it could not be replaced, " + HresultText(writing.error);
        case ShortcutWrite::MovedAside:
            return L"it could not be replaced, " + HresultText(writing.error) +
                   L"; the old shortcut is now .popswat-old beside it, and a copy is in the backups";
        case ShortcutWrite::Unreadable:
            return L"it could not be read again, " + HresultText(writing.error);
        case ShortcutWrite::Done:
            break;
    }
    return std::wstring();
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
    DWORD attributes = GetFileAttributesW(LongPathForm(path).c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY))
        return LeaveAlone(options, path, repair, L"read-only");
    std::wstring shownPath = MaskUnsafeCharacters(path);
    if (options.preview) {
        repair.outcome = ShortcutRepairOutcome::WouldRepair;
        WriteLine(options, L"  [preview] would make the shortcut no longer " + RemovedText(repair.removed, true) +
                               L": " + shownPath);
        return repair;
    }
    repair.backup = CopyToBackups(path, backups);
    if (repair.backup.empty())
        return LeaveAlone(options, path, repair, L"no backup copy could be made");
    ShortcutWriting writing = WriteShortcutArguments(path, fields, repair.arguments);
    if (writing.result == ShortcutWrite::MovedAside) {
        // The copy is all that still carries the shortcut's name: it stays, with its index line.
        AppendIndexLine(*backups, repair.backup, path);
        return LeaveAlone(options, path, repair, WriteFailure(writing));
    }
    if (writing.result != ShortcutWrite::Done) {
        DeleteFileW(LongPathForm(repair.backup).c_str());
        repair.backup.clear();
        return LeaveAlone(options, path, repair, WriteFailure(writing));
    }
    AppendIndexLine(*backups, repair.backup, path);
    repair.outcome = ShortcutRepairOutcome::Repaired;
    WriteLine(options, L"  shortcut no longer " + RemovedText(repair.removed, false) + L": " + shownPath);
    return repair;
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
