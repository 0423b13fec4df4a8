// Where a real run looks for what starts a browser, and the run of every finder.
#include "browsers/launchers.h"

#include <knownfolders.h>
#include <shlobj.h>

namespace {

void AddKnownFolder(const GUID& id, const wchar_t* below, std::vector<std::wstring>* folders) {
    std::wstring folder = KnownFolderPath(id);
    if (!folder.empty())
        folders->push_back(folder + below);
}

}  // namespace

LauncherSources SystemLauncherSources() {
    LauncherSources sources;
    // Known folders rather than %USERPROFILE%\Desktop and the like: a Desktop or
    // Start menu may be redirected (to OneDrive, to a network share).
    for (const GUID* id : {&FOLDERID_Desktop, &FOLDERID_PublicDesktop, &FOLDERID_Programs, &FOLDERID_CommonPrograms})
        AddKnownFolder(*id, L"", &sources.shortcutFolders);
    // Pinned taskbar and Start menu items live below the roaming application data
    // (FOLDERID_UserPinned, which Wine does not know).
    const wchar_t PINNED[] = L"\\Microsoft\\Internet Explorer\\Quick Launch\\User Pinned";
    AddKnownFolder(FOLDERID_RoamingAppData, (std::wstring(PINNED) + L"\\TaskBar").c_str(), &sources.shortcutFolders);
    AddKnownFolder(FOLDERID_RoamingAppData, (std::wstring(PINNED) + L"\\StartMenu").c_str(), &sources.shortcutFolders);
    AddKnownFolder(FOLDERID_Startup, L"", &sources.startupFolders);
    AddKnownFolder(FOLDERID_CommonStartup, L"", &sources.startupFolders);
    sources.registry = {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER};
    sources.taskFolder = L"\\";
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
    if (apartment.ready() && !sources.taskFolder.empty())
        FindScheduledTaskLaunchers(sources.taskFolder, TaskLimits(), &findings);
    FindProxySettings(sources.registry.user, &findings);
    return findings;
}
