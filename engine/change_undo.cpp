// Putting back what a run changed, from its record. The record is read as any
// file from the disk is: a record that cannot be used changes nothing of its
// run, and each entry is checked to name a place its kind of fix can change
// (a profile's Preferences or Firefox's permissions.sqlite, a shortcut in the shortcut folders), never
// anywhere else, and never a program to run.
#include <algorithm>
#include <map>

#include "base/win_handles.h"
#include "engine/engine_parts.h"

namespace {

const wchar_t RECORD_FILE[] = L"changes.json";

bool IsToUndo(const ChangeEntry& entry) {
    return entry.state == ChangeState::Done || entry.state == ChangeState::Pending;
}

// Reads and checks a run's record; false with why when it cannot be used.
bool ReadRunRecord(const std::wstring& folder, ChangeRecord* record, std::wstring* why) {
    std::string bytes;
    switch (ReadFileBytes(folder + L"\\" + RECORD_FILE, MAX_CHANGE_RECORD_BYTES, &bytes)) {
        case FileRead::Done:
            break;
        case FileRead::Missing:
            *why = L"it has no changes.json";
            return false;
        case FileRead::Unreadable:
            *why = L"its changes.json could not be read";
            return false;
        case FileRead::TooLarge:
            *why = L"its changes.json is too large";
            return false;
    }
    if (!ParseChangeRecord(bytes, record, why)) {
        *why = L"its changes.json is " + *why;
        return false;
    }
    return true;
}

// True when no component of the path is "." or "..", and it is a full path.
bool IsPlainFullPath(const std::wstring& path) {
    if (!IsFullPath(path) || path.find(L'/') != std::wstring::npos || path.compare(0, 4, L"\\\\?\\") == 0)
        return false;
    std::size_t start = 0;
    while (start <= path.size()) {
        std::size_t end = path.find(L'\\', start);
        if (end == std::wstring::npos)
            end = path.size();
        std::wstring_view part(path.data() + start, end - start);
        if (part == L"." || part == L"..")
            return false;
        start = end + 1;
    }
    return true;
}

std::wstring FoldedPath(std::wstring path) {
    for (wchar_t& c : path)
        c = FoldAscii(c);
    return path;
}

// A profile's Preferences, of a browser of the catalogue, as the profile walk found it at the start of the undo.
bool IsProfilePreferences(const std::wstring& location, const std::vector<BrowserProfile>& profiles) {
    std::wstring folder = FolderOfPath(location);
    if (!IsPlainFullPath(location) || !SamePath(location, folder + L"\\Preferences"))
        return false;
    for (const BrowserProfile& profile : profiles) {
        if (profile.browser->kind == BrowserKind::ChromiumFamily && SamePath(profile.folder, folder))
            return true;
    }
    return false;
}

// A .lnk in one of the folders the shortcut repair looks in (or below one), reached through no link.
bool IsShortcutInFolders(const std::wstring& location, const LauncherSources& sources) {
    if (!IsPlainFullPath(location) || !EndsWithIgnoringAsciiCase(location, L".lnk"))
        return false;
    std::vector<std::wstring> roots = sources.shortcutFolders;
    roots.insert(roots.end(), sources.startupFolders.begin(), sources.startupFolders.end());
    for (const std::wstring& root : roots) {
        if (root.empty() || location.size() <= root.size() + 1 || location[root.size()] != L'\\' ||
            !SamePath(location.substr(0, root.size()), root))
            continue;
        // Every folder on the way is where its name says: no link leads elsewhere.
        std::wstring rootFinal = FinalPath(root);
        std::wstring folderFinal = FinalPath(FolderOfPath(location));
        std::wstring relative = FolderOfPath(location).substr(root.size());
        return !rootFinal.empty() && SamePath(folderFinal, rootFinal + relative);
    }
    return false;
}

// A copy's name is a plain name in the run's folder.
bool IsPlainName(const std::wstring& name) {
    return name.empty() || (name.find_first_of(L"\\/:") == std::wstring::npos && name != L"." && name != L"..");
}

// Why an entry is refused, or "" when it may be put back.
std::wstring Refusal(const ChangeEntry& entry, const FixPlaces& places, const std::vector<BrowserProfile>& profiles) {
    const LauncherSources& sources = places.launchers;
    if (!IsPlainName(entry.copy))
        return L"its copy is not a file of the run's folder";
    if (entry.kind == "site-permission" && !entry.firefoxRow.type.empty())
        return IsPlainFullPath(entry.location) && IsFirefoxPermissionDatabase(entry.location, profiles)
                   ? L""
                   : L"not a Firefox profile's permissions.sqlite";
    if (entry.kind == "site-permission")
        return IsProfilePreferences(entry.location, profiles) ? L"" : L"not a browser profile's Preferences";
    if (entry.kind == "browser-shortcut")
        return IsShortcutInFolders(entry.location, sources) ? L"" : L"not a shortcut in the shortcut folders";
    if (entry.kind == "run-value" || entry.kind == "startup-item")
        return OutsideRefusal(entry, sources);
    if (entry.kind == "scheduled-task")
        return TaskRefusal(entry);
    if (entry.kind == "proxy")
        return ProxyRefusal(entry);
    if (entry.kind == "policy-value")
        return PolicyRefusal(entry);
    if (entry.kind == "extension-registration")
        return RegistrationRefusal(entry);
    if (entry.kind == "startup-page")
        return StartupPageRefusal(entry, profiles);
    if (entry.kind == "firefox-prefs")
        return FirefoxPrefsRefusal(entry);
    if (entry.kind == "firefox-policies-file")
        return FirefoxPoliciesFileRefusal(entry, places.policies);
    return L"no fix of this kind";
}

}  // namespace

