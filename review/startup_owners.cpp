// What else sets a start-up, home or search page than the value in the
// profile's own files. A policy wins over the value and comes back with every
// start; an extension whose manifest takes the page over (settings_overrides)
// sets it again while it is installed and enabled. Either is the finding to
// fix; removing the value would change nothing the person sees.
#include "review/review.h"

namespace {

PolicyEffect PolicyEffectOf(StartupKind kind) {
    switch (kind) {
        case StartupKind::StartupPage:
            return PolicyEffect::StartupPages;
        case StartupKind::HomePage:
            return PolicyEffect::HomePage;
        case StartupKind::SearchEngine:
            break;
    }
    return PolicyEffect::SearchEngine;
}

unsigned OverrideOf(StartupKind kind) {
    switch (kind) {
        case StartupKind::StartupPage:
            return OVERRIDES_STARTUP_PAGES;
        case StartupKind::HomePage:
            return OVERRIDES_HOME_PAGE;
        case StartupKind::SearchEngine:
            break;
    }
    return OVERRIDES_SEARCH_ENGINE;
}

}  // namespace

void NoteStartupOwners(ReviewFindings* findings) {
    for (StartupFinding& finding : findings->startup) {
        for (const PolicyFinding& policy : findings->policies)
            finding.setByPolicy |=
                policy.browser == finding.place.browser && policy.effect == PolicyEffectOf(finding.kind);
        for (const ExtensionFinding& extension : findings->extensions) {
            finding.ownedByExtension |= extension.enabled && (extension.overrides & OverrideOf(finding.kind)) &&
                                        extension.place.browser == finding.place.browser &&
                                        extension.place.profile == finding.place.profile;
        }
    }
}
