// Browser policies in the registry: every value below each catalogue row's
// policy key, from the machine's root and the user's, read with the plain
// registry calls and marked by what it does.
#include <algorithm>
#include <iterator>
#include <string_view>

#include "base/win_handles.h"
#include "review/review.h"

namespace {

// Policies nest a few levels (ExtensionSettings\<id>\...); a deeper tree is not followed.
constexpr int MAX_POLICY_DEPTH = 8;
// Larger values are named but not shown.
constexpr DWORD MAX_POLICY_VALUE_BYTES = 1024 * 1024;

struct PolicyName {
    const wchar_t* name;
    PolicyEffect effect;
};

const PolicyName CHROMIUM_POLICIES[] = {
    {L"ExtensionInstallForcelist", PolicyEffect::ForcesExtension},
    {L"ExtensionSettings", PolicyEffect::ControlsExtensions},
    {L"HomepageLocation", PolicyEffect::HomePage},
    {L"HomepageIsNewTabPage", PolicyEffect::HomePage},
    {L"RestoreOnStartup", PolicyEffect::StartupPages},
    {L"RestoreOnStartupURLs", PolicyEffect::StartupPages},
    {L"NewTabPageLocation", PolicyEffect::NewTabPage},
};

const PolicyName FIREFOX_POLICIES[] = {
    {L"ExtensionSettings", PolicyEffect::ControlsExtensions},
    {L"Homepage", PolicyEffect::HomePage},
    {L"SearchEngines", PolicyEffect::SearchEngine},
};

// Text of REG_SZ, REG_EXPAND_SZ and REG_MULTI_SZ data (its strings joined by "; ").
std::wstring RegistryText(const BYTE* data, DWORD size, DWORD type) {
    std::wstring text(reinterpret_cast<const wchar_t*>(data), size / sizeof(wchar_t));
    while (!text.empty() && text.back() == L'\0')
        text.pop_back();
    if (type == REG_MULTI_SZ) {
        for (std::size_t at = text.find(L'\0'); at != std::wstring::npos; at = text.find(L'\0', at))
            text.replace(at, 1, L"; ");
    }
    return text;
}

std::wstring RegistryValueText(const BYTE* data, DWORD size, DWORD type) {
    switch (type) {
        case REG_SZ:
        case REG_EXPAND_SZ:
        case REG_MULTI_SZ:
            return RegistryText(data, size, type);
        case REG_DWORD:
            if (size == sizeof(DWORD))
                return std::to_wstring(*reinterpret_cast<const DWORD*>(data));
            break;
        case REG_QWORD:
            if (size == sizeof(ULONGLONG))
                return std::to_wstring(*reinterpret_cast<const ULONGLONG*>(data));
            break;
        default:
            break;
    }
    return FormatWide(L"(%lu bytes of data of type %lu)", static_cast<unsigned long>(size),
                      static_cast<unsigned long>(type));
}

struct PolicyWalk {
    const BrowserEntry& browser;
    bool machine;
    std::vector<PolicyFinding>* findings;
};

void ReadPolicyValues(const PolicyWalk& walk, HKEY key, const std::wstring& prefix, int depth) {
    DWORD longestName = 0;
    DWORD longestData = 0;
    DWORD longestSubkey = 0;
    if (RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, nullptr, &longestSubkey, nullptr, nullptr, &longestName,
                         &longestData, nullptr, nullptr) != ERROR_SUCCESS)
        return;
    std::vector<wchar_t> name(longestName + 1);
    // Room for one more character, so that string data without its terminator still ends.
    std::vector<BYTE> data(std::min(longestData, MAX_POLICY_VALUE_BYTES) + sizeof(wchar_t));
    for (DWORD index = 0;; ++index) {
        DWORD nameChars = static_cast<DWORD>(name.size());
        DWORD type = 0;
        DWORD size = static_cast<DWORD>(data.size() - sizeof(wchar_t));
        LSTATUS status = RegEnumValueW(key, index, name.data(), &nameChars, nullptr, &type, data.data(), &size);
        if (status == ERROR_NO_MORE_ITEMS)
            break;
        if (status != ERROR_SUCCESS && status != ERROR_MORE_DATA)
            break;
        PolicyFinding finding;
        finding.browser = walk.browser.reportName;
        finding.machine = walk.machine;
        finding.name = prefix + std::wstring(name.data(), nameChars);
        if (status == ERROR_MORE_DATA)
            finding.value = FormatWide(L"(too long to show: %lu bytes)", static_cast<unsigned long>(size));
        else
            finding.value = RegistryValueText(data.data(), size, type);
        finding.effect = ClassifyPolicy(walk.browser.kind == BrowserKind::Firefox, finding.name);
        walk.findings->push_back(std::move(finding));
    }
    if (depth >= MAX_POLICY_DEPTH)
        return;
    std::vector<wchar_t> subkey(longestSubkey + 1);
    for (DWORD index = 0;; ++index) {
        DWORD chars = static_cast<DWORD>(subkey.size());
        if (RegEnumKeyExW(key, index, subkey.data(), &chars, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            break;
        std::wstring subkeyName(subkey.data(), chars);
        HKEY opened = nullptr;
        if (RegOpenKeyExW(key, subkeyName.c_str(), 0, KEY_READ, &opened) != ERROR_SUCCESS)
            continue;
        UniqueRegistryKey child(opened);
        ReadPolicyValues(walk, child.get(), prefix + subkeyName + L"\\", depth + 1);
    }
}

void ReadPolicyKey(const PolicyWalk& walk, HKEY root) {
    HKEY opened = nullptr;
    if (RegOpenKeyExW(root, walk.browser.policyKey, 0, KEY_READ, &opened) != ERROR_SUCCESS)
        return;
    UniqueRegistryKey key(opened);
    if (!walk.browser.policyKeyPerEdition) {
        ReadPolicyValues(walk, key.get(), L"", 0);
        return;
    }
    // Each key below is one Opera edition's policy key; its values are named from there.
    std::vector<PolicyFinding> all;
    ReadPolicyValues({walk.browser, walk.machine, &all}, key.get(), L"", 0);
    for (PolicyFinding& finding : all) {
        std::size_t slash = finding.name.find(L'\\');
        if (slash == std::wstring::npos)
            continue;  // values directly in "Opera Software" belong to no edition
        finding.name.erase(0, slash + 1);
        finding.effect = ClassifyPolicy(false, finding.name);
        walk.findings->push_back(std::move(finding));
    }
}

}  // namespace

PolicyEffect ClassifyPolicy(bool firefox, const std::wstring& name) {
    std::wstring_view path(name);
    std::wstring_view first = path.substr(0, path.find(L'\\'));
    if (firefox && EqualsIgnoringAsciiCase(first, L"Extensions")) {
        std::wstring_view rest = first.size() < path.size() ? path.substr(first.size() + 1) : std::wstring_view();
        return StartsWithIgnoringAsciiCase(rest, L"Install\\") ? PolicyEffect::ForcesExtension
                                                               : PolicyEffect::ControlsExtensions;
    }
    const PolicyName* begin = firefox ? std::begin(FIREFOX_POLICIES) : std::begin(CHROMIUM_POLICIES);
    const PolicyName* end = firefox ? std::end(FIREFOX_POLICIES) : std::end(CHROMIUM_POLICIES);
    for (const PolicyName* policy = begin; policy != end; ++policy) {
        if (EqualsIgnoringAsciiCase(first, policy->name))
            return policy->effect;
    }
    if (!firefox && StartsWithIgnoringAsciiCase(first, L"DefaultSearchProvider"))
        return PolicyEffect::SearchEngine;
    return PolicyEffect::Other;
}

PolicyRoots SystemPolicyRoots() {
    return {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER};
}

std::vector<PolicyFinding> ReadBrowserPolicies(const PolicyRoots& roots) {
    std::vector<PolicyFinding> findings;
    for (bool machine : {true, false}) {
        for (const BrowserEntry& browser : GetBrowserCatalogue()) {
            if (browser.policyKey)
                ReadPolicyKey({browser, machine, &findings}, machine ? roots.machine : roots.user);
        }
    }
    return findings;
}
