// Fixes that change one registry value: a Run value deleted, a policy value
// deleted, the proxy switched off; and --undo writing the value back. Each step
// works on exactly the type and bytes it read, so that a value changed by
// someone else since is left as it is.
#include "engine/engine_parts.h"

#include <wininet.h>

#include <cwchar>

namespace {

// Commands and policy values are far smaller; a larger value is no value a fix would remove.
constexpr DWORD MAX_FIXED_VALUE_BYTES = 1024 * 1024;

const wchar_t USER_ROOT[] = L"HKEY_CURRENT_USER";
const wchar_t MACHINE_ROOT[] = L"HKEY_LOCAL_MACHINE";

const wchar_t INTERNET_SETTINGS_KEY[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings";
const wchar_t POLICIES_KEY[] = L"Software\\Policies\\";

HKEY RootOf(const LauncherRegistryRoots& roots, bool machine) {
    return machine ? roots.machine : roots.user;
}

std::wstring Why(const wchar_t* what, LSTATUS status) {
    return std::wstring(what) + FormatWide(L" (error %ld)", static_cast<long>(status));
}

ChangeResult Result(ChangeStep step, std::wstring why = std::wstring()) {
    return {step, std::move(why)};
}

// The value's type and data; Gone when the key or the value is missing.
ChangeResult ReadValue(HKEY key, const std::wstring& name, SavedRegistryValue* value) {
    DWORD type = 0;
    DWORD size = 0;
    LSTATUS status = RegQueryValueExW(key, name.c_str(), nullptr, &type, nullptr, &size);
    if (status == ERROR_FILE_NOT_FOUND)
        return Result(ChangeStep::Gone);
    if (status != ERROR_SUCCESS)
        return Result(ChangeStep::Failed, Why(L"could not be read", status));
    if (size > MAX_FIXED_VALUE_BYTES)
        return Result(ChangeStep::Refused, FormatWide(L"is too long (%lu bytes)", static_cast<unsigned long>(size)));
    std::string data(size, '\0');
    status = RegQueryValueExW(key, name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(&data[0]), &size);
    if (status == ERROR_MORE_DATA)
        return Result(ChangeStep::Changed, L"changed while it was read");
    if (status != ERROR_SUCCESS)
        return Result(ChangeStep::Failed, Why(L"could not be read", status));
    data.resize(size);
    value->type = type;
    value->data = std::move(data);
    return Result(ChangeStep::Done);
}

// Opens the place's key for changing its values in the 64-bit view, as the finders read it.
ChangeResult OpenForChange(const LauncherRegistryRoots& roots,
                           const RegistryPlace& place,
                           bool create,
                           UniqueRegistryKey* key) {
    HKEY root = RootOf(roots, place.machine);
    if (!root)
        return Result(ChangeStep::Refused, L"is under a root this run does not look at");
    HKEY opened = nullptr;
    REGSAM access = KEY_QUERY_VALUE | KEY_SET_VALUE | KEY_WOW64_64KEY;
    LSTATUS status = create ? RegCreateKeyExW(root, place.key.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, access,
                                              nullptr, &opened, nullptr)
                            : RegOpenKeyExW(root, place.key.c_str(), 0, access, &opened);
    if (status == ERROR_FILE_NOT_FOUND)
        return Result(ChangeStep::Gone);
    if (status == ERROR_ACCESS_DENIED)
        return Result(ChangeStep::Failed, L"could not be changed (access denied: it needs an administrator)");
    if (status != ERROR_SUCCESS)
        return Result(ChangeStep::Failed, Why(L"could not be opened", status));
    key->reset(opened);
    return Result(ChangeStep::Done);
}

// Opens the key and checks that the value still holds exactly `expected`.
ChangeResult OpenIfSame(const LauncherRegistryRoots& roots,
                        const RegistryPlace& place,
                        const SavedRegistryValue& expected,
                        UniqueRegistryKey* key) {
    ChangeResult opened = OpenForChange(roots, place, false, key);
    if (opened.step != ChangeStep::Done)
        return opened;
    SavedRegistryValue now;
    ChangeResult read = ReadValue(key->get(), place.name, &now);
    if (read.step != ChangeStep::Done)
        return read;
    if (now.type != expected.type || now.data != expected.data)
        return Result(ChangeStep::Changed, L"has changed since it was read");
    return Result(ChangeStep::Done);
}

// Writes the value with its type and bytes.
ChangeResult WriteValue(HKEY key, const std::wstring& name, const SavedRegistryValue& value) {
    LSTATUS status = RegSetValueExW(key, name.c_str(), 0, value.type, reinterpret_cast<const BYTE*>(value.data.data()),
                                    static_cast<DWORD>(value.data.size()));
    if (status != ERROR_SUCCESS)
        return Result(ChangeStep::Failed, Why(L"could not be written", status));
    return Result(ChangeStep::Done);
}

bool StartsWithKey(const std::wstring& key, std::wstring_view prefix) {
    return StartsWithIgnoringAsciiCase(key, prefix);
}

}  // namespace

std::wstring RegistryPlaceText(const RegistryPlace& place) {
    return std::wstring(place.machine ? MACHINE_ROOT : USER_ROOT) + L"\\" + place.key + L"\\" + place.name;
}

bool FindRegistryPlace(const LauncherRegistryRoots& roots, const std::wstring& location, RegistryPlace* place) {
    std::wstring_view text(location);
    bool machine = false;
    if (StartsWithIgnoringAsciiCase(text, L"HKEY_LOCAL_MACHINE\\"))
        machine = true;
    else if (!StartsWithIgnoringAsciiCase(text, L"HKEY_CURRENT_USER\\"))
        return false;
    HKEY root = RootOf(roots, machine);
    std::wstring rest(text.substr(text.find(L'\\') + 1));
    if (!root || rest.empty())
        return false;
    // A value's name may itself hold a backslash: the key is the longest path
    // that opens and holds a value of the rest's name.
    for (std::size_t at = rest.rfind(L'\\'); at != std::wstring::npos && at > 0;
         at = at == 0 ? std::wstring::npos : rest.rfind(L'\\', at - 1)) {
        UniqueRegistryKey key;
        if (OpenRegistryKeyForReading(root, rest.substr(0, at), &key) != RegistryOpen::Done)
            continue;
        std::wstring name = rest.substr(at + 1);
        if (RegQueryValueExW(key.get(), name.c_str(), nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS) {
            *place = {machine, rest.substr(0, at), name};
            return true;
        }
    }
    return false;
}

RegistryPlaceKind KindOfRegistryPlace(const RegistryPlace& place) {
    const std::wstring& key = place.key;
    if (key.empty() || place.name.empty() || key.find(L"..") != std::wstring::npos || key.back() == L'\\')
        return RegistryPlaceKind::None;
    if (IsRunValueKey(place.machine, key))
        return RegistryPlaceKind::RunValue;
    if (!place.machine && EqualsIgnoringAsciiCase(key, INTERNET_SETTINGS_KEY) &&
        (EqualsIgnoringAsciiCase(place.name, L"ProxyEnable") || EqualsIgnoringAsciiCase(place.name, L"AutoConfigURL")))
        return RegistryPlaceKind::Proxy;
    if (StartsWithKey(key, POLICIES_KEY) && key.size() > std::wcslen(POLICIES_KEY))
        return RegistryPlaceKind::Policy;
    return RegistryPlaceKind::None;
}

bool RegistryPlaceNeedsAdministrator(const RegistryPlace& place) {
    // Only administrators may write HKEY_LOCAL_MACHINE and the policy keys, also the user's.
    return place.machine || StartsWithKey(place.key, POLICIES_KEY);
}

ChangeResult SaveRegistryValue(const LauncherRegistryRoots& roots,
                               const RegistryPlace& place,
                               SavedRegistryValue* saved) {
    HKEY root = RootOf(roots, place.machine);
    UniqueRegistryKey key;
    if (!root)
        return Result(ChangeStep::Refused, L"is under a root this run does not look at");
    RegistryOpen open = OpenRegistryKeyForReading(root, place.key, &key);
    if (open == RegistryOpen::Missing)
        return Result(ChangeStep::Gone);
    if (open != RegistryOpen::Done)
        return Result(ChangeStep::Failed, L"could not be opened");
    return ReadValue(key.get(), place.name, saved);
}

ChangeResult DeleteRegistryValueIfSame(const LauncherRegistryRoots& roots,
                                       const RegistryPlace& place,
                                       const SavedRegistryValue& expected) {
    UniqueRegistryKey key;
    ChangeResult same = OpenIfSame(roots, place, expected, &key);
    if (same.step != ChangeStep::Done)
        return same;
    LSTATUS status = RegDeleteValueW(key.get(), place.name.c_str());
    if (status == ERROR_FILE_NOT_FOUND)
        return Result(ChangeStep::Gone);
    if (status != ERROR_SUCCESS)
        return Result(ChangeStep::Failed, Why(L"could not be deleted", status));
    return Result(ChangeStep::Done);
}

ChangeResult ReplaceRegistryValueIfSame(const LauncherRegistryRoots& roots,
                                        const RegistryPlace& place,
                                        const SavedRegistryValue& expected,
                                        const SavedRegistryValue& replacement) {
    UniqueRegistryKey key;
    ChangeResult same = OpenIfSame(roots, place, expected, &key);
    if (same.step != ChangeStep::Done)
        return same;
    return WriteValue(key.get(), place.name, replacement);
}

ChangeResult PutRegistryValueBack(const LauncherRegistryRoots& roots,
                                  const RegistryPlace& place,
                                  const SavedRegistryValue& saved) {
    if (saved.data.size() > MAX_FIXED_VALUE_BYTES)
        return Result(ChangeStep::Refused, L"is too long to write back");
    UniqueRegistryKey key;
    // A policy list whose last entry went may have lost its key to another program: it is made again.
    ChangeResult opened = OpenForChange(roots, place, true, &key);
    if (opened.step != ChangeStep::Done)
        return opened;
    SavedRegistryValue now;
    ChangeResult read = ReadValue(key.get(), place.name, &now);
    if (read.step == ChangeStep::Done)
        return now.type == saved.type && now.data == saved.data
                   ? Result(ChangeStep::Done)
                   : Result(ChangeStep::NameTaken, L"holds another value now");
    if (read.step != ChangeStep::Gone)
        return read;
    return WriteValue(key.get(), place.name, saved);
}

void TellProgramsProxySettingsChanged(const LauncherRegistryRoots& roots) {
    // Only the real user's settings are what running programs read; a test's roots are not.
    if (roots.user != HKEY_CURRENT_USER)
        return;
    InternetSetOptionW(nullptr, INTERNET_OPTION_SETTINGS_CHANGED, nullptr, 0);
    InternetSetOptionW(nullptr, INTERNET_OPTION_REFRESH, nullptr, 0);
}
