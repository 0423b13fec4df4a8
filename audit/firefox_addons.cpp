#include "audit/audit.h"

#include <windows.h>

void AuditFirefoxProfile(const CleanupOptions& options, const std::wstring& profileFolder) {
    std::string text = ReadWholeFile(profileFolder + L"\\extensions.json");
    if (text.empty())
        return;
    for (const FirefoxAddonRecord& record : ScanFirefoxAddonRecords(text)) {
        if (!IsListedFirefoxAddon(record))
            continue;
        const wchar_t* themeMark = record.type == "theme" ? L"  (theme)" : L"";
        WriteLine(options,
                  FormatWide(L"  [Firefox] %ls%ls", MaskUnsafeCharacters(Utf8ToWide(record.name)).c_str(), themeMark));
    }
}

void AuditFirefox(const CleanupOptions& options) {
    for (const std::wstring& profile : FirefoxProfileFolders())
        AuditFirefoxProfile(options, profile);
}
