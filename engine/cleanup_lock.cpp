#include "engine/engine_parts.h"

#include <windows.h>

namespace {

// Local\: one cleanup at a time per logon session; other users' runs are their own.
constexpr wchar_t CLEANUP_MUTEX_NAME[] = L"Local\\PopSwat.Cleanup";
constexpr wchar_t LOCK_FILE_NAME[] = L"cleanup.lock";

enum class FileLock { Taken, HeldElsewhere, NotTaken };

// Opens %LOCALAPPDATA%\PopSwat\cleanup.lock with no sharing: a second run's open
// fails with a sharing violation while the first holds it, and the file goes
// when its handle closes, also when the process ends without letting go.
FileLock TakeLockFile(HANDLE* file) {
    std::wstring local = ReadEnvironmentVariable(L"LOCALAPPDATA");
    std::wstring folder = local.empty() ? std::wstring() : FullFolderPath(local + L"\\PopSwat");
    if (folder.empty())
        return FileLock::NotTaken;
    if (!CreateDirectoryW(LongPathForm(folder).c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS)
        return FileLock::NotTaken;
    std::wstring path = folder + L"\\" + LOCK_FILE_NAME;
    // A lock file that is a link (under Wine a Unix link looks like a plain file)
    // would have its target deleted on close: such a name is not used.
    DWORD attributes = GetFileAttributesW(LongPathForm(path).c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES) {
        if (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT))
            return FileLock::NotTaken;
        std::wstring folderFinal = FinalPath(folder);
        std::wstring fileFinal = FinalPath(path);
        // A file that cannot be opened to be examined may be the lock of a run holding it.
        if (!fileFinal.empty() && !IsAtItsOwnName(fileFinal, folderFinal, LOCK_FILE_NAME))
            return FileLock::NotTaken;
    }
    HANDLE handle =
        CreateFileW(LongPathForm(path).c_str(), GENERIC_READ | GENERIC_WRITE | DELETE, 0, nullptr, OPEN_ALWAYS,
                    FILE_ATTRIBUTE_NORMAL | FILE_FLAG_DELETE_ON_CLOSE | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return GetLastError() == ERROR_SHARING_VIOLATION ? FileLock::HeldElsewhere : FileLock::NotTaken;
    *file = handle;
    return FileLock::Taken;
}

}  // namespace

CleanupRunLock::CleanupRunLock() : CleanupRunLock(CLEANUP_MUTEX_NAME) {}

CleanupRunLock::CleanupRunLock(const wchar_t* mutexName) {
    HANDLE mutex = CreateMutexW(nullptr, FALSE, mutexName);
    if (!mutex) {
        // Something else holds the name (an event, a semaphore, ...): the lock
        // file tells runs apart instead.
        HANDLE file = nullptr;
        FileLock taken = TakeLockFile(&file);
        acquired_ = taken == FileLock::Taken;
        notTaken_ = taken == FileLock::NotTaken;
        if (acquired_)
            lockFile_ = file;
        return;
    }
    // WAIT_ABANDONED: a run's thread ended without letting go (its window was
    // closed mid-run); the mutex is ours now all the same.
    DWORD wait = WaitForSingleObject(mutex, 0);
    if (wait == WAIT_OBJECT_0 || wait == WAIT_ABANDONED) {
        mutex_ = mutex;
        acquired_ = true;
    } else {
        CloseHandle(mutex);
    }
}

CleanupRunLock::~CleanupRunLock() {
    if (mutex_) {
        ReleaseMutex(mutex_);
        CloseHandle(mutex_);
    }
    if (lockFile_)
        CloseHandle(lockFile_);
}

const wchar_t* RefusedRunText(const CleanupOutcome& outcome) {
    return outcome.lockNotTaken ? NO_CLEANUP_LOCK : ANOTHER_CLEANUP_RUNNING;
}

CleanupOutcome RunUnderLock(const std::function<void(CleanupOutcome*)>& step) {
    CleanupOutcome outcome;
    CleanupRunLock lock;
    if (lock.acquired()) {
        step(&outcome);
    } else {
        outcome.lockHeldElsewhere = true;
        outcome.lockNotTaken = lock.notTaken();
    }
    return outcome;
}
