#include <gtest/gtest.h>

#include <thread>

#include "browsers/json_document.h"
#include "tests/child_programs.h"
#include "tests/review_report_lines.h"
#include "tests/shortcut_writer.h"
#include "tests/test_support.h"

// popswat.exe run as a child process with its own LOCALAPPDATA and APPDATA,
// fed on standard input and read back from standard output.

namespace {

using Lines = std::vector<std::string>;

const Lines USAGE = {
    "PopSwat - close browsers, reset open tabs, and clear recent history.",
    "",
    "Usage: popswat [options]",
    "",
    "  --audit       List installed browser extensions (read-only, no changes).",
    "  --dry-run     Show what would be done without changing anything.",
    "  --tabs-only   Reset open tabs only; keep browsing history.",
    "  --force       Terminate browsers immediately (skip graceful close).",
    "  --yes, -y     Do not prompt for confirmation.",
    "  --help, -h    Show this help.",
    "  --review      Show what brings pop-ups back (read-only, no changes).",
    "  --json        With --audit, --review, --fix, --undo or --list-changes: JSON.",
    "  --exit-code   With --review: exit with 3 when it found something, 0 when not.",
    "  --reset-permissions",
    "                Also take back what sites may do: notify, pop-ups, downloads.",
    "  --repair-shortcuts",
    "                Also take web addresses out of browser shortcuts (copies kept).",
    "  --fix         Review, then fix every recommended finding (asks once).",
    "  --fix=<id>[,<id>...]",
    "                Fix the findings named by their ids (from --review).",
    "  --undo        Put back the newest run's changes that are not undone yet.",
    "  --undo=<date>_<time>",
    "                Put back that run's changes (see --list-changes).",
    "  --list-changes",
    "                List the runs that changed something, and what.",
    "                --fix, --undo and --list-changes also take --json.",
    "",
    "Supports Chrome, Edge, Brave, Vivaldi, Opera / Opera GX, and Firefox.",
    "Bookmarks and saved passwords are preserved. Firefox keeps its history",
    "(it shares places.sqlite with the bookmarks); its open tabs are reset.",
    "",
    "Exit code: 0 done; 1 bad command line, or another cleanup is running;",
    "2 done, but some items could not be cleaned, fixed or put back (the last",
    "lines say which);",
    "3 with --review --exit-code: the review found something.",
};

const Lines EMPTY_AUDIT = {
    "Installed browser extensions:",
    "",
    "",
    "Anything marked \"side-loaded\" was NOT installed from a web store -- that",
    "is a common way popup/adware sneaks in. Remove anything you don't recognise",
    "from your browser's extensions page (chrome://extensions, edge://extensions,",
    "or about:addons in Firefox).",
};

const char JSON_OF_BOTH[] = "--json prints one document: use it with --audit or with --review, not both.";
const char BANNER_TITLE[] = "PopSwat - browser ad and popup cleaner";
const char BANNER_RULE[] = "--------------------------------------";
const Lines PREVIEW_NOTE = {"(preview - nothing will be changed)", ""};
const char WARNING[] = "This will CLOSE all open browsers and reset their open tabs, and clear recent history.";
const char WARNING_TABS_ONLY[] = "This will CLOSE all open browsers and reset their open tabs.";
const char WARNING_PERMISSIONS[] =
    "It will also take back what sites were allowed to do (notifications, pop-ups, downloads).";
const char WARNING_SHORTCUTS[] = "It will also take web addresses out of browser shortcuts (a copy of each is kept).";
const char QUESTION[] = "Bookmarks and passwords are kept. Continue? [y/N] ";
const char DONE[] = "All done. Reopen your browser and it will start with a clean set of tabs.";
const char HINT[] = "If popups keep coming back, run \"popswat --audit\" to list installed extensions.";
const char LEFT_ONE_IN_USE[] =
    "Finished, but 1 item(s) could not be cleaned. Close every browser window and run PopSwat again.";
const char LEFT_ONE[] = "Finished, but 1 item(s) could not be cleaned. The lines above say why.";
const char LEFT_SETTINGS[] = "Left: 1 settings file left alone.";

Lines Concat(std::initializer_list<Lines> parts) {
    Lines all;
    for (const Lines& part : parts)
        all.insert(all.end(), part.begin(), part.end());
    return all;
}

// A sandbox whose base folders can carry any name, with one Chrome profile
// and one Firefox profile in it.
struct ConsoleSandbox {
    TempFolder folder;
    std::wstring local;
    std::wstring roaming;
    std::wstring chromeProfile;
    std::wstring firefoxProfile;

