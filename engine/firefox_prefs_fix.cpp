// Taking a hijacked home page or proxy out of a Firefox profile's user.js
// (which Firefox applies at every start) and prefs.js (which it writes anew
// when it closes: the fix runs with Firefox closed), and putting it back. Only
// the statements go (RemovePrefStatements); each file is rewritten as the
// browsers write their settings, after a copy of it, the bytes written and an
// entry per statement are on the disk.
#include <algorithm>
#include <map>

#include "engine/engine_parts.h"

namespace {

const char KIND[] = "firefox-prefs";

struct PrefsFileOf {
    const wchar_t* name;
    BrowserFile file;
};
// user.js first: what it sets wins over prefs.js.
const PrefsFileOf PREFS_FILES[] = {{L"user.js", BrowserFile::FirefoxUserPrefs},
                                   {L"prefs.js", BrowserFile::FirefoxPrefs}};

// The chosen findings of one profile: each one's id and the names of its statements.
struct ProfileChoice {
    std::wstring folder;
    std::vector<std::pair<std::wstring, std::vector<std::string>>> findings;
};

bool IsFirefoxProfileFolder(const std::wstring& folder) {
    for (const std::wstring& profile : FirefoxProfileFolders()) {
        if (SamePath(profile, folder))
            return true;
    }
    return false;
}

const PrefsFileOf* PrefsFileNamed(const std::wstring& path) {
    for (const PrefsFileOf& of : PREFS_FILES) {
        if (path == FolderOfPath(path) + L"\\" + of.name)
            return &of;
    }
    return nullptr;
}

// The id of the first finding that chose the statement's name.
const std::wstring& FindingOf(const ProfileChoice& choice, const std::string& name) {
    for (const auto& finding : choice.findings) {
        for (const std::string& chosen : finding.second) {
            if (chosen == name)
                return finding.first;
        }
    }
    return choice.findings.front().first;
}

// Fixes one file; the names of the statements that went are added to fixed.
void FixFile(const CleanupOptions& options,
             const PrefsFileOf& of,
             const ProfileChoice& choice,
             ChangeLog* log,
             std::vector<std::string>* fixed,
             std::vector<std::wstring>* problems) {
    std::wstring path = choice.folder + L"\\" + of.name;
    SettingsFileCheck check = CheckSettingsFile(path);
    if (check == SettingsFileCheck::Missing)
        return;
    std::string old;
    if (check == SettingsFileCheck::Plain && ReadBrowserFile(path, of.file, &old) != FileRead::Done)
        check = SettingsFileCheck::Unreadable;
    if (check != SettingsFileCheck::Plain) {
        problems->push_back(std::wstring(of.name) + L" is " + SettingsFileCheckText(check));
        return;
    }
    std::vector<std::string> names;
    for (const auto& finding : choice.findings)
        names.insert(names.end(), finding.second.begin(), finding.second.end());
    PrefStatementRemoval removal = RemovePrefStatements(old, names);
    if (removal.removed.empty())
        return;
    if (options.preview) {
        for (const RemovedPrefStatement& removed : removal.removed)
            WriteLine(options, L"  [preview] would remove " + MaskUnsafeCharacters(Utf8ToWide(removed.name)) +
                                   L" from " + MaskUnsafeCharacters(path));
        return;
    }
    std::wstring suffix = std::wstring(L".") + of.name;
    std::wstring copy = KeepBytesInRun(log, old, suffix.c_str());
    std::wstring written = KeepBytesInRun(log, removal.bytes, (suffix + L".written").c_str());
    std::vector<ChangeEntry> entries;
    for (const RemovedPrefStatement& removed : removal.removed) {
        ChangeEntry entry;
        entry.findingId = FindingOf(choice, removed.name);
        entry.kind = KIND;
        entry.location = path;
        entry.copy = copy;
        entry.written = written;
        entry.statement = removed.statement;
        entry.offset = removed.offset;
        entry.textBefore = removed.before;
        entry.textAfter = removed.after;
        entries.push_back(std::move(entry));
    }
    std::size_t first = log->record.changes.size(), count = entries.size();
    if (copy.empty() || written.empty() || !RecordPending(log, std::move(entries))) {
        problems->push_back(std::wstring(of.name) + L" could not be copied first");
        return;
    }
    SettingsWrite write = ReplaceSettingsFile(path, removal.bytes);
    NoteSettingsWrite(options, write);
    for (std::size_t i = 0; i < count; ++i)
        MarkChange(log, first + i, write.done ? ChangeState::Done : ChangeState::Left,
                   write.done ? std::wstring() : L"the file could not be replaced");
    if (!write.done) {
        problems->push_back(std::wstring(of.name) + L" could not be replaced");
        return;
    }
    for (std::size_t i = 0; i < count; ++i) {
        WriteLine(options, L"  removed " + MaskUnsafeCharacters(Utf8ToWide(removal.removed[i].name)) + L": " +
                               MaskUnsafeCharacters(path));
        fixed->push_back(removal.removed[i].name);
    }
}

}  // namespace

