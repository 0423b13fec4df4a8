// The review as one JSON document for scripts and fleet tools: UTF-8 without a
// byte-order mark, texts as they are (the writer escapes what JSON requires).
#include "base/json_writer.h"
#include "review/review.h"

namespace {

// "browser" and "profile" (null for a browser whose user-data folder is its profile).
void Place(JsonWriter& writer, const ProfilePlace& place) {
    WriteJsonField(writer, "browser", place.browser);
    WriteJsonFieldOrNull(writer, "profile", !place.profile.empty(), place.profile);
}

const char* StartupKindName(StartupKind kind) {
    switch (kind) {
        case StartupKind::StartupPage:
            return "startup_page";
        case StartupKind::HomePage:
            return "home_page";
        case StartupKind::SearchEngine:
            break;
    }
    return "search_engine";
}

const char* InstalledByName(InstalledBy installedBy) {
    switch (installedBy) {
        case InstalledBy::Store:
            return "store";
        case InstalledBy::File:
            return "file";
        case InstalledBy::OtherProgram:
            return "other_program";
        case InstalledBy::Unpacked:
            return "unpacked";
        case InstalledBy::BuiltIn:
            return "built_in";
        case InstalledBy::Policy:
            return "policy";
        case InstalledBy::CommandLine:
            return "command_line";
        case InstalledBy::ComputerMaker:
            return "computer_maker";
        case InstalledBy::Unknown:
            break;
    }
    return "unknown";
}

// nullptr for a policy whose effect has no name of its own.
const char* PolicyEffectName(PolicyEffect effect) {
    switch (effect) {
        case PolicyEffect::ForcesExtension:
            return "forces_extension";
        case PolicyEffect::ControlsExtensions:
            return "controls_extensions";
        case PolicyEffect::HomePage:
            return "home_page";
        case PolicyEffect::StartupPages:
            return "startup_pages";
        case PolicyEffect::NewTabPage:
            return "new_tab_page";
        case PolicyEffect::SearchEngine:
            return "search_engine";
        case PolicyEffect::Other:
            break;
    }
    return nullptr;
}

// JsonLoad::Done and JsonLoad::Missing never reach the list of unreadable files.
const char* ReasonName(JsonLoad reason) {
    switch (reason) {
        case JsonLoad::Unreadable:
            return "unreadable";
        case JsonLoad::TooLarge:
            return "too_large";
        case JsonLoad::NotJson:
            return "not_json";
        case JsonLoad::TooDeep:
            return "too_deep";
        case JsonLoad::NotAnObject:
            return "not_an_object";
        case JsonLoad::Locked:
            return "locked";
        case JsonLoad::NotADatabase:
            return "not_a_database";
        case JsonLoad::Damaged:
            return "damaged";
        case JsonLoad::OtherShape:
            return "other_shape";
        case JsonLoad::Done:
        case JsonLoad::Missing:
            break;
    }
    return "";
}

const char* OverrideName(ExtensionOverride bit) {
    switch (bit) {
        case OVERRIDES_HOME_PAGE:
            return "home_page";
        case OVERRIDES_STARTUP_PAGES:
            return "startup_pages";
        case OVERRIDES_NEW_TAB:
            return "new_tab";
        case OVERRIDES_SEARCH_ENGINE:
            break;
    }
    return "search_engine";
}

const char* LauncherKindName(LauncherKind kind) {
    switch (kind) {
        case LauncherKind::Shortcut:
            return "shortcut";
        case LauncherKind::StartupItem:
            return "startup_item";
        case LauncherKind::RunValue:
            return "run_value";
        case LauncherKind::ScheduledTask:
            break;
    }
    return "scheduled_task";
}

void Overrides(JsonWriter& writer, unsigned overrides) {
    writer.Key("overrides");
    writer.StartArray();
    for (ExtensionOverride bit :
         {OVERRIDES_HOME_PAGE, OVERRIDES_STARTUP_PAGES, OVERRIDES_NEW_TAB, OVERRIDES_SEARCH_ENGINE}) {
        if (overrides & bit)
            writer.String(OverrideName(bit));
    }
    writer.EndArray();
}

// "findingId" and "fix": null when PopSwat has no fix for the finding.
template <typename Finding>
void Identity(JsonWriter& writer, const Finding& finding) {
    WriteJsonField(writer, "findingId", FindingId(finding));
    FindingFix fix = FixFor(finding);
    writer.Key("fix");
    if (!fix.kind) {
        writer.Null();
        return;
    }
    writer.StartObject();
    WriteJsonField(writer, "action", std::wstring(fix.kind->action));
    writer.Key("recommended");
    writer.Bool(fix.recommended);
    writer.Key("administrator");
    writer.Bool(fix.administrator);
    writer.EndObject();
}

}  // namespace

