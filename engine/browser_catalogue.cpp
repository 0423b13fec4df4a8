#include "engine/engine.h"

#include <iterator>

namespace {

BrowserCatalogue BuildCatalogue() {
    static const BrowserEntry rows[] = {
        {L"Google Chrome", L"chrome.exe", BrowserKind::ChromiumFamily, L"LOCALAPPDATA", L"Google\\Chrome\\User Data"},
        {L"Microsoft Edge", L"msedge.exe", BrowserKind::ChromiumFamily, L"LOCALAPPDATA", L"Microsoft\\Edge\\User Data"},
        {L"Brave", L"brave.exe", BrowserKind::ChromiumFamily, L"LOCALAPPDATA",
         L"BraveSoftware\\Brave-Browser\\User Data"},
        {L"Vivaldi", L"vivaldi.exe", BrowserKind::ChromiumFamily, L"LOCALAPPDATA", L"Vivaldi\\User Data"},
        {L"Opera", L"opera.exe", BrowserKind::ChromiumFamily, L"APPDATA", L"Opera Software\\Opera Stable"},
        {L"Opera GX", L"opera.exe", BrowserKind::ChromiumFamily, L"APPDATA", L"Opera Software\\Opera GX Stable"},
        {L"Mozilla Firefox", L"firefox.exe", BrowserKind::Firefox, L"APPDATA", L""},
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
