// Shortcut files through the shell's own reader and writer (IShellLinkW,
// IPersistFile). The target is read raw and never resolved: resolving may
// search the disk, and would change what the file says.
#include "base/windows_launch_sources.h"

#include <shlobj.h>
#include <shobjidl.h>

#include <cstring>

namespace {

// The longest command line Windows starts; the shell copies each field into this buffer.
constexpr int FIELD_CHARS = 32768;

const wchar_t NEW_FILE_SUFFIX[] = L".popswat-new";
const wchar_t OLD_FILE_SUFFIX[] = L".popswat-old";

struct ShortcutFile {
    ShortcutRead result = ShortcutRead::Unreadable;
    HRESULT error = S_OK;
    DWORD attributes = 0;
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
    file.attributes = data.dwFileAttributes;
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
    DWORD attributes = 0;
    ComHolder<IShellLinkW> link;
};

LoadedShortcut LoadShortcut(const std::wstring& path) {
    LoadedShortcut loaded;
    ShortcutFile file = CheckShortcutFile(path);
    loaded.reading.result = file.result;
    loaded.reading.error = file.error;
    loaded.attributes = file.attributes;
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

// The header fields Windows acts on, compared in the files themselves (the shell
// link format's ShellLinkHeader): link flags (but those that follow the arguments
// and the string encoding), icon index, show command and hot key. The shell's own
// reader is not enough: Wine 8 reads every show command as SW_SHOWNORMAL, so a
// shortcut that opens maximized would be saved back as a normal one unseen.
bool SameHeaderFields(const std::wstring& original, const std::wstring& saved) {
    constexpr std::size_t HEADER_BYTES = 0x4C;
    constexpr std::size_t LINK_FLAGS = 0x14;
    constexpr std::size_t ICON_INDEX = 0x38;  // then the show command (0x3C) and the hot key (0x40)
    constexpr std::size_t HEADER_FIELDS_END = 0x42;
    std::string a;
    std::string b;
    if (ReadFileBytes(original, MAX_SHORTCUT_FILE_BYTES, &a) != FileRead::Done ||
        ReadFileBytes(saved, MAX_SHORTCUT_FILE_BYTES, &b) != FileRead::Done || a.size() < HEADER_BYTES ||
        b.size() < HEADER_BYTES)
        return false;
    auto flags = [](const std::string& bytes) {
        DWORD value = 0;
        std::memcpy(&value, bytes.data() + LINK_FLAGS, sizeof(value));
        return value & ~static_cast<DWORD>(SLDF_HAS_ARGS | SLDF_UNICODE);
    };
    return flags(a) == flags(b) &&
           a.compare(ICON_INDEX, HEADER_FIELDS_END - ICON_INDEX, b, ICON_INDEX, HEADER_FIELDS_END - ICON_INDEX) == 0;
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

ShortcutWriting WriteShortcutArguments(const std::wstring& path,
                                       const ShortcutFields& before,
                                       const std::wstring& arguments) {
    LoadedShortcut loaded = LoadShortcut(path);
    if (loaded.reading.result != ShortcutRead::Done)
        return {ShortcutWrite::Unreadable, loaded.reading.error};
    if (loaded.attributes & FILE_ATTRIBUTE_READONLY)
        return {ShortcutWrite::ReadOnly, HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED)};
    if (loaded.reading.fields != before)
        return {ShortcutWrite::Changed, S_OK};

    std::wstring newFile = path + NEW_FILE_SUFFIX;
    ComHolder<IPersistFile> persist;
    HRESULT result = loaded.link->SetArguments(arguments.c_str());
    if (SUCCEEDED(result))
        result = loaded.link->QueryInterface(__uuidof(IPersistFile), persist.putVoid());
    // fRemember FALSE: the object stays bound to the original file.
    if (SUCCEEDED(result))
        result = persist->Save(newFile.c_str(), FALSE);
    if (FAILED(result)) {
        DeleteFileW(LongPathForm(newFile).c_str());
        return {ShortcutWrite::NotSaved, result};
    }

    ShortcutReading saved = ReadShortcut(newFile);
    ShortcutFields expected = before;
    expected.arguments = arguments;
    // The flag that says the shortcut has arguments follows them.
    expected.flags = (before.flags & ~SLDF_HAS_ARGS) | (saved.fields.flags & SLDF_HAS_ARGS);
    if (saved.result != ShortcutRead::Done || saved.fields != expected || !SameHeaderFields(path, newFile)) {
        DeleteFileW(LongPathForm(newFile).c_str());
        return {ShortcutWrite::OtherFields, saved.error};
    }
    // ReplaceFileW without a backup name may lose the original when its last
    // rename fails, so the original is moved aside and removed once the new file
    // carries its name.
    std::wstring oldFile = path + OLD_FILE_SUFFIX;
    DeleteFileW(LongPathForm(oldFile).c_str());
    FileReplacement replaced = ReplaceFileKeepingOld(path, newFile, oldFile);
    if (replaced.result == FileReplace::OldFileAtBackup)
        return {ShortcutWrite::MovedAside, HRESULT_FROM_WIN32(replaced.error)};
    if (replaced.result != FileReplace::Done)
        return {ShortcutWrite::NotReplaced, HRESULT_FROM_WIN32(replaced.error)};
    DeleteFileW(LongPathForm(oldFile).c_str());
    // Wine's ReplaceFileW does not carry the old file's attributes (hidden, ...) over.
    SetFileAttributesW(LongPathForm(path).c_str(), loaded.attributes);
    return {ShortcutWrite::Done, S_OK};
}
