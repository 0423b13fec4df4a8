#include "engine/engine.h"

#include <windows.h>

namespace {

bool IsLink(DWORD attributes) {
    // Junctions, directory symbolic links and mount points all carry this bit.
    // Decide on the bit, not the reparse tag: Wine reports Unix links with tag 0.
    return (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

// A link is removed as itself and never entered, so nothing outside the tree
// being removed is touched. RemoveDirectoryW on a directory link removes the
// link, not its target.
bool RemoveLink(const std::wstring& path, DWORD attributes) {
    if (attributes & FILE_ATTRIBUTE_DIRECTORY)
        return RemoveDirectoryW(LongPathForm(path).c_str()) != FALSE;
    return DeleteFileW(LongPathForm(path).c_str()) != FALSE;
}

void RemoveTreeContents(const CleanupOptions& options, const std::wstring& folder) {
    ForEachFolderEntry(folder, [&](const std::wstring& name, uint32_t attributes) {
        std::wstring child = folder + L"\\" + name;
        if (IsLink(attributes)) {
            if (RemoveLink(child, attributes) && (attributes & FILE_ATTRIBUTE_DIRECTORY))
                WriteLine(options, FormatWide(L"  deleted folder: %ls", child.c_str()));
        } else if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
            RemoveFolderTree(options, child);
        } else {
            std::wstring longChild = LongPathForm(child);
            SetFileAttributesW(longChild.c_str(), FILE_ATTRIBUTE_NORMAL);
            DeleteFileW(longChild.c_str());
        }
    });
}

}  // namespace

void RemoveFile(const CleanupOptions& options, const std::wstring& path) {
    std::wstring longPath = LongPathForm(path);
    if (GetFileAttributesW(longPath.c_str()) == INVALID_FILE_ATTRIBUTES)
        return;
    if (options.preview) {
        WriteLine(options, FormatWide(L"  [preview] would delete file: %ls", path.c_str()));
        return;
    }
    // Read-only, hidden and system files refuse DeleteFileW until cleared.
    SetFileAttributesW(longPath.c_str(), FILE_ATTRIBUTE_NORMAL);
    if (DeleteFileW(longPath.c_str()))
        WriteLine(options, FormatWide(L"  deleted: %ls", path.c_str()));
    else
        WriteLine(options, FormatWide(L"  (locked/failed) %ls", path.c_str()));
}

void RemoveFolderTree(const CleanupOptions& options, const std::wstring& path) {
    DWORD attributes = GetFileAttributesW(LongPathForm(path).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return;
    if (options.preview) {
        WriteLine(options, FormatWide(L"  [preview] would delete folder: %ls", path.c_str()));
        return;
    }
    if (IsLink(attributes)) {
        if (RemoveLink(path, attributes) && (attributes & FILE_ATTRIBUTE_DIRECTORY))
            WriteLine(options, FormatWide(L"  deleted folder: %ls", path.c_str()));
        return;
    }
    RemoveTreeContents(options, path);
    if (RemoveDirectoryW(LongPathForm(path).c_str()))
        WriteLine(options, FormatWide(L"  deleted folder: %ls", path.c_str()));
}
