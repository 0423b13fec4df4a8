// Firefox's distribution\policies.json beside firefox.exe: each policy becomes
// a finding judged as the registry's are, and the file's one fix (moving it)
// goes with the first that sets a page.
#include "review/review_internal.h"

namespace {

bool SetsPage(PolicyEffect effect) {
    return effect == PolicyEffect::HomePage || effect == PolicyEffect::StartupPages ||
           effect == PolicyEffect::NewTabPage || effect == PolicyEffect::SearchEngine;
}

// What the file's fix may take along unasked: pages, search engines, forced
// extensions, and the new tab page's switch.
bool IsHijackersPolicy(const PolicyFinding& finding) {
    if (SetsPage(finding.effect) || finding.effect == PolicyEffect::ForcesExtension)
        return true;
    std::wstring_view name(finding.name);
    return EqualsIgnoringAsciiCase(name.substr(0, name.find(L'\\')), L"NewTabPage");
}

const wchar_t* FirefoxReportName() {
    for (const BrowserEntry& browser : GetBrowserCatalogue()) {
        if (browser.kind == BrowserKind::Firefox && browser.reportName)
            return browser.reportName;
    }
    return L"Firefox";
}

}  // namespace

void ReviewFirefoxPolicyFiles(const std::vector<std::wstring>& installFolders, ReviewFindings* findings) {
    const wchar_t* browser = FirefoxReportName();
    for (const std::wstring& folder : installFolders) {
        std::wstring path = folder + L"\\distribution\\policies.json";
        FirefoxPoliciesFile file = ReadFirefoxPoliciesFile(path);
        if (file.result != JsonLoad::Done) {
            NoteUnreadable({browser, L""}, path, file.result, findings);
            continue;
        }
        std::size_t first = findings->policies.size();
        bool others = false;
        for (FirefoxPolicyValue& value : file.values) {
            PolicyFinding finding;
            finding.browser = browser;
            finding.machine = true;
            finding.name = std::move(value.name);
            finding.value = std::move(value.value);
            finding.effect = ClassifyPolicy(true, finding.name);
            finding.location = path + L"\\" + finding.name;
            finding.file = path;
            finding.fileDigest = file.digest;
            others |= !IsHijackersPolicy(finding);
            findings->policies.push_back(std::move(finding));
        }
        std::wstring fixId;
        for (std::size_t i = first; i < findings->policies.size() && fixId.empty(); ++i) {
            PolicyFinding& finding = findings->policies[i];
            if (SetsPage(finding.effect)) {
                finding.movesFile = true;
                fixId = FindingId(finding);
            }
        }
        for (std::size_t i = first; i < findings->policies.size(); ++i) {
            findings->policies[i].fileFixId = fixId;
            findings->policies[i].fileHoldsOthers = others;
        }
    }
}
