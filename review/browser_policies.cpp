// Browser policies in the registry: every value below each catalogue row's
// policy key, from the machine's root and the user's, read with the plain
// registry calls and marked by what it does.
#include <iterator>
#include <string_view>

#include "base/windows_launch_sources.h"
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
    // A boolean: false turns the new tab page into a blank one. It shows nobody's
    // page, so it is no hijack of its own.
    {L"NewTabPage", PolicyEffect::Other},
};

struct PolicyWalk {
    const BrowserEntry& browser;
    bool machine;
    std::vector<PolicyFinding>* findings;
};

void ReadPolicyValues(const PolicyWalk& walk, HKEY key, const std::wstring& prefix, int depth) {
    for (const RegistryValue& value : ReadRegistryValues(key, MAX_POLICY_VALUE_BYTES)) {
        PolicyFinding finding;
        finding.browser = walk.browser.reportName;
        finding.machine = walk.machine;
        finding.name = prefix + value.name;
        finding.value = value.tooLong
                            ? FormatWide(L"(too long to show: %lu bytes)", static_cast<unsigned long>(value.size))
                            : value.text;
        finding.effect = ClassifyPolicy(walk.browser.kind == BrowserKind::Firefox, finding.name);
        finding.location = std::wstring(walk.machine ? L"HKEY_LOCAL_MACHINE\\" : L"HKEY_CURRENT_USER\\") +
                           walk.browser.policyKey + L"\\" + finding.name;
        walk.findings->push_back(std::move(finding));
    }
    DWORD longestSubkey = 0;
    if (depth >= MAX_POLICY_DEPTH || RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, nullptr, &longestSubkey, nullptr,
                                                      nullptr, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
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
