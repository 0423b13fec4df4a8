// Times removing the "Sessions" folders of 20 profiles, 200 files each, the
// way the cleanup removes them (each file opened, checked to resolve to its own
// name, deleted through its handle), beside the plain removal without that
// check (attributes cleared, DeleteFileW). Every run starts from freshly written
// files (not timed); prints the medians and what the check costs, and exits
// with 1 when it costs more than a few percent.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <string>

#include "bench/bench_support.h"
#include "engine/engine_parts.h"

namespace {

constexpr int PROFILES = 20;
constexpr int FILES = 200;
constexpr int RUNS = 9;
// "A few percent": what the check may cost at most.
constexpr double MOST_OVERHEAD = 0.05;

std::wstring SessionsFolder(const std::wstring& root, int profile) {
    return root + L"\\Profile " + std::to_wstring(profile) + L"\\Sessions";
}

void WriteSessions(const std::wstring& root) {
    const std::string bytes(2048, 's');
    for (int p = 0; p < PROFILES; ++p) {
        for (int f = 0; f < FILES; ++f)
            WriteFileBytes(SessionsFolder(root, p) + L"\\Session_1334567890" + std::to_wstring(f), bytes);
    }
}

// The removal without the check, as it was before: the measure to compare with.
void RemoveUnchecked(const std::wstring& folder) {
    ForEachFolderEntry(folder, [&](const std::wstring& name, uint32_t attributes) {
        std::wstring child = LongPathForm(folder + L"\\" + name);
        if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
            RemoveUnchecked(folder + L"\\" + name);
            return;
        }
        SetFileAttributesW(child.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileW(child.c_str());
    });
    RemoveDirectoryW(LongPathForm(folder).c_str());
}

}  // namespace

int main() {
    std::wstring root = MakeScratchFolder();
    std::size_t folderLines = 0;
    CleanupOptions options;
    options.log = [&](const std::wstring& line) { folderLines += line.rfind(L"  deleted folder: ", 0) == 0 ? 1 : 0; };
    auto setup = [&] {
        WriteSessions(root);
        folderLines = 0;
    };
    auto checked = [&] {
        for (int p = 0; p < PROFILES; ++p)
            RemoveFolderTree(options, SessionsFolder(root, p), nullptr);
        return folderLines;
    };
    auto unchecked = [&] {
        for (int p = 0; p < PROFILES; ++p)
            RemoveUnchecked(SessionsFolder(root, p));
        return std::size_t{PROFILES};
    };
    // Alternated, so that both see the same state of the machine.
    std::vector<double> withCheck, without;
    bool complete = true;
    for (int r = 0; r < RUNS; ++r) {
        Timing timing = Measure(1, setup, checked);
        withCheck.push_back(timing.median);
        complete &= timing.lines == PROFILES;
        without.push_back(Measure(1, setup, unchecked).median);
    }
    std::sort(withCheck.begin(), withCheck.end());
    std::sort(without.begin(), without.end());
    double a = withCheck[RUNS / 2], b = without[RUNS / 2];
    double overhead = a / b - 1;

    std::printf("Removing %d Sessions folders of %d files each (%d files), median of %d runs\n", PROFILES, FILES,
                PROFILES * FILES, RUNS);
    std::printf("  with the link check    %7.1f ms (%5.1f us per file)\n", a * 1e3, a * 1e6 / (PROFILES * FILES));
    std::printf("  without the link check %7.1f ms (%5.1f us per file)\n", b * 1e3, b * 1e6 / (PROFILES * FILES));
    std::printf("  the check costs %+.1f%%\n", overhead * 100);
    bool met = Report("every folder removed", complete);
    met &= Report("the check costs at most 5%", overhead <= MOST_OVERHEAD);
    DeleteTree(root);
    std::printf(met ? "All goals met.\n" : "Some goals were missed.\n");
    return met ? 0 : 1;
}