    explicit ConsoleSandbox(const std::wstring& userFolder = L"user") {
        local = folder / (userFolder + L"\\Local");
        roaming = folder / (userFolder + L"\\Roaming");
        chromeProfile = local + L"\\Google\\Chrome\\User Data\\Default";
        firefoxProfile = roaming + L"\\Mozilla\\Firefox\\Profiles\\a1b2.default-release";
        for (const wchar_t* name : {L"Preferences", L"Bookmarks", L"Current Tabs", L"History"})
            MakeFile(chromeProfile + L"\\" + name);
        for (const wchar_t* name : {L"sessionstore.jsonlz4", L"places.sqlite"})
            MakeFile(firefoxProfile + L"\\" + name);
    }

    ProgramRun Run(const std::wstring& arguments,
                   const std::string& input = std::string(),
                   bool outputToFile = false,
                   bool inputStaysOpen = false) const {
        EnvironmentChanges environment = {{L"LOCALAPPDATA", local}, {L"APPDATA", roaming}};
        std::wstring commandLine = L"\"" + TestProgramPath(L"popswat.exe") + L"\" " + arguments;
        return RunProgram(commandLine, environment, input, 60000, outputToFile, inputStaysOpen);
    }

    bool Untouched() const {
        return PathExists(chromeProfile + L"\\Current Tabs") && PathExists(chromeProfile + L"\\History") &&
               PathExists(firefoxProfile + L"\\sessionstore.jsonlz4");
    }

    // A Chrome shortcut pinned to the taskbar (below APPDATA) that opens a web page.
    std::wstring PinBrowserShortcut() const {
        std::wstring folder = roaming + L"\\Microsoft\\Internet Explorer\\Quick Launch\\User Pinned\\TaskBar";
        MakeFolder(folder);
        ComApartment apartment;
        WriteShortcutFile(folder + L"\\Google Chrome.lnk",
                          BrowserShortcut(L"C:\\Program Files\\Google\\Chrome\\Application\\chrome.exe",
                                          L"--profile-directory=Default https://ad.example/"));
        return folder + L"\\Google Chrome.lnk";
    }

    // The lines of a whole run over this sandbox; with repairedShortcut, the
    // preview of its repair (the prefix's own Desktop and Start menu hold none);
    // tabsHeld: its "Current Tabs" is held open.
    Lines RunLines(bool preview,
                   bool tabsOnly,
                   bool resetPermissions = false,
                   const std::wstring& repairedShortcut = std::wstring(),
                   bool tabsHeld = false) const {
        std::string verb = preview ? "  [preview] would delete file: " : "  deleted: ";
        Lines lines = {"Closing browsers...", "",
                       tabsOnly ? "Resetting open tabs..." : "Resetting open tabs and clearing recent history...",
                       "Cleaning Google Chrome ...",
                       (tabsHeld && !preview ? "  (locked/failed) " : verb) + Utf8(chromeProfile + L"\\Current Tabs")};
        if (!tabsOnly)
            lines.push_back(verb + Utf8(chromeProfile + L"\\History"));
        if (resetPermissions)  // its Preferences holds no JSON
            lines.push_back("  (unreadable, left alone) " + Utf8(chromeProfile + L"\\Preferences"));
        lines.push_back("Cleaning Mozilla Firefox ...");
        lines.push_back(verb + Utf8(firefoxProfile + L"\\sessionstore.jsonlz4"));
        if (!repairedShortcut.empty())
            lines.insert(lines.end(), {"", "Repairing browser shortcuts...",
                                       "  [preview] would make the shortcut no longer open https://ad.example/: " +
                                           Utf8(repairedShortcut)});
        lines.push_back("");
        // Either is one item left behind; a preview leaves nothing behind.
        if (preview || !(tabsHeld || resetPermissions))
            lines.push_back(DONE);
        else if (tabsHeld)  // held open by the test: the browser advice
            lines.insert(lines.end(), {LEFT_ONE_IN_USE, "Left: 1 file or folder in use."});
        else
            lines.insert(lines.end(), {LEFT_ONE, LEFT_SETTINGS});
        if (!tabsOnly)
            lines.push_back(HINT);
        return lines;
    }
};

// Every line ends in CR LF and no byte-order mark leads the text.
void ExpectOutput(const ProgramRun& run, const Lines& expected, DWORD exitCode) {
    EXPECT_TRUE(run.finished);
    EXPECT_EQ(run.exitCode, exitCode);
    EXPECT_EQ(SplitCrLfLines(run.output), expected);
    EXPECT_EQ(run.output.rfind("\xEF\xBB\xBF", 0), std::string::npos);
    for (std::size_t at = run.output.find('\n'); at != std::string::npos; at = run.output.find('\n', at + 1))
        ASSERT_TRUE(at > 0 && run.output[at - 1] == '\r') << "bare line feed at byte " << at;
    EXPECT_EQ(run.errors, "");
}

}  // namespace

