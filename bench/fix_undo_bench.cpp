// Times popswat --fix --yes and --undo --yes as the console runs them, on 200
// site permissions in 12 profiles (0.7 MB of Preferences each) and 100 browser
// shortcuts on a Desktop: the review that finds them is not timed; closing the
// browsers (none run), every copy and every flush of the record are. Checks
// that every change is recorded and put back, prints the figures and exits
// with 1 when a goal is missed. Wine only: the fix closes browsers by their
// real image names.
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
        return runs.empty() || runs.back().notUndone == 0 ? 0 : UndoChangeRun(options, runs.back(), sources).done;
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
        [&] { return fixed = ApplyFixes(options, targets, sources).done; });
    Timing undo = Measure(
        3, [&] { ApplyFixes(options, reviewed(), sources); }, [&] { return putBack = undoNewest(); });
    targets = reviewed();

    std::printf("Fixing and taking back: %d site permissions in %d profiles, %d browser shortcuts\n", GRANTS, PROFILES,
                SHORTCUTS);
    std::printf("  --fix:  %7.1f ms/run (median %7.1f)\n", fix.seconds * 1e3, fix.median * 1e3);
    std::printf("  --undo: %7.1f ms/run (median %7.1f)\n", undo.seconds * 1e3, undo.median * 1e3);
    bool met = Report("every change recorded and put back",
                      fixed == GRANTS + SHORTCUTS && putBack == fixed && targets.size() == fixed);
    met &= Report("--fix in under 1 s", fix.seconds < 1.0);
    met &= Report("--undo in under 1 s", undo.seconds < 1.0);
    RegCloseKey(noPolicies);
    RegDeleteKeyW(HKEY_CURRENT_USER, policyKey.c_str());
    DeleteTree(root);
    std::printf(met ? "All goals met.\n" : "Some goals were missed.\n");
    return met ? 0 : 1;
}
