// Fixes that take a file out of the way: a Startup-folder item moved into the
// run's backup folder, and --undo moving it back. A move is a rename on the
// same volume; a link, a folder or a file held open is left where it is.
#include "engine/engine_parts.h"

namespace {

ChangeResult Result(ChangeStep step, std::wstring why = std::wstring()) {
    return {step, std::move(why)};
}

// Gone, Refused (a folder, a link) or Done for a plain file.
ChangeResult PlainFile(const std::wstring& path) {
    DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        DWORD error = GetLastError();
        if (IsNotFoundError(error))
            return Result(ChangeStep::Gone);
        return Result(ChangeStep::Failed, FormatWide(L"could not be examined (error %lu)", error));
    }
    if (attributes & FILE_ATTRIBUTE_DIRECTORY)
        return Result(ChangeStep::Refused, L"is a folder, not a file");
    if (attributes & FILE_ATTRIBUTE_REPARSE_POINT)
        return Result(ChangeStep::Refused, L"is a link, not followed");
    // Under Wine a Unix link carries no reparse point: only where it resolves tells.
    std::size_t slash = path.find_last_of(L'\\');
    if (slash == std::wstring::npos ||
        !IsAtItsOwnName(FinalPath(path), FinalPath(path.substr(0, slash)), path.substr(slash + 1)))
        return Result(ChangeStep::Refused, L"is a link, not followed");
    return Result(ChangeStep::Done);
}

ChangeResult MoveFailure(DWORD error) {
    if (error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION)
        return Result(ChangeStep::Failed, L"is in use");
    if (error == ERROR_ACCESS_DENIED)
        return Result(ChangeStep::Failed, L"could not be moved (access denied)");
    return Result(ChangeStep::Failed, FormatWide(L"could not be moved (error %lu)", error));
}

std::wstring FileNameOf(const std::wstring& path) {
    std::size_t slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? path : path.substr(slash + 1);
}

}  // namespace

ChangeResult MoveFileIntoFolder(const std::wstring& path, const std::wstring& folder, std::wstring* movedTo) {
    ChangeResult plain = PlainFile(path);
    if (plain.step != ChangeStep::Done)
        return plain;
    std::wstring name = FileNameOf(path);
    // Two items of the same name (one per Startup folder) each get a name of their own.
    for (int attempt = 1; attempt <= 100; ++attempt) {
        std::wstring target = folder + L"\\" + (attempt == 1 ? name : FormatWide(L"%d ", attempt) + name);
        // No MOVEFILE_REPLACE_EXISTING: a name already there is never overwritten.
        if (MoveFileExW(path.c_str(), target.c_str(), MOVEFILE_WRITE_THROUGH)) {
            *movedTo = target;
            return Result(ChangeStep::Done);
        }
        DWORD error = GetLastError();
        if (error != ERROR_ALREADY_EXISTS && error != ERROR_FILE_EXISTS)
            return MoveFailure(error);
    }
    return Result(ChangeStep::Failed, L"could not be given a name in the backup folder");
}

ChangeResult MoveFileBack(const std::wstring& movedTo, const std::wstring& path) {
    ChangeResult plain = PlainFile(movedTo);
    if (plain.step == ChangeStep::Gone)
        return Result(ChangeStep::Failed, L"its copy is missing from the backup folder");
    if (plain.step != ChangeStep::Done)
        return plain;
    if (MoveFileExW(movedTo.c_str(), path.c_str(), MOVEFILE_WRITE_THROUGH))
        return Result(ChangeStep::Done);
    DWORD error = GetLastError();
    if (error == ERROR_ALREADY_EXISTS || error == ERROR_FILE_EXISTS)
        return Result(ChangeStep::NameTaken, L"its name is taken by another file");
    if (IsNotFoundError(error))
        return Result(ChangeStep::Failed, L"its folder is gone");
    return MoveFailure(error);
}
