// Extensions that other programs registered for a browser to install at its
// next start. Chromium's registry provider (ExternalRegistryLoader, the only
// external provider it has on Windows; the "External Extensions" JSON files are
// read on other systems only) lists each subkey <id> of
// Software\<vendor>\<browser>\Extensions in both roots; Firefox's registry
// install location lists each value of Software\Mozilla\Firefox\Extensions,
// named by the add-on's id, in both roots. Both are also looked for below
// WOW6432Node, where a 32-bit installer's writes land.
#include <cwchar>

#include "browsers/launchers.h"

namespace {

const wchar_t USER_ROOT[] = L"HKEY_CURRENT_USER\\";
const wchar_t MACHINE_ROOT[] = L"HKEY_LOCAL_MACHINE\\";
const wchar_t USER_DATA[] = L"\\User Data";

// The browser's registration keys below a root: its own and WOW6432Node's.
std::vector<std::wstring> RegistrationKeys(const BrowserEntry& browser) {
    std::wstring vendor;
    if (browser.kind == BrowserKind::Firefox) {
        vendor = L"Mozilla\\Firefox";
    } else {
        // The user-data folder is <vendor>\<browser>\User Data below LOCALAPPDATA; a
        // browser kept elsewhere (Opera, below APPDATA) reads no registration keys.
        std::wstring_view path(browser.subPath);
        if (!EndsWithIgnoringAsciiCase(path, USER_DATA) || path.size() == std::wcslen(USER_DATA))
            return {};
        vendor = std::wstring(path.substr(0, path.size() - std::wcslen(USER_DATA)));
    }
    return {L"Software\\" + vendor + L"\\Extensions", L"Software\\WOW6432Node\\" + vendor + L"\\Extensions"};
}

// Chromium's ids: 32 letters a to p.
bool IsChromiumId(std::wstring_view id) {
    if (id.size() != 32)
        return false;
    for (wchar_t c : id) {
        if (c < L'a' || c > L'p')
            return false;
    }
    return true;
}

bool ValueExists(HKEY root, const std::wstring& key, const std::wstring& name) {
    UniqueRegistryKey opened;
    return OpenRegistryKeyForReading(root, key, &opened) == RegistryOpen::Done &&
           RegQueryValueExW(opened.get(), name.c_str(), nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
}

}  // namespace

std::vector<ExtensionRegistration> FindExtensionRegistrations(const BrowserEntry& browser,
                                                              const std::wstring& id,
                                                              const LauncherRegistryRoots& roots) {
    std::vector<ExtensionRegistration> found;
    bool firefox = browser.kind == BrowserKind::Firefox;
    if (id.empty() || id.find(L'\\') != std::wstring::npos || (!firefox && !IsChromiumId(id)))
        return found;
    for (bool machine : {false, true}) {
        HKEY root = machine ? roots.machine : roots.user;
        if (!root)
            continue;
        for (const std::wstring& key : RegistrationKeys(browser)) {
            UniqueRegistryKey opened;
            if (firefox ? ValueExists(root, key, id)
                        : OpenRegistryKeyForReading(root, key + L"\\" + id, &opened) == RegistryOpen::Done)
                found.push_back(firefox ? ExtensionRegistration{machine, key, id}
                                        : ExtensionRegistration{machine, key + L"\\" + id, L""});
        }
    }
    return found;
}

std::wstring ExtensionRegistrationText(const ExtensionRegistration& registration) {
    return (registration.machine ? MACHINE_ROOT : USER_ROOT) + registration.key +
           (registration.name.empty() ? std::wstring() : L"\\" + registration.name);
}

bool IsExtensionRegistrationPlace(const ExtensionRegistration& place) {
    for (const BrowserEntry& browser : GetBrowserCatalogue()) {
        for (const std::wstring& key : RegistrationKeys(browser)) {
            if (browser.kind == BrowserKind::Firefox) {
                if (EqualsIgnoringAsciiCase(place.key, key) && !place.name.empty() &&
                    place.name.find(L'\\') == std::wstring::npos)
                    return true;
            } else if (place.name.empty() && place.key.size() == key.size() + 33 &&
                       EqualsIgnoringAsciiCase(std::wstring_view(place.key).substr(0, key.size()), key) &&
                       place.key[key.size()] == L'\\' &&
                       IsChromiumId(std::wstring_view(place.key).substr(key.size() + 1))) {
                return true;
            }
        }
    }
    return false;
}

bool ParseExtensionRegistration(const std::wstring& text, ExtensionRegistration* registration) {
    std::wstring_view view(text);
    bool machine = StartsWithIgnoringAsciiCase(view, MACHINE_ROOT);
    if (!machine && !StartsWithIgnoringAsciiCase(view, USER_ROOT))
        return false;
    std::wstring rest(view.substr(machine ? std::wcslen(MACHINE_ROOT) : std::wcslen(USER_ROOT)));
    ExtensionRegistration key{machine, rest, L""};
    std::size_t last = rest.rfind(L'\\');
    ExtensionRegistration value{machine, rest.substr(0, last == std::wstring::npos ? 0 : last),
                                last == std::wstring::npos ? L"" : rest.substr(last + 1)};
    if (IsExtensionRegistrationPlace(key))
        *registration = key;
    else if (IsExtensionRegistrationPlace(value))
        *registration = value;
    else
        return false;
    return true;
}
