// Takes back what sites were allowed to do in a Chromium-family profile's
// Preferences. What the new text is comes from browsers/ (TakeBackSitePermissions);
// this file does the file work, the way the browsers write the file themselves:
// the new text goes into a new file in the same folder that is flushed and read
// back before ReplaceFileW swaps it in and keeps the old file under a passing
// name in the same step (removed once the swap is done: the copy the record
// names is in the run's folder). Until that call succeeds the old file is never
// touched. Each grant's entry is in the record before the swap.
#include "base/win_handles.h"
#include "engine/engine_testing.h"

void (*changeMade)(std::size_t entry) = nullptr;

namespace {

const wchar_t PREFERENCES_FILE[] = L"Preferences";
const wchar_t SAVED_LINE[] = L"  saved a copy of the old settings: %ls";

const wchar_t* PermissionText(SitePermission permission) {
    switch (permission) {
        case SitePermission::Notifications:
            return L"notifications";
        case SitePermission::Popups:
            return L"pop-ups";
        case SitePermission::AutomaticDownloads:
            break;
    }
    return L"automatic downloads";
}

std::wstring GrantLine(const SitePermissionGrant& grant, bool preview) {
    const wchar_t* name = PermissionText(grant.permission);
    if (grant.allSites)
        return FormatWide(preview ? L"  [preview] would no longer allow %ls for every site"
                                  : L"  %ls no longer allowed for every site",
                          name);
    // The site comes from the file: it must not be able to break or forge a line.
    std::wstring site = MaskUnsafeCharacters(SiteOrigin(grant.site));
    return FormatWide(preview ? L"  [preview] would no longer allow %ls: %ls" : L"  %ls no longer allowed: %ls", name,
                      site.c_str());
}

// Why a Preferences file is left as it is.
enum class LeftAlone { No, NothingThere, Unreadable, Link, ReadOnly, Failed };

// A link (a symbolic link, or under Wine a Unix link, which carries no reparse
// point) resolves to somewhere other than its own name in the profile folder.
// Writing there would change a file outside the profile, and replacing the link
// would cut whatever the person linked it to: either way it is left alone.
// (Wine's ReplaceFileW would move the target of a Unix link to the backup name.)
LeftAlone CheckInProfile(const std::wstring& profile, const std::wstring& file, const wchar_t* name) {
    std::wstring folderPath = FinalPath(profile);
    std::wstring filePath = FinalPath(file);
    if (folderPath.empty() || filePath.empty())
        return LeftAlone::Failed;
    return IsAtItsOwnName(filePath, folderPath, name) ? LeftAlone::No : LeftAlone::Link;
}

const wchar_t* LeftAloneLine(LeftAlone reason) {
    switch (reason) {
        case LeftAlone::Unreadable:
            return L"  (unreadable, left alone) %ls";
        case LeftAlone::Link:
            return L"  (a link, left alone) %ls";
        case LeftAlone::ReadOnly:
            return L"  (read-only, left alone) %ls";
        case LeftAlone::No:
        case LeftAlone::NothingThere:
        case LeftAlone::Failed:
            break;
    }
    return L"  (locked/failed) %ls";
}

// Reads the profile's Preferences and what taking back its grants makes of it;
// says why the file must be left alone, if it must.
LeftAlone LoadPreferences(const std::wstring& profile,
                          const std::wstring& file,
                          DWORD* attributes,
                          GrantRemoval* removal,
                          const std::vector<SitePermissionGrant>* chosen) {
    *attributes = GetFileAttributesW(LongPathForm(file).c_str());
    if (*attributes == INVALID_FILE_ATTRIBUTES)
        return PathIsGone(file) ? LeftAlone::NothingThere : LeftAlone::Failed;
    LeftAlone place = CheckInProfile(profile, file, PREFERENCES_FILE);
    if (place != LeftAlone::No)
        return place;
    if (*attributes & FILE_ATTRIBUTE_DIRECTORY)
        return LeftAlone::Unreadable;
    std::string bytes;
    switch (ReadBrowserFile(file, BrowserFile::Preferences, &bytes)) {
        case FileRead::Done:
            break;
        case FileRead::Missing:
            return LeftAlone::NothingThere;
        case FileRead::Unreadable:
            return LeftAlone::Failed;
        case FileRead::TooLarge:
            return LeftAlone::Unreadable;
    }
    *removal = TakeBackSitePermissions(bytes, chosen);
    return removal->usable ? LeftAlone::No : LeftAlone::Unreadable;
}

void NoteLeftAlone(const CleanupOptions& options,
                   LeftAlone reason,
                   const std::wstring& file,
                   CleanupOutcome* outcome,
                   bool inUse = false) {
    WritePathLine(options, LeftAloneLine(reason), file);
    if (!outcome)
        return;
    outcome->settingsLeftAlone.push_back(file);
    if (inUse)
        outcome->inUse.push_back(file);
}

}  // namespace

