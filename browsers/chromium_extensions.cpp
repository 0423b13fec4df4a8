// One Chromium-family extension record: how it was installed ("location",
// "creation_flags"), whether it is on, where its files are and what its manifest
// takes over.
#include <windows.h>

#include "browsers/json_document.h"

namespace {

// creation_flags bit set for an extension that came from the store.
constexpr int CREATION_FLAG_FROM_WEBSTORE = 1 << 3;
constexpr std::size_t MAX_EXTENSION_ID_LENGTH = 64;

InstalledBy InstalledByLocation(const JsonValue& record) {
    const JsonValue* location = FindJsonMember(record, "location");
    if (!location || !location->IsInt())
        return InstalledBy::Unknown;
    switch (location->GetInt()) {
        case 1: {  // internal: from the store, or a file the user opened
            const JsonValue* flags = FindJsonMember(record, "creation_flags");
            bool fromStore = (flags && flags->IsInt() && (flags->GetInt() & CREATION_FLAG_FROM_WEBSTORE)) ||
                             IsJsonTrue(FindJsonMember(record, "from_webstore"));
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

// The browser marks the apps it installs by default ("was_installed_by_default":
// Google Docs Offline, location 6) and those it installs for the computer's maker
// ("was_installed_by_oem"); either would otherwise look installed by another
// program or from a file. What a policy, the command line or a developer put
// there, and what came from the store, stays so.
InstalledBy InstalledByOf(const JsonValue& record) {
    InstalledBy byLocation = InstalledByLocation(record);
    if (byLocation != InstalledBy::OtherProgram && byLocation != InstalledBy::File &&
        byLocation != InstalledBy::Unknown)
        return byLocation;
    if (IsJsonTrue(FindJsonMember(record, "was_installed_by_oem")))
        return InstalledBy::ComputerMaker;
    if (IsJsonTrue(FindJsonMember(record, "was_installed_by_default")))
        return InstalledBy::BuiltIn;
    return byLocation;
}

bool IsEnabled(const JsonValue& record) {
    const JsonValue* state = FindJsonMember(record, "state");
    if (state && state->IsInt() && state->GetInt() == 0)
        return false;
    const JsonValue* reasons = FindJsonMember(record, "disable_reasons");
    if (reasons && reasons->IsInt())
        return reasons->GetInt() == 0;
    return !(reasons && reasons->IsArray() && !reasons->Empty());
}

unsigned Overrides(const JsonValue& manifest) {
    unsigned overrides = 0;
    if (const JsonValue* settings = FindJsonMember(manifest, "chrome_settings_overrides")) {
        if (FindJsonMember(*settings, "homepage"))
            overrides |= OVERRIDES_HOME_PAGE;
        if (FindJsonMember(*settings, "startup_pages"))
            overrides |= OVERRIDES_STARTUP_PAGES;
        // A search provider replaces the default engine only with is_default set.
        if (const JsonValue* search = FindJsonMember(*settings, "search_provider")) {
            if (IsJsonTrue(FindJsonMember(*search, "is_default")))
                overrides |= OVERRIDES_SEARCH_ENGINE;
        }
    }
    if (const JsonValue* pages = FindJsonMember(manifest, "chrome_url_overrides")) {
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

}  // namespace

ExtensionVersion ChooseExtensionVersion(const std::wstring& extensionFolder) {
    ExtensionVersion chosen;
    ForEachFolderEntry(extensionFolder, [&](const std::wstring& name, uint32_t attributes) {
        if (!(attributes & FILE_ATTRIBUTE_DIRECTORY))
            return;
        std::string bytes;
        FileRead read =
            ReadBrowserFile(extensionFolder + L"\\" + name + L"\\manifest.json", BrowserFile::Manifest, &bytes);
        if (read == FileRead::Unreadable || read == FileRead::TooLarge)
            chosen.unreadable = name;
        if (bytes.empty())
            return;
        chosen.name = name;
        chosen.manifest = std::move(bytes);
    });
    return chosen;
}

ChromiumExtension ReadChromiumExtension(const std::wstring& profileFolder,
                                        const std::string& id,
                                        const JsonValue& record) {
    ChromiumExtension extension;
    extension.id = Utf8ToWide(id);
    extension.installedBy = InstalledByOf(record);
    extension.enabled = IsEnabled(record);

    // The folder that holds the manifest: the record's "path", otherwise the
    // version folder the audit lists too.
    std::wstring path = JsonText(FindJsonMember(record, "path"));
    std::wstring extensions = profileFolder + L"\\Extensions\\";
    ExtensionVersion version;
    // Only a record with a plain id gets a folder: for any other, no path is built.
    if (IsPlainId(id)) {
        if (IsDrivePath(path)) {
            extension.folder = path;
        } else if (IsPlainRelativePath(path)) {
            extension.folder = extensions + path;
        } else {
            std::wstring extensionFolder = extensions + Utf8ToWide(id);
            version = ChooseExtensionVersion(extensionFolder);
            if (!version.name.empty())
                extension.folder = extensionFolder + L"\\" + version.name;
        }
    }

    const JsonValue* manifest = FindJsonMember(record, "manifest");
    if (manifest && manifest->IsObject()) {
        extension.manifestRead = true;
        extension.overrides = Overrides(*manifest);
        extension.name = JsonUtf8(FindJsonMember(*manifest, "name"));
        extension.defaultLocale = JsonUtf8(FindJsonMember(*manifest, "default_locale"));
        extension.version = JsonText(FindJsonMember(*manifest, "version"));
        return extension;
    }
    // The manifest file as the browser reads it, and as the audit reads the same file.
    std::string bytes = std::move(version.manifest);
    if (bytes.empty() && !extension.folder.empty())
        ReadBrowserFile(extension.folder + L"\\manifest.json", BrowserFile::Manifest, &bytes);
    ManifestFields fields = ReadManifest(bytes);
    extension.manifestRead = fields.opened;
    extension.overrides = fields.overrides;
    extension.name = std::move(fields.name);
    extension.defaultLocale = std::move(fields.defaultLocale);
    extension.version = Utf8ToWide(fields.version);
    return extension;
}
