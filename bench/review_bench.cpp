// Times the review on generated profiles of all seven browsers: each Chromium
// profile with a 0.7 MB "Preferences", a 0.2 MB "Secure Preferences" and 30
// extensions whose manifests are on disk, each Firefox profile with prefs.js,
// user.js and an extensions.json of 30 add-ons. Runs with 12, 24 and 48
// profiles, prints the figures, checks the speed goals and exits with 1 when
// one is missed.
#include <windows.h>

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
    double growth = seconds[2] / seconds[0];
    std::printf("  4x the profiles took %.2fx the time\n", growth);
    bool met = Report("12 profiles reviewed in under 250 ms", seconds[0] < 0.250);
    met &= Report("time grows linearly (4x profiles, at most 4.4x time)", growth <= 4.4);
    DeleteTree(scratch);
    std::printf(met ? "All speed goals met.\n" : "Some speed goals were missed.\n");
    return met ? 0 : 1;
}
