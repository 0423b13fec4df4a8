#include "audit/audit.h"

#include <windows.h>

namespace {

const wchar_t kSideLoadedMark[] = L"   <-- side-loaded, review!";

bool IsFolder(uint32_t attributes) {
    return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// The name comes as it is to be shown; the version is made safe and short here.
void WriteExtensionLine(const CleanupOptions& options,
                        const std::wstring& label,
                        const std::wstring& shownName,
                        const std::wstring& version,
                        bool sideLoaded) {
    std::wstring shownVersion = ShortenForLine(MaskUnsafeCharacters(version));
    WriteLine(options, FormatWide(L"  [%ls] %ls  v%ls%ls", label.c_str(), shownName.c_str(), shownVersion.c_str(),
                                  sideLoaded ? kSideLoadedMark : L""));
}

void AuditExtension(const CleanupOptions& options,
                    const std::wstring& label,
                    const std::wstring& extensionFolder,
                    const std::wstring& extensionName) {
    std::wstring versionFolder;
    std::wstring versionName;
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
        versionName = name;
        manifest = std::move(bytes);
    });
    if (manifest.empty()) {
        // Installed all the same, and nothing shows it came from a store.
        if (!unreadableVersion.empty())
            WriteExtensionLine(options, label,
                               ShortenForLine(MaskUnsafeCharacters(extensionName)) + L" (manifest could not be read)",
                               unreadableVersion, true);
        return;
    }

    std::wstring displayName = ResolveExtensionName(versionFolder, manifest);
    if (displayName.empty())
        displayName = L"(unknown)";
    std::wstring version = Utf8ToWide(GetJsonString(manifest, "version", 0));
    if (version.empty())
        version = versionName;
    // Extensions from a web store carry an update address; any "update_url" key counts.
    bool sideLoaded = FindJsonKey(manifest, "update_url", 0) == std::string::npos;
    WriteExtensionLine(options, label, ShortenForLine(MaskUnsafeCharacters(displayName)), version, sideLoaded);
}

}  // namespace

void AuditChromiumProfile(const CleanupOptions& options, const std::wstring& label, const std::wstring& profileFolder) {
    std::wstring extensionsFolder = profileFolder + L"\\Extensions";
    if (!IsExistingFolder(extensionsFolder))
        return;
    ForEachFolderEntry(extensionsFolder, [&](const std::wstring& name, uint32_t attributes) {
        // The browser unpacks downloads in "Temp"; nothing there is installed.
        if (!IsFolder(attributes) || EqualsIgnoringAsciiCase(name, L"Temp"))
            return;
        AuditExtension(options, label, extensionsFolder + L"\\" + name, name);
    });
}

void AuditChromiumBrowser(const CleanupOptions& options,
                          const std::wstring& displayName,
                          const std::wstring& userDataFolder) {
    if (!IsExistingFolder(userDataFolder))
        return;
    for (const std::wstring& profile : ChromiumProfileFolders(userDataFolder)) {
        // The user-data folder itself is labelled with the browser's name alone.
        std::wstring label = displayName;
        if (profile != userDataFolder)
            label += L"/" + MaskUnsafeCharacters(profile.substr(userDataFolder.size() + 1));
        AuditChromiumProfile(options, label, profile);
    }
}
