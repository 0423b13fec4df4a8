// Giving a repaired shortcut its old file back, from the copy in the run's
// folder, only while it is still as the repair left it: a shortcut edited since
// is the person's, and stays.
#include "base/win_handles.h"
#include "engine/engine_parts.h"

namespace {

// The copy's bytes under a new name beside the shortcut, then moved over it in one step.
bool CopyBackOver(const std::wstring& copy, const std::wstring& path) {
    std::wstring temporary = path + L".popswat-" + std::to_wstring(GetCurrentProcessId()) + L".tmp";
    if (!CopyFileW(LongPathForm(copy).c_str(), LongPathForm(temporary).c_str(), TRUE))
        return false;
    if (MoveFileExW(LongPathForm(temporary).c_str(), LongPathForm(path).c_str(),
                    MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return true;
    DeleteFileW(LongPathForm(temporary).c_str());
    return false;
}

}  // namespace

void PutBackShortcutEntry(const CleanupOptions& options, std::size_t index, ChangeLog* record) {
    const ChangeEntry& entry = record->record.changes[index];
    std::wstring shown = MaskUnsafeCharacters(entry.location);
    auto leave = [&](const std::wstring& why) {
        WriteLine(options, L"  shortcut left as it is (" + why + L"): " + shown);
        MarkChange(record, index, ChangeState::Left, why);
    };
    std::wstring copy = record->folder + L"\\" + entry.copy;
    std::wstring copyShown = MaskUnsafeCharacters(copy);
    if (entry.copy.empty() || PathIsGone(copy))
        return leave(L"its copy is missing from the run's folder");
    ShortcutReading now = ReadShortcut(entry.location);
    if (now.result == ShortcutRead::Missing)
        return leave(L"it is no longer there; its old file is " + copyShown);
    std::wstring folder = entry.location.substr(0, entry.location.find_last_of(L'\\'));
    std::wstring name = entry.location.substr(folder.size() + 1);
    if (now.result == ShortcutRead::Link || !IsAtItsOwnName(FinalPath(entry.location), FinalPath(folder), name))
        return leave(L"a link");
    if (now.result != ShortcutRead::Done)
        return leave(L"it could not be read; its old file is " + copyShown);
    if (now.fields.arguments != entry.newArguments)
        return leave(L"it was changed since; its old file is " + copyShown);
    ShortcutReading old = ReadShortcut(copy);
    if (old.result != ShortcutRead::Done || old.fields.arguments != entry.oldArguments)
        return leave(L"the copy " + copyShown + L" is not the old shortcut");
    if (!CopyBackOver(copy, entry.location))
        return leave(L"it could not be replaced; its old file is " + copyShown);
    MarkChange(record, index, ChangeState::Undone);
    WriteLine(options, L"  shortcut put back as it was: " + shown);
}
