// Giving a repaired shortcut its old arguments back, only while it is still as
// the repair left it: a shortcut edited since is the person's, and stays. The
// put-back is the repair's own rewrite the other way round, with all its checks
// (links, read-only, held open, changed in the moment of the swap), and it must
// give back the copy's bytes exactly.
#include "base/win_handles.h"
#include "engine/engine_parts.h"

void PutBackShortcutEntry(const CleanupOptions& options,
                          std::size_t index,
                          ShortcutFolderMemo* folders,
                          ChangeLog* record) {
    const ChangeEntry& entry = record->record.changes[index];
    std::wstring shown = MaskUnsafeCharacters(entry.location);
    auto leave = [&](const std::wstring& why) {
        WriteLine(options, L"  shortcut left as it is (" + why + L"): " + shown);
        MarkChange(record, index, ChangeState::Left, why);
    };
    std::wstring copy = record->folder + L"\\" + entry.copy;
    std::wstring copyShown = MaskUnsafeCharacters(copy);
    std::string old;
    if (entry.copy.empty() || ReadFileBytes(copy, MAX_SHORTCUT_FILE_BYTES, &old) != FileRead::Done)
        return leave(L"its copy is missing from the run's folder");
    // What the repair wrote: the copy with the new arguments.
    ShortcutArgumentsEdit repaired = ReplaceShortcutArguments(old, entry.newArguments);
    if (repaired.problem != ShortcutLayoutProblem::None || repaired.oldArguments != entry.oldArguments)
        return leave(L"the copy " + copyShown + L" is not the old shortcut");
    std::string now;
    if (ReadFileBytes(entry.location, MAX_SHORTCUT_FILE_BYTES, &now) == FileRead::Done && now == old) {
        // A run stopped before the change leaves the shortcut as it was.
        MarkChange(record, index, ChangeState::Undone);
        WriteLine(options, L"  shortcut was still as it had been: " + shown);
        return;
    }
    bool changedSince = false;
    bool notTheOldBytes = false;
    ShortcutRewriteSteps steps;
    steps.folders = folders;
    steps.keepCopy = [&](const std::string& current) {
        changedSince = current != repaired.bytes;
        notTheOldBytes = !changedSince && ReplaceShortcutArguments(current, entry.oldArguments).bytes != old;
        return !changedSince && !notTheOldBytes;
    };
    ShortcutRewrite rewrite = RewriteShortcutArguments(entry.location, entry.newArguments, entry.oldArguments, steps);
    switch (rewrite.result) {
        case ShortcutRewriteResult::Done:
            MarkChange(record, index, ChangeState::Undone);
            WriteLine(options, L"  shortcut put back as it was: " + shown);
            return;
        case ShortcutRewriteResult::Missing:
            return leave(L"it is no longer there; its old file is " + copyShown);
        case ShortcutRewriteResult::OtherArguments:
        case ShortcutRewriteResult::Changed:
        case ShortcutRewriteResult::ChangedWhileReplaced:
            return leave(L"it was changed since; its old file is " + copyShown);
        case ShortcutRewriteResult::NoCopy:
            if (changedSince)
                return leave(L"it was changed since; its old file is " + copyShown);
            if (notTheOldBytes)
                return leave(L"its old bytes could not be made again; its old file is " + copyShown);
            break;
        default:
            break;
    }
    leave(ShortcutRewriteProblem(rewrite) + L"; its old file is " + copyShown);
}
