// Whether this process may add and remove entries in a folder: what a fix that
// replaces or moves a file there needs. Asked of the folder's own security
// descriptor with AccessCheck, so that nothing is opened for writing and nothing
// is changed to find out.
#include <windows.h>

#include <vector>

#include "base/base.h"
#include "base/win_handles.h"

bool MayChangeFolderEntries(const std::wstring& folder) {
    const SECURITY_INFORMATION parts =
        OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION;
    DWORD size = 0;
    GetFileSecurityW(folder.c_str(), parts, nullptr, 0, &size);
    if (size == 0 || size > 64 * 1024)
        return true;  // nothing to judge by: the fix itself says what it could not do
    std::vector<BYTE> descriptor(size);
    if (!GetFileSecurityW(folder.c_str(), parts, descriptor.data(), size, &size))
        return true;
    // AccessCheck wants an impersonation token: this process's own, duplicated.
    HANDLE processToken = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_DUPLICATE | TOKEN_QUERY, &processToken))
        return true;
    UniqueHandle process(processToken);
    HANDLE impersonation = nullptr;
    if (!DuplicateToken(process.get(), SecurityImpersonation, &impersonation))
        return true;
    UniqueHandle token(impersonation);
    GENERIC_MAPPING mapping = {FILE_GENERIC_READ, FILE_GENERIC_WRITE, FILE_GENERIC_EXECUTE, FILE_ALL_ACCESS};
    DWORD wanted = FILE_ADD_FILE | FILE_DELETE_CHILD;
    MapGenericMask(&wanted, &mapping);
    PRIVILEGE_SET privileges = {};
    DWORD privilegesSize = sizeof(privileges);
    DWORD granted = 0;
    BOOL allowed = FALSE;
    if (!AccessCheck(descriptor.data(), token.get(), wanted, &mapping, &privileges, &privilegesSize, &granted,
                     &allowed))
        return true;
    return allowed != FALSE;
}
