// Fixing the findings a person or a script chose, as one run under the one-run
// lock, every change in one record. The browsers are closed only when a chosen
// fix needs them closed; nothing is deleted.
#include <map>

#include "base/win_handles.h"
#include "engine/engine_parts.h"

namespace {

bool NeedsClosedBrowsers(const std::vector<FixTarget>& targets) {
    for (const FixTarget& target : targets) {
        if (target.kind && target.kind->closesBrowsers)
            return true;
    }
    return false;
}

bool IsKind(const FixTarget& target, const char* name) {
    return target.kind && std::string_view(target.kind->name) == name;
}

void FixSitePermissions(const CleanupOptions& options,
                        const std::vector<FixTarget>& targets,
                        ChangeLog* log,
                        CleanupOutcome* outcome,
                        std::vector<std::pair<std::string, std::wstring>>* left) {
    // The grants chosen, by browser and profile.
    std::map<std::pair<std::wstring, std::wstring>, std::vector<SitePermissionGrant>> chosen;
    for (const FixTarget& target : targets) {
        if (IsKind(target, "site-permission"))
            chosen[{target.browser, target.profile}].push_back(target.grant);
    }
    if (chosen.empty())
        return;
    WriteLine(options, L"Taking back what sites were allowed to do...");
    for (const BrowserEntry& browser : GetBrowserCatalogue()) {
        if (!browser.reportName)
            continue;
        if (browser.kind == BrowserKind::Firefox) {
            for (const BrowserProfile& profile : BrowserProfiles(browser)) {
                auto found = chosen.find({browser.reportName, profile.name});
                if (found == chosen.end())
                    continue;
                std::vector<std::wstring> changed;
                ResetFirefoxSitePermissions(options, {profile.folder, browser.reportName, profile.name}, log, outcome,
                                            &found->second, &changed);
                for (const std::wstring& what : changed)
                    left->push_back({"site-permission", what + L" changed or went since the review"});
                chosen.erase(found);
            }
            continue;
        }
        std::wstring userData = UserDataFolder(browser);
        if (userData.empty() || !IsExistingFolder(userData))
            continue;
        for (const BrowserProfile& profile : ChromiumProfiles(browser, userData)) {
            auto found = chosen.find({browser.reportName, profile.name});
            if (found == chosen.end())
                continue;
            ResetSitePermissions(options, {profile.folder, browser.reportName, profile.name}, log, outcome,
                                 &found->second);
            chosen.erase(found);
        }
    }
    for (const auto& gone : chosen) {
        std::wstring label = ProfileLabel(gone.first.first, gone.first.second);
        WriteLine(options, L"  left as it is (the profile is no longer there): " + label);
        left->push_back({"site-permission", L"the profile is no longer there"});
    }
}

void FixShortcuts(const CleanupOptions& options,
                  const std::vector<FixTarget>& targets,
                  ChangeLog* log,
                  CleanupOutcome* outcome) {
    bool any = false;
    for (const FixTarget& target : targets)
        any |= IsKind(target, "browser-shortcut");
    if (!any)
        return;
    WriteLine(options, L"Repairing browser shortcuts...");
    ComApartment apartment;
    if (!apartment.ready()) {
        WriteLine(options, L"  (shortcuts could not be read: COM could not be started, " +
                               HresultText(apartment.result()) + L")");
        for (const FixTarget& target : targets) {
            if (IsKind(target, "browser-shortcut"))
                outcome->shortcutsLeftAlone.push_back(target.shortcut);
        }
        return;
    }
    std::vector<ShortcutToRepair> shortcuts;
    for (const FixTarget& target : targets) {
        if (IsKind(target, "browser-shortcut"))
            shortcuts.push_back({target.shortcut, target.findingId});
    }
    std::vector<ShortcutRepair> repairs = RepairBrowserShortcutList(options, shortcuts, log);
    for (std::size_t n = 0; n < repairs.size(); ++n) {
        const std::wstring& path = shortcuts[n].path;
        if (repairs[n].outcome == ShortcutRepairOutcome::Repaired)
            ++outcome->shortcutsRepaired;
        else if (repairs[n].outcome == ShortcutRepairOutcome::LeftAlone)
            outcome->shortcutsLeftAlone.push_back(path);
        else if (repairs[n].outcome == ShortcutRepairOutcome::NothingToRemove)
            WriteLine(options, L"  nothing left to take out of the shortcut: " + MaskUnsafeCharacters(path));
    }
}

}  // namespace

ChangeRunOutcome ApplyFixes(const CleanupOptions& options,
                            const std::vector<FixTarget>& targets,
                            const FixPlaces& places) {
    ChangeRunOutcome result;
    CleanupOutcome locked = RunUnderLock([&](CleanupOutcome* outcome) {
        if (NeedsClosedBrowsers(targets)) {
            // A running browser writes its settings back on exit and would undo the change.
            WriteLine(options, L"Closing browsers...");
            CloseBrowsers(options, GetBrowserCatalogue());
            WriteLine(options, L"");
        }
        ChangeLog log;
        FixSitePermissions(options, targets, &log, outcome, &result.left);
        FixShortcuts(options, targets, &log, outcome);
        FixStartupPages(options, targets, &log, &result);
        FixFirefoxPrefs(options, targets, &log, &result);
        FixOutsideTheBrowsers(options, targets, places.launchers, &log, &result);
        FixScheduledTasks(options, targets, places.launchers, &log, &result);
        FixProxySettings(options, targets, places.launchers, &log, &result);
        FixPolicyValues(options, targets, places.policies, &log, &result);
        FixExtensionRegistrations(options, targets, places.launchers.registry, &log, &result);
        FixFirefoxPoliciesFiles(options, targets, places.policies, &log, &result);
        FinishChangeLog(&log);
        result.folder = log.folder;
        result.record = log.record;
        result.done += outcome->permissionsTakenBack + outcome->shortcutsRepaired;
        for (const std::wstring& file : outcome->settingsLeftAlone)
            result.left.push_back({"site-permission", file});
        for (const std::wstring& path : outcome->shortcutsLeftAlone)
            result.left.push_back({"browser-shortcut", path});
        for (const std::wstring& path : outcome->leftBehind)
            result.left.push_back({"site-permission", path});
    });
    result.lockHeldElsewhere = locked.lockHeldElsewhere;
    return result;
}
