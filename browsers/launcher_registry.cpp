// Run and RunOnce values, and the user's proxy settings, read from registry
// roots given by the caller.
#include "browsers/launcher_internal.h"

namespace {

// A command line is at most 32,767 characters: a longer value starts nothing.
constexpr DWORD MAX_COMMAND_VALUE_BYTES = 32768 * sizeof(wchar_t);

const wchar_t* const USER_RUN_KEYS[] = {
    L"Software\\Microsoft\\Windows\\CurrentVersion\\Run",
    L"Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce",
};
// 32-bit programs on 64-bit Windows write the machine's values below WOW6432Node.
const wchar_t* const MACHINE_RUN_KEYS[] = {
    L"Software\\Microsoft\\Windows\\CurrentVersion\\Run",
    L"Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce",
    L"Software\\WOW6432Node\\Microsoft\\Windows\\CurrentVersion\\Run",
    L"Software\\WOW6432Node\\Microsoft\\Windows\\CurrentVersion\\RunOnce",
};
const wchar_t INTERNET_SETTINGS_KEY[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings";

bool IsText(const RegistryValue& value) {
    return value.type == REG_SZ || value.type == REG_EXPAND_SZ;
}

// The values of root\path, or a problem when the key exists but cannot be read.
bool ReadKeyValues(HKEY root,
                   const std::wstring& keyName,
                   const wchar_t* path,
                   bool proxy,
                   LauncherFindings* findings,
                   std::vector<RegistryValue>* values) {
    UniqueRegistryKey key;
    if (!root)
        return false;
    RegistryOpen open = OpenRegistryKeyForReading(root, path, &key);
    if (open == RegistryOpen::Unreadable)
        findings->problems.push_back({keyName, L"could not be opened", proxy});
    if (open != RegistryOpen::Done)
        return false;
    *values = ReadRegistryValues(key.get(), MAX_COMMAND_VALUE_BYTES);
    return true;
}

// A value that cannot be a command or a setting: longer than any command line, or not text.
std::wstring ValueProblem(const RegistryValue& value, bool text) {
    if (value.tooLong)
        return FormatWide(L"too long (%lu bytes), not read", static_cast<unsigned long>(value.size));
    if (text && !IsText(value))
        return FormatWide(L"not text (type %lu)", static_cast<unsigned long>(value.type));
    return std::wstring();
}

void FindRunValuesUnder(HKEY root, const wchar_t* rootName, const wchar_t* path, LauncherFindings* findings) {
    std::wstring keyName = std::wstring(rootName) + L"\\" + path;
    std::vector<RegistryValue> values;
    if (!ReadKeyValues(root, keyName, path, false, findings, &values))
        return;
    for (const RegistryValue& value : values) {
        std::wstring location = keyName + L"\\" + value.name;
        std::wstring why = ValueProblem(value, true);
        if (!why.empty()) {
            findings->problems.push_back({location, why});
            continue;
        }
        LauncherFinding finding;
        finding.kind = LauncherKind::RunValue;
        finding.location = location;
        finding.command = value.text;
        // Windows expands a REG_EXPAND_SZ command ("%ComSpec% /c start ...") before it starts it.
        CommandLine split =
            SplitLaunchedCommandLine(value.type == REG_EXPAND_SZ ? ExpandEnvironmentText(value.text) : value.text);
        finding.program = split.program;
        finding.arguments = split.arguments;
        if (MarkLaunch(&finding, true))
            findings->launchers.push_back(std::move(finding));
    }
}

}  // namespace

bool IsRunValueKey(bool machine, const std::wstring& key) {
    for (const wchar_t* path : USER_RUN_KEYS) {
        if (EqualsIgnoringAsciiCase(key, path))
            return true;
    }
    for (const wchar_t* path : MACHINE_RUN_KEYS) {
        if (machine && EqualsIgnoringAsciiCase(key, path))
            return true;
    }
    return false;
}

void FindRunValues(const LauncherRegistryRoots& roots, LauncherFindings* findings) {
    for (const wchar_t* path : USER_RUN_KEYS)
        FindRunValuesUnder(roots.user, L"HKEY_CURRENT_USER", path, findings);
    for (const wchar_t* path : MACHINE_RUN_KEYS)
        FindRunValuesUnder(roots.machine, L"HKEY_LOCAL_MACHINE", path, findings);
}

void FindProxySettings(HKEY user, LauncherFindings* findings) {
    std::wstring keyName = std::wstring(L"HKEY_CURRENT_USER\\") + INTERNET_SETTINGS_KEY;
    std::vector<RegistryValue> values;
    if (!ReadKeyValues(user, keyName, INTERNET_SETTINGS_KEY, true, findings, &values))
        return;
    bool enabled = false;
    std::vector<ProxySetting> settings;
    for (const RegistryValue& value : values) {
        bool isEnable = EqualsIgnoringAsciiCase(value.name, L"ProxyEnable");
        bool isServer = EqualsIgnoringAsciiCase(value.name, L"ProxyServer");
        bool isScript = EqualsIgnoringAsciiCase(value.name, L"AutoConfigURL");
        if (!isEnable && !isServer && !isScript)
            continue;
        std::wstring why = ValueProblem(value, !isEnable);
        if (isEnable && why.empty() && value.type != REG_DWORD)
            why = FormatWide(L"not a number (type %lu)", static_cast<unsigned long>(value.type));
        if (!why.empty()) {
            findings->problems.push_back({keyName + L"\\" + value.name, why, true});
            continue;
        }
        if (isEnable)
            enabled = value.text != L"0";  // Windows uses the proxy for any value but 0
        else if (!value.text.empty())
            settings.push_back(
                {isServer ? L"ProxyServer" : L"AutoConfigURL", value.text, keyName + L"\\" + value.name});
    }
    // ProxyServer is used only while ProxyEnable is 1; AutoConfigURL whenever it is set.
    for (ProxySetting& setting : settings) {
        if (enabled || setting.setting == L"AutoConfigURL")
            findings->proxy.push_back(std::move(setting));
    }
}
