// The review benchmarks' generated profiles, spread over all seven browsers: each
// Chromium profile with a 0.7 MB "Preferences", a 0.2 MB "Secure Preferences" and
// 30 extensions whose manifests are on disk, each Firefox profile with prefs.js,
// user.js and an extensions.json of 30 add-ons.
#pragma once

#include <cstddef>
#include <string>

constexpr int EXTENSIONS_PER_PROFILE = 30;
constexpr std::size_t PREFERENCES_BYTES = 700 * 1000;
constexpr std::size_t SECURE_PREFERENCES_BYTES = 200 * 1000;

// Writes that many profiles below root's Local and Roaming folders, dealt round
// the seven browsers (Opera's first is its user-data folder); returns the bytes written.
std::size_t MakeReviewProfiles(const std::wstring& root, int profiles);

// The first Firefox profile below root (MakeReviewProfiles').
std::wstring FirefoxBenchProfile(const std::wstring& root);
// Writes the profile's permissions.sqlite as Firefox does (32 KB pages, user_version
// 13) with that many rows of the kinds a used profile holds: cookie and storage
// exceptions, autoplay, and one in ten a site allowed to notify or open pop-ups.
// Returns the file's size.
std::size_t WriteFirefoxPermissions(const std::wstring& profile, int rows);