TEST(ConsoleProgram, PrintsHelpOrRejectsUnknownOptions) {
    struct Case {
        const wchar_t* arguments;
        Lines expected;
        DWORD exitCode;
    };
    const Case cases[] = {
        {L"--help", USAGE, 0},
        {L"-h", USAGE, 0},
        {L"--help --bogus", USAGE, 0},
        {L"--audit --help", USAGE, 0},
        {L"--yes -y --help", USAGE, 0},
        {L"--bogus --help", Concat({{"Unknown option: --bogus", ""}, USAGE}), 1},
        {L"--AUDIT", Concat({{"Unknown option: --AUDIT", ""}, USAGE}), 1},
        {L"--yes=1", Concat({{"Unknown option: --yes=1", ""}, USAGE}), 1},
        {L"-yh", Concat({{"Unknown option: -yh", ""}, USAGE}), 1},
        {L"/?", Concat({{"Unknown option: /?", ""}, USAGE}), 1},
        {L"--dry-run --audit \"two words\"", Concat({{"Unknown option: two words", ""}, USAGE}), 1},
        {L"\"caf\u00e9 \u738b\U0001F600\"", Concat({{"Unknown option: caf\u00e9 \u738b\U0001F600", ""}, USAGE}), 1},
        {L"--review --json --help", USAGE, 0},
        {L"--json --bogus", Concat({{"Unknown option: --bogus", ""}, USAGE}), 1},
        // JSON comes with the audit or the review, one document at a time.
        {L"--json", Concat({{"Unknown option: --json", ""}, USAGE}), 1},
        {L"--dry-run --json --yes", Concat({{"Unknown option: --json", ""}, USAGE}), 1},
        {L"--audit --json", {R"({"schema":"popswat.audit/1","extensions":[],"unreadable":[]})"}, 0},
        {L"--review --audit --json", Concat({{JSON_OF_BOTH, ""}, USAGE}), 1},
        {L"--json --audit --dry-run --review", Concat({{JSON_OF_BOTH, ""}, USAGE}), 1},
    };
    ConsoleSandbox sandbox;
    for (const Case& c : cases) {
        SCOPED_TRACE(Utf8(c.arguments));
        ExpectOutput(sandbox.Run(c.arguments, "y\n"), c.expected, c.exitCode);
    }
    EXPECT_TRUE(sandbox.Untouched());
}

TEST(ConsoleProgram, AuditPathSkipsBannerQuestionAndCleanup) {
    ConsoleSandbox sandbox;
    for (const wchar_t* arguments : {L"--audit", L"--audit --dry-run --yes", L"--tabs-only --force --audit --audit",
                                     L"--reset-permissions --audit", L"--audit --repair-shortcuts --yes"}) {
        SCOPED_TRACE(Utf8(arguments));
        ExpectOutput(sandbox.Run(arguments, "y\n"), EMPTY_AUDIT, 0);
    }
    EXPECT_TRUE(sandbox.Untouched());
}

// The review of ConsoleSandbox, whose Chrome "Preferences" holds no JSON, in
// the project's prefix, whose Task Scheduler (Wine 8) cannot list its tasks, so
// that the files it keeps are read; with the shortcut PinBrowserShortcut made,
// if one is given.
Lines SandboxReview(const std::wstring& shortcut = std::wstring()) {
    std::vector<std::wstring> launchers = {
        shortcut.empty() ? L"  Nothing found."
                         : L"  [shortcut] " + shortcut + L": Google Chrome opens https://ad.example/",
        L"  (Scheduled tasks were read from their files in C:\\windows\\system32\\Tasks: the Task Scheduler could not "
        L"list them.)"};
    Lines lines;
    for (const std::wstring& line :
         ReviewReportLines({{}, {}, {}, {}, {L"  [Google Chrome/Default] Preferences: not valid JSON"}, launchers}))
        lines.push_back(Utf8(line));
    for (const std::wstring& line : SITES_ADVICE)
        lines.push_back(Utf8(line));
    lines.push_back("- Files that could not be read: close the browser and run the review again.");
    if (!shortcut.empty())
        lines.insert(lines.end(),
                     {"- Shortcuts: in the shortcut's Properties, take the web address or --load-extension out",
                      "  of its Target, or delete it; delete a shortcut named after a browser that starts",
                      "  something else. \"popswat --fix\" or --repair-shortcuts fixes browser shortcuts and keeps a",
                      "  copy of each."});
    return lines;
}

