// Shortcut files through the shell's own reader (IShellLinkW, IPersistFile and
// IPersistStream). The target is read raw and never resolved: resolving may
// search the disk, and would change what the file says. Nothing is saved
// through the shell: its writer drops what it does not know (shortcut_layout.cpp
// changes the bytes instead).
#include "base/windows_launch_sources.h"

#include <shlobj.h>
#include <shobjidl.h>

namespace {

// The longest command line Windows starts; the shell copies each field into this buffer.
constexpr int FIELD_CHARS = 32768;

struct ShortcutFile {
    ShortcutRead result = ShortcutRead::Unreadable;
    HRESULT error = S_OK;
};

ShortcutFile CheckShortcutFile(const std::wstring& path) {
    ShortcutFile file;
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(LongPathForm(path).c_str(), GetFileExInfoStandard, &data)) {
        DWORD error = GetLastError();
        file.error = HRESULT_FROM_WIN32(error);
        file.result = IsNotFoundError(error) ? ShortcutRead::Missing : ShortcutRead::Unreadable;
        return file;
    }
    std::uint64_t size = (static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    if (data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)
        file.result = ShortcutRead::Link;
    else if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
        file.result = ShortcutRead::NotAFile;
    else if (size > MAX_SHORTCUT_FILE_BYTES)
        file.result = ShortcutRead::TooLarge;
    else
        file.result = ShortcutRead::Done;
    return file;
}

HRESULT ReadFields(IShellLinkW* link, ShortcutFields* fields) {
    std::vector<wchar_t> buffer(FIELD_CHARS);
    auto take = [&](HRESULT result) {
        buffer[FIELD_CHARS - 1] = L'\0';
        return SUCCEEDED(result) ? std::wstring(buffer.data()) : std::wstring();
    };
    // S_FALSE from GetPath: the shortcut has no file-system target (a Control Panel item).
    buffer[0] = L'\0';
    fields->target = take(link->GetPath(buffer.data(), FIELD_CHARS, nullptr, SLGP_RAWPATH));
    buffer[0] = L'\0';
    fields->arguments = take(link->GetArguments(buffer.data(), FIELD_CHARS));
    buffer[0] = L'\0';
    fields->workingFolder = take(link->GetWorkingDirectory(buffer.data(), FIELD_CHARS));
    buffer[0] = L'\0';
    fields->iconPath = take(link->GetIconLocation(buffer.data(), FIELD_CHARS, &fields->iconIndex));
    buffer[0] = L'\0';
    fields->description = take(link->GetDescription(buffer.data(), FIELD_CHARS));
    link->GetHotkey(&fields->hotKey);
    link->GetShowCmd(&fields->showCommand);

    ComHolder<IShellLinkDataList> dataList;
    if (SUCCEEDED(link->QueryInterface(__uuidof(IShellLinkDataList), dataList.putVoid())))
        dataList->GetFlags(&fields->flags);
    PIDLIST_ABSOLUTE idList = nullptr;
    if (link->GetIDList(&idList) == S_OK && idList) {
        fields->idList.assign(reinterpret_cast<const char*>(idList), ILGetSize(idList));
        CoTaskMemFree(idList);
    }
    return S_OK;
}

// The errors that say the file could not be opened; any other failure to load means its content is no shortcut.
bool IsOpenError(HRESULT result) {
    for (DWORD error : {ERROR_ACCESS_DENIED, ERROR_SHARING_VIOLATION, ERROR_LOCK_VIOLATION, ERROR_FILE_NOT_FOUND,
                        ERROR_PATH_NOT_FOUND}) {
        if (result == HRESULT_FROM_WIN32(error))
            return true;
    }
    return false;
}

struct LoadedShortcut {
    ShortcutReading reading;
    ComHolder<IShellLinkW> link;
};

LoadedShortcut LoadShortcut(const std::wstring& path) {
    LoadedShortcut loaded;
    ShortcutFile file = CheckShortcutFile(path);
    loaded.reading.result = file.result;
    loaded.reading.error = file.error;
    if (file.result != ShortcutRead::Done)
        return loaded;
    ComHolder<IPersistFile> persist;
    HRESULT result = CoCreateInstance(__uuidof(ShellLink), nullptr, CLSCTX_INPROC_SERVER, __uuidof(IShellLinkW),
                                      loaded.link.putVoid());
    if (SUCCEEDED(result))
        result = loaded.link->QueryInterface(__uuidof(IPersistFile), persist.putVoid());
    if (FAILED(result)) {
        loaded.reading.result = ShortcutRead::Unreadable;
        loaded.reading.error = result;
        return loaded;
    }
    result = persist->Load(path.c_str(), STGM_READ);
    if (FAILED(result)) {
        loaded.reading.result = IsOpenError(result) ? ShortcutRead::Unreadable : ShortcutRead::NotAShortcut;
        loaded.reading.error = result;
        loaded.link.reset();
        return loaded;
    }
    ReadFields(loaded.link.get(), &loaded.reading.fields);
    return loaded;
}

}  // namespace

bool operator==(const ShortcutFields& a, const ShortcutFields& b) {
    return a.target == b.target && a.arguments == b.arguments && a.workingFolder == b.workingFolder &&
           a.iconPath == b.iconPath && a.iconIndex == b.iconIndex && a.hotKey == b.hotKey &&
           a.showCommand == b.showCommand && a.description == b.description && a.flags == b.flags &&
           a.idList == b.idList;
}

ShortcutReading ReadShortcut(const std::wstring& path) {
    return LoadShortcut(path).reading;
}

ShortcutReading ReadShortcutBytes(const std::string& bytes) {
    ShortcutReading reading;
    if (bytes.size() > MAX_SHORTCUT_FILE_BYTES) {
        reading.result = ShortcutRead::TooLarge;
        return reading;
    }
    // A stream over memory from ole32 (shlwapi's SHCreateMemStream would be one more DLL to import).
    ComHolder<IStream> stream;
    HRESULT result = CreateStreamOnHGlobal(nullptr, TRUE, stream.put());
    ULONG written = 0;
    if (SUCCEEDED(result))
        result = stream->Write(bytes.data(), static_cast<ULONG>(bytes.size()), &written);
    if (SUCCEEDED(result) && written != bytes.size())
        result = E_OUTOFMEMORY;
    LARGE_INTEGER start = {};
    if (SUCCEEDED(result))
        result = stream->Seek(start, STREAM_SEEK_SET, nullptr);
    ComHolder<IShellLinkW> link;
    ComHolder<IPersistStream> persist;
    if (SUCCEEDED(result))
        result =
            CoCreateInstance(__uuidof(ShellLink), nullptr, CLSCTX_INPROC_SERVER, __uuidof(IShellLinkW), link.putVoid());
    if (SUCCEEDED(result))
        result = link->QueryInterface(__uuidof(IPersistStream), persist.putVoid());
    if (FAILED(result)) {
        reading.error = result;
        return reading;
    }
    result = persist->Load(stream.get());
    if (FAILED(result)) {
        reading.result = ShortcutRead::NotAShortcut;
        reading.error = result;
        return reading;
    }
    ReadFields(link.get(), &reading.fields);
    reading.result = ShortcutRead::Done;
    return reading;
}
