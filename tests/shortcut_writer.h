// Writes a new shortcut file with IShellLinkW, for tests and benchmarks that
// need real .lnk files. COM must be initialised on the calling thread.
#pragma once

#include <shlobj.h>
#include <shobjidl.h>

#include <string>

#include "base/windows_launch_sources.h"

inline bool WriteShortcutFile(const std::wstring& path, const ShortcutFields& fields) {
    ComHolder<IShellLinkW> link;
    ComHolder<IPersistFile> persist;
    if (FAILED(CoCreateInstance(__uuidof(ShellLink), nullptr, CLSCTX_INPROC_SERVER, __uuidof(IShellLinkW),
                                link.putVoid())) ||
        FAILED(link->QueryInterface(__uuidof(IPersistFile), persist.putVoid())))
        return false;
    link->SetPath(fields.target.c_str());
    link->SetArguments(fields.arguments.c_str());
    link->SetWorkingDirectory(fields.workingFolder.c_str());
    link->SetIconLocation(fields.iconPath.c_str(), fields.iconIndex);
    link->SetHotkey(fields.hotKey);
    link->SetShowCmd(fields.showCommand);
    link->SetDescription(fields.description.c_str());
    return SUCCEEDED(persist->Save(path.c_str(), TRUE));
}

// A browser shortcut as installers make it, with the given target and arguments.
inline ShortcutFields BrowserShortcut(const std::wstring& target, const std::wstring& arguments) {
    ShortcutFields fields;
    fields.target = target;
    fields.arguments = arguments;
    fields.workingFolder = L"C:\\Program Files\\Browser";
    fields.iconPath = target;
    fields.iconIndex = 0;
    fields.showCommand = SW_SHOWNORMAL;
    return fields;
}