// Policies come from the machine's registry: only the project's own Wine prefix
// is known to hold none.
TEST(ConsoleProgram, ReviewPathSkipsBannerQuestionAndCleanup) {
    SKIP_UNLESS_UNDER_WINE();
    ConsoleSandbox sandbox;
    std::wstring shortcut = sandbox.PinBrowserShortcut();
    std::string shortcutBytes = ReadWholeFile(shortcut);
    for (const wchar_t* arguments : {L"--review", L"--review --dry-run --yes", L"--force --review --review",
                                     L"--review --reset-permissions --yes", L"--repair-shortcuts --review --yes"}) {
        SCOPED_TRACE(Utf8(arguments));
        ProgramRun run = sandbox.Run(arguments, "y\n");
        // The repairable shortcut's line ends with its id, for "popswat --fix=<id>".
        std::string withoutIds = WithoutFindingIds(run.output);
        EXPECT_EQ(run.output.size(), withoutIds.size() + 15);
        run.output = withoutIds;
        ExpectOutput(run, SandboxReview(shortcut), 0);
    }
    // Detection scripts: 3 when the review found something, 0 when not; the option only with --review.
    EXPECT_EQ(sandbox.Run(L"--review --exit-code --json").exitCode, 3u);
    EXPECT_EQ(sandbox.Run(L"--exit-code --review").exitCode, 3u);
    EXPECT_EQ(sandbox.Run(L"--exit-code").exitCode, 1u);
    EXPECT_EQ(ConsoleSandbox().Run(L"--review --exit-code").exitCode, 0u);
    EXPECT_EQ(ReadWholeFile(shortcut), shortcutBytes);
    DeleteFileW(shortcut.c_str());
    ExpectOutput(sandbox.Run(L"--review --audit"), Concat({EMPTY_AUDIT, {""}, SandboxReview()}), 0);
    EXPECT_TRUE(sandbox.Untouched());
}

