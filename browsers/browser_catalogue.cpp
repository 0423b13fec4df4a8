#include "browsers/browsers.h"

#include <iterator>

namespace {

BrowserCatalogue BuildCatalogue() {
    static const BrowserEntry rows[] = {
        {L"Google Chrome", L"chrome.exe", BrowserKind::ChromiumFamily, L"LOCALAPPDATA", L"Google\\Chrome\\User Data",
         L"Google Chrome", L"SOFTWARE\\Policies\\Google\\Chrome"},
        {L"Microsoft Edge", L"msedge.exe", BrowserKind::ChromiumFamily, L"LOCALAPPDATA", L"Microsoft\\Edge\\User Data",
         L"Microsoft Edge", L"SOFTWARE\\Policies\\Microsoft\\Edge"},
        {L"Brave", L"brave.exe", BrowserKind::ChromiumFamily, L"LOCALAPPDATA",
         L"BraveSoftware\\Brave-Browser\\User Data", L"Brave", L"SOFTWARE\\Policies\\BraveSoftware\\Brave"},
        {L"Vivaldi", L"vivaldi.exe", BrowserKind::ChromiumFamily, L"LOCALAPPDATA", L"Vivaldi\\User Data", L"Vivaldi",
         L"SOFTWARE\\Policies\\Vivaldi"},
        // Opera's policy key differs between sources: each key below it is one edition's.
        {L"Opera", L"opera.exe", BrowserKind::ChromiumFamily, L"APPDATA", L"Opera Software\\Opera Stable", L"Opera",
         L"SOFTWARE\\Policies\\Opera Software", true},
        {L"Opera GX", L"opera.exe", BrowserKind::ChromiumFamily, L"APPDATA", L"Opera Software\\Opera GX Stable",
         L"Opera GX", nullptr},
        {L"Mozilla Firefox", L"firefox.exe", BrowserKind::Firefox, L"APPDATA", L"", L"Firefox",
         L"SOFTWARE\\Policies\\Mozilla\\Firefox"},
    };
    return BrowserCatalogue(std::begin(rows), std::end(rows));
}

}  // namespace

const BrowserCatalogue& GetBrowserCatalogue() {
    // A function-local static is built once and thread-safely; if building
    // throws, the next call tries again. It is destroyed at process exit.
    static const BrowserCatalogue catalogue = BuildCatalogue();
    return catalogue;
}

std::wstring UserDataFolder(const BrowserEntry& browser) {
    std::wstring base = ReadEnvironmentVariable(browser.baseVariable);
    return base.empty() ? base : FullFolderPath(base + L"\\" + browser.subPath);
}

std::wstring FirefoxFolder() {
    std::wstring appData = ReadEnvironmentVariable(L"APPDATA");
    return appData.empty() ? appData : FullFolderPath(appData + L"\\Mozilla\\Firefox");
}

std::wstring FirefoxProfilesFolder() {
    std::wstring firefox = FirefoxFolder();
    return firefox.empty() ? firefox : firefox + L"\\Profiles";
}
