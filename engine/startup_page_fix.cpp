// Giving a Chromium-family profile's start-up pages, home page or search engine
// back to the browser's defaults, and putting them back. The values go from
// Preferences and Secure Preferences together (RemoveStartupSettings says why
// removing is the one safe change); both files are rewritten as the browsers
// write them, after a copy of each and the record are on the disk. The undo
// puts the old files back only when the browser has not rewritten them since:
// once it has, its MACs in "protection" are its own again, and a value put back
// into that file would count as changed and be reset by the browser anyway.
#include <map>

#include "engine/engine_parts.h"

namespace {

const char KIND[] = "startup-page";

struct SettingsFileOf {
    const wchar_t* name;
    BrowserFile file;
    bool secure;
};
const SettingsFileOf SETTINGS_FILES[] = {{L"Preferences", BrowserFile::Preferences, false},
                                         {L"Secure Preferences", BrowserFile::SecurePreferences, true}};

// The chosen findings of one profile.
struct ProfileChoice {
    unsigned settings = 0;
    std::vector<std::wstring> findingIds;
};

// One file of the profile and what the fix makes of it.
struct FilePlan {
    const SettingsFileOf* of;
    std::wstring path;
    std::string oldBytes;
    StartupRemoval removal;
};

std::wstring NamesText(const std::vector<std::string>& names) {
    std::wstring text;
    for (const std::string& name : names)
        text += (text.empty() ? L"" : L", ") + Utf8ToWide(name);
    return text;
}

// Reads both files and what removing the settings makes of them; "" when the
// profile may be changed, else why not.
std::wstring PlanProfile(const std::wstring& folder, unsigned settings, std::vector<FilePlan>* plans) {
    for (const SettingsFileOf& of : SETTINGS_FILES) {
        FilePlan plan{&of, folder + L"\\" + of.name, std::string(), StartupRemoval()};
        SettingsFileCheck check = CheckSettingsFile(plan.path);
        if (check == SettingsFileCheck::Missing)
            continue;
        if (check != SettingsFileCheck::Plain)
            return std::wstring(of.name) + L" is " + SettingsFileCheckText(check);
        if (ReadBrowserFile(plan.path, of.file, &plan.oldBytes) != FileRead::Done)
            return std::wstring(of.name) + L" could not be read";
        plan.removal = RemoveStartupSettings(plan.oldBytes, settings, of.secure);
        // The browser would throw away a file it cannot read, and so would a rewrite.
        if (!plan.removal.usable)
            return std::wstring(of.name) + L" is not JSON that can be written back exactly";
        if (!plan.removal.removed.empty())
            plans->push_back(std::move(plan));
    }
    return std::wstring();
}

void LeaveProfile(const CleanupOptions& options,
                  const std::wstring& folder,
                  const std::wstring& why,
                  std::size_t findings,
                  ChangeRunOutcome* result) {
    WriteLine(options, L"  left as it is (" + MaskUnsafeCharacters(why) + L"): " + MaskUnsafeCharacters(folder));
    for (std::size_t i = 0; i < findings; ++i)
        result->left.push_back({KIND, why});
}

void FixProfile(const CleanupOptions& options,
                const std::wstring& folder,
                const ProfileChoice& choice,
                ChangeLog* log,
                ChangeRunOutcome* result) {
    std::vector<FilePlan> plans;
    std::wstring why = PlanProfile(folder, choice.settings, &plans);
    if (!why.empty())
        return LeaveProfile(options, folder, why, choice.findingIds.size(), result);
    if (plans.empty()) {
        WriteLine(options, L"  nothing left to remove: " + MaskUnsafeCharacters(folder));
        return;
    }
    if (options.preview) {
        for (const FilePlan& plan : plans)
            WriteLine(options, L"  [preview] would remove " + NamesText(plan.removal.removed) + L" from " +
                                   MaskUnsafeCharacters(plan.path));
        return;
    }
    std::vector<ChangeEntry> entries;
    for (const FilePlan& plan : plans) {
        std::wstring suffix = std::wstring(L".") + plan.of->name;
        ChangeEntry entry;
        entry.kind = KIND;
        entry.location = plan.path;
        entry.copy = KeepBytesInRun(log, plan.oldBytes, suffix.c_str());
        entry.written = KeepBytesInRun(log, plan.removal.bytes, (suffix + L".written").c_str());
        if (entry.copy.empty() || entry.written.empty())
            return LeaveProfile(options, folder, L"no copy of the old settings could be made", choice.findingIds.size(),
                                result);
        for (const std::wstring& id : choice.findingIds) {
            entry.findingId = id;
            entries.push_back(entry);
        }
    }
    std::size_t first = log->record.changes.size(), count = entries.size();
    if (!RecordPending(log, std::move(entries)))
        return LeaveProfile(options, folder, L"the record of changes could not be written", choice.findingIds.size(),
                            result);
    // Preferences first: should Secure Preferences then fail, Preferences gets
    // its old bytes back, so that the browser never sees half of the change.
    std::size_t replaced = 0;
    for (; replaced < plans.size(); ++replaced) {
        SettingsWrite write = ReplaceSettingsFile(plans[replaced].path, plans[replaced].removal.bytes);
        NoteSettingsWrite(options, write);
        if (!write.done)
            break;
    }
    if (replaced < plans.size()) {
        std::wstring failed = plans[replaced].of->name;
        for (std::size_t i = 0; i < replaced; ++i) {
            if (!ReplaceSettingsFile(plans[i].path, plans[i].oldBytes).done)
                WritePathLine(options, L"  the old settings could not be written back; they are in: %ls",
                              log->folder + L"\\" + log->record.changes[first + i * choice.findingIds.size()].copy);
        }
        for (std::size_t i = 0; i < count; ++i)
            MarkChange(log, first + i, ChangeState::Left, failed + L" could not be replaced");
        return LeaveProfile(options, folder, failed + L" could not be replaced", choice.findingIds.size(), result);
    }
    for (std::size_t i = 0; i < count; ++i)
        MarkChange(log, first + i, ChangeState::Done);
    for (const FilePlan& plan : plans)
        WriteLine(options, L"  removed " + NamesText(plan.removal.removed) + L": " + MaskUnsafeCharacters(plan.path));
    WritePathLine(options, L"  saved a copy of the old settings: %ls", log->folder);
    result->done += choice.findingIds.size();
}

}  // namespace

