// COM on the calling thread, and the known folders the shell names.
#include "base/windows_launch_sources.h"

#include <objbase.h>
#include <shlobj.h>

ComApartment::ComApartment()
    : result_(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE)),
      ready_(SUCCEEDED(result_) || result_ == RPC_E_CHANGED_MODE) {}

ComApartment::~ComApartment() {
    // S_FALSE (already initialised here) is a success and is balanced too.
    if (SUCCEEDED(result_))
        CoUninitialize();
}

std::wstring HresultText(HRESULT result) {
    return FormatWide(L"0x%08lx", static_cast<unsigned long>(result));
}

std::wstring KnownFolderPath(const GUID& folder) {
    PWSTR path = nullptr;
    // KF_FLAG_DONT_VERIFY: a folder that does not exist yet is named, not created.
    HRESULT result = SHGetKnownFolderPath(folder, KF_FLAG_DONT_VERIFY, nullptr, &path);
    std::wstring text = SUCCEEDED(result) && path ? std::wstring(path) : std::wstring();
    CoTaskMemFree(path);
    return text;
}
