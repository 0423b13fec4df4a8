// The kinds of fix PopSwat has, one row each: the console, the JSON and the
// window read them from here.
#include "engine/engine_parts.h"

const std::vector<FixKind>& FixKinds() {
    static const std::vector<FixKind> kinds = {
        {"site-permission", L"Takes back what the site was allowed to do.", true, L"site permission(s)"},
        {"browser-shortcut", L"Takes the web address out of the shortcut.", false, L"browser shortcut(s)"},
        {"run-value", L"Deletes the value that starts it at log-on (kept in the record).", false, L"start-up value(s)"},
        {"startup-item", L"Moves the item out of the Startup folder (kept in PopSwat's backups).", false,
         L"Startup item(s)"},
        {"scheduled-task", L"Turns the task off; it is not deleted (its definition is kept in the record).", false,
         L"scheduled task(s)"},
        {"proxy",
         L"Turns the proxy off: ProxyEnable set to 0, the proxy script's address deleted (kept in the record).", false,
         L"proxy setting(s)"},
        {"policy-value", L"Deletes the browser policy value (kept in the record).", false, L"policy value(s)"},
        {"extension-registration",
         L"Deletes another program's registration of the extension (kept in the record); the browser removes the "
         L"extension at its next start.",
         false, L"extension registration(s)"},
        {"startup-page",
         L"Removes the page from Preferences and Secure Preferences, so the browser's own default applies (kept in the "
         L"record).",
         true, L"start-up, home or search page(s)"},
        {"firefox-prefs",
         L"Removes the statement from user.js and prefs.js, every other line kept (kept in the record).", true,
         L"Firefox setting(s)"},
        {"firefox-policies-file",
         L"Moves Firefox's policies.json out of its distribution folder (kept in PopSwat's backups).", true,
         L"Firefox policies file(s)"},
    };
    return kinds;
}

const FixKind* FindFixKind(std::string_view name) {
    for (const FixKind& kind : FixKinds()) {
        if (name == kind.name)
            return &kind;
    }
    return nullptr;
}

std::wstring SitePermissionFindingId(const std::wstring& browser,
                                     const std::wstring& profile,
                                     const SitePermissionGrant& grant) {
    // Every site's default is no site of its own: "*" is no pattern a site can have.
    return ShortTextId({L"site-permission", browser, profile, Utf8ToWide(SitePermissionName(grant.permission)),
                        grant.allSites ? std::wstring(L"*") : grant.site});
}

namespace {

const wchar_t* LauncherKindWord(LauncherKind kind) {
    switch (kind) {
        case LauncherKind::Shortcut:
            return L"shortcut";
        case LauncherKind::StartupItem:
            return L"startup_item";
        case LauncherKind::RunValue:
            return L"run_value";
        case LauncherKind::ScheduledTask:
            break;
    }
    return L"scheduled_task";
}

}  // namespace

std::wstring LauncherFindingId(const LauncherFinding& finding) {
    return ShortTextId({L"launcher", LauncherKindWord(finding.kind), finding.location, finding.command});
}
