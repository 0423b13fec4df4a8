// A program that tests start in place of other programs.
//   popswat_testhelper lock FILE READY   holds FILE open without delete sharing,
//                                        creates READY, then waits to be ended
#include <windows.h>

#include <cwchar>

#include "engine/win_handles.h"

namespace {

int HoldFileOpen(const wchar_t* path, const wchar_t* readyMarker) {
    UniqueHandle file(CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file)
        return 2;
    UniqueHandle ready(
        CreateFileW(readyMarker, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    ready.reset();
    Sleep(INFINITE);
    return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc == 4 && wcscmp(argv[1], L"lock") == 0)
        return HoldFileOpen(argv[2], argv[3]);
    return 64;
}
