#include "audit/audit.h"

void AuditFirefoxProfile(const CleanupOptions& options, const std::wstring& profileFolder) {
    std::wstring path = profileFolder + L"\\extensions.json";
    std::string text;
    FileRead read = ReadFileBytes(path, EXTENSIONS_JSON_MAX_BYTES, &text);
    // Add-ons hidden behind a file that is locked or huge are still a finding.
    if (read == FileRead::Unreadable || read == FileRead::TooLarge) {
        WriteLine(options, FormatWide(L"  [Firefox] (could not be read) %ls", MaskUnsafeCharacters(path).c_str()));
        return;
    }
    if (text.empty())
        return;
    for (const FirefoxAddonRecord& record : ScanFirefoxAddonRecords(text)) {
        if (!IsListedFirefoxAddon(record))
            continue;
        const wchar_t* themeMark = record.type == "theme" ? L"  (theme)" : L"";
        std::wstring name = ShortenForLine(MaskUnsafeCharacters(Utf8ToWide(record.name)));
        WriteLine(options, FormatWide(L"  [Firefox] %ls%ls", name.c_str(), themeMark));
    }
}

void AuditFirefox(const CleanupOptions& options) {
    for (const std::wstring& profile : FirefoxProfileFolders())
        AuditFirefoxProfile(options, profile);
}
