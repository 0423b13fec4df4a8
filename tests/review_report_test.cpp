#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "browsers/json_document.h"
#include "review/review.h"
#include "tests/review_report_lines.h"
#include "tests/test_support.h"

namespace {

const ProfilePlace CHROME = {L"Google Chrome",
                             L"Profile \x202e"
                             L"1"};
const ProfilePlace OPERA = {L"Opera", L""};

// One finding of each kind, with text that must be masked in the report and kept in JSON.
ReviewFindings SampleFindings() {
    ReviewFindings findings;
    findings.sitePermissions = {
        {CHROME, {SitePermission::Notifications, L"https://win-prize.example:443", false}},
        {OPERA, {SitePermission::Popups, L"", true}},
        {OPERA, {SitePermission::AutomaticDownloads, L"http://d.example:8080", false}},
    };
    findings.startup = {
        {CHROME, StartupKind::StartupPage, L"http://start.example/\n  [Google Chrome] fake", L"",
         L"Secure Preferences"},
        {{L"Firefox", L"k3x9w2ab.default-release"}, StartupKind::HomePage, L"http://home.example/", L"", L"user.js"},
        {OPERA, StartupKind::SearchEngine, L"http://q.example/?q={searchTerms}", L"Caf\u00e9 \"Search\"",
         L"Preferences"},
    };
    ExtensionFinding extension;
    extension.place = CHROME;
    extension.id = L"ncbkfmpgldjhaiebpnkdcmflhgojeiak";
    extension.name = L"Coupons\x1b[2J";
    extension.version = L"2.4";
    extension.installedBy = InstalledBy::OtherProgram;
    extension.overrides = OVERRIDES_NEW_TAB | OVERRIDES_SEARCH_ENGINE;
    extension.enabled = false;
    ExtensionFinding fromMaker = extension;
    fromMaker.name = L"Support Assistant";
    fromMaker.installedBy = InstalledBy::ComputerMaker;
    fromMaker.overrides = 0;
    fromMaker.enabled = true;
    findings.extensions = {extension, fromMaker};
    findings.policies = {{L"Google Chrome", true, L"ExtensionInstallForcelist\\1", L"ncbk;https://u.example/",
                          PolicyEffect::ForcesExtension},
                         {L"Firefox", false, L"Other", L"a\tb", PolicyEffect::Other}};
    findings.unreadable = {{OPERA, L"Preferences", JsonLoad::NotJson}};
    return findings;
}

std::vector<std::wstring> Report(const ReviewFindings& findings) {
    std::vector<std::wstring> lines;
    WriteReviewReport(CapturingOptions(&lines), findings);
    return lines;
}

std::string Text(const JsonValue& value) {
    return value.IsString() ? std::string(value.GetString(), value.GetStringLength()) : "(not a string)";
}

}  // namespace

TEST(SiteOrigin, DropsOnlyTheSchemesDefaultPort) {
    const std::pair<const wchar_t*, const wchar_t*> rows[] = {
        {L"https://win-prize.example:443", L"https://win-prize.example"},
        {L"HTTP://a.example:80", L"HTTP://a.example"},
        {L"http://a.example:443", L"http://a.example:443"},
        {L"https://a.example:4443", L"https://a.example:4443"},
        {L"https://[*.]a.example:443", L"https://[*.]a.example"},
        {L"[*.]a.example", L"[*.]a.example"},
        {L"https://:443", L"https://"},
        {L":443", L":443"},
    };
    for (const auto& [pattern, origin] : rows)
        EXPECT_EQ(SiteOrigin(pattern), origin) << Utf8(pattern);
}

