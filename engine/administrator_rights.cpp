// Whether a fix can be tried by this process: HKEY_LOCAL_MACHINE, the policy
// keys and the system's tasks take an elevated process.
#include "engine/engine_testing.h"

#include <windows.h>

namespace {

bool TokenIsElevated() {
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token))
        return false;
    UniqueHandle holder(token);
    TOKEN_ELEVATION elevation{};
    DWORD size = 0;
    return GetTokenInformation(token, TokenElevation, &elevation, sizeof elevation, &size) &&
           elevation.TokenIsElevated != 0;
}

}  // namespace

bool (*isProcessElevated)() = TokenIsElevated;

bool NeedsAdministrator(bool needsElevation) {
    return needsElevation && !isProcessElevated();
}
