// The review as one JSON document for scripts and fleet tools: UTF-8 without a
// byte-order mark, texts as they are (the writer escapes what JSON requires).
#include "rapidjson/stringbuffer.h"
#include "rapidjson/writer.h"
#include "review/review.h"

namespace {

using JsonWriter = rapidjson::Writer<rapidjson::StringBuffer>;

void Text(JsonWriter& writer, const std::wstring& text) {
    std::string utf8 = WideToUtf8(text);
    writer.String(utf8.data(), static_cast<rapidjson::SizeType>(utf8.size()), true);
}

void Field(JsonWriter& writer, const char* key, const std::wstring& text) {
    writer.Key(key);
    Text(writer, text);
}

void Field(JsonWriter& writer, const char* key, const char* text) {
    writer.Key(key);
    writer.String(text);
}

// "browser" and "profile" (null for a browser whose user-data folder is its profile).
void Place(JsonWriter& writer, const ProfilePlace& place) {
    Field(writer, "browser", place.browser);
    writer.Key("profile");
    if (place.profile.empty())
        writer.Null();
    else
        Text(writer, place.profile);
}

template <typename Finding, typename Write>
void Array(JsonWriter& writer, const char* key, const std::vector<Finding>& items, Write write) {
    writer.Key(key);
    writer.StartArray();
    for (const Finding& item : items) {
        writer.StartObject();
        write(item);
        writer.EndObject();
    }
    writer.EndArray();
}

const char* StartupKindName(StartupKind kind) {
    static const char* const kNames[] = {"startup_page", "home_page", "search_engine"};
    return kNames[static_cast<int>(kind)];
}

const char* InstalledByName(InstalledBy installedBy) {
    static const char* const kNames[] = {"store",    "file",   "other_program", "unpacked",
                                         "built_in", "policy", "command_line",  "unknown"};
    return kNames[static_cast<int>(installedBy)];
}

const char* PolicyEffectName(PolicyEffect effect) {
    static const char* const kNames[] = {"forces_extension", "controls_extensions", "home_page", "startup_pages",
                                         "new_tab_page",     "search_engine",       nullptr};
    return kNames[static_cast<int>(effect)];
}

const char* ReasonName(JsonLoad reason) {
    static const char* const kNames[] = {"", "", "unreadable", "too_large", "not_json", "too_deep", "not_an_object"};
    return kNames[static_cast<int>(reason)];
}

void Overrides(JsonWriter& writer, unsigned overrides) {
    static const char* const kNames[] = {"home_page", "startup_pages", "new_tab", "search_engine"};
    writer.Key("overrides");
    writer.StartArray();
    for (unsigned bit = 0; bit < 4; ++bit) {
        if (overrides & (1u << bit))
            writer.String(kNames[bit]);
    }
    writer.EndArray();
}

}  // namespace

std::string ReviewJson(const ReviewFindings& findings) {
    rapidjson::StringBuffer buffer;
    JsonWriter writer(buffer);
    writer.StartObject();
    Field(writer, "schema", "popswat.review/1");
    Array(writer, "sitePermissions", findings.sitePermissions, [&](const SitePermissionFinding& f) {
        Place(writer, f.place);
        Field(writer, "permission", SitePermissionName(f.grant.permission));
        writer.Key("site");
        if (f.grant.allSites)
            writer.Null();
        else
            Text(writer, f.grant.site);
        writer.Key("allSites");
        writer.Bool(f.grant.allSites);
    });
    Array(writer, "startup", findings.startup, [&](const StartupFinding& f) {
        Place(writer, f.place);
        Field(writer, "kind", StartupKindName(f.kind));
        Field(writer, "value", f.value);
        Field(writer, "source", f.source);
    });
    Array(writer, "extensions", findings.extensions, [&](const ExtensionFinding& f) {
        Place(writer, f.place);
        Field(writer, "id", f.id);
        Field(writer, "name", f.name);
        Field(writer, "version", f.version);
        Field(writer, "installedBy", InstalledByName(f.installedBy));
        Overrides(writer, f.overrides);
        writer.Key("enabled");
        writer.Bool(f.enabled);
    });
    Array(writer, "policies", findings.policies, [&](const PolicyFinding& f) {
        Field(writer, "browser", f.browser);
        Field(writer, "scope", f.machine ? "machine" : "user");
        Field(writer, "name", f.name);
        Field(writer, "value", f.value);
        writer.Key("effect");
        if (const char* effect = PolicyEffectName(f.effect))
            writer.String(effect);
        else
            writer.Null();
    });
    // Files that exist but could not be used: without them no finding list is complete.
    Array(writer, "unreadable", findings.unreadable, [&](const UnreadableFile& f) {
        Place(writer, f.place);
        Field(writer, "file", f.file);
        Field(writer, "reason", ReasonName(f.reason));
    });
    writer.EndObject();
    return std::string(buffer.GetString(), buffer.GetSize());
}
