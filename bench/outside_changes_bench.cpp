// Times the changes of the fixes outside the browsers' files, and taking them
// back: 50 Run values deleted, 50 Startup items moved into a run's folder and
// 20 policy values deleted, each read exactly before it goes, then all of them
// put back. Checks the speed goal and exits with 1 when it is missed. Runs on
// registry keys and folders of its own.
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "bench/bench_support.h"
#include "engine/engine_parts.h"

namespace {

constexpr int RUN_VALUES = 50;
constexpr int STARTUP_ITEMS = 50;
constexpr int POLICY_VALUES = 20;

const wchar_t RUN[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";
const wchar_t FORCELIST[] = L"Software\\Policies\\Google\\Chrome\\ExtensionInstallForcelist";

struct Saved {
    RegistryPlace place;
    SavedRegistryValue value;
};

}  // namespace

int main() {
    std::wstring scratch = MakeScratchFolder();
    std::wstring keyPath = L"Software\\PopSwat-bench-" + std::to_wstring(GetCurrentProcessId());
    HKEY machine = nullptr;
    HKEY user = nullptr;
    RegCreateKeyExW(HKEY_CURRENT_USER, (keyPath + L"\\machine").c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                    &machine, nullptr);
    RegCreateKeyExW(HKEY_CURRENT_USER, (keyPath + L"\\user").c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &user,
                    nullptr);
    const LauncherRegistryRoots roots{machine, user};
    std::vector<RegistryPlace> places;
    for (int n = 0; n < RUN_VALUES; ++n)
        places.push_back({n % 2 == 1, RUN, L"Value " + std::to_wstring(n)});
    for (int n = 0; n < POLICY_VALUES; ++n)
        places.push_back({true, FORCELIST, std::to_wstring(n + 1)});
    std::vector<std::wstring> items;
    for (int n = 0; n < STARTUP_ITEMS; ++n)
        items.push_back(scratch + L"\\Startup\\item" + std::to_wstring(n) + (n % 2 ? L".url" : L".cmd"));

    std::vector<Saved> saved;
    std::vector<std::wstring> moved;
    std::size_t failed = 0;
    auto setUp = [&] {
        for (const RegistryPlace& place : places)
            SetRegistryText(place.machine ? machine : user, place.key.c_str(), place.name,
                            L"cmd /c start https://ad.example/" + place.name);
        for (const std::wstring& item : items)
            WriteFileBytes(item, "[InternetShortcut]\r\nURL=https://deal.example/\r\n");
        MakeFolders(scratch + L"\\Backups");
    };
    auto fix = [&] {
        saved.clear();
        moved.clear();
        for (const RegistryPlace& place : places) {
            Saved one{place, {}};
            if (SaveRegistryValue(roots, place, &one.value).step != ChangeStep::Done ||
                DeleteRegistryValueIfSame(roots, place, one.value).step != ChangeStep::Done)
                ++failed;
            saved.push_back(std::move(one));
        }
        for (const std::wstring& item : items) {
            std::wstring to;
            if (MoveFileIntoFolder(item, scratch + L"\\Backups", &to).step != ChangeStep::Done)
                ++failed;
            moved.push_back(to);
        }
        return saved.size() + moved.size();
    };
    auto undo = [&] {
        for (const Saved& one : saved)
            failed += PutRegistryValueBack(roots, one.place, one.value).step != ChangeStep::Done;
        for (std::size_t n = 0; n < moved.size(); ++n)
            failed += MoveFileBack(moved[n], items[n]).step != ChangeStep::Done;
        return saved.size() + moved.size();
    };
    Timing fixing = Measure(5, setUp, fix);
    Timing undoing = Measure(
        5, [&] { setUp(), fix(); }, undo);
    std::printf("%d Run values, %d Startup items, %d policy values\n", RUN_VALUES, STARTUP_ITEMS, POLICY_VALUES);
    std::printf("  fixed in %.1f ms (median %.1f), put back in %.1f ms (median %.1f), %zu steps failed\n",
                fixing.seconds * 1e3, fixing.median * 1e3, undoing.seconds * 1e3, undoing.median * 1e3, failed);
    bool met = Report("fixed in under 500 ms", fixing.seconds < 0.500);
    met &= Report("put back in under 500 ms", undoing.seconds < 0.500);
    met &= Report("every step done", failed == 0);
    RegCloseKey(machine);
    RegCloseKey(user);
    RegDeleteTreeW(HKEY_CURRENT_USER, keyPath.c_str());
    RegDeleteKeyW(HKEY_CURRENT_USER, keyPath.c_str());
    DeleteTree(scratch);
    std::printf(met ? "All speed goals met.\n" : "Some speed goals were missed.\n");
    return met ? 0 : 1;
}
