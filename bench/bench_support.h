// Helpers shared by the benchmarks: a scratch folder, files, timing.
#pragma once

#include <algorithm>
#include <chrono>
#include <cstddef>
#include <string>
#include <vector>

#include <windows.h>

// A fresh folder under the temporary folder, named after this process.
std::wstring MakeScratchFolder();
// Creates the folder and any missing parents.
void MakeFolders(const std::wstring& path);
// Writes the bytes, making the parent folders first.
void WriteFileBytes(const std::wstring& path, const std::string& bytes);
// Sets a REG_SZ value below root, making its key when it is not there.
void SetRegistryText(HKEY root, const wchar_t* path, const std::wstring& name, const std::wstring& text);
// Deletes a tree without following links.
void DeleteTree(const std::wstring& path);
// Prints the goal and whether it was met; returns met.
bool Report(const char* goal, bool met);

std::string Number(long long n);
// The round-th profile folder of the browser-th Chromium-family browser (Chrome,
// Edge, Brave, Vivaldi, Opera, Opera GX) below root's Local and Roaming folders:
// "Default", then "Profile <round>"; Opera's first is its user-data folder itself.
std::wstring ChromiumProfileFolder(const std::wstring& root, int browser, int round);
// The "site_engagement" member of a profile's content settings, as a profile used
// for months holds it, padded with sites up to about the given size.
std::string SiteEngagementPadding(std::size_t bytes);
// A profile's Preferences of about the given size whose content settings allow
// grants sites to notify, open pop-ups or download (each beside a block and an
// ask, as a profile used for a while holds them).
std::string GrantedPreferences(int profile, int grants, std::size_t bytes);

// The best run is the figure least disturbed by other work on the machine; the
// median is printed beside it.
struct Timing {
    double seconds;  // best run
    double median;
    std::size_t lines;
};

// Times run() after an untimed setup() each time.
template <typename Setup, typename Run>
Timing Measure(int runs, Setup setup, Run run) {
    using Clock = std::chrono::steady_clock;
    std::vector<double> seconds;
    std::size_t lines = 0;
    for (int r = 0; r < runs; ++r) {
        setup();
        auto start = Clock::now();
        lines = run();
        seconds.push_back(std::chrono::duration<double>(Clock::now() - start).count());
    }
    std::sort(seconds.begin(), seconds.end());
    return {seconds.front(), seconds[seconds.size() / 2], lines};
}

template <typename Run>
Timing Measure(int runs, Run run) {
    return Measure(
        runs, [] {}, run);
}

inline double MegabytesPerSecond(std::size_t bytes, double seconds) {
    return static_cast<double>(bytes) / 1e6 / seconds;
}