std::vector<ChangeRunSummary> ListChangeRuns() {
    std::vector<ChangeRunSummary> runs;
    std::wstring backups = BackupsFolder();
    if (backups.empty())
        return runs;
    ForEachFolderEntry(backups, [&](const std::wstring& name, uint32_t attributes) {
        if (!(attributes & FILE_ATTRIBUTE_DIRECTORY) || (attributes & FILE_ATTRIBUTE_REPARSE_POINT) || name == L"." ||
            name == L"..")
            return;
        ChangeRunSummary run;
        run.name = name;
        run.folder = backups + L"\\" + name;
        run.hasRecord = !PathIsGone(run.folder + L"\\" + RECORD_FILE);
        if (run.hasRecord)
            run.readable = ReadRunRecord(run.folder, &run.record, &run.problem);
        for (const ChangeEntry& entry : run.record.changes)
            run.notUndone += IsToUndo(entry) ? 1 : 0;
        runs.push_back(std::move(run));
    });
    std::sort(runs.begin(), runs.end(),
              [](const ChangeRunSummary& a, const ChangeRunSummary& b) { return a.name < b.name; });
    return runs;
}

ChangeRunOutcome UndoChangeRun(const CleanupOptions& options, const ChangeRunSummary& run, const FixPlaces& places) {
    ChangeRunOutcome result;
    const LauncherSources& sources = places.launchers;
    CleanupOutcome locked = RunUnderLock([&](CleanupOutcome*) {
        result.folder = run.folder;
        ChangeLog log;
        std::wstring why;
        // Read again under the lock: it may have changed since it was listed.
        if (!ReadRunRecord(run.folder, &log.record, &why)) {
            WriteLine(options, L"Run " + MaskUnsafeCharacters(run.name) + L" left as it is: " + why +
                                   L"; nothing of it was changed.");
            result.recordRefused = true;
            return;
        }
        log.folder = run.folder;
        std::vector<std::size_t> toUndo;
        bool closeBrowsers = false;
        for (std::size_t i = 0; i < log.record.changes.size(); ++i) {
            if (!IsToUndo(log.record.changes[i]))
                continue;
            toUndo.push_back(i);
            const FixKind* kind = FindFixKind(log.record.changes[i].kind);
            closeBrowsers |= kind && kind->closesBrowsers && !options.preview;
        }
        result.record = log.record;
        if (toUndo.empty()) {
            WriteLine(options, L"Nothing to undo in run " + MaskUnsafeCharacters(run.name) +
                                   L": its changes were all undone or left.");
            result.nothingToDo = true;
            return;
        }
        if (closeBrowsers) {
            // A running browser writes its settings back on exit and would lose what is put back.
            WriteLine(options, L"Closing browsers...");
            CloseBrowsers(options, GetBrowserCatalogue());
            WriteLine(options, L"");
        }
        WriteLine(options, L"Putting back what run " + MaskUnsafeCharacters(run.name) + L" changed...");
        ComApartment apartment;
        std::map<std::wstring, std::vector<std::size_t>> byFile;  // site permissions, by Preferences file
        std::vector<std::size_t> shortcuts;
        std::vector<std::size_t> outside;  // run values, Startup items, tasks and the proxy
        std::vector<std::size_t> policies;
        std::vector<std::size_t> registrations;
        std::vector<std::size_t> startupPages;
        std::vector<std::size_t> firefoxPrefs;
        std::vector<std::size_t> policyFiles;
        std::vector<BrowserProfile> profiles = AllBrowserProfiles();
        for (std::size_t index : toUndo) {
            ChangeEntry& entry = log.record.changes[index];
            std::wstring refusal = Refusal(entry, places, profiles);
            if (!refusal.empty()) {
                WriteLine(options, L"  refused (" + refusal + L"): " + MaskUnsafeCharacters(entry.location));
                if (!options.preview)
                    MarkChange(&log, index, ChangeState::Left, L"refused: " + refusal);
                result.left.push_back({entry.kind, refusal});
                continue;
            }
            if (options.preview) {
                WriteLine(options, L"  [preview] would put back " + Utf8ToWide(entry.kind) + L": " +
                                       MaskUnsafeCharacters(entry.location));
                continue;
            }
            if (entry.kind == "site-permission")
                byFile[FoldedPath(entry.location)].push_back(index);
            else if (entry.kind == "browser-shortcut")
                shortcuts.push_back(index);
            else if (entry.kind == "policy-value")
                policies.push_back(index);
            else if (entry.kind == "extension-registration")
                registrations.push_back(index);
            else if (entry.kind == "startup-page")
                startupPages.push_back(index);
            else if (entry.kind == "firefox-prefs")
                firefoxPrefs.push_back(index);
            else if (entry.kind == "firefox-policies-file")
                policyFiles.push_back(index);
            else
                outside.push_back(index);
        }
        // Whole files, as they were before the fix, which ran after the site
        // permissions' fix: put back first, so that the grants then go back into them.
        if (!startupPages.empty())
            PutBackStartupPages(options, startupPages, &log);
        for (const auto& file : byFile) {
            const ChangeEntry& first = log.record.changes[file.second.front()];
            if (!first.firefoxRow.type.empty())
                PutBackFirefoxPermissionEntries(options, first.location, file.second, &log);
            else
                PutBackSitePermissionEntries(options, first.location, file.second, &log);
        }
        ShortcutFolderMemo shortcutFolders;
        for (std::size_t index : shortcuts) {
            if (apartment.ready())
                PutBackShortcutEntry(options, index, &shortcutFolders, &log);
            else
                MarkChange(&log, index, ChangeState::Left, L"COM could not be started");
        }
        if (!firefoxPrefs.empty())
            PutBackFirefoxPrefs(options, firefoxPrefs, &log);
        for (std::size_t index : outside) {
            const std::string& kind = log.record.changes[index].kind;
            if (kind == "scheduled-task")
                PutBackTaskEntry(options, index, sources, &log);
            else if (kind == "proxy")
                PutBackProxyEntry(options, index, sources, &log);
            else
                PutBackOutsideEntry(options, index, sources, &log);
        }
        for (std::size_t index : policies)
            PutBackPolicyEntry(options, index, places.policies, &log);
        for (std::size_t index : registrations)
            PutBackRegistrationEntry(options, index, sources.registry, &log);
        for (std::size_t index : policyFiles)
            PutBackFirefoxPoliciesFile(options, index, &log);
        FinishChangeLog(&log);
        result.record = log.record;
        for (std::size_t index : toUndo) {
            const ChangeEntry& entry = log.record.changes[index];
            if (entry.state == ChangeState::Undone)
                ++result.done;
            else if (entry.state == ChangeState::Left && entry.why.compare(0, 8, L"refused:") != 0)
                result.left.push_back({entry.kind, entry.why});
        }
    });
    result.lockHeldElsewhere = locked.lockHeldElsewhere;
    return result;
}