void FixStartupPages(const CleanupOptions& options,
                     const std::vector<FixTarget>& targets,
                     ChangeLog* log,
                     ChangeRunOutcome* result) {
    std::map<std::pair<std::wstring, std::wstring>, ProfileChoice> chosen;
    for (const FixTarget& target : targets) {
        if (target.kind && std::string_view(target.kind->name) == KIND) {
            ProfileChoice& choice = chosen[{target.browser, target.profile}];
            choice.settings |= target.startupSettings;
            choice.findingIds.push_back(target.findingId);
        }
    }
    if (chosen.empty())
        return;
    WriteLine(options, L"Giving start-up, home and search pages back to the browsers' defaults...");
    for (const BrowserProfile& profile : AllBrowserProfiles()) {
        if (profile.browser->kind != BrowserKind::ChromiumFamily || !profile.browser->reportName)
            continue;
        auto found = chosen.find({profile.browser->reportName, profile.name});
        if (found == chosen.end())
            continue;
        FixProfile(options, profile.folder, found->second, log, result);
        chosen.erase(found);
    }
    for (const auto& gone : chosen)
        LeaveProfile(options, ProfileLabel(gone.first.first, gone.first.second), L"the profile is no longer there",
                     gone.second.findingIds.size(), result);
}

std::wstring StartupPageRefusal(const ChangeEntry& entry, const std::vector<BrowserProfile>& profiles) {
    auto plainName = [](const std::wstring& name) {
        return !name.empty() && name.find_first_of(L"\\/:") == std::wstring::npos && name != L"." && name != L"..";
    };
    if (!plainName(entry.copy) || !plainName(entry.written))
        return L"its copy is not a file of the run's folder";
    std::wstring folder = FolderOfPath(entry.location);
    bool named = false;
    for (const SettingsFileOf& of : SETTINGS_FILES)
        named |= entry.location == folder + L"\\" + of.name;
    for (const BrowserProfile& profile : profiles) {
        if (named && profile.browser->kind == BrowserKind::ChromiumFamily && SamePath(profile.folder, folder) &&
            IsFullPath(folder) && folder.find(L"\\.") == std::wstring::npos)
            return L"";
    }
    return L"not a browser profile's Preferences";
}

void PutBackStartupPages(const CleanupOptions& options, const std::vector<std::size_t>& entries, ChangeLog* log) {
    // Per profile folder, per file: the entries, whose copy and written are the same.
    std::map<std::wstring, std::map<std::wstring, std::vector<std::size_t>>> byProfile;
    for (std::size_t index : entries) {
        const std::wstring& location = log->record.changes[index].location;
        byProfile[FolderOfPath(location)][location].push_back(index);
    }
    for (const auto& profile : byProfile) {
        std::wstring why, copies;
        std::vector<std::pair<std::wstring, std::string>> oldFiles;
        for (const auto& file : profile.second) {
            const ChangeEntry& entry = log->record.changes[file.second.front()];
            copies += (copies.empty() ? L"" : L", ") + MaskUnsafeCharacters(entry.copy);
            std::string now, written, old;
            SettingsFileCheck check = CheckSettingsFile(file.first);
            bool secure = EndsWithIgnoringAsciiCase(file.first, L"\\Secure Preferences");
            BrowserFile kind = secure ? BrowserFile::SecurePreferences : BrowserFile::Preferences;
            if (check != SettingsFileCheck::Plain) {
                why = std::wstring(L"a file is ") + SettingsFileCheckText(check);
            } else if (ReadBrowserFile(file.first, kind, &now) != FileRead::Done ||
                       ReadBrowserFile(log->folder + L"\\" + entry.written, kind, &written) != FileRead::Done ||
                       ReadBrowserFile(log->folder + L"\\" + entry.copy, kind, &old) != FileRead::Done) {
                why = L"a file or its copy could not be read";
            } else if (now != written && why.empty()) {
                why = L"the browser has changed its settings since, and would reset a value put back now anyway";
            }
            oldFiles.push_back({file.first, std::move(old)});
        }
        if (why.empty()) {
            for (const auto& old : oldFiles) {
                SettingsWrite write = ReplaceSettingsFile(old.first, old.second);
                NoteSettingsWrite(options, write);
                if (!write.done) {
                    why = L"a file could not be replaced";
                    break;
                }
                for (std::size_t index : profile.second.at(old.first))
                    MarkChange(log, index, ChangeState::Undone);
                WriteLine(options, L"  put back the old settings: " + MaskUnsafeCharacters(old.first));
            }
        }
        if (why.empty())
            continue;
        for (const auto& file : profile.second) {
            for (std::size_t index : file.second) {
                if (log->record.changes[index].state != ChangeState::Undone)
                    MarkChange(log, index, ChangeState::Left, why);
            }
        }
        WriteLine(options, L"  left as it is (" + why + L"; the old files are " + copies + L" in the run's folder): " +
                               MaskUnsafeCharacters(profile.first));
    }
}
