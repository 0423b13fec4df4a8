// The review as text, in the audit's manner: a heading, one group per kind of
// finding with its items indented by two spaces, then advice for what was found.
// Every text that comes from a file or the registry is masked.
#include "audit/audit.h"
#include "review/review.h"

namespace {

std::wstring Label(const ProfilePlace& place) {
    return place.profile.empty() ? place.browser : place.browser + L"/" + MaskUnsafeCharacters(place.profile);
}

void WriteItem(const CleanupOptions& options, const std::wstring& label, const std::wstring& text) {
    WriteLine(options, FormatWide(L"  [%ls] %ls", label.c_str(), text.c_str()));
}

// A group: its heading, its items or one line saying there are none, an empty line.
template <typename Finding, typename Write>
void WriteGroup(const CleanupOptions& options, const wchar_t* heading, const std::vector<Finding>& items, Write write) {
    WriteLine(options, heading);
    for (const Finding& item : items)
        write(item);
    if (items.empty())
        WriteLine(options, L"  Nothing found.");
    WriteLine(options, L"");
}

std::wstring SiteText(const SitePermissionFinding& finding) {
    static const wchar_t* const PERMISSION_TEXTS[] = {L"show notifications", L"open pop-ups",
                                                      L"download files on its own"};
    const wchar_t* allowed = PERMISSION_TEXTS[static_cast<int>(finding.grant.permission)];
    if (finding.grant.allSites)
        return std::wstring(L"every site may ") + allowed;
    return std::wstring(L"may ") + allowed + L": " + MaskUnsafeCharacters(SiteOrigin(finding.grant.site));
}

std::wstring StartupText(const StartupFinding& finding) {
    std::wstring source = MaskUnsafeCharacters(finding.source);
    std::wstring value = MaskUnsafeCharacters(finding.value);
    switch (finding.kind) {
        case StartupKind::StartupPage:
            return L"opens at every start (" + source + L"): " + value;
        case StartupKind::HomePage:
            return source == L"user.js" ? L"home page, set again at every start (user.js): " + value
                                        : L"home page (" + source + L"): " + value;
        case StartupKind::SearchEngine:
            break;
    }
    std::wstring name = finding.label.empty() ? std::wstring() : MaskUnsafeCharacters(finding.label) + L" -- ";
    return L"search engine (" + source + L"): " + name + value;
}

const wchar_t* InstalledByText(InstalledBy installedBy) {
    static const wchar_t* const INSTALLED_BY_TEXTS[] = {L"from a web store",
                                                        L"installed from a file",
                                                        L"installed by another program",
                                                        L"unpacked (developer mode)",
                                                        L"part of the browser",
                                                        L"forced by a policy",
                                                        L"loaded from the command line",
                                                        L"installed in an unknown way"};
    return INSTALLED_BY_TEXTS[static_cast<int>(installedBy)];
}

std::wstring ExtensionText(const ExtensionFinding& finding) {
    std::wstring text = InstalledByText(finding.installedBy);
    static const wchar_t* const OVERRIDE_TEXTS[] = {L"the home page", L"the start-up pages", L"the new tab page",
                                                    L"the search engine"};
    const wchar_t* separator = L"; takes over ";
    for (unsigned bit = 0; bit < 4; ++bit) {
        if (finding.overrides & (1u << bit)) {
            text += separator;
            text += OVERRIDE_TEXTS[bit];
            separator = L", ";
        }
    }
    if (!finding.enabled)
        text += L"; turned off";
    text += L": " + (finding.name.empty() ? std::wstring(L"(unknown)") : MaskUnsafeCharacters(finding.name));
    if (!finding.version.empty())
        text += L"  v" + MaskUnsafeCharacters(finding.version);
    return text + L" (" + MaskUnsafeCharacters(finding.id) + L")";
}

std::wstring PolicyText(const PolicyFinding& finding) {
    static const wchar_t* const EFFECT_TEXTS[] = {L"forces an extension onto the browser: ",
                                                  L"decides which extensions are installed: ",
                                                  L"sets the home page: ",
                                                  L"sets the start-up pages: ",
                                                  L"sets the new tab page: ",
                                                  L"sets the search engine: ",
                                                  L""};
    return EFFECT_TEXTS[static_cast<int>(finding.effect)] + MaskUnsafeCharacters(finding.name) + L" = " +
           MaskUnsafeCharacters(finding.value);
}

// Why a file that exists was not used (JsonLoad::Missing never reaches the report).
const wchar_t* ReasonText(JsonLoad reason) {
    static const wchar_t* const REASON_TEXTS[] = {L"",
                                                  L"",
                                                  L"could not be opened or read",
                                                  L"too large to read",
                                                  L"not valid JSON",
                                                  L"nested too deeply",
                                                  L"not a JSON object"};
    return REASON_TEXTS[static_cast<int>(reason)];
}

void WriteLines(const CleanupOptions& options, std::initializer_list<const wchar_t*> lines) {
    for (const wchar_t* line : lines)
        WriteLine(options, line);
}

void WriteAdvice(const CleanupOptions& options, const ReviewFindings& findings) {
    WriteLine(options, L"What you can do:");
    // Firefox keeps its site permissions in a database this review does not read.
    WriteLines(options, {L"- Sites: \"popswat --reset-permissions\" takes back what sites were allowed to do",
                         L"  in Chrome, Edge, Brave, Vivaldi and Opera, or remove them in the browser's site",
                         L"  settings (chrome://settings/content, edge://settings/content). Firefox lists the",
                         L"  sites that may notify in Settings > Privacy & Security > Permissions > Notifications."});
    if (!findings.startup.empty())
        WriteLines(options, {L"- Start-up and home pages, search engines: remove the extension that takes them",
                             L"  over first, then set them again in the browser's settings. A home page in",
                             L"  Firefox's user.js comes back at every start: delete that line from user.js."});
    if (!findings.extensions.empty())
        WriteLines(options, {L"- Extensions: remove the ones you do not recognise on the extensions page",
                             L"  (chrome://extensions, edge://extensions, about:addons). One installed by another",
                             L"  program comes back until that program is uninstalled in Windows' settings."});
    if (!findings.policies.empty())
        WriteLines(options,
                   {L"- Policies: on a computer that no organisation manages, adware most likely wrote",
                    L"  them. Uninstall the program that did, or delete the values named above from",
                    L"  HKEY_LOCAL_MACHINE\\SOFTWARE\\Policies (machine) or HKEY_CURRENT_USER\\SOFTWARE\\Policies",
                    L"  (user), in regedit."});
    if (!findings.unreadable.empty())
        WriteLines(options, {L"- Files that could not be read: close the browser and run the review again."});
}

}  // namespace