std::string ReviewJson(const ReviewFindings& findings) {
    return WriteJsonDocument("popswat.review/1", [&](JsonWriter& writer) {
        WriteJsonArray(writer, "sitePermissions", findings.sitePermissions, [&](const SitePermissionFinding& f) {
            Place(writer, f.place);
            WriteJsonField(writer, "permission", SitePermissionName(f.grant.permission));
            WriteJsonFieldOrNull(writer, "site", !f.grant.allSites, f.grant.site);
            writer.Key("allSites");
            writer.Bool(f.grant.allSites);
            Identity(writer, f);
        });
        WriteJsonArray(writer, "startup", findings.startup, [&](const StartupFinding& f) {
            Place(writer, f.place);
            WriteJsonField(writer, "kind", StartupKindName(f.kind));
            WriteJsonField(writer, "value", f.value);
            WriteJsonField(writer, "source", f.source);
            Identity(writer, f);
        });
        WriteJsonArray(writer, "extensions", findings.extensions, [&](const ExtensionFinding& f) {
            Place(writer, f.place);
            WriteJsonField(writer, "id", f.id);
            // Not known, which is not the same as none: null, as the audit writes it.
            WriteJsonFieldOrNull(writer, "name", f.manifestRead, f.name);
            WriteJsonFieldOrNull(writer, "version", f.manifestRead, f.version);
            WriteJsonField(writer, "installedBy", InstalledByName(f.installedBy));
            Overrides(writer, f.overrides);
            writer.Key("enabled");
            writer.Bool(f.enabled);
            Identity(writer, f);
        });
        WriteJsonArray(writer, "policies", findings.policies, [&](const PolicyFinding& f) {
            WriteJsonField(writer, "browser", f.browser);
            WriteJsonField(writer, "scope", f.machine ? "machine" : "user");
            // Firefox's policies.json that holds it; null for a registry value.
            WriteJsonFieldOrNull(writer, "file", !f.file.empty(), f.file);
            WriteJsonField(writer, "name", f.name);
            WriteJsonField(writer, "value", f.value);
            writer.Key("effect");
            if (const char* effect = PolicyEffectName(f.effect))
                writer.String(effect);
            else
                writer.Null();
            Identity(writer, f);
        });
        // Files that exist but could not be used: without them no finding list is complete.
        WriteJsonArray(writer, "unreadable", findings.unreadable, [&](const UnreadableFile& f) {
            Place(writer, f.place);
            WriteJsonField(writer, "file", f.file);
            WriteJsonField(writer, "reason", ReasonName(f.reason));
        });
        WriteJsonArray(writer, "launchers", findings.launchers, [&](const LauncherFinding& f) {
            WriteJsonField(writer, "kind", LauncherKindName(f.kind));
            WriteJsonField(writer, "location", f.location);
            WriteJsonField(writer, "command", f.command);
            WriteJsonFieldOrNull(writer, "browser", !f.browser.empty(), f.browser);
            WriteJsonFieldOrNull(writer, "url", !f.url.empty(), f.url);
            writer.Key("enabled");
            writer.Bool(f.enabled);
            WriteJsonFieldOrNull(writer, "trigger", f.kind == LauncherKind::ScheduledTask, f.trigger);
            WriteJsonFieldOrNull(writer, "homePage", !f.homePage.empty(), f.homePage);
            WriteJsonFieldOrNull(writer, "trafficThrough", !f.trafficThrough.empty(), f.trafficThrough);
            Identity(writer, f);
        });
        WriteJsonArray(writer, "proxy", findings.proxy, [&](const ProxySetting& f) {
            WriteJsonField(writer, "setting", f.setting);
            WriteJsonField(writer, "value", f.value);
            WriteJsonField(writer, "location", f.location);
            Identity(writer, f);
        });
        // Where the scheduled tasks come from: "task_scheduler", "task_files" (the folder of
        // files the service keeps, where it cannot list them) or null when neither was read.
        const char* taskSource = findings.taskSource == TaskSource::Service ? "task_scheduler"
                                 : findings.taskSource == TaskSource::Files ? "task_files"
                                                                            : nullptr;
        writer.Key("taskSource");
        if (taskSource)
            writer.String(taskSource);
        else
            writer.Null();
        WriteJsonFieldOrNull(writer, "taskFilesFolder", findings.taskSource == TaskSource::Files,
                             findings.taskFilesFolder);
        // What the two lists above could not look at: without it they are not complete.
        WriteJsonArray(writer, "unreadableSources", findings.launcherProblems, [&](const LauncherProblem& f) {
            WriteJsonField(writer, "location", f.where);
            WriteJsonField(writer, "reason", f.why);
        });
    });
}
