#include "engine/engine_parts.h"

#include <windows.h>

namespace {

// True for every reparse point: junctions, symbolic links and mount points all
// carry this bit. Decide on the bit, not the reparse tag: Wine reports Unix links
// with tag 0.
bool IsReparsePoint(DWORD attributes) {
    return (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

// A reparse point is removed as itself and never entered, so nothing outside
// the tree being removed is touched. RemoveDirectoryW on a directory link removes
// the link, not its target.
bool RemoveReparsePoint(const std::wstring& path, DWORD attributes) {
    if (attributes & FILE_ATTRIBUTE_DIRECTORY)
        return RemoveDirectoryW(LongPathForm(path).c_str()) != FALSE;
    return DeleteFileW(LongPathForm(path).c_str()) != FALSE;
}

bool RemoveTree(const CleanupOptions& options, const std::wstring& folder, DWORD attributes);

void RemoveTreeContents(const CleanupOptions& options, const std::wstring& folder) {
    ForEachFolderEntry(folder, [&](const std::wstring& name, uint32_t attributes) {
        std::wstring child = folder + L"\\" + name;
        if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
            RemoveTree(options, child, attributes);
        } else if (IsReparsePoint(attributes)) {
            RemoveReparsePoint(child, attributes);
        } else {
            std::wstring longChild = LongPathForm(child);
            SetFileAttributesW(longChild.c_str(), FILE_ATTRIBUTE_NORMAL);
            DeleteFileW(longChild.c_str());
        }
    });
}

// Removes one folder with everything below it, or a reparse point as itself;
// writes a line for each folder removed, none for files or failures. True when
// it is gone.
bool RemoveTree(const CleanupOptions& options, const std::wstring& folder, DWORD attributes) {
    bool removed = false;
    if (IsReparsePoint(attributes)) {
        removed = RemoveReparsePoint(folder, attributes);
    } else {
        RemoveTreeContents(options, folder);
        removed = RemoveDirectoryW(LongPathForm(folder).c_str()) != FALSE;
    }
    if (removed && (attributes & FILE_ATTRIBUTE_DIRECTORY))
        WritePathLine(options, L"  deleted folder: %ls", folder);
    return removed;
}

// A file or tree that stays: one line, and a note in the outcome.
void ReportLeftBehind(const CleanupOptions& options, const std::wstring& path, CleanupOutcome* outcome) {
    WritePathLine(options, L"  (locked/failed) %ls", path);
    if (outcome)
        outcome->leftBehind.push_back(path);
}

}  // namespace

void RemoveFile(const CleanupOptions& options, const std::wstring& path, CleanupOutcome* outcome) {
    std::wstring longPath = LongPathForm(path);
    if (GetFileAttributesW(longPath.c_str()) == INVALID_FILE_ATTRIBUTES)
        return;
    if (options.preview) {
        WritePathLine(options, L"  [preview] would delete file: %ls", path);
        return;
    }
    // Read-only, hidden and system files refuse DeleteFileW until cleared.
    SetFileAttributesW(longPath.c_str(), FILE_ATTRIBUTE_NORMAL);
    if (DeleteFileW(longPath.c_str())) {
        WritePathLine(options, L"  deleted: %ls", path);
        return;
    }
    // Gone already (a browser, or another run, deleted it since it was seen):
    // as for a file that was never there, nothing to report.
    if (IsNotFoundError(GetLastError()) || PathIsGone(path))
        return;
    ReportLeftBehind(options, path, outcome);
}

void RemoveFolderTree(const CleanupOptions& options, const std::wstring& path, CleanupOutcome* outcome) {
    DWORD attributes = GetFileAttributesW(LongPathForm(path).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return;
    if (options.preview) {
        WritePathLine(options, L"  [preview] would delete folder: %ls", path);
        return;
    }
    // A folder still there holds something that could not be deleted: one line
    // for the whole tree, so a run never ends as clean with such files left.
    if (!RemoveTree(options, path, attributes) && (attributes & FILE_ATTRIBUTE_DIRECTORY) && !PathIsGone(path))
        ReportLeftBehind(options, path, outcome);
}
