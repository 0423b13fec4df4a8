#include "base/base.h"
#include "base/win_handles.h"

void ForEachFolderEntry(const std::wstring& folder,
                        const std::function<void(const std::wstring& name, uint32_t attributes)>& visit) {
    WIN32_FIND_DATAW data;
    UniqueFindHandle listing(FindFirstFileW(LongPathForm(folder + L"\\*").c_str(), &data));
    if (!listing)
        return;
    do {
        if (wcscmp(data.cFileName, L".") == 0 || wcscmp(data.cFileName, L"..") == 0)
            continue;
        visit(data.cFileName, data.dwFileAttributes);
    } while (FindNextFileW(listing.get(), &data));
}

bool IsExistingFolder(const std::wstring& path) {
    DWORD attributes = GetFileAttributesW(LongPathForm(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}
