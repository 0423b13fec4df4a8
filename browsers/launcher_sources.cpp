// Where a real run looks for what starts a browser, and the run of every finder.
#include "browsers/launchers.h"

#include <knownfolders.h>
#include <shlobj.h>

namespace {

void AddKnownFolder(const GUID& id, std::vector<std::wstring>* folders) {
    std::wstring folder = KnownFolderPath(id);
    if (!folder.empty())
        folders->push_back(folder);
}

}  // namespace

LauncherSources SystemLauncherSources() {
    LauncherSources sources;
    // Known folders rather than %USERPROFILE%\Desktop and the like: a Desktop or
    // Start menu may be redirected (to OneDrive, to a network share).
    for (const GUID* id : {&FOLDERID_Desktop, &FOLDERID_PublicDesktop, &FOLDERID_Programs, &FOLDERID_CommonPrograms})
        AddKnownFolder(*id, &sources.shortcutFolders);
    // Pinned taskbar and Start menu items live below %APPDATA%, where the
    // browsers' profiles are looked for too (FOLDERID_UserPinned, which Wine does
    // not know, names the same folder); the known folder when APPDATA is unset.
    std::wstring roaming = ReadEnvironmentVariable(L"APPDATA");
    if (roaming.empty())
        roaming = KnownFolderPath(FOLDERID_RoamingAppData);
    if (!roaming.empty()) {
        std::wstring pinned = roaming + L"\\Microsoft\\Internet Explorer\\Quick Launch\\User Pinned";
        sources.shortcutFolders.push_back(pinned + L"\\TaskBar");
        sources.shortcutFolders.push_back(pinned + L"\\StartMenu");
    }
    AddKnownFolder(FOLDERID_Startup, &sources.startupFolders);
    AddKnownFolder(FOLDERID_CommonStartup, &sources.startupFolders);
    sources.registry = {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER};
    sources.taskFolder = L"\\";
    sources.taskFilesFolder = SystemTaskFilesFolder();
    return sources;
}

LauncherFindings FindLaunchers(const LauncherSources& sources) {
    LauncherFindings findings;
    ComApartment apartment;
    if (!apartment.ready())
        findings.problems.push_back(
            {L"Windows shell", L"COM could not be started (" + HresultText(apartment.result()) + L")"});
    FindStartupItems(sources.startupFolders, &findings);
    if (apartment.ready())
        FindShortcutLaunchers(sources.shortcutFolders, sources.startupFolders, FolderWalkLimits(), &findings);
    FindRunValues(sources.registry, &findings);
    // The Task Scheduler is read on a thread of its own, which needs no apartment here.
    if (!sources.taskFolder.empty())
        FindScheduledTaskLaunchers(sources.taskFolder, sources.taskFilesFolder, TaskLimits(), &findings);
    FindProxySettings(sources.registry.user, &findings);
    return findings;
}
