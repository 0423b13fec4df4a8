// Fixes of what starts a browser from outside its files, and taking them back:
// a Run or RunOnce value deleted (its type and bytes recorded exactly first),
// a Startup-folder item moved into the run's folder. Each change's entry is in
// the record before the change is made; each change is tried only on what the
// review saw, and only where the process has the rights it takes.
#include "engine/engine_parts.h"

namespace {

// The text a string value holds, without its terminating zeros.
std::wstring StoredText(const SavedRegistryValue& value) {
    std::wstring text(value.data.size() / 2, L'\0');
    for (std::size_t i = 0; i < text.size(); ++i)
        text[i] = static_cast<wchar_t>(static_cast<unsigned char>(value.data[2 * i]) |
                                       static_cast<unsigned char>(value.data[2 * i + 1]) << 8);
    while (!text.empty() && text.back() == L'\0')
        text.pop_back();
    return text;
}

// Records the entry (pending) and makes the change; marks it done or left.
template <typename Change>
void RecordAndChange(const CleanupOptions& options,
                     ChangeEntry entry,
                     ChangeLog* log,
                     ChangeRunOutcome* result,
                     const std::wstring& doneLine,
                     Change change) {
    std::vector<PlannedChange> one;
    one.push_back({std::move(entry), doneLine, change});
    MakePlannedChanges(options, std::move(one), log, result);
}

std::wstring RunValueRefusal(const RegistryPlace& place) {
    if (KindOfRegistryPlace(place) != RegistryPlaceKind::RunValue)
        return L"not a start-up value";
    return NeedsAdministrator(RegistryPlaceNeedsAdministrator(place)) ? L"needs an administrator" : L"";
}

// Only what the review judged: a value rewritten since is someone's new choice.
bool RunValueAsReviewed(const SavedRegistryValue& value, const std::wstring& command) {
    return (value.type == REG_SZ || value.type == REG_EXPAND_SZ) && StoredText(value) == command;
}

const ValueFix RUN_VALUE_FIX = {"run-value", L"start-up value", RunValueRefusal, RunValueAsReviewed};

void PlanStartupItemMove(const CleanupOptions& options,
                         const FixTarget& target,
                         const LauncherSources& sources,
                         ChangeLog* log,
                         std::vector<PlannedChange>* plan,
                         ChangeRunOutcome* result) {
    if (!IsDirectlyInOneOf(target.location, sources.startupFolders))
        return LeaveTarget(options, "startup-item", target.location, L"not an item of a Startup folder", result);
    if (NeedsAdministrator(!MayChangeFolderEntries(FolderOfPath(target.location))))
        return LeaveTarget(options, "startup-item", target.location, L"needs an administrator", result);
    if (options.preview) {
        ++result->done;
        return WriteLine(options,
                         L"  [preview] would move out of the Startup folder: " + MaskUnsafeCharacters(target.location));
    }
    // Each item gets a folder of its own in the run's folder, named before the
    // move, so that the record says where it goes before it goes there.
    std::wstring folder;
    if (!EnsureRunFolder(log) || (folder = MakeFolderInRun(log)).empty())
        return LeaveTarget(options, "startup-item", target.location, L"no folder for it could be made in the backups",
                           result);
    ChangeEntry entry;
    entry.findingId = target.findingId;
    entry.kind = "startup-item";
    entry.location = target.location;
    entry.copy = folder;
    std::wstring item = target.location, into = log->folder + L"\\" + folder;
    plan->push_back({std::move(entry), L"  moved out of the Startup folder: ", [item, into] {
                         std::wstring movedTo;
                         return MoveFileIntoFolder(item, into, &movedTo);
                     }});
}

}  // namespace

std::wstring WhyNotChanged(const ChangeResult& step) {
    if (step.step == ChangeStep::Gone)
        return L"it is no longer there";
    if (!step.why.empty())
        return step.why;
    return step.step == ChangeStep::Changed ? L"it has changed since the review" : L"it could not be changed";
}

void LeaveTarget(const CleanupOptions& options,
                 const std::string& kind,
                 const std::wstring& location,
                 const std::wstring& why,
                 ChangeRunOutcome* result) {
    WriteLine(options, L"  left as it is (" + why + L"): " + MaskUnsafeCharacters(location));
    result->left.push_back({kind, why});
}

void MakePlannedChanges(const CleanupOptions& options,
                        std::vector<PlannedChange> planned,
                        ChangeLog* log,
                        ChangeRunOutcome* result) {
    if (planned.empty())
        return;
    // One write of the record for the whole batch: every entry is on the disk
    // before any of its changes is made, and an entry left pending by a run
    // stopped midway is put back as it was found.
    std::size_t first = log->record.changes.size();
    std::vector<ChangeEntry> entries;
    for (const PlannedChange& change : planned)
        entries.push_back(change.entry);
    if (!RecordPending(log, std::move(entries))) {
        for (const PlannedChange& change : planned)
            LeaveTarget(options, change.entry.kind, change.entry.location,
                        L"the record of changes could not be written", result);
        return;
    }
    for (std::size_t i = 0; i < planned.size(); ++i) {
        const std::wstring& location = planned[i].entry.location;
        ChangeResult done = planned[i].change();
        if (done.step != ChangeStep::Done) {
            std::wstring why = WhyNotChanged(done);
            MarkChange(log, first + i, ChangeState::Left, why);
            LeaveTarget(options, planned[i].entry.kind, location, why, result);
            continue;
        }
        MarkChange(log, first + i, ChangeState::Done);
        ++result->done;
        WriteLine(options, planned[i].doneLine + MaskUnsafeCharacters(location));
    }
}

