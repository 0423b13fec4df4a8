// The audit as one JSON document for scripts and fleet tools: the same records
// as the report's lines, texts as they are.
#include "audit/audit.h"
#include "base/json_writer.h"

std::string AuditJson(const AuditFindings& findings) {
    return WriteJsonDocument("popswat.audit/1", [&](JsonWriter& writer) {
        WriteJsonArray(writer, "extensions", findings.extensions, [&](const AuditedExtension& e) {
            WriteJsonField(writer, "browser", e.browser);
            WriteJsonFieldOrNull(writer, "profile", !e.profile.empty(), e.profile);
            WriteJsonField(writer, "id", e.id);
            // Not known when the manifest could not be read; "" when it holds none.
            WriteJsonFieldOrNull(writer, "name", !e.manifestUnreadable, e.name);
            WriteJsonFieldOrNull(writer, "version", !e.manifestUnreadable, e.version);
            WriteJsonField(writer, "type", e.theme ? "theme" : "extension");
            writer.Key("sideLoaded");
            writer.Bool(e.sideLoaded);
        });
        // Add-on lists that exist but could not be read: "nothing installed" is not known there.
        WriteJsonArray(writer, "unreadable", findings.unreadable, [&](const UnreadableAddonList& list) {
            WriteJsonField(writer, "browser", list.browser);
            writer.Key("profile");
            writer.Null();
            WriteJsonField(writer, "path", list.path);
            WriteJsonField(writer, "reason", list.reason == FileRead::TooLarge ? "too_large" : "unreadable");
        });
    });
}
