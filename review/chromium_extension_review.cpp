// One Chromium-family extension record: how it was installed ("location",
// "creation_flags"), whether it is on, and what its manifest takes over.
#include "audit/audit.h"
#include "rapidjson/document.h"
#include "rapidjson/stringbuffer.h"
#include "rapidjson/writer.h"
#include "review/review_internal.h"

namespace {

// creation_flags bit set for an extension that came from the store.
constexpr int CREATION_FLAG_FROM_WEBSTORE = 1 << 3;
constexpr std::size_t MAX_EXTENSION_ID_LENGTH = 64;

InstalledBy InstalledByLocation(const rapidjson::Value& record) {
    const rapidjson::Value* location = FindJsonMember(record, "location");
    if (!location || !location->IsInt())
        return InstalledBy::Unknown;
    switch (location->GetInt()) {
        case 1: {  // internal: from the store, or a file the user opened
            const rapidjson::Value* flags = FindJsonMember(record, "creation_flags");
            bool fromStore = (flags && flags->IsInt() && (flags->GetInt() & CREATION_FLAG_FROM_WEBSTORE)) ||
                             IsTrue(FindJsonMember(record, "from_webstore"));
            return fromStore ? InstalledBy::Store : InstalledBy::File;
        }
        case 2:  // external preferences file
        case 3:  // external registry entry
        case 6:  // external preferences, downloaded
            return InstalledBy::OtherProgram;
        case 4:
            return InstalledBy::Unpacked;
        case 5:   // component
        case 10:  // external component
            return InstalledBy::BuiltIn;
        case 7:  // external policy, downloaded
        case 9:  // external policy
            return InstalledBy::Policy;
        case 8:
            return InstalledBy::CommandLine;
        default:
            return InstalledBy::Unknown;
    }
}

bool IsEnabled(const rapidjson::Value& record) {
    const rapidjson::Value* state = FindJsonMember(record, "state");
    if (state && state->IsInt() && state->GetInt() == 0)
        return false;
    const rapidjson::Value* reasons = FindJsonMember(record, "disable_reasons");
    if (reasons && reasons->IsInt())
        return reasons->GetInt() == 0;
    return !(reasons && reasons->IsArray() && !reasons->Empty());
}

unsigned Overrides(const rapidjson::Value& manifest) {
    unsigned overrides = 0;
    if (const rapidjson::Value* settings = FindJsonMember(manifest, "chrome_settings_overrides")) {
        if (FindJsonMember(*settings, "homepage"))
            overrides |= OVERRIDES_HOME_PAGE;
        if (FindJsonMember(*settings, "startup_pages"))
            overrides |= OVERRIDES_STARTUP_PAGES;
        // A search provider replaces the default engine only with is_default set.
        if (const rapidjson::Value* search = FindJsonMember(*settings, "search_provider")) {
            if (IsTrue(FindJsonMember(*search, "is_default")))
                overrides |= OVERRIDES_SEARCH_ENGINE;
        }
    }
    if (const rapidjson::Value* pages = FindJsonMember(manifest, "chrome_url_overrides")) {
        if (FindJsonMember(*pages, "newtab"))
            overrides |= OVERRIDES_NEW_TAB;
    }
    return overrides;
}

// Browsers make ids of 32 letters a-p; anything of letters and digits names a
// folder of its own, and nothing else is taken into a path.
bool IsPlainId(const std::string& id) {
    if (id.empty() || id.size() > MAX_EXTENSION_ID_LENGTH)
        return false;
    for (char c : id) {
        if (!IsAsciiLetter(c) && (c < '0' || c > '9'))
            return false;
    }
    return true;
}

// "C:\..." : an unpacked extension's own folder.
bool IsDrivePath(const std::wstring& path) {
    return path.size() >= 3 && IsAsciiLetter(path[0]) && path[1] == L':' && (path[2] == L'\\' || path[2] == L'/');
}

// "<id>\<version>" below the profile's Extensions folder, with no way out of it.
bool IsPlainRelativePath(const std::wstring& path) {
    if (path.empty() || path.find(L':') != std::wstring::npos || path[0] == L'\\' || path[0] == L'/')
        return false;
    std::wstring wrapped = L"\\" + path + L"\\";
    for (wchar_t& c : wrapped) {
        if (c == L'/')
            c = L'\\';
    }
    return wrapped.find(L"\\..\\") == std::wstring::npos && wrapped.find(L"\\.\\") == std::wstring::npos;
}

// The folder that holds the extension's manifest.json: the record's "path",
// otherwise, as the audit does, the last version folder listed that has one.
std::wstring ExtensionFolder(const std::wstring& profileFolder, const std::string& id, const std::wstring& path) {
    if (IsDrivePath(path))
        return path;
    std::wstring extensions = profileFolder + L"\\Extensions\\";
    if (IsPlainRelativePath(path))
        return extensions + path;
    if (!IsPlainId(id))
        return std::wstring();
    std::wstring extensionFolder = extensions + Utf8ToWide(id);
    std::wstring chosen;
    ForEachFolderEntry(extensionFolder, [&](const std::wstring& name, uint32_t attributes) {
        std::wstring candidate = extensionFolder + L"\\" + name;
        if ((attributes & FILE_ATTRIBUTE_DIRECTORY) &&
            GetFileAttributesW(LongPathForm(candidate + L"\\manifest.json").c_str()) != INVALID_FILE_ATTRIBUTES)
            chosen = candidate;
    });
    return chosen;
}

// The name as shown: a "__MSG_x__" reference is looked up in the extension's
// locale files the way the audit does it.
std::wstring DisplayName(const std::wstring& folder, const rapidjson::Value& manifest) {
    std::wstring name = JsonText(FindJsonMember(manifest, "name"));
    if (name.rfind(L"__MSG_", 0) != 0)
        return name;
    rapidjson::StringBuffer text;
    rapidjson::Writer<rapidjson::StringBuffer> writer(text);
    writer.StartObject();
    for (const char* key : {"name", "default_locale"}) {
        const rapidjson::Value* value = FindJsonMember(manifest, key);
        if (value && value->IsString()) {
            writer.Key(key);
            writer.String(value->GetString(), value->GetStringLength());
        }
    }
    writer.EndObject();
    return ResolveExtensionName(folder, std::string(text.GetString(), text.GetSize()));
}

}  // namespace

bool IsTrue(const rapidjson::Value* value) {
    return value && value->IsBool() && value->GetBool();
}

bool JudgeChromiumExtension(const std::wstring& profileFolder,
                            const std::string& id,
                            const rapidjson::Value& record,
                            ExtensionFinding* finding) {
    finding->id = Utf8ToWide(id);
    finding->installedBy = InstalledByLocation(record);
    finding->enabled = IsEnabled(record);

    std::wstring folder = ExtensionFolder(profileFolder, id, JsonText(FindJsonMember(record, "path")));
    rapidjson::Document fromFile;
    const rapidjson::Value* manifest = FindJsonMember(record, "manifest");
    if (!manifest || !manifest->IsObject()) {
        manifest = &fromFile;
        if (!folder.empty())
            LoadJsonObjectFile(folder + L"\\manifest.json", MAX_MANIFEST_BYTES, &fromFile);
    }
    finding->overrides = Overrides(*manifest);
    if (finding->overrides == 0 &&
        (finding->installedBy == InstalledBy::Store || finding->installedBy == InstalledBy::BuiltIn))
        return false;
    finding->name = DisplayName(folder, *manifest);
    finding->version = JsonText(FindJsonMember(*manifest, "version"));
    return true;
}