TEST(ConsoleProgram, ReviewAsJsonWithRealPolicyKeys) {
    SKIP_UNLESS_UNDER_WINE();
    // Real policy keys, in the project's own prefix only, and only where none were before.
    TemporaryRegistryKey chrome(HKEY_CURRENT_USER, L"Software\\Policies\\Google\\Chrome");
    TemporaryRegistryKey firefox(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Policies\\Mozilla\\Firefox");
    if (!chrome.created() || !firefox.created())
        GTEST_SKIP() << "policy keys already exist in this prefix";
    chrome.SetText(L"ExtensionInstallForcelist", L"1", L"ncbkfmpgldjhaiebpnkdcmflhgojeiak;https://u.example/crx");
    firefox.SetText(L"Homepage", L"URL", L"http://caf\u00e9.example/");

    ConsoleSandbox sandbox;
    for (bool outputToFile : {false, true}) {
        SCOPED_TRACE(outputToFile ? "file" : "pipe");
        ProgramRun run = sandbox.Run(L"--review --json", "", outputToFile);
        EXPECT_TRUE(run.finished);
        EXPECT_EQ(run.exitCode, 0u);
        EXPECT_EQ(run.errors, "");
        ASSERT_EQ(run.output.rfind("{\"schema\":", 0), 0u) << "no byte-order mark, no banner";
        ASSERT_EQ(run.output.substr(run.output.size() - 2), "\r\n");
        JsonDocument document;
        ASSERT_EQ(ParseJsonObject(run.output, &document), JsonLoad::Done) << run.output;
        const JsonValue& policies = document["policies"];
        ASSERT_EQ(policies.Size(), 2u);
        EXPECT_EQ(JsonFields(policies[0], {"browser", "scope", "name", "value", "effect"}),
                  "Firefox|machine|Homepage\\URL|http://caf\xc3\xa9.example/|home_page");
        EXPECT_EQ(JsonFields(policies[1], {"browser", "scope", "effect"}), "Google Chrome|user|forces_extension");
        EXPECT_EQ(JsonFields(document["unreadable"][0], {"file"}), "Preferences");
        EXPECT_EQ(document["sitePermissions"].Size(), 0u);
    }
    EXPECT_TRUE(sandbox.Untouched());
}

// A manifest of 100 GB (a sparse file) neither ends nor cuts the report, as
// text or as JSON, which keeps every character of a name, escaped or not.
TEST(ConsoleProgram, AuditGoesOnPastAFileTooLargeToRead) {
    ConsoleSandbox sandbox;
    std::wstring extensions = sandbox.chromeProfile + L"\\Extensions";
    ASSERT_TRUE(MakeSparseFile(extensions + L"\\hugeid\\1.0\\manifest.json", 100LL << 30));
    MakeFile(sandbox.firefoxProfile + L"\\extensions.json",
             "{\"addons\":[{\"id\":\"cafe@example.com\",\"version\":\"2.0\",\"defaultLocale\":{\"name\":\"Caf\xc3\xa9 "
             "\\\"\u738b\\\"\\n\"},\"location\":\"app-profile\"},{\"id\":\"x@example.com\",\"defaultLocale\":"
             "{\"name\":\"Caf\\u00e9 \\u4e2d\\u6587 \\ud83d\\ude00\"},\"location\":\"app-profile\"}]}");
    Lines expected = EMPTY_AUDIT;
    expected.insert(
        expected.begin() + 2,
        {"  [Google Chrome/Default] hugeid (manifest could not be read)  v1.0   <-- side-loaded, review!",
         "  [Firefox] Caf\xc3\xa9 \"\u738b\"?", "  [Firefox] Caf\xc3\xa9 \xe4\xb8\xad\xe6\x96\x87 \xf0\x9f\x98\x80"});
    ExpectOutput(sandbox.Run(L"--audit"), expected, 0);

    ProgramRun run = sandbox.Run(L"--audit --json");
    EXPECT_EQ(run.exitCode, 0u);
    EXPECT_EQ(run.errors, "");
    EXPECT_EQ(run.output.rfind("{\"schema\":\"popswat.audit/1\",", 0), 0u) << "no byte-order mark, no banner";
    EXPECT_EQ(AuditJsonEntries(run.output),
              (std::vector<std::string>{"Google Chrome|Default|hugeid|null|null|extension|true",
                                        "Firefox|null|cafe@example.com|Caf\xc3\xa9 \"\u738b\"\n|2.0|extension|false",
                                        "Firefox|null|x@example.com|Caf\xc3\xa9 \xe4\xb8\xad\xe6\x96\x87 "
                                        "\xf0\x9f\x98\x80||extension|false"}));
}

TEST(ConsoleProgram, AnythingButAYesAborts) {
    struct Case {
        const char* name;
        const wchar_t* arguments;
        std::string input;
        const char* warning;
        bool resetsPermissions = false;
        bool repairsShortcuts = false;
    };
    const Case cases[] = {
        {"n", L"", "n\n", WARNING},
        {"No", L"", "No\r\n", WARNING},
        {"empty line", L"", "\n", WARNING},
        {"end of input", L"", "", WARNING},
        {"leading space", L"", " y\n", WARNING},
        {"end of input, tabs only", L"--tabs-only", "", WARNING_TABS_ONLY},
        {"n, forced", L"--force --tabs-only", "nope\n", WARNING_TABS_ONLY},
        {"n, taking back permissions", L"--reset-permissions", "n\n", WARNING, true},
        {"n, repairing shortcuts", L"--repair-shortcuts", "n\n", WARNING, false, true},
    };
    ConsoleSandbox sandbox;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Lines expected = {BANNER_TITLE, BANNER_RULE, c.warning, std::string(QUESTION) + "Aborted."};
        if (c.resetsPermissions)
            expected.insert(expected.begin() + 3, WARNING_PERMISSIONS);
        if (c.repairsShortcuts)
            expected.insert(expected.begin() + 3, WARNING_SHORTCUTS);
        ExpectOutput(sandbox.Run(c.arguments, c.input), expected, 0);
        EXPECT_TRUE(sandbox.Untouched());
    }
}