namespace {

RemovedGrant RecordedGrant(const SitePermissionGrant& grant, const RemovedMember& member) {
    return {SitePermissionName(grant.permission), grant.allSites, member.name, member.value};
}

// Says what could not be done after a failed swap; true when the swap was done.
bool NoteSwap(const CleanupOptions& options,
              const SettingsWrite& swap,
              const std::wstring& file,
              CleanupOutcome* outcome) {
    if (!swap.done) {
        NoteLeftAlone(options, LeftAlone::Failed, file, outcome, swap.inUse);
        // The old settings could not be moved back: say where they are.
        if (!swap.oldFileAt.empty())
            WritePathLine(options, SAVED_LINE, swap.oldFileAt);
    }
    if (!swap.left.empty()) {
        WritePathLine(options, L"  (could not remove) %ls", swap.left);
        if (outcome)
            outcome->leftBehind.push_back(swap.left);
    }
    return swap.done;
}

}  // namespace

void ResetSitePermissions(const CleanupOptions& options,
                          const ProfileOfBrowser& profile,
                          ChangeLog* log,
                          CleanupOutcome* outcome,
                          const std::vector<SitePermissionGrant>* chosen) {
    std::wstring file = profile.folder + L"\\" + PREFERENCES_FILE;
    DWORD attributes = 0;
    GrantRemoval removal;
    LeftAlone reason = LoadPreferences(profile.folder, file, &attributes, &removal, chosen);
    if (reason != LeftAlone::No) {
        if (reason != LeftAlone::NothingThere)
            NoteLeftAlone(options, reason, file, outcome);
        return;
    }
    if (removal.grants.empty())
        return;
    if (options.preview) {
        for (const SitePermissionGrant& grant : removal.grants)
            WriteLine(options, GrantLine(grant, true));
        return;
    }
    // A read-only file is one someone wants kept as it is.
    if (attributes & FILE_ATTRIBUTE_READONLY) {
        NoteLeftAlone(options, LeftAlone::ReadOnly, file, outcome);
        return;
    }
    std::wstring copy = CopyIntoRun(log, file, L".Preferences");
    std::vector<ChangeEntry> entries;
    for (std::size_t i = 0; i < removal.grants.size(); ++i) {
        ChangeEntry entry;
        entry.findingId = SitePermissionFindingId(profile.browser, profile.name, removal.grants[i]);
        entry.kind = "site-permission";
        entry.location = file;
        entry.grant = RecordedGrant(removal.grants[i], removal.removed[i]);
        entry.copy = copy;
        entries.push_back(std::move(entry));
    }
    std::size_t first = log->record.changes.size();
    if (copy.empty() || !RecordPending(log, std::move(entries))) {
        NoteLeftAlone(options, LeftAlone::Failed, file, outcome);
        WriteLine(options, copy.empty() ? L"  (no copy of the old settings could be made)"
                                        : L"  (the record of changes could not be written)");
        return;
    }
    bool swapped = NoteSwap(options, ReplaceSettingsFile(file, removal.bytes), file, outcome);
    for (std::size_t i = 0; i < removal.grants.size(); ++i) {
        if (swapped)
            MarkChange(log, first + i, ChangeState::Done);
        else
            MarkChange(log, first + i, ChangeState::Left, L"the file could not be replaced");
    }
    if (!swapped)
        return;
    if (outcome)
        outcome->permissionsTakenBack += removal.grants.size();
    for (const SitePermissionGrant& grant : removal.grants)
        WriteLine(options, GrantLine(grant, false));
    WritePathLine(options, SAVED_LINE, log->folder + L"\\" + copy);
}

