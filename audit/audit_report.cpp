#include "audit/audit.h"

namespace {

const wchar_t SIDE_LOADED_MARK[] = L"   <-- side-loaded, review!";

// Text from files is masked and shortened here, just before it is shown.
std::wstring Shown(const std::wstring& text) {
    return ShortenForLine(MaskUnsafeCharacters(text));
}

std::wstring ChromiumLine(const AuditedExtension& extension) {
    std::wstring label = ProfileLabel(extension.browser, extension.profile);
    std::wstring name;
    if (extension.manifestUnreadable)
        name = Shown(extension.id) + L" (manifest could not be read)";
    else
        name = Shown(extension.name.empty() ? L"(unknown)" : extension.name);
    // A manifest without a version string is shown by its version folder's name.
    std::wstring version = Shown(extension.version.empty() ? extension.versionFolder : extension.version);
    return FormatWide(L"  [%ls] %ls  v%ls%ls", label.c_str(), name.c_str(), version.c_str(),
                      extension.sideLoaded ? SIDE_LOADED_MARK : L"");
}

std::wstring FirefoxLine(const AuditedExtension& addon) {
    return FormatWide(L"  [Firefox] %ls%ls", Shown(addon.name).c_str(), addon.theme ? L"  (theme)" : L"");
}

}  // namespace

void WriteAuditLines(const CleanupOptions& options, const AuditFindings& findings) {
    for (const AuditedExtension& extension : findings.extensions)
        WriteLine(options, extension.firefox ? FirefoxLine(extension) : ChromiumLine(extension));
    for (const UnreadableAddonList& list : findings.unreadable)
        WriteLine(options, FormatWide(L"  [Firefox] (could not be read) %ls", MaskUnsafeCharacters(list.path).c_str()));
}

void ForEachAuditedProfile(const std::function<void(const AuditFindings&)>& take) {
    for (const BrowserEntry& browser : GetBrowserCatalogue()) {
        for (const BrowserProfile& profile : BrowserProfiles(browser)) {
            if (browser.kind == BrowserKind::Firefox)
                take(InventoryFirefoxProfile(browser.reportName, profile.folder));
            else
                take(InventoryChromiumProfile(browser.reportName, profile.name, profile.folder));
        }
        // An unread profiles.ini hides the add-ons of the profiles it names.
        std::optional<UnreadProfileList> unread;
        if (browser.kind == BrowserKind::Firefox && (unread = UnreadFirefoxProfileList()))
            take(AuditFindings{{}, {{browser.reportName, unread->path, unread->reason}}});
    }
}

AuditFindings CollectAudit() {
    AuditFindings all;
    ForEachAuditedProfile([&all](const AuditFindings& profile) {
        all.extensions.insert(all.extensions.end(), profile.extensions.begin(), profile.extensions.end());
        all.unreadable.insert(all.unreadable.end(), profile.unreadable.begin(), profile.unreadable.end());
    });
    return all;
}

void RunAudit(const CleanupOptions& options) {
    WriteLine(options, L"Installed browser extensions:");
    WriteLine(options, L"");
    ForEachAuditedProfile([&options](const AuditFindings& profile) { WriteAuditLines(options, profile); });
    WriteLine(options, L"");
    WriteLine(options, L"Anything marked \"side-loaded\" was NOT installed from a web store -- that");
    WriteLine(options, L"is a common way popup/adware sneaks in. Remove anything you don't recognise");
    WriteLine(options, L"from your browser's extensions page (chrome://extensions, edge://extensions,");
    WriteLine(options, L"or about:addons in Firefox).");
}
