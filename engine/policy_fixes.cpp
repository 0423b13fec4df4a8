// Fixes of browser policies: one value below a catalogue browser's policy key
// deleted (for a list such as ExtensionInstallForcelist, the one entry), its
// type and bytes recorded exactly first, and --undo writing it back. The policy
// keys take an administrator also under HKEY_CURRENT_USER.
#include "engine/engine_parts.h"

namespace {

LauncherRegistryRoots RegistryRootsOf(const PolicyRoots& roots) {
    return {roots.machine, roots.user};
}

// A value at or below one of the catalogue's policy keys, never one of the key itself's parents.
bool IsBelowBrowserPolicyKey(const RegistryPlace& place) {
    if (KindOfRegistryPlace(place) != RegistryPlaceKind::Policy)
        return false;
    for (const BrowserEntry& browser : GetBrowserCatalogue()) {
        if (!browser.policyKey)
            continue;
        std::wstring_view key(browser.policyKey);
        if (StartsWithIgnoringAsciiCase(place.key, key) &&
            (place.key.size() == key.size() || place.key[key.size()] == L'\\'))
            return true;
    }
    return false;
}

std::wstring PolicyPlaceRefusal(const RegistryPlace& place) {
    if (!IsBelowBrowserPolicyKey(place))
        return L"not a browser policy value";
    return NeedsAdministrator(RegistryPlaceNeedsAdministrator(place)) ? L"needs an administrator" : L"";
}

// The review shows a policy as its text (numbers in decimal): the value must read the same now.
bool PolicyAsReviewed(const SavedRegistryValue& value, const std::wstring& reviewed) {
    return RegistryValueText(reinterpret_cast<const BYTE*>(value.data.data()), static_cast<DWORD>(value.data.size()),
                             value.type) == reviewed;
}

const ValueFix POLICY_VALUE_FIX = {"policy-value", L"policy value", PolicyPlaceRefusal, PolicyAsReviewed};

}  // namespace

void FixPolicyValues(const CleanupOptions& options,
                     const std::vector<FixTarget>& targets,
                     const PolicyRoots& roots,
                     ChangeLog* log,
                     ChangeRunOutcome* result) {
    bool any = false;
    std::vector<PlannedChange> plan;
    for (const FixTarget& target : targets) {
        if (!target.kind || std::string_view(target.kind->name) != POLICY_VALUE_FIX.kind)
            continue;
        if (!any)
            WriteLine(options, L"Deleting browser policies...");
        any = true;
        PlanValueDeletion(options, target, RegistryRootsOf(roots), POLICY_VALUE_FIX, &plan, result);
    }
    MakePlannedChanges(options, std::move(plan), log, result);
}

std::wstring PolicyRefusal(const ChangeEntry& entry) {
    return PolicyPlaceRefusal({entry.machine, entry.valueKey, entry.valueName});
}

void PutBackPolicyEntry(const CleanupOptions& options, std::size_t index, const PolicyRoots& roots, ChangeLog* log) {
    const ChangeEntry& entry = log->record.changes[index];
    ChangeResult back = PutDeletedValueBack(RegistryRootsOf(roots), entry);
    if (back.step == ChangeStep::Done) {
        MarkChange(log, index, ChangeState::Undone);
        return WriteLine(options, L"  policy value put back: " + MaskUnsafeCharacters(entry.location));
    }
    std::wstring why = back.why.empty() ? L"it could not be put back" : back.why;
    MarkChange(log, index, ChangeState::Left, why);
    WriteLine(options, L"  left as it is (" + why + L"): " + MaskUnsafeCharacters(entry.location));
}
