// Writing a browser's settings file anew the way the browsers write their own:
// the new text goes into a new file in the same folder, flushed and read back,
// before ReplaceFileKeepingOld swaps it in (keeping the old file under a passing
// name in the same step, removed once the swap is done). Until the swap
// succeeds the old file is never touched.
#include "base/win_handles.h"
#include "engine/engine_testing.h"

void (*resetWroteTemporaryFile)(const std::wstring& temporaryFile) = nullptr;

SettingsFileCheck CheckSettingsFile(const std::wstring& path) {
    DWORD attributes = GetFileAttributesW(LongPathForm(path).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return PathIsGone(path) ? SettingsFileCheck::Missing : SettingsFileCheck::Unreadable;
    if (attributes & FILE_ATTRIBUTE_DIRECTORY)
        return SettingsFileCheck::Unreadable;
    // A link (also a Unix link under Wine, which carries no reparse point)
    // resolves elsewhere than its own name: writing there would change a file
    // outside the profile, and replacing it would cut the link.
    std::wstring folder = FinalPath(FolderOfPath(path));
    std::wstring final = FinalPath(path);
    if (folder.empty() || final.empty())
        return SettingsFileCheck::Unreadable;
    if (!IsAtItsOwnName(final, folder, path.substr(path.find_last_of(L'\\') + 1)))
        return SettingsFileCheck::Link;
    // A read-only file is one someone wants kept as it is.
    return (attributes & FILE_ATTRIBUTE_READONLY) ? SettingsFileCheck::ReadOnly : SettingsFileCheck::Plain;
}

const wchar_t* SettingsFileCheckText(SettingsFileCheck check) {
    switch (check) {
        case SettingsFileCheck::Plain:
            return L"";
        case SettingsFileCheck::Missing:
            return L"the file is no longer there";
        case SettingsFileCheck::Link:
            return L"a link";
        case SettingsFileCheck::ReadOnly:
            return L"read-only";
        case SettingsFileCheck::Unreadable:
            break;
    }
    return L"the file could not be read";
}

SettingsWrite ReplaceSettingsFile(const std::wstring& file, const std::string& bytes) {
    std::wstring stem =
        file + L".popswat-" + std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(GetTickCount64());
    std::wstring temporary = stem + L".tmp";
    std::wstring backup = stem + L".old";
    SettingsWrite result;
    bool made = false;
    bool written = WriteNewFlushedFile(temporary, bytes, &made);
    if (!made)
        return result;
    if (written && resetWroteTemporaryFile)
        resetWroteTemporaryFile(temporary);
    std::string readBack;
    if (written && ReadFileBytes(temporary, bytes.size(), &readBack) == FileRead::Done && readBack == bytes) {
        FileReplacement replaced = ReplaceFileKeepingOld(file, temporary, backup);
        result.inUse = replaced.error == ERROR_SHARING_VIOLATION || replaced.error == ERROR_LOCK_VIOLATION;
        if (replaced.result == FileReplace::Done) {
            result.done = true;
            if (!RemoveFileWithRetries(backup))
                result.left = backup;
            return result;
        }
        if (replaced.result == FileReplace::OldFileAtBackup)
            result.oldFileAt = backup;
        // The new file may stay at its passing name whether or not the old one moved.
        if (replaced.replacementStayed)
            result.left = temporary;
        return result;
    }
    if (!RemoveFileWithRetries(temporary))
        result.left = temporary;
    return result;
}

void NoteSettingsWrite(const CleanupOptions& options, const SettingsWrite& write) {
    if (!write.oldFileAt.empty())
        WritePathLine(options, L"  the old settings are now: %ls", write.oldFileAt);
    if (!write.left.empty())
        WritePathLine(options, L"  (could not remove) %ls", write.left);
}
