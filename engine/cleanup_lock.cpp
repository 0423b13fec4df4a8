#include "engine/engine_parts.h"

#include <windows.h>

namespace {

// Local\: one cleanup at a time per logon session; other users' runs are their own.
constexpr wchar_t CLEANUP_MUTEX_NAME[] = L"Local\\PopSwat.Cleanup";

}  // namespace

CleanupRunLock::CleanupRunLock() {
    HANDLE mutex = CreateMutexW(nullptr, FALSE, CLEANUP_MUTEX_NAME);
    if (!mutex) {
        // Something else holds the name (another kind of object): no run can be
        // told apart, and refusing every run would help nobody, so go ahead.
        acquired_ = true;
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
}

CleanupOutcome RunUnderLock(const std::function<void(CleanupOutcome*)>& step) {
    CleanupOutcome outcome;
    CleanupRunLock lock;
    if (lock.acquired())
        step(&outcome);
    else
        outcome.lockHeldElsewhere = true;
    return outcome;
}