void FixFirefoxPrefs(const CleanupOptions& options,
                     const std::vector<FixTarget>& targets,
                     ChangeLog* log,
                     ChangeRunOutcome* result) {
    std::map<std::wstring, ProfileChoice> chosen;  // by folded folder
    for (const FixTarget& target : targets) {
        if (!target.kind || std::string_view(target.kind->name) != KIND)
            continue;
        std::wstring key = target.location;
        for (wchar_t& c : key)
            c = FoldAscii(c);
        ProfileChoice& choice = chosen[key];
        choice.folder = target.location;
        choice.findings.push_back({target.findingId, target.prefNames});
    }
    if (chosen.empty())
        return;
    WriteLine(options, L"Taking home pages and proxies out of Firefox's settings files...");
    for (const auto& profile : chosen) {
        const ProfileChoice& choice = profile.second;
        std::vector<std::string> fixed;
        std::vector<std::wstring> problems;
        if (!IsFullPath(choice.folder) || !IsFirefoxProfileFolder(choice.folder))
            problems.push_back(L"the profile is no longer there");
        else
            for (const PrefsFileOf& of : PREFS_FILES)
                FixFile(options, of, choice, log, &fixed, &problems);
        for (const auto& finding : choice.findings) {
            bool done = false;
            for (const std::string& name : fixed)
                done |= std::find(finding.second.begin(), finding.second.end(), name) != finding.second.end();
            // A file that could not be read or changed may still hold the statement.
            if (!problems.empty())
                result->left.push_back({KIND, problems.front()});
            else if (done)
                ++result->done;
        }
        for (const std::wstring& problem : problems)
            WriteLine(options, L"  left as it is (" + problem + L"): " + MaskUnsafeCharacters(choice.folder));
        if (fixed.empty() && problems.empty())
            WriteLine(options, L"  nothing left to remove: " + MaskUnsafeCharacters(choice.folder));
    }
}

std::wstring FirefoxPrefsRefusal(const ChangeEntry& entry) {
    auto plainName = [](const std::wstring& name) {
        return !name.empty() && name.find_first_of(L"\\/:") == std::wstring::npos && name != L"." && name != L"..";
    };
    if (!plainName(entry.copy) || !plainName(entry.written))
        return L"its copy is not a file of the run's folder";
    std::wstring folder = FolderOfPath(entry.location);
    if (!PrefsFileNamed(entry.location) || !IsFullPath(folder) || folder.find(L"\\.") != std::wstring::npos ||
        !IsFirefoxProfileFolder(folder))
        return L"not a Firefox profile's user.js or prefs.js";
    return L"";
}

void PutBackFirefoxPrefs(const CleanupOptions& options, const std::vector<std::size_t>& entries, ChangeLog* log) {
    std::map<std::wstring, std::vector<std::size_t>> byFile;
    for (std::size_t index : entries)
        byFile[log->record.changes[index].location].push_back(index);
    for (const auto& file : byFile) {
        const PrefsFileOf* of = PrefsFileNamed(file.first);
        auto leaveAll = [&](const std::wstring& why) {
            for (std::size_t index : file.second)
                MarkChange(log, index, ChangeState::Left, why);
            WriteLine(options, L"  left as it is (" + why + L"; the old file is " +
                                   MaskUnsafeCharacters(log->record.changes[file.second.front()].copy) +
                                   L" in the run's folder): " + MaskUnsafeCharacters(file.first));
        };
        std::string now, written, old;
        SettingsFileCheck check = CheckSettingsFile(file.first);
        if (check != SettingsFileCheck::Plain) {
            leaveAll(SettingsFileCheckText(check));
            continue;
        }
        const ChangeEntry& first = log->record.changes[file.second.front()];
        if (ReadBrowserFile(file.first, of->file, &now) != FileRead::Done) {
            leaveAll(L"the file could not be read");
            continue;
        }
        // Unchanged since the fix: the old file comes back byte for byte.
        std::string bytes;
        std::vector<bool> inPlace(file.second.size(), true);
        if (ReadBrowserFile(log->folder + L"\\" + first.written, of->file, &written) == FileRead::Done &&
            written == now && ReadBrowserFile(log->folder + L"\\" + first.copy, of->file, &old) == FileRead::Done) {
            bytes = old;
        } else {
            std::vector<RemovedPrefStatement> statements;
            for (std::size_t index : file.second) {
                const ChangeEntry& entry = log->record.changes[index];
                statements.push_back({std::string(), entry.statement, static_cast<std::size_t>(entry.offset),
                                      entry.textBefore, entry.textAfter});
            }
            PrefStatementPutBack putBack = PutBackPrefStatements(now, statements);
            bytes = std::move(putBack.bytes);
            inPlace = std::move(putBack.inPlace);
        }
        SettingsWrite write = ReplaceSettingsFile(file.first, bytes);
        NoteSettingsWrite(options, write);
        if (!write.done) {
            leaveAll(L"the file could not be replaced");
            continue;
        }
        for (std::size_t i = 0; i < file.second.size(); ++i) {
            std::size_t index = file.second[i];
            MarkChange(log, index, ChangeState::Undone,
                       inPlace[i] ? std::wstring() : L"added at the end: the lines around it changed");
            WriteLine(options, std::wstring(inPlace[i] ? L"  put back: "
                                                       : L"  put back at the end (the lines around it "
                                                         L"changed since): ") +
                                   MaskUnsafeCharacters(file.first));
        }
    }
}
