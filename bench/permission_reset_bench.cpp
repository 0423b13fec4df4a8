// Times taking back site permissions as the cleanup run does it: 12 profiles
// spread over the six Chromium-family browsers, each with a 0.7 MB Preferences,
// 200 grants in all among blocks and asks, cleaned with resetPermissions set.
// Then a Firefox profile whose permissions.sqlite holds 7,500 rows, 1,000 of
// them sites allowed to notify or open pop-ups, taken back in one transaction.
// The closing phase and its waiting are not part of it. Every run starts from
// freshly written files (not timed); checks the lines, prints the figures and
// exits with 1 when a goal is missed.
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "bench/bench_support.h"
#include "bench/review_profiles.h"
#include "engine/engine_parts.h"

namespace {

constexpr int PROFILES = 12;
constexpr int GRANTS = 200;
// One row in 7.5 is a grant (WriteFirefoxPermissions): 1,000 of them.
constexpr int FIREFOX_ROWS = 7500;
constexpr std::size_t FIREFOX_GRANTS = 1000;

// Times taking back every grant of one Firefox profile; true when the goal is met.
bool MeasureFirefox(const std::wstring& root) {
    std::wstring profile = FirefoxBenchProfile(root);
    MakeFolders(profile);
    std::size_t taken = 0, bytes = 0;
    CleanupOptions options;
    auto setup = [&] { bytes = WriteFirefoxPermissions(profile, FIREFOX_ROWS); };
    auto reset = [&] {
        ChangeLog log;
        CleanupOutcome outcome;
        taken = ResetFirefoxSitePermissions(options, {profile, L"Firefox", L"bench0.default"}, &log, &outcome);
        FinishChangeLog(&log);
        return taken;
    };
    Timing timing = Measure(11, setup, reset);
    std::printf("Taking back Firefox's site permissions: a %.1f MB permissions.sqlite of %d rows, %zu grants\n",
                bytes / 1e6, FIREFOX_ROWS, FIREFOX_GRANTS);
    std::printf("  %7.1f ms/run (median %7.1f)\n", timing.seconds * 1e3, timing.median * 1e3);
    std::size_t left = 0;
    for (const FirefoxPermissionRow& row : ReadFirefoxPermissions(profile).rows) {
        SitePermission permission;
        left += IsFirefoxSiteGrant(row, FirefoxTimeNow(), &permission) ? 1 : 0;
    }
    bool met = Report("every Firefox grant taken back, the other rows kept",
                      taken == FIREFOX_GRANTS && left == 0 &&
                          ReadFirefoxPermissions(profile).rows.size() == FIREFOX_ROWS - FIREFOX_GRANTS);
    return met & Report("1,000 Firefox rows in under 200 ms", timing.seconds < 0.200);
}

}  // namespace

int main() {
    std::wstring root = MakeScratchFolder();
    std::vector<std::string> preferences;
    std::size_t bytes = 0;
    for (int p = 0; p < PROFILES; ++p) {
        preferences.push_back(GrantedPreferences(p, GRANTS / PROFILES + (p < GRANTS % PROFILES ? 1 : 0), 700 * 1000));
        bytes += preferences.back().size();
    }
    SetEnvironmentVariableW(L"LOCALAPPDATA", (root + L"\\Local").c_str());
    SetEnvironmentVariableW(L"APPDATA", (root + L"\\Roaming").c_str());

    std::size_t grantLines = 0;
    std::size_t otherLines = 0;
    CleanupOptions options;
    options.resetPermissions = true;
    options.log = [&](const std::wstring& line) {
        bool grant = line.find(L" no longer allowed: ") != std::wstring::npos;
        grantLines += grant ? 1 : 0;
        otherLines += grant ? 0 : 1;
    };
    auto setup = [&] {
        for (int p = 0; p < PROFILES; ++p)  // two profiles per browser
            WriteFileBytes(ChromiumProfileFolder(root, p % 6, p / 6) + L"\\Preferences", preferences[p]);
        grantLines = otherLines = 0;
    };
    auto reset = [&] {
        for (const BrowserEntry& browser : GetBrowserCatalogue()) {
            if (browser.kind == BrowserKind::ChromiumFamily)
                CleanChromiumBrowser(options, browser, UserDataFolder(browser), nullptr);
        }
        return grantLines;
    };
    Timing timing = Measure(11, setup, reset);

    std::printf("Taking back site permissions: %d profiles, %.1f MB of Preferences, %d grants\n", PROFILES, bytes / 1e6,
                GRANTS);
    std::printf("  %7.1f ms/run (median %7.1f, %5.1f ms per profile, %6.1f MB/s)\n", timing.seconds * 1e3,
                timing.median * 1e3, timing.seconds * 1e3 / PROFILES, MegabytesPerSecond(bytes, timing.seconds));
    // One "Cleaning" line per browser and one saved-copy line per profile besides the grants.
    bool complete = grantLines == GRANTS && otherLines == 6 + PROFILES;
    bool met = Report("every grant taken back, one copy saved per profile", complete);
    met &= Report("12 profiles in under 300 ms", timing.seconds < 0.300);
    met &= MeasureFirefox(root);
    DeleteTree(root);
    std::printf(met ? "All goals met.\n" : "Some goals were missed.\n");
    return met ? 0 : 1;
}
