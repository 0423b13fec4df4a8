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
    static const char* const STARTUP_KIND_NAMES[] = {"startup_page", "home_page", "search_engine"};
    return STARTUP_KIND_NAMES[static_cast<int>(kind)];
}

const char* InstalledByName(InstalledBy installedBy) {
    static const char* const INSTALLED_BY_NAMES[] = {"store",    "file",   "other_program", "unpacked",
                                                     "built_in", "policy", "command_line",  "unknown"};
    return INSTALLED_BY_NAMES[static_cast<int>(installedBy)];
}

const char* PolicyEffectName(PolicyEffect effect) {
    static const char* const EFFECT_NAMES[] = {"forces_extension", "controls_extensions", "home_page", "startup_pages",
                                               "new_tab_page",     "search_engine",       nullptr};
    return EFFECT_NAMES[static_cast<int>(effect)];
}

const char* ReasonName(JsonLoad reason) {
    static const char* const REASON_NAMES[] = {"",         "",         "unreadable",   "too_large",
                                               "not_json", "too_deep", "not_an_object"};
    return REASON_NAMES[static_cast<int>(reason)];
}

void Overrides(JsonWriter& writer, unsigned overrides) {
    static const char* const OVERRIDE_NAMES[] = {"home_page", "startup_pages", "new_tab", "search_engine"};
    writer.Key("overrides");
    writer.StartArray();
    for (unsigned bit = 0; bit < 4; ++bit) {
        if (overrides & (1u << bit))
            writer.String(OVERRIDE_NAMES[bit]);
    }
    writer.EndArray();
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
        });
        WriteJsonArray(writer, "startup", findings.startup, [&](const StartupFinding& f) {
            Place(writer, f.place);
            WriteJsonField(writer, "kind", StartupKindName(f.kind));
            WriteJsonField(writer, "value", f.value);
            WriteJsonField(writer, "source", f.source);
        });
        WriteJsonArray(writer, "extensions", findings.extensions, [&](const ExtensionFinding& f) {
            Place(writer, f.place);
            WriteJsonField(writer, "id", f.id);
            WriteJsonField(writer, "name", f.name);
            WriteJsonField(writer, "version", f.version);
            WriteJsonField(writer, "installedBy", InstalledByName(f.installedBy));
            Overrides(writer, f.overrides);
            writer.Key("enabled");
            writer.Bool(f.enabled);
        });
        WriteJsonArray(writer, "policies", findings.policies, [&](const PolicyFinding& f) {
            WriteJsonField(writer, "browser", f.browser);
            WriteJsonField(writer, "scope", f.machine ? "machine" : "user");
            WriteJsonField(writer, "name", f.name);
            WriteJsonField(writer, "value", f.value);
            writer.Key("effect");
            if (const char* effect = PolicyEffectName(f.effect))
                writer.String(effect);
            else
                writer.Null();
        });
        // Files that exist but could not be used: without them no finding list is complete.
        WriteJsonArray(writer, "unreadable", findings.unreadable, [&](const UnreadableFile& f) {
            Place(writer, f.place);
            WriteJsonField(writer, "file", f.file);
            WriteJsonField(writer, "reason", ReasonName(f.reason));
        });
    });
}
