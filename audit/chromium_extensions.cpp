#include "audit/audit.h"

#include <windows.h>

namespace {

bool IsFolder(uint32_t attributes) {
    return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// Fills in what one extension folder tells; false when it holds nothing to list
// (no version folder, or only missing and empty manifests).
bool InventoryExtension(const std::wstring& extensionFolder, AuditedExtension* extension) {
    std::wstring versionFolder;
    std::string manifest;
    std::wstring unreadableVersion;  // the last version whose manifest could not be read
    // Versions are not compared: the last folder listed with a usable manifest wins.
    ForEachFolderEntry(extensionFolder, [&](const std::wstring& name, uint32_t attributes) {
        if (!IsFolder(attributes))
            return;
        std::wstring candidate = extensionFolder + L"\\" + name;
        std::string bytes;
        FileRead read = ReadFileBytes(candidate + L"\\manifest.json", MANIFEST_MAX_BYTES, &bytes);
        if (read == FileRead::Unreadable || read == FileRead::TooLarge)
            unreadableVersion = name;
        if (bytes.empty())
            return;
        versionFolder = candidate;
        extension->versionFolder = name;
        manifest = std::move(bytes);
    });
    if (manifest.empty()) {
        // Installed all the same, and nothing shows it came from a store.
        extension->versionFolder = unreadableVersion;
        extension->manifestUnreadable = extension->sideLoaded = true;
        return !unreadableVersion.empty();
    }
    extension->name = ResolveExtensionName(versionFolder, manifest);
    extension->version = Utf8ToWide(GetJsonString(manifest, "version", 0));
    // The browser treats an extension as a theme when its manifest's root holds a "theme" object.
    extension->theme = HasRootObjectMember(manifest, "theme");
    // Extensions from a web store carry an update address; any "update_url" key counts.
    extension->sideLoaded = FindJsonKey(manifest, "update_url", 0) == std::string::npos;
    return true;
}

}  // namespace

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

void ForEachChromiumProfile(const std::wstring& displayName,
                            const std::wstring& userDataFolder,
                            const std::function<void(const AuditFindings&)>& take) {
    if (!IsExistingFolder(userDataFolder))
        return;
    for (const std::wstring& folder : ChromiumProfileFolders(userDataFolder)) {
        // The user-data folder itself is named by the browser's name alone.
        std::wstring profile = folder == userDataFolder ? std::wstring() : folder.substr(userDataFolder.size() + 1);
        take(InventoryChromiumProfile(displayName, profile, folder));
    }
}

void AuditChromiumProfile(const CleanupOptions& options, const std::wstring& label, const std::wstring& profileFolder) {
    // Lines of a browser without a profile name are labelled with the browser's name alone.
    WriteAuditLines(options, InventoryChromiumProfile(label, std::wstring(), profileFolder));
}

void AuditChromiumBrowser(const CleanupOptions& options,
                          const std::wstring& displayName,
                          const std::wstring& userDataFolder) {
    ForEachChromiumProfile(displayName, userDataFolder,
                           [&](const AuditFindings& findings) { WriteAuditLines(options, findings); });
}
