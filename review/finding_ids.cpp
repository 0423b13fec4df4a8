// Each finding's identity: the same finding on the same machine has the same id
// in every run, so that a person, a help desk or a script can name it
// ("popswat --fix=<id>"). It is derived from the finding's kind and what
// identifies it (browser, profile, file or key, name, value), never from its
// place in the report. The ids of what a fix changes come from the engine, which
// writes them into its record of changes.
#include "review/review.h"

namespace {

const wchar_t* StartupKindWord(StartupKind kind) {
    switch (kind) {
        case StartupKind::StartupPage:
            return L"startup_page";
        case StartupKind::HomePage:
            return L"home_page";
        case StartupKind::SearchEngine:
            break;
    }
    return L"search_engine";
}

}  // namespace

std::wstring FindingId(const SitePermissionFinding& finding) {
    return SitePermissionFindingId(finding.place.browser, finding.place.profile, finding.grant);
}

std::wstring FindingId(const StartupFinding& finding) {
    return ShortTextId({L"startup", finding.place.browser, finding.place.profile, StartupKindWord(finding.kind),
                        finding.source, finding.value});
}

std::wstring FindingId(const ExtensionFinding& finding) {
    return ShortTextId({L"extension", finding.place.browser, finding.place.profile, finding.id});
}

std::wstring FindingId(const PolicyFinding& finding) {
    // A policy of a file is not the same finding as the registry's value of that name.
    if (!finding.file.empty())
        return ShortTextId({L"policy-file", finding.browser, finding.file, finding.name, finding.value});
    return ShortTextId(
        {L"policy", finding.browser, finding.machine ? L"machine" : L"user", finding.name, finding.value});
}

std::wstring FindingId(const LauncherFinding& finding) {
    return LauncherFindingId(finding);
}

std::wstring FindingId(const ProxySetting& finding) {
    return ShortTextId({L"proxy", finding.location, finding.setting, finding.value});
}
