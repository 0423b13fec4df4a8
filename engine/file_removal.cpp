#include "engine/engine_parts.h"

#include <algorithm>

#include "base/win_handles.h"

namespace {

// True for every reparse point: junctions, symbolic links and mount points all
// carry this bit. Decide on the bit, not the reparse tag: Wine reports Unix links
// to folders with tag 0.
bool IsReparsePoint(DWORD attributes) {
    return (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

// InUse: another program holds the file open without letting it be deleted.
enum class FileRemoval { Deleted, Gone, Link, Failed, InUse };

bool IsInUseError(DWORD error) {
    return error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION;
}

// The folder part of a path: everything before its last backslash.
// Where a file resolves: to its own name in its folder, or elsewhere (a link).
// Under Wine a Unix link to a file carries no reparse point, and deleting it
// deletes its target wherever that is, read-only or not.
enum class Place { OwnName, Elsewhere, Unknown };

// resolved: the file's final path; folderFinalPath: its folder's (FinalPath).
Place PlaceOf(const std::wstring& resolved, const std::wstring& path, const std::wstring& folderFinalPath) {
    if (resolved.empty() || folderFinalPath.empty())
        return Place::Unknown;
    return IsAtItsOwnName(resolved, folderFinalPath, path.substr(path.find_last_of(L'\\') + 1)) ? Place::OwnName
                                                                                                : Place::Elsewhere;
}

// A folder entry that is a link (a reparse point, or a folder that resolves
// elsewhere) is removed as itself, through a handle opened on the link and not on
// what it leads to, and never entered. Under Wine a Unix link cannot be opened as
// itself (the handle is its target's, and RemoveDirectoryW removes an empty
// target): such a link is left alone. With preview, only checks.
FileRemoval RemoveLinkItself(const std::wstring& path, const std::wstring& folderFinalPath, bool preview) {
    UniqueHandle link(CreateFileW(LongPathForm(path).c_str(), DELETE | FILE_READ_ATTRIBUTES,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                  FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!link) {
        DWORD error = GetLastError();
        return IsNotFoundError(error) || error == ERROR_DELETE_PENDING ? FileRemoval::Gone : FileRemoval::Link;
    }
    FILE_BASIC_INFO basic = {};
    bool isLinkItself = GetFileInformationByHandleEx(link.get(), FileBasicInfo, &basic, sizeof(basic)) &&
                        IsReparsePoint(basic.FileAttributes) &&
                        PlaceOf(FinalPathOfHandle(link.get()), path, folderFinalPath) == Place::OwnName;
    if (!isLinkItself)
        return FileRemoval::Link;
    if (preview)
        return FileRemoval::Deleted;
    FILE_DISPOSITION_INFO disposition = {TRUE};
    return SetFileInformationByHandle(link.get(), FileDispositionInfo, &disposition, sizeof(disposition))
               ? FileRemoval::Deleted
               : FileRemoval::Failed;
}

// True for a folder entry to treat as a link: a reparse point, or a folder whose
// final path is not its own name in its folder.
bool IsFolderLink(const std::wstring& path, DWORD attributes, const std::wstring& folderFinalPath) {
    if (IsReparsePoint(attributes))
        return true;
    return (attributes & FILE_ATTRIBUTE_DIRECTORY) &&
           PlaceOf(FinalPath(path), path, folderFinalPath) == Place::Elsewhere;
}

// Deletes one file through a handle opened on it, once it is known to be the
// file named: what is checked is what is deleted.
FileRemoval RemoveOwnFile(const std::wstring& path, const std::wstring& folderFinalPath) {
    UniqueHandle file(CreateFileW(LongPathForm(path).c_str(), DELETE | FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        // A file another deletion has marked goes when its last handle closes.
        DWORD error = GetLastError();
        if (IsNotFoundError(error) || error == ERROR_DELETE_PENDING)
            return FileRemoval::Gone;
        return IsInUseError(error) ? FileRemoval::InUse : FileRemoval::Failed;
    }
    switch (PlaceOf(FinalPathOfHandle(file.get()), path, folderFinalPath)) {
        case Place::OwnName:
            break;
        case Place::Elsewhere:
            return FileRemoval::Link;
        case Place::Unknown:
            return FileRemoval::Failed;
    }
    // Read-only, hidden and system files refuse deletion until cleared; times of 0 stay as they are.
    FILE_BASIC_INFO basic = {};
    basic.FileAttributes = FILE_ATTRIBUTE_NORMAL;
    SetFileInformationByHandle(file.get(), FileBasicInfo, &basic, sizeof(basic));
    FILE_DISPOSITION_INFO disposition = {TRUE};
    return SetFileInformationByHandle(file.get(), FileDispositionInfo, &disposition, sizeof(disposition))
               ? FileRemoval::Deleted
               : FileRemoval::Failed;
}

// A file that leads elsewhere: one line, and a note in the outcome.
void ReportLink(const CleanupOptions& options, const std::wstring& path, CleanupOutcome* outcome) {
    WritePathLine(options, L"  (a link, left alone) %ls", path);
    if (outcome)
        outcome->linksLeftAlone.push_back(path);
}

// What removing a tree left: nothing, only links that were left alone, more, or
// more with something held open among it (in the order of what a run says).
enum class TreeRemoval { Removed, LinksKept, Failed, InUse };

TreeRemoval RemoveTree(const CleanupOptions& options,
                       const std::wstring& folder,
                       DWORD attributes,
                       CleanupOutcome* outcome);

// A folder link: "  deleted link: ..." once it is gone as itself, or one line
// saying it was left alone (also in preview), noted in the outcome.
TreeRemoval RemoveFolderLink(const CleanupOptions& options,
                             const std::wstring& path,
                             const std::wstring& folderFinalPath,
                             CleanupOutcome* outcome) {
    switch (RemoveLinkItself(path, folderFinalPath, options.preview)) {
        case FileRemoval::Deleted:
            WritePathLine(options, options.preview ? L"  [preview] would delete link: %ls" : L"  deleted link: %ls",
                          path);
            return TreeRemoval::Removed;
        case FileRemoval::Gone:
            return TreeRemoval::Removed;
        case FileRemoval::Link:
            ReportLink(options, path, outcome);
            return TreeRemoval::LinksKept;
        case FileRemoval::Failed:
        case FileRemoval::InUse:
            break;
    }
    return TreeRemoval::Failed;
}

TreeRemoval RemoveTreeContents(const CleanupOptions& options, const std::wstring& folder, CleanupOutcome* outcome) {
    TreeRemoval result = TreeRemoval::Removed;
    auto note = [&result](TreeRemoval part) { result = std::max(result, part); };
    std::wstring folderFinalPath = FinalPath(folder);
    ForEachFolderEntry(folder, [&](const std::wstring& name, uint32_t attributes) {
        std::wstring child = folder + L"\\" + name;
        if (IsFolderLink(child, attributes, folderFinalPath)) {
            note(RemoveFolderLink(options, child, folderFinalPath, outcome));
        } else if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
            note(RemoveTree(options, child, attributes, outcome));
        } else {
            FileRemoval removal = RemoveOwnFile(child, folderFinalPath);
            if (removal == FileRemoval::Link) {
                ReportLink(options, child, outcome);
                note(TreeRemoval::LinksKept);
            } else if (removal == FileRemoval::InUse) {
                note(TreeRemoval::InUse);
            }
        }
    });
    return result;
}

// Removes one folder (no link) with everything below it; writes a line for each
// folder and link removed and each link left alone, none for other files or
// failures.
TreeRemoval RemoveTree(const CleanupOptions& options,
                       const std::wstring& folder,
                       DWORD attributes,
                       CleanupOutcome* outcome) {
    TreeRemoval contents = RemoveTreeContents(options, folder, outcome);
    if (RemoveDirectoryW(LongPathForm(folder).c_str())) {
        if (attributes & FILE_ATTRIBUTE_DIRECTORY)
            WritePathLine(options, L"  deleted folder: %ls", folder);
        return TreeRemoval::Removed;
    }
    return contents == TreeRemoval::Removed ? TreeRemoval::Failed : contents;
}

// A file or tree that stays: one line, and a note in the outcome, also of
// whether another program held it (or a file in it) open.
void ReportLeftBehind(const CleanupOptions& options, const std::wstring& path, bool inUse, CleanupOutcome* outcome) {
    WritePathLine(options, L"  (locked/failed) %ls", path);
    if (!outcome)
        return;
    outcome->leftBehind.push_back(path);
    if (inUse)
        outcome->inUse.push_back(path);
}

}  // namespace

void RemoveFile(const CleanupOptions& options, const std::wstring& path, CleanupOutcome* outcome) {
    if (GetFileAttributesW(LongPathForm(path).c_str()) == INVALID_FILE_ATTRIBUTES)
        return;
    std::wstring folderFinalPath = FinalPath(FolderOfPath(path));
    if (options.preview) {
        if (PlaceOf(FinalPath(path), path, folderFinalPath) == Place::Elsewhere)
            ReportLink(options, path, outcome);
        else
            WritePathLine(options, L"  [preview] would delete file: %ls", path);
        return;
    }
    FileRemoval removal = RemoveOwnFile(path, folderFinalPath);
    switch (removal) {
        case FileRemoval::Deleted:
            WritePathLine(options, L"  deleted: %ls", path);
            return;
        case FileRemoval::Link:
            ReportLink(options, path, outcome);
            return;
        case FileRemoval::Gone:
            // Gone already (a browser, or another run, deleted it since it was seen):
            // as for a file that was never there, nothing to report.
            return;
        case FileRemoval::Failed:
        case FileRemoval::InUse:
            break;
    }
    if (!PathIsGone(path))
        ReportLeftBehind(options, path, removal == FileRemoval::InUse, outcome);
}

void RemoveFolderTree(const CleanupOptions& options, const std::wstring& path, CleanupOutcome* outcome) {
    DWORD attributes = GetFileAttributesW(LongPathForm(path).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return;
    std::wstring folderFinalPath = FinalPath(FolderOfPath(path));
    if (IsFolderLink(path, attributes, folderFinalPath)) {
        if (RemoveFolderLink(options, path, folderFinalPath, outcome) == TreeRemoval::Failed && !PathIsGone(path))
            ReportLeftBehind(options, path, false, outcome);
        return;
    }
    if (options.preview) {
        WritePathLine(options, L"  [preview] would delete folder: %ls", path);
        return;
    }
    // A folder still there holds something that could not be deleted: one line
    // for the whole tree, so a run never ends as clean with such files left. A
    // tree kept only by links left alone has said so already.
    TreeRemoval removal = RemoveTree(options, path, attributes, outcome);
    bool stayed = removal == TreeRemoval::Failed || removal == TreeRemoval::InUse;
    if (stayed && (attributes & FILE_ATTRIBUTE_DIRECTORY) && !PathIsGone(path))
        ReportLeftBehind(options, path, removal == TreeRemoval::InUse, outcome);
}
