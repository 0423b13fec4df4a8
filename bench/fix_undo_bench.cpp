// Times popswat --fix --yes and --undo --yes as the console runs them, on 200
// site permissions in 12 profiles (0.7 MB of Preferences each) and 100 browser
// shortcuts on a Desktop, then on 50 Run values, 50 Startup items and 20 policy
// values below keys and folders of its own: the review that finds them is not
// timed; closing the browsers (none run), every copy and every flush of the
// record are. Checks that every change is recorded and put back, prints the
// figures and exits with 1 when a goal is missed. Wine only: the fix closes
// browsers by their real image names.
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "bench/bench_support.h"
#include "engine/engine.h"
#include "review/review.h"
#include "tests/shortcut_writer.h"

namespace {

constexpr int PROFILES = 12;
constexpr int GRANTS = 200;
constexpr int SHORTCUTS = 100;

const wchar_t CHROME[] = L"C:\\Program Files\\Google\\Chrome\\Application\\chrome.exe";

constexpr int RUN_VALUES = 50;
constexpr int STARTUP_ITEMS = 50;
constexpr int POLICY_VALUES = 20;

// The fixes outside the browsers' files, through ApplyFixes and UndoChangeRun
// as the console runs them; true when both goals are met.
bool MeasureOutsideFixes(const std::wstring& root, const CleanupOptions& options) {
    std::wstring keyPath = L"Software\\PopSwat-bench-outside-" + std::to_wstring(GetCurrentProcessId());
    HKEY machine = nullptr, user = nullptr;
    RegCreateKeyExW(HKEY_CURRENT_USER, (keyPath + L"\\machine").c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                    &machine, nullptr);
    RegCreateKeyExW(HKEY_CURRENT_USER, (keyPath + L"\\user").c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &user,
                    nullptr);
    for (int n = 0; n < RUN_VALUES; ++n)
        SetRegistryText(n % 2 ? machine : user, L"Software\\Microsoft\\Windows\\CurrentVersion\\Run",
                        L"Value " + std::to_wstring(n),
                        L"\"" + std::wstring(CHROME) + L"\" https://ad" + std::to_wstring(n) + L".example/");
    for (int n = 0; n < POLICY_VALUES; ++n)
        SetRegistryText(n % 2 ? machine : user, L"SOFTWARE\\Policies\\Google\\Chrome\\ExtensionInstallForcelist",
                        std::to_wstring(n + 1),
                        L"aaaaaaaaaaaaaaaaaaaaaaaaaaaaaa" + std::wstring(1, L'a' + n % 16) +
                            std::wstring(1, L'a' + n / 16) + L";https://ads.example/update.xml");
    for (int n = 0; n < STARTUP_ITEMS; ++n)
        WriteFileBytes(root + L"\\Startup\\deal" + std::to_wstring(n) + L".url",
                       "[InternetShortcut]\r\nURL=https://deal" + std::to_string(n) + ".example/\r\n");
    FixPlaces places;
    places.launchers.startupFolders = {root + L"\\Startup"};
    places.launchers.registry = {machine, user};
    places.policies = {machine, user};
    auto reviewed = [&] {
        std::vector<FixTarget> outside;
        for (FixTarget& target : FixTargets(CollectReview(places.policies, places.launchers))) {
            if (std::string(target.kind->name) != "site-permission")
                outside.push_back(std::move(target));
        }
        return outside;
    };
    auto undoNewest = [&]() -> std::size_t {
        std::vector<ChangeRunSummary> runs = ListChangeRuns();
        return runs.empty() || runs.back().notUndone == 0 ? 0 : UndoChangeRun(options, runs.back(), places).done;
    };
    std::vector<FixTarget> targets;
    std::size_t fixed = 0, putBack = 0;
    Timing fix = Measure(
        5,
        [&] {
            undoNewest();
            targets = reviewed();
        },
        [&] { return fixed = ApplyFixes(options, targets, places).done; });
    Timing undo = Measure(
        5, [&] { ApplyFixes(options, reviewed(), places); }, [&] { return putBack = undoNewest(); });
    std::size_t found = reviewed().size();
    std::printf("Fixing and taking back: %d Run values, %d Startup items, %d policy values\n", RUN_VALUES,
                STARTUP_ITEMS, POLICY_VALUES);
    std::printf("  --fix:  %7.1f ms/run (median %7.1f)\n", fix.seconds * 1e3, fix.median * 1e3);
    std::printf("  --undo: %7.1f ms/run (median %7.1f)\n", undo.seconds * 1e3, undo.median * 1e3);
    const std::size_t all = RUN_VALUES + STARTUP_ITEMS + POLICY_VALUES;
    bool met = Report("every change recorded and put back", fixed == all && putBack == all && found == all);
    met &= Report("--fix in under 500 ms", fix.seconds < 0.500);
    met &= Report("--undo in under 500 ms", undo.seconds < 0.500);
    RegCloseKey(machine);
    RegCloseKey(user);
    RegDeleteTreeW(HKEY_CURRENT_USER, keyPath.c_str());
    RegDeleteKeyW(HKEY_CURRENT_USER, keyPath.c_str());
    return met;
}

}  // namespace

