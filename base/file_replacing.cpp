// Replacing a file by a new one in the same folder, the way the browsers write
// their settings: ReplaceFileW swaps the names and keeps the old file under a
// backup name in one step.
#include "base/base.h"
#include "base/win_handles.h"

namespace {

constexpr int REPLACE_TRIES = 10;
constexpr DWORD REPLACE_PAUSE_MS = 100;

// Worth another try: someone held the file for a moment.
bool IsPassingHold(DWORD error) {
    return error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION || error == ERROR_ACCESS_DENIED;
}

}  // namespace

bool WriteNewFlushedFile(const std::wstring& path, const std::string& bytes, bool* made) {
    UniqueHandle file(
        CreateFileW(LongPathForm(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
    *made = static_cast<bool>(file);
    if (!file)
        return false;
    DWORD written = 0;
    return WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
           written == bytes.size() && FlushFileBuffers(file.get());
}

bool RemoveFileWithRetries(const std::wstring& path) {
    for (int attempt = 1;; ++attempt) {
        if (DeleteFileW(LongPathForm(path).c_str()))
            return true;
        DWORD error = GetLastError();
        if (IsNotFoundError(error) || PathIsGone(path))
            return true;
        if (attempt == REPLACE_TRIES || !IsPassingHold(error))
            return false;
        Sleep(REPLACE_PAUSE_MS);
    }
}

FileReplacement ReplaceFileKeepingOld(const std::wstring& file,
                                      const std::wstring& replacement,
                                      const std::wstring& backup) {
    FileReplacement done;
    for (int attempt = 1;; ++attempt) {
        if (ReplaceFileW(LongPathForm(file).c_str(), LongPathForm(replacement).c_str(), LongPathForm(backup).c_str(),
                         REPLACEFILE_IGNORE_MERGE_ERRORS | REPLACEFILE_IGNORE_ACL_ERRORS, nullptr, nullptr)) {
            done.result = FileReplace::Done;
            return done;
        }
        done.error = GetLastError();
        // Tried again only while both files still carry their own names.
        if (attempt == REPLACE_TRIES || !IsPassingHold(done.error) || PathIsGone(file) || PathIsGone(replacement))
            break;
        Sleep(REPLACE_PAUSE_MS);
    }
    // ERROR_UNABLE_TO_MOVE_REPLACEMENT_2 says the old file already carries the
    // backup name; whatever the error, a file that is gone goes back to its name.
    // (ERROR_UNABLE_TO_MOVE_REPLACEMENT leaves both files under their own names.)
    if (PathIsGone(file) && !MoveFileExW(LongPathForm(backup).c_str(), LongPathForm(file).c_str(), 0) &&
        !PathIsGone(backup))
        done.result = FileReplace::OldFileAtBackup;
    done.replacementStayed = !RemoveFileWithRetries(replacement);
    return done;
}
