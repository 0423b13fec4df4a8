// What the findings window shows, made on its workers: the review in the console's
// own words, and the lines of a repair (site permissions taken back, browser
// shortcuts repaired).
#include "gui/gui.h"
#include "review/review.h"

#include <algorithm>

namespace {

// Each line as the console ends it, so the window, the clipboard and "popswat
// --review" hold the same text.
void AppendLine(std::wstring* text, const std::wstring& line) {
    text->append(line);
    text->append(L"\r\n");
}

// The window takes back what --reset-permissions takes back: Chromium-family
// grants. Firefox's are listed in the report, but not changed from here.
bool CanTakeBack(const SitePermissionFinding& finding) {
    for (const BrowserEntry& browser : GetBrowserCatalogue()) {
        if (browser.kind == BrowserKind::Firefox && finding.place.browser == browser.reportName)
            return false;
    }
    return true;
}

}  // namespace

ReviewResult ReviewForWindow() {
    ReviewResult result;
    try {
        ReviewFindings findings = CollectReview(SystemPolicyRoots(), SystemLauncherSources());
        CleanupOptions options;
        options.log = [&result](const std::wstring& line) { AppendLine(&result.report, line); };
        WriteReviewReport(options, findings);
        result.count = CountFindings(findings);
        result.siteGrants = std::any_of(findings.sitePermissions.begin(), findings.sitePermissions.end(), CanTakeBack);
        result.browserShortcuts =
            std::any_of(findings.launchers.begin(), findings.launchers.end(), ShortcutRepairWouldChange);
    } catch (...) {
        result = ReviewResult();
        result.failed = true;
    }
    return result;
}

std::size_t CountFindingsHere() {
    return CountFindings(CollectReview(SystemPolicyRoots(), SystemLauncherSources()));
}

RepairResult RepairForWindow(const CleanupCall& run) {
    RepairResult result;
    CleanupOptions options;
    // Paths come from folder listings and may hold any character: each line stays one line.
    options.log = [&result](const std::wstring& line) { AppendLine(&result.lines, MaskUnsafeCharacters(line)); };
    try {
        result.outcome = run(options);
    } catch (...) {
        result.failed = true;
    }
    return result;
}

std::wstring FindingsSummary(std::size_t count) {
    if (count == 0)
        return L"Nothing was found that brings pop-ups back.";
    if (count == 1)
        return L"1 thing can bring pop-ups back.";
    return FormatWide(L"%zu things can bring pop-ups back.", count);
}
