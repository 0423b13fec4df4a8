#include "audit/audit.h"
#include "audit/json_lookup.h"

#include <windows.h>

namespace {

bool IsFolder(uint32_t attributes) {
    return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// Fills in what one extension folder tells; false when it holds nothing to list
// (no version folder, or only missing and empty manifests).
bool InventoryExtension(const std::wstring& extensionFolder, AuditedExtension* extension) {
    ExtensionVersion version = ChooseExtensionVersion(extensionFolder);
    if (version.name.empty()) {
        // Installed all the same, and nothing shows it came from a store.
        extension->versionFolder = version.unreadable;
        extension->manifestUnreadable = extension->sideLoaded = true;
        return !version.unreadable.empty();
    }
    // Bytes that open no JSON object cannot be read as a manifest: their name and
    // version are not known, which is not the same as none.
    extension->versionFolder = version.name;
    ManifestFields manifest = ReadManifest(version.manifest);
    if (!manifest.opened) {
        extension->manifestUnreadable = extension->sideLoaded = true;
        return true;
    }
    // The same reading as the review's: the manifest's own members, as the browser reads them.
    extension->name =
        ResolveExtensionName(extensionFolder + L"\\" + version.name, manifest.name, manifest.defaultLocale);
    extension->version = Utf8ToWide(manifest.version);
    extension->theme = manifest.theme;
    // Extensions from a web store carry an update address.
    extension->sideLoaded = !manifest.updateUrl;
    return true;
}

}  // namespace

std::wstring ManifestDisplayName(const std::wstring& versionFolder, const std::string& manifest) {
    ManifestFields fields = ReadManifest(manifest);
    return ResolveExtensionName(versionFolder, fields.name, fields.defaultLocale);
}

AuditFindings InventoryChromiumProfile(const std::wstring& browser,
                                       const std::wstring& profile,
                                       const std::wstring& profileFolder) {
    AuditFindings findings;
    std::wstring extensionsFolder = profileFolder + L"\\Extensions";
    if (!IsExistingFolder(extensionsFolder))
        return findings;
    ForEachFolderEntry(extensionsFolder, [&](const std::wstring& name, uint32_t attributes) {
        // The browser unpacks downloads in "Temp"; nothing there is installed.
        if (!IsFolder(attributes) || EqualsIgnoringAsciiCase(name, L"Temp"))
            return;
        AuditedExtension extension;
        extension.browser = browser;
        extension.profile = profile;
        extension.id = name;
        if (InventoryExtension(extensionsFolder + L"\\" + name, &extension))
            findings.extensions.push_back(std::move(extension));
    });
    return findings;
}
