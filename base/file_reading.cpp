#include "base/base.h"
#include "base/win_handles.h"

#include <algorithm>

FileRead ReadFileBytes(const std::wstring& path, std::size_t maxBytes, std::string* bytes) {
    bytes->clear();
    // Read, write and delete sharing: a browser that holds the file open, or
    // replaces it while we read, is not disturbed and does not stop us.
    UniqueHandle file(CreateFileW(LongPathForm(path).c_str(), GENERIC_READ,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                  FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!file)
        return IsNotFoundError(GetLastError()) ? FileRead::Missing : FileRead::Unreadable;
    // A sparse file reports its full size without costing disk: the size is
    // checked before any memory is reserved.
    LARGE_INTEGER size = {};
    if (!GetFileSizeEx(file.get(), &size))
        return FileRead::Unreadable;
    if (static_cast<unsigned long long>(size.QuadPart) > maxBytes)
        return FileRead::TooLarge;
    bytes->reserve(static_cast<std::size_t>(size.QuadPart));

    // The size is only a hint: the file may grow while it is read.
    char chunk[64 * 1024];
    for (;;) {
        std::size_t room = maxBytes - std::min(maxBytes, bytes->size());
        DWORD wanted = static_cast<DWORD>(std::min<std::size_t>(sizeof(chunk), room + 1));
        DWORD read = 0;
        if (!ReadFile(file.get(), chunk, wanted, &read, nullptr)) {
            bytes->clear();
            return FileRead::Unreadable;
        }
        if (read == 0)
            return FileRead::Done;
        if (read > room) {
            bytes->clear();
            return FileRead::TooLarge;
        }
        bytes->append(chunk, read);
    }
}