void PlanValueDeletion(const CleanupOptions& options,
                       const FixTarget& target,
                       const LauncherRegistryRoots& roots,
                       const ValueFix& fix,
                       std::vector<PlannedChange>* plan,
                       ChangeRunOutcome* result) {
    RegistryPlace place;
    SavedRegistryValue saved;
    if (!FindRegistryPlace(roots, target.location, &place))
        return LeaveTarget(options, fix.kind, target.location, L"it is no longer there", result);
    std::wstring refusal = fix.refusal(place);
    if (!refusal.empty())
        return LeaveTarget(options, fix.kind, target.location, refusal, result);
    ChangeResult read = SaveRegistryValue(roots, place, &saved);
    if (read.step != ChangeStep::Done)
        return LeaveTarget(options, fix.kind, target.location,
                           read.step == ChangeStep::Gone ? L"it is no longer there" : read.why, result);
    if (!fix.asReviewed(saved, target.command))
        return LeaveTarget(options, fix.kind, target.location, L"it has changed since the review", result);
    if (options.preview) {
        ++result->done;
        return WriteLine(options, L"  [preview] would delete the " + std::wstring(fix.what) + L": " +
                                      MaskUnsafeCharacters(target.location));
    }
    ChangeEntry entry;
    entry.findingId = target.findingId;
    entry.kind = fix.kind;
    entry.location = RegistryPlaceText(place);
    entry.machine = place.machine;
    entry.valueKey = place.key;
    entry.valueName = place.name;
    entry.valueType = saved.type;
    entry.valueData = saved.data;
    plan->push_back({std::move(entry), L"  " + std::wstring(fix.what) + L" deleted: ",
                     [roots, place, saved] { return DeleteRegistryValueIfSame(roots, place, saved); }});
}

ChangeResult PutDeletedValueBack(const LauncherRegistryRoots& roots, const ChangeEntry& entry) {
    return PutRegistryValueBack(roots, {entry.machine, entry.valueKey, entry.valueName},
                                {entry.valueType, entry.valueData});
}

bool IsDirectlyInOneOf(const std::wstring& path, const std::vector<std::wstring>& folders) {
    std::wstring folder = FolderOfPath(path);
    if (folder.empty() || path.find(L'/') != std::wstring::npos || path.find(L"\\.\\") != std::wstring::npos ||
        path.find(L"\\..") != std::wstring::npos)
        return false;
    for (const std::wstring& root : folders) {
        if (!root.empty() && SamePath(folder, root))
            return true;
    }
    return false;
}

void FixOutsideTheBrowsers(const CleanupOptions& options,
                           const std::vector<FixTarget>& targets,
                           const LauncherSources& sources,
                           ChangeLog* log,
                           ChangeRunOutcome* result) {
    bool any = false;
    std::vector<PlannedChange> plan;
    for (const FixTarget& target : targets) {
        std::string_view kind = target.kind ? target.kind->name : "";
        if (kind != "run-value" && kind != "startup-item")
            continue;
        if (!any)
            WriteLine(options, L"Taking away what starts a browser at log-on...");
        any = true;
        if (kind == "run-value")
            PlanValueDeletion(options, target, sources.registry, RUN_VALUE_FIX, &plan, result);
        else
            PlanStartupItemMove(options, target, sources, log, &plan, result);
    }
    MakePlannedChanges(options, std::move(plan), log, result);
}

std::wstring OutsideRefusal(const ChangeEntry& entry, const LauncherSources& sources) {
    if (entry.kind == "run-value")
        return RunValueRefusal({entry.machine, entry.valueKey, entry.valueName});
    if (!IsDirectlyInOneOf(entry.location, sources.startupFolders))
        return L"not an item of a Startup folder";
    return NeedsAdministrator(!MayChangeFolderEntries(FolderOfPath(entry.location))) ? L"needs an administrator" : L"";
}

void PutBackOutsideEntry(const CleanupOptions& options,
                         std::size_t index,
                         const LauncherSources& sources,
                         ChangeLog* log) {
    const ChangeEntry& entry = log->record.changes[index];
    ChangeResult back;
    const wchar_t* doneLine;
    if (entry.kind == "run-value") {
        back = PutDeletedValueBack(sources.registry, entry);
        doneLine = L"  start-up value put back: ";
    } else {
        std::wstring name = entry.location.substr(entry.location.find_last_of(L'\\') + 1);
        std::wstring moved = log->folder + L"\\" + entry.copy + L"\\" + name;
        // A run stopped before the move left the item where it was.
        if (entry.state == ChangeState::Pending && PathIsGone(moved) && !PathIsGone(entry.location))
            back = {ChangeStep::Done, L""};
        else
            back = MoveFileBack(moved, entry.location);
        doneLine = L"  put back in the Startup folder: ";
    }
    if (back.step == ChangeStep::Done) {
        MarkChange(log, index, ChangeState::Undone);
        return WriteLine(options, doneLine + MaskUnsafeCharacters(entry.location));
    }
    std::wstring why = back.why.empty() ? L"it could not be put back" : back.why;
    MarkChange(log, index, ChangeState::Left, why);
    WriteLine(options, L"  left as it is (" + why + L"): " + MaskUnsafeCharacters(entry.location));
}