void ResetSitePermissions(const CleanupOptions& options, const std::wstring& profile, CleanupOutcome* outcome) {
    ChangeLog log;
    std::size_t slash = profile.find_last_of(L'\\');
    ResetSitePermissions(options, {profile, L"", slash == std::wstring::npos ? profile : profile.substr(slash + 1)},
                         &log, outcome);
    FinishChangeLog(&log);
}

void PutBackSitePermissionEntries(const CleanupOptions& options,
                                  const std::wstring& file,
                                  const std::vector<std::size_t>& entries,
                                  ChangeLog* record) {
    std::vector<RemovedGrant> grants;
    for (std::size_t index : entries)
        grants.push_back(record->record.changes[index].grant);
    auto leaveAll = [&](const std::wstring& why) {
        for (std::size_t index : entries)
            MarkChange(record, index, ChangeState::Left, why);
        WriteLine(options, L"  left as it is (" + why + L"): " + MaskUnsafeCharacters(file));
    };
    std::wstring profile = file.substr(0, file.find_last_of(L'\\'));
    std::string bytes;
    FileRead read = ReadBrowserFile(file, BrowserFile::Preferences, &bytes);
    if (read != FileRead::Done) {
        leaveAll(read == FileRead::Missing ? L"the file is no longer there" : L"the file could not be read");
        return;
    }
    if (CheckInProfile(profile, file, PREFERENCES_FILE) != LeftAlone::No) {
        leaveAll(L"a link");
        return;
    }
    PermissionPutBack putBack = PutBackSitePermissions(bytes, grants);
    if (!putBack.usable) {
        leaveAll(L"the file is not of the shape the browsers write");
        return;
    }
    SettingsWrite swap;
    if (!putBack.bytes.empty()) {
        swap = ReplaceSettingsFile(file, putBack.bytes);
        if (!swap.done) {
            NoteSwap(options, swap, file, nullptr);
            leaveAll(L"the file could not be replaced");
            return;
        }
    }
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const ChangeEntry& entry = record->record.changes[entries[i]];
        std::wstring what = Utf8ToWide(entry.grant.permission) + L" " +
                            (entry.grant.allSites ? std::wstring(L"for every site")
                                                  : L"for " + MaskUnsafeCharacters(Utf8ToWide(entry.grant.member)));
        switch (putBack.each[i]) {
            case PutBack::Done:
            case PutBack::AlreadyThere:
                MarkChange(record, entries[i], ChangeState::Undone);
                WriteLine(options, L"  allowed again: " + what + L" in " + MaskUnsafeCharacters(file));
                break;
            case PutBack::SetAnew:
                MarkChange(record, entries[i], ChangeState::Left, L"the same site was set anew since");
                WriteLine(options, L"  left as it is (" + what + L" was set anew since; the old file is " +
                                       MaskUnsafeCharacters(entry.copy) + L" in the run's folder): " +
                                       MaskUnsafeCharacters(file));
                break;
            case PutBack::Unusable:
                MarkChange(record, entries[i], ChangeState::Left, L"the record's value is of another shape");
                WriteLine(options, L"  left as it is (" + what + L": the record's value is of another shape): " +
                                       MaskUnsafeCharacters(file));
                break;
        }
    }
    if (!swap.left.empty())
        WritePathLine(options, L"  (could not remove) %ls", swap.left);
}