TEST(WriteReviewReport, GroupsFindingsMasksTheirTextAndEndsWithAdvice) {
    std::vector<std::wstring> lines = Report(SampleFindings());
    std::vector<std::wstring> expected = ReviewReportLines({
        {L"  [Google Chrome/Profile ?1] may show notifications: https://win-prize.example",
         L"  [Opera] every site may open pop-ups", L"  [Opera] may download files on its own: http://d.example:8080"},
        {L"  [Google Chrome/Profile ?1] opens at every start (Secure Preferences): http://start.example/?  [Google "
         L"Chrome] fake",
         L"  [Firefox/k3x9w2ab.default-release] home page, set again at every start (user.js): http://home.example/",
         L"  [Opera] search engine (Preferences): Caf\u00e9 \"Search\" -- http://q.example/?q={searchTerms}"},
        {L"  [Google Chrome/Profile ?1] installed by another program; takes over the new tab page, the search engine; "
         L"turned off: Coupons?[2J  v2.4 (ncbkfmpgldjhaiebpnkdcmflhgojeiak)",
         L"  [Google Chrome/Profile ?1] installed by the computer's maker: Support Assistant  v2.4 "
         L"(ncbkfmpgldjhaiebpnkdcmflhgojeiak)"},
        {L"  [Google Chrome, machine] forces an extension onto the browser: ExtensionInstallForcelist\\1 = "
         L"ncbk;https://u.example/",
         L"  [Firefox, user] Other = a\tb"},
        {L"  [Opera] Preferences: not valid JSON"},
    });
    ASSERT_GE(lines.size(), expected.size());
    EXPECT_EQ(std::vector<std::wstring>(lines.begin(), lines.begin() + expected.size()), expected);
    // Advice for every kind of finding: sites, start-up pages, extensions, policies, unreadable files.
    for (const wchar_t* start : {L"- Sites", L"- Start-up", L"- Extensions", L"- Policies", L"- Files"}) {
        EXPECT_EQ(
            std::count_if(lines.begin(), lines.end(), [&](const std::wstring& l) { return l.rfind(start, 0) == 0; }), 1)
            << Utf8(start);
    }
}

TEST(WriteReviewReport, SaysNothingFoundPerGroupAndKeepsTheFirefoxAdvice) {
    std::vector<std::wstring> expected = ReviewReportLines({});
    expected.insert(expected.end(), SITES_ADVICE.begin(), SITES_ADVICE.end());
    EXPECT_EQ(Report(ReviewFindings()), expected);
}

TEST(ReviewJson, ParsesBackWithEveryFieldAsFound) {
    std::string json = ReviewJson(SampleFindings());
    EXPECT_NE(json.rfind("{", 0), std::string::npos) << "no byte-order mark, the object first";
    JsonDocument document;
    ASSERT_EQ(ParseJsonObject(json, &document), JsonLoad::Done);
    EXPECT_EQ(JsonFields(document, {"schema"}), "popswat.review/1");

    const JsonValue& sites = document["sitePermissions"];
    ASSERT_EQ(sites.Size(), 3u);
    EXPECT_EQ(JsonFields(sites[0], {"browser", "profile", "permission", "site", "allSites"}),
              "Google Chrome|Profile \xe2\x80\xae"
              "1|notifications|https://win-prize.example:443|(false)");
    EXPECT_EQ(JsonFields(sites[1], {"profile", "permission", "site", "allSites"}), "(null)|popups|(null)|(true)");
    EXPECT_EQ(JsonFields(sites[2], {"permission"}), "automatic_downloads");

    const JsonValue& startup = document["startup"];
    ASSERT_EQ(startup.Size(), 3u);
    EXPECT_EQ(JsonFields(startup[0], {"kind", "value", "source"}),
              "startup_page|http://start.example/\n  [Google Chrome] fake|Secure Preferences");
    EXPECT_EQ(JsonFields(startup[1], {"kind", "source"}), "home_page|user.js");
    EXPECT_EQ(JsonFields(startup[2], {"kind"}), "search_engine");

    const JsonValue& extension = document["extensions"][0];
    EXPECT_EQ(JsonFields(extension, {"id", "name", "version", "installedBy", "enabled"}),
              "ncbkfmpgldjhaiebpnkdcmflhgojeiak|Coupons\x1b[2J|2.4|other_program|(false)");
    ASSERT_EQ(extension["overrides"].Size(), 2u);
    EXPECT_EQ(Text(extension["overrides"][0]), "new_tab");
    EXPECT_EQ(Text(extension["overrides"][1]), "search_engine");
    EXPECT_EQ(JsonFields(document["extensions"][1], {"installedBy"}), "computer_maker");

    const JsonValue& policies = document["policies"];
    ASSERT_EQ(policies.Size(), 2u);
    EXPECT_EQ(JsonFields(policies[0], {"scope", "name", "value", "effect"}),
              "machine|ExtensionInstallForcelist\\1|ncbk;https://u.example/|forces_extension");
    EXPECT_EQ(JsonFields(policies[1], {"scope", "value", "effect"}), "user|a\tb|(null)");

    EXPECT_EQ(JsonFields(document["unreadable"][0], {"file", "reason"}), "Preferences|not_json");
    // Control characters are escaped, never written raw.
    for (char c : json)
        EXPECT_GE(static_cast<unsigned char>(c), 0x20u);
}
