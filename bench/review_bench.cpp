// Times the review on generated profiles of all seven browsers: each Chromium
// profile with a 0.7 MB "Preferences", a 0.2 MB "Secure Preferences" and 30
// extensions whose manifests are on disk, each Firefox profile with prefs.js,
// user.js and an extensions.json of 30 add-ons. Runs with 12, 24 and 48
// profiles, prints the figures, checks the speed goals and exits with 1 when
// one is missed. Then gives the first Firefox profile of the 12 a permissions.sqlite
// of 10,000 rows and times what that adds to the review of that profile.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "bench/bench_support.h"
#include "bench/review_profiles.h"
#include "review/review.h"

namespace {

// One whole review of the profiles: collecting, the text report and the JSON
// document. What starts a browser from outside it is timed by popswat_launchers_bench.
std::size_t ReviewOnce() {
    ReviewFindings findings = CollectReview(SystemPolicyRoots(), LauncherSources());
    std::size_t lines = 0;
    CleanupOptions options;
    options.log = [&lines](const std::wstring&) { ++lines; };
    WriteReviewReport(options, findings);
    return lines + (ReviewJson(findings).empty() ? 0 : 1);
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

}  // namespace

int main() {
    std::wstring scratch = MakeScratchFolder();
    const int counts[] = {12, 24, 48};
    double seconds[3] = {};
    std::printf(
        "Review of 7 browsers; per profile a %.1f MB Preferences, a %.1f MB Secure Preferences and %d "
        "extensions\n",
        PREFERENCES_BYTES / 1e6, SECURE_PREFERENCES_BYTES / 1e6, EXTENSIONS_PER_PROFILE);
    for (int k = 0; k < 3; ++k) {
        std::wstring root = scratch + L"\\profiles-" + std::to_wstring(counts[k]);
        std::size_t bytes = MakeReviewProfiles(root, counts[k]);
        SetEnvironmentVariableW(L"LOCALAPPDATA", (root + L"\\Local").c_str());
        SetEnvironmentVariableW(L"APPDATA", (root + L"\\Roaming").c_str());
        Timing review = Measure(k == 0 ? 11 : 5, ReviewOnce);
        seconds[k] = review.seconds;
        std::printf(
            "  %2d profiles, %5.1f MB: %7.1f ms/run (median %7.1f, %5.1f ms per profile, %6.1f MB/s, "
            "%zu report lines)\n",
            counts[k], bytes / 1e6, review.seconds * 1e3, review.median * 1e3, review.seconds * 1e3 / counts[k],
            MegabytesPerSecond(bytes, review.seconds), review.lines);
    }
    // One Firefox profile of the 12 reviewed alone (its files, the report and the
    // JSON), without and then with a permissions database, alternated so that both
    // see the same machine; the best runs are the figures least disturbed.
    std::wstring firefox = FirefoxBenchProfile(scratch + L"\\profiles-12");
    std::size_t databaseBytes = WriteFirefoxPermissions(firefox, 10000);
    std::wstring database = firefox + L"\\permissions.sqlite", aside = database + L".aside";
    auto reviewProfile = [&] {
        ReviewFindings findings;
        ReviewFirefoxProfile({L"Firefox", L"bench0.default"}, firefox, &findings);
        CleanupOptions options;
        WriteReviewReport(options, findings);
        return findings.sitePermissions.size() + (ReviewJson(findings).empty() ? 0 : 1);
    };
    std::vector<double> without, with;
    std::size_t grants = 0;
    for (int run = 0; run < 21; ++run) {
        MoveFileW(database.c_str(), aside.c_str());
        without.push_back(Measure(1, reviewProfile).seconds);
        MoveFileW(aside.c_str(), database.c_str());
        Timing timing = Measure(1, reviewProfile);
        with.push_back(timing.seconds);
        grants = timing.lines - 1;
    }
    double added = *std::min_element(with.begin(), with.end()) - *std::min_element(without.begin(), without.end());
    std::printf(
        "  a Firefox profile with a %.1f MB permissions.sqlite of 10,000 rows (%zu grants listed): %.1f ms "
        "(median %.1f), %.1f ms without it (median %.1f): %.1f ms added (medians: %.1f ms)\n",
        databaseBytes / 1e6, grants, *std::min_element(with.begin(), with.end()) * 1e3, Median(with) * 1e3,
        *std::min_element(without.begin(), without.end()) * 1e3, Median(without) * 1e3, added * 1e3,
        (Median(with) - Median(without)) * 1e3);
    double growth = seconds[2] / seconds[0];
    std::printf("  4x the profiles took %.2fx the time\n", growth);
    bool met = Report("12 profiles reviewed in under 250 ms", seconds[0] < 0.250);
    met &= Report("time grows linearly (4x profiles, at most 4.4x time)", growth <= 4.4);
    met &= Report("a permissions.sqlite of 10,000 rows adds under 50 ms", added < 0.050);
    DeleteTree(scratch);
    std::printf(met ? "All speed goals met.\n" : "Some speed goals were missed.\n");
    return met ? 0 : 1;
}