void WriteReviewReport(const CleanupOptions& options, const ReviewFindings& findings) {
    WriteLine(options, L"What can bring pop-ups back (nothing is changed):");
    WriteLine(options, L"");
    WriteGroup(options, L"Sites allowed to show notifications, open pop-ups or download on their own:",
               findings.sitePermissions,
               [&](const SitePermissionFinding& f) { WriteItem(options, Label(f.place), SiteText(f)); });
    WriteGroup(options, L"Start-up pages, home pages and search engines that are not the browser's own:",
               findings.startup, [&](const StartupFinding& f) { WriteItem(options, Label(f.place), StartupText(f)); });
    WriteGroup(options, L"Extensions that take over a page or were not installed from a web store:",
               findings.extensions,
               [&](const ExtensionFinding& f) { WriteItem(options, Label(f.place), ExtensionText(f)); });
    WriteGroup(options, L"Browser policies:", findings.policies, [&](const PolicyFinding& f) {
        WriteItem(options, f.browser + (f.machine ? L", machine" : L", user"), PolicyText(f));
    });
    if (!findings.unreadable.empty()) {
        WriteGroup(options, L"Files that could not be read:", findings.unreadable, [&](const UnreadableFile& f) {
            WriteItem(options, Label(f.place), f.file + L": " + ReasonText(f.reason));
        });
    }
    WriteAdvice(options, findings);
}
