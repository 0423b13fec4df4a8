// Firefox's distribution\policies.json moved whole into the run's folder, and
// --undo moving it back. Firefox reads the file at every start and applies its
// policies over the profile's settings; without it, its own defaults apply.
// The file is only ever moved (a rename on the same volume, write-through),
// never rewritten, so the copy in the backups is the file byte for byte.
#include "engine/engine_parts.h"

namespace {

const char KIND[] = "firefox-policies-file";
const wchar_t FILE_NAME[] = L"policies.json";

// True when path is, lexically and as the folder list says, <install folder>\distribution\policies.json.
bool IsPoliciesFileOf(const std::wstring& path, const std::vector<std::wstring>& installFolders) {
    if (!IsFullPath(path) || path.find(L'/') != std::wstring::npos || path.find(L"\\.\\") != std::wstring::npos ||
        path.find(L"\\..") != std::wstring::npos)
        return false;
    for (const std::wstring& folder : installFolders) {
        if (!folder.empty() && SamePath(path, folder + L"\\distribution\\" + FILE_NAME))
            return true;
    }
    return false;
}

// The distribution folder's entries change: the move needs the rights to delete from it and add to it.
bool NeedsRights(const std::wstring& path) {
    return NeedsAdministrator(!MayChangeFolderEntries(FolderOfPath(path)));
}

// "" when the file holds what the review read; else why not.
std::wstring DifferenceFromReview(const std::wstring& path, const std::wstring& digest) {
    std::string bytes;
    switch (ReadFileBytes(path, MAX_FIREFOX_POLICIES_BYTES, &bytes)) {
        case FileRead::Done:
            return FileBytesDigest(bytes) == digest ? L"" : L"it has changed since the review";
        case FileRead::Missing:
            return L"it is no longer there";
        case FileRead::TooLarge:
            return L"it has changed since the review";
        case FileRead::Unreadable:
            break;
    }
    return L"it could not be read";
}

void PlanMove(const CleanupOptions& options,
              const FixTarget& target,
              const PolicyRoots& roots,
              ChangeLog* log,
              std::vector<PlannedChange>* plan,
              ChangeRunOutcome* result) {
    if (!IsPoliciesFileOf(target.location, roots.firefoxFolders))
        return LeaveTarget(options, KIND, target.location, L"not the policies.json of a Firefox install folder",
                           result);
    if (NeedsRights(target.location))
        return LeaveTarget(options, KIND, target.location, L"needs an administrator", result);
    std::wstring difference = DifferenceFromReview(target.location, target.command);
    if (!difference.empty())
        return LeaveTarget(options, KIND, target.location, difference, result);
    if (options.preview) {
        ++result->done;
        return WriteLine(options, L"  [preview] would move Firefox's policies out of its distribution folder: " +
                                      MaskUnsafeCharacters(target.location));
    }
    // A folder of its own in the run's folder, named in the record before the move.
    std::wstring folder;
    if (!EnsureRunFolder(log) || (folder = MakeFolderInRun(log)).empty())
        return LeaveTarget(options, KIND, target.location, L"no folder for it could be made in the backups", result);
    ChangeEntry entry;
    entry.findingId = target.findingId;
    entry.kind = KIND;
    entry.location = target.location;
    entry.copy = folder;
    std::wstring path = target.location, digest = target.command, into = log->folder + L"\\" + folder;
    plan->push_back({std::move(entry), L"  Firefox's policies moved out of its distribution folder: ",
                     [path, digest, into]() -> ChangeResult {
                         // Checked again right before the move: the record was written meanwhile.
                         std::wstring why = DifferenceFromReview(path, digest);
                         if (!why.empty())
                             return {ChangeStep::Changed, why};
                         std::wstring movedTo;
                         return MoveFileIntoFolder(path, into, &movedTo);
                     }});
}

}  // namespace

void FixFirefoxPoliciesFiles(const CleanupOptions& options,
                             const std::vector<FixTarget>& targets,
                             const PolicyRoots& roots,
                             ChangeLog* log,
                             ChangeRunOutcome* result) {
    std::vector<PlannedChange> plan;
    std::vector<std::wstring> seen;
    for (const FixTarget& target : targets) {
        if (!target.kind || std::string_view(target.kind->name) != KIND)
            continue;
        bool again = false;
        for (const std::wstring& path : seen)
            again |= SamePath(path, target.location);
        if (again)
            continue;
        if (seen.empty())
            WriteLine(options, L"Moving Firefox's policies.json out of the way...");
        seen.push_back(target.location);
        PlanMove(options, target, roots, log, &plan, result);
    }
    MakePlannedChanges(options, std::move(plan), log, result);
}

std::wstring FirefoxPoliciesFileRefusal(const ChangeEntry& entry, const PolicyRoots& roots) {
    if (!IsPoliciesFileOf(entry.location, roots.firefoxFolders))
        return L"not the policies.json of a Firefox install folder";
    return NeedsRights(entry.location) ? L"needs an administrator" : L"";
}

void PutBackFirefoxPoliciesFile(const CleanupOptions& options, std::size_t index, ChangeLog* log) {
    const ChangeEntry& entry = log->record.changes[index];
    std::wstring moved = log->folder + L"\\" + entry.copy + L"\\" + FILE_NAME;
    ChangeResult back;
    if (entry.state == ChangeState::Pending && PathIsGone(moved) && !PathIsGone(entry.location)) {
        // A run stopped before the move left the file where it was.
        back = {ChangeStep::Done, L""};
    } else {
        // An uninstaller or a person may have taken the empty folder away.
        std::wstring distribution = FolderOfPath(entry.location);
        if (PathIsGone(distribution) && !PathIsGone(moved))
            CreateDirectoryW(LongPathForm(distribution).c_str(), nullptr);
        back = MoveFileBack(moved, entry.location);
        if (back.step == ChangeStep::NameTaken)
            back.why = L"another policies.json is there now; PopSwat's copy is " + moved;
    }
    if (back.step == ChangeStep::Done) {
        MarkChange(log, index, ChangeState::Undone);
        return WriteLine(options, L"  Firefox's policies put back: " + MaskUnsafeCharacters(entry.location));
    }
    std::wstring why = back.why.empty() ? L"it could not be put back" : back.why;
    MarkChange(log, index, ChangeState::Left, why);
    WriteLine(options,
              L"  left as it is (" + MaskUnsafeCharacters(why) + L"): " + MaskUnsafeCharacters(entry.location));
}