int main() {
    std::wstring root = MakeScratchFolder();
    SetEnvironmentVariableW(L"LOCALAPPDATA", (root + L"\\Local").c_str());
    SetEnvironmentVariableW(L"APPDATA", (root + L"\\Roaming").c_str());
    HKEY noPolicies = nullptr;
    std::wstring policyKey = L"Software\\PopSwat-bench-" + std::to_wstring(GetCurrentProcessId());
    RegCreateKeyExW(HKEY_CURRENT_USER, policyKey.c_str(), 0, nullptr, 0, KEY_READ, nullptr, &noPolicies, nullptr);
    LauncherSources sources;
    sources.shortcutFolders = {root + L"\\Desktop"};
    for (int p = 0; p < PROFILES; ++p)  // two profiles per browser
        WriteFileBytes(ChromiumProfileFolder(root, p % 6, p / 6) + L"\\Preferences",
                       GrantedPreferences(p, GRANTS / PROFILES + (p < GRANTS % PROFILES ? 1 : 0), 700 * 1000));
    MakeFolders(root + L"\\Desktop");
    {
        ComApartment apartment;
        for (int n = 0; n < SHORTCUTS; ++n)
            WriteShortcutFile(root + L"\\Desktop\\Chrome " + std::to_wstring(n) + L".lnk",
                              BrowserShortcut(CHROME, L"--profile-directory=Default https://deal" + std::to_wstring(n) +
                                                          L".example/"));
    }

    CleanupOptions options;
    options.log = [](const std::wstring&) {};
    std::vector<FixTarget> targets;
    auto reviewed = [&] { return FixTargets(CollectReview({noPolicies, noPolicies}, sources)); };
    auto undoNewest = [&]() -> std::size_t {
        std::vector<ChangeRunSummary> runs = ListChangeRuns();
        return runs.empty() || runs.back().notUndone == 0
                   ? 0
                   : UndoChangeRun(options, runs.back(), FixPlaces{sources}).done;
    };
    // Each round starts from the findings in place (the last run taken back)
    // and the review done, neither timed.
    std::size_t fixed = 0, putBack = 0;
    Timing fix = Measure(
        3,
        [&] {
            undoNewest();
            targets = reviewed();
        },
        [&] { return fixed = ApplyFixes(options, targets, FixPlaces{sources}).done; });
    Timing undo = Measure(
        3, [&] { ApplyFixes(options, reviewed(), FixPlaces{sources}); }, [&] { return putBack = undoNewest(); });
    targets = reviewed();

    std::printf("Fixing and taking back: %d site permissions in %d profiles, %d browser shortcuts\n", GRANTS, PROFILES,
                SHORTCUTS);
    std::printf("  --fix:  %7.1f ms/run (median %7.1f)\n", fix.seconds * 1e3, fix.median * 1e3);
    std::printf("  --undo: %7.1f ms/run (median %7.1f)\n", undo.seconds * 1e3, undo.median * 1e3);
    bool met = Report("every change recorded and put back",
                      fixed == GRANTS + SHORTCUTS && putBack == fixed && targets.size() == fixed);
    met &= Report("--fix in under 1 s", fix.seconds < 1.0);
    met &= Report("--undo in under 1 s", undo.seconds < 1.0);
    met &= MeasureOutsideFixes(root, options);
    RegCloseKey(noPolicies);
    RegDeleteKeyW(HKEY_CURRENT_USER, policyKey.c_str());
    DeleteTree(root);
    std::printf(met ? "All goals met.\n" : "Some goals were missed.\n");
    return met ? 0 : 1;
}