// An answer of ANSWER_CHARS (15) UTF-16 units is all that is read: a writer
// that keeps the pipe open after it is not waited for. A character beyond
// U+FFFF counts as its two units.
TEST(ConsoleProgram, ReadsNoFurtherThanTheAnswerOnAPipeKeptOpen) {
    const std::string emoji = "\xF0\x9F\x98\x80";
    const std::pair<const char*, std::string> cases[] = {
        {"15 letters", std::string(15, 'n')},
        {"13 letters and a surrogate pair", std::string(13, 'n') + emoji},
        {"14 letters and a surrogate pair", std::string(14, 'n') + emoji},
        {"14 letters and a character of three bytes", std::string(14, 'n') + "\xE2\x82\xAC"},
    };
    ConsoleSandbox sandbox;
    for (const auto& [name, input] : cases) {
        SCOPED_TRACE(name);
        ExpectOutput(sandbox.Run(L"", input, false, true),
                     {BANNER_TITLE, BANNER_RULE, WARNING, std::string(QUESTION) + "Aborted."}, 0);
        EXPECT_TRUE(sandbox.Untouched());
    }
}

TEST(ConsoleProgram, RunsTheCleanupAfterAYes) {
    SKIP_UNLESS_UNDER_WINE();
    struct Case {
        const char* name;
        const wchar_t* arguments;
        std::string input;
        bool tabsOnly;
    };
    const Case cases[] = {
        {"y", L"", "y\n", false},
        {"Yes, then more input", L"", "Yes\nn\n", false},
        {"yes please without a line end", L"", "yes please", false},
        {"a line longer than the answer buffer", L"", "yyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyy\n", false},
        {"tabs only", L"--tabs-only", "Y\r\n", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ConsoleSandbox sandbox;
        Lines expected = Concat({{BANNER_TITLE, BANNER_RULE, c.tabsOnly ? WARNING_TABS_ONLY : WARNING, QUESTION},
                                 sandbox.RunLines(false, c.tabsOnly)});
        ExpectOutput(sandbox.Run(c.arguments, c.input), expected, 0);
        EXPECT_FALSE(PathExists(sandbox.chromeProfile + L"\\Current Tabs"));
        EXPECT_EQ(PathExists(sandbox.chromeProfile + L"\\History"), c.tabsOnly);
        EXPECT_TRUE(PathExists(sandbox.chromeProfile + L"\\Bookmarks"));
        EXPECT_TRUE(PathExists(sandbox.firefoxProfile + L"\\places.sqlite"));
    }
}

// A run that leaves something behind (a file held open, a settings file left
// alone) says how many items and ends with exit code 2; a preview never does.
TEST(ConsoleProgram, RunsWithoutAskingWhenToldTo) {
    SKIP_UNLESS_UNDER_WINE();
    struct Case {
        const wchar_t* arguments;
        bool preview;
        bool tabsOnly;
        bool resetsPermissions = false;
        bool repairsShortcuts = false;  // only previewed: a run would look in the prefix's own Desktop too
        bool tabsHeld = false;
        DWORD exitCode = 0;
    };
    const Case cases[] = {
        {L"--dry-run", true, false},
        {L"--repair-shortcuts --dry-run --tabs-only", true, true, false, true},
        {L"--dry-run --yes --tabs-only", true, true},
        {L"--yes --force", false, false},
        {L"-y --tabs-only -y", false, true},
        {L"--dry-run --reset-permissions --tabs-only", true, true, true},
        {L"--reset-permissions --yes", false, false, true, false, false, 2},
        {L"--yes", false, false, false, false, true, 2},
        {L"--dry-run --tabs-only", true, true, false, false, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(Utf8(c.arguments) + (c.tabsHeld ? ", tabs held open" : ""));
        ConsoleSandbox sandbox;
        UniqueHandle held;
        if (c.tabsHeld)
            held = HoldFile(sandbox.chromeProfile + L"\\Current Tabs");
        std::wstring shortcut = c.repairsShortcuts ? sandbox.PinBrowserShortcut() : std::wstring();
        std::string shortcutBytes = ReadWholeFile(shortcut);
        Lines expected = Concat({{BANNER_TITLE, BANNER_RULE},
                                 c.preview ? PREVIEW_NOTE : Lines(),
                                 sandbox.RunLines(c.preview, c.tabsOnly, c.resetsPermissions, shortcut, c.tabsHeld)});
        // Input that would abort proves no question was asked.
        ExpectOutput(sandbox.Run(c.arguments, "n\n"), expected, c.exitCode);
        held.reset();
        EXPECT_EQ(sandbox.Untouched(), c.preview);
        EXPECT_EQ(PathExists(sandbox.chromeProfile + L"\\Current Tabs"), c.preview || c.tabsHeld);
        EXPECT_EQ(ReadWholeFile(shortcut), shortcutBytes);
    }
}

// A Chrome Preferences of the wrong shape is left alone with its line; Edge's
// session and permissions and Firefox's session after it are still cleaned.
TEST(ConsoleProgram, RunsPastASettingsFileOfTheWrongShape) {
    SKIP_UNLESS_UNDER_WINE();
    for (bool preview : {true, false}) {
        SCOPED_TRACE(preview ? "preview" : "run");
        ConsoleSandbox sandbox;
        std::wstring edge = sandbox.local + L"\\Microsoft\\Edge\\User Data\\Default";
        MakeFile(sandbox.chromeProfile + L"\\Preferences",
                 R"({"profile":{"content_settings":{"exceptions":{"popups":"x","notifications":)"
                 R"({"https://a.example:443,*":{"setting":1}}}}}})");
        MakeFile(edge + L"\\Current Session");
        MakeFile(edge + L"\\Preferences", R"({"profile":{"default_content_setting_values":{"popups":1}}})");
        std::string verb = preview ? "  [preview] would delete file: " : "  deleted: ";
        auto output = sandbox.Run(preview ? L"--dry-run --reset-permissions" : L"--reset-permissions --yes");
        std::wstring runs = sandbox.local + L"\\PopSwat\\Backups";
        std::wstring run;
        ForEachFolderEntry(runs, [&](const std::wstring& name, uint32_t) { run = runs + L"\\" + name; });
        Lines expected = {BANNER_TITLE,
                          BANNER_RULE,
                          "Closing browsers...",
                          "",
                          "Resetting open tabs and clearing recent history...",
                          "Cleaning Google Chrome ...",
                          verb + Utf8(sandbox.chromeProfile + L"\\Current Tabs"),
                          verb + Utf8(sandbox.chromeProfile + L"\\History"),
                          "  (unreadable, left alone) " + Utf8(sandbox.chromeProfile + L"\\Preferences"),
                          "Cleaning Microsoft Edge ...",
                          verb + Utf8(edge + L"\\Current Session"),
                          preview ? "  [preview] would no longer allow pop-ups for every site"
                                  : "  pop-ups no longer allowed for every site",
                          "  saved a copy of the old settings: " + Utf8(run + L"\\1.Preferences"),
                          "Cleaning Mozilla Firefox ...",
                          verb + Utf8(sandbox.firefoxProfile + L"\\sessionstore.jsonlz4"),
                          "",
                          preview ? DONE : LEFT_ONE};
        if (!preview)
            expected.push_back(LEFT_SETTINGS);
        expected.push_back(HINT);
        if (preview) {
            expected.erase(expected.begin() + 12);  // a preview copies nothing
            expected.insert(expected.begin() + 2, PREVIEW_NOTE.begin(), PREVIEW_NOTE.end());
        }
        ExpectOutput(output, expected, preview ? 0 : 2);
        EXPECT_EQ(PathExists(edge + L"\\Current Session"), preview);
        EXPECT_EQ(PathExists(sandbox.firefoxProfile + L"\\sessionstore.jsonlz4"), preview);
    }
}

// The runtime's own wide output would cut "王" and everything after it, and
// turn "é" into one Latin-1 byte.
TEST(ConsoleProgram, WritesEveryCharacterOfPathsAsUtf8) {
    SKIP_UNLESS_UNDER_WINE();
    for (bool outputToFile : {false, true}) {
        SCOPED_TRACE(outputToFile ? "file" : "pipe");
        ConsoleSandbox sandbox(L"Andr\u00e9 \u738b\u4f1f \U0001F600");
        Lines expected = Concat({{BANNER_TITLE, BANNER_RULE}, sandbox.RunLines(false, false)});
        ProgramRun run = sandbox.Run(L"--yes", "", outputToFile);
        ExpectOutput(run, expected, 0);
        EXPECT_NE(run.output.find("Andr\xC3\xA9 \xE7\x8E\x8B\xE4\xBC\x9F \xF0\x9F\x98\x80\\Local\\Google"),
                  std::string::npos);
        EXPECT_FALSE(PathExists(sandbox.chromeProfile + L"\\Current Tabs"));
    }
}

// On a console the text goes out as UTF-16 and the answer is typed in; the
// screen must show every character.
namespace {

// Runs popswat.exe in a console of its own (through the test helper), types
// the keys into it, and returns the screen's rows without the empty ones
// below the last line.
Lines RunInConsole(const std::wstring& screenFile, const std::wstring& keys, DWORD* exitCode) {
    std::wstring commandLine = L"\"" + TestProgramPath(L"popswat_testhelper.exe") + L"\" console \"" + screenFile +
                               L"\" \"" + keys + L"\" \"\\\"" + TestProgramPath(L"popswat.exe") + L"\\\"\"";
    ChildProcess console = StartProgram(commandLine, CREATE_NEW_CONSOLE);
    if (!console.process)
        return {"(console helper not started)"};
    if (!HasEnded(console, 60000))
        return {"(console helper did not end)"};
    GetExitCodeProcess(console.process.get(), exitCode);
    Lines rows = ReadLogLines(screenFile);
    while (!rows.empty() && rows.back().empty())
        rows.pop_back();
    return rows;
}

}  // namespace

TEST(ConsoleProgram, WritesEveryCharacterToAConsoleAndReadsTheTypedAnswer) {
    SKIP_UNLESS_UNDER_WINE();
    struct Case {
        const wchar_t* keys;  // \n stands for Enter
        const char* echo;
        bool runs;
    };
    const Case cases[] = {
        {L"y\\n", "y", true},
        {L"Yes, go ahead and clean\\n", "Yes, go ahead and clean", true},
        {L"nope\\n", "nope", false},
        {L"\\n", "", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.echo);
        ConsoleSandbox sandbox(L"Andr\u00e9 \u738b\u4f1f \U0001F600");
        ScopedEnvironmentVariable local(L"LOCALAPPDATA", sandbox.local.c_str());
        ScopedEnvironmentVariable roaming(L"APPDATA", sandbox.roaming.c_str());
        DWORD exitCode = 99;
        Lines rows = RunInConsole(sandbox.folder / L"screen.txt", c.keys, &exitCode);

        // The typed answer is echoed after the question; a screen row has no trailing blanks.
        std::string questionRow = std::string(QUESTION) + c.echo;
        questionRow.erase(questionRow.find_last_not_of(' ') + 1);
        Lines expected = {BANNER_TITLE, BANNER_RULE, WARNING, questionRow};
        if (c.runs)
            expected = Concat({expected, {""}, sandbox.RunLines(false, false)});
        else
            expected.push_back("Aborted.");
        EXPECT_EQ(rows, expected);
        EXPECT_EQ(exitCode, 0u);
        EXPECT_EQ(sandbox.Untouched(), !c.runs);
    }
}

// One cleanup at a time: a run that finds another one holding the lock does nothing.
TEST(ConsoleProgram, RefusesToCleanWhileAnotherCleanupRuns) {
    SKIP_UNLESS_UNDER_WINE();
    ConsoleSandbox sandbox;
    {
        CleanupRunLock otherRun;
        ASSERT_TRUE(otherRun.acquired());
        const Lines refused = {BANNER_TITLE, BANNER_RULE, "Another PopSwat cleanup is already running."};
        ExpectOutput(sandbox.Run(L"--yes"), refused, 1);
        ExpectOutput(sandbox.Run(L"--dry-run"), Concat({{BANNER_TITLE, BANNER_RULE}, PREVIEW_NOTE, {refused[2]}}), 1);
        ExpectOutput(sandbox.Run(L"", "y\n"),
                     {BANNER_TITLE, BANNER_RULE, WARNING, QUESTION, "Another PopSwat cleanup is already running."}, 1);
        // The read-only audit is no cleanup run.
        ExpectOutput(sandbox.Run(L"--audit"), EMPTY_AUDIT, 0);
        EXPECT_TRUE(sandbox.Untouched());
    }
    // A run whose thread ended without letting go (a window closed mid-run) blocks nothing.
    std::thread([] { new CleanupRunLock(); }).join();  // never destroyed: the thread abandons the mutex
    ExpectOutput(sandbox.Run(L"--yes"), Concat({{BANNER_TITLE, BANNER_RULE}, sandbox.RunLines(false, false)}), 0);
    EXPECT_FALSE(sandbox.Untouched());
}
