// What the findings window asks and says, made without a window: the questions
// before a fix and an undo, the lines after them, the command line of the
// restart as administrator, and the texts' inserts.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "gui/gui.h"
#include "tests/test_support.h"

#include <shellapi.h>

namespace {

constexpr UINT REORDERED_TEXT = 9000;  // "%2 comes before %1", in the tests' string table

FixTarget Target(const char* kind, const wchar_t* id) {
    FixTarget target;
    target.kind = FindFixKind(kind);
    target.findingId = id;
    return target;
}

ChangeEntry Entry(const char* kind, const wchar_t* location, ChangeState state, const wchar_t* why = L"") {
    ChangeEntry entry;
    entry.kind = kind;
    entry.findingId = location;
    entry.location = location;
    entry.state = state;
    entry.why = why;
    return entry;
}

TEST(GuiFindingsTexts, InsertsGoWhereTheTextPutsThemAndAreNeverReadAsFormats) {
    EXPECT_EQ(FormatText(REORDERED_TEXT, {L"one", L"two"}), L"two comes before one");
    EXPECT_EQ(FormatText(IDS_RESULT_LEFT, {L"C:\\a%1b", L"50%"}), L"Left as it was: C:\\a%1b (50%)");
    EXPECT_EQ(FindingsSummary(0), L"Nothing was found that brings pop-ups back.");
    EXPECT_EQ(FindingsSummary(1), L"1 thing can bring pop-ups back.");
    EXPECT_EQ(FindingsSummary(5000), L"5000 things can bring pop-ups back.");
    // Characters beyond ASCII survive the resource compiler.
    EXPECT_EQ(LoadText(IDS_SUBTITLE), L"Stop browser popups \u2022 reset tabs \u2022 clear history");
    EXPECT_EQ(LoadText(60000), L"");
}

TEST(GuiFindingsTexts, FixQuestionCountsEachKindAndSaysWhetherTheBrowsersClose) {
    const struct {
        const char* name;
        std::vector<FixTarget> targets;
        const wchar_t* expected;
    } rows[] = {
        {"a site permission closes the browsers",
         {Target("site-permission", L"a")},
         L"PopSwat will fix 1 thing(s):\r\n  1 site permission(s)\r\nALL open browsers will be closed first."},
        {"shortcuts and a start-up value close none, the table's order kept",
         {Target("run-value", L"c"), Target("browser-shortcut", L"a"), Target("browser-shortcut", L"b")},
         L"PopSwat will fix 3 thing(s):\r\n  2 browser shortcut(s)\r\n  1 start-up value(s)\r\nNo browser needs to be "
         L"closed."},
        {"one kind that closes them is enough",
         {Target("startup-item", L"a"), Target("site-permission", L"b")},
         L"PopSwat will fix 2 thing(s):\r\n  1 site permission(s)\r\n  1 Startup item(s)\r\nALL open browsers will be "
         L"closed first."},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        std::wstring question = FixQuestion(row.targets);
        EXPECT_EQ(question.substr(0, wcslen(row.expected)), row.expected) << Utf8(question);
        EXPECT_EQ(question.substr(question.size() - 9), L"Continue?");
    }
}

TEST(GuiFindingsTexts, UndoQuestionListsOnlyWhatIsNotUndoneAndCutsALongList) {
    ChangeRunSummary run;
    run.record.started = L"2026-12-07T14:30:05";
    run.record.changes = {Entry("browser-shortcut", L"C:\\d\\Chrome.lnk", ChangeState::Done),
                          Entry("site-permission", L"C:\\p\\Preferences", ChangeState::Undone),
                          Entry("run-value", L"HKEY_CURRENT_USER\\Run\\x", ChangeState::Left, L"gone")};
    EXPECT_EQ(UndoQuestion(run),
              L"PopSwat will put back 1 change(s) made on 2026-12-07T14:30:05:\r\n  browser shortcut(s): "
              L"C:\\d\\Chrome.lnk\r\nNo browser needs to be closed.\r\n\r\nContinue?");
    run.record.changes.clear();
    for (int n = 0; n < 20; ++n)
        run.record.changes.push_back(Entry("site-permission", L"C:\\p\\Preferences", ChangeState::Pending));
    std::wstring question = UndoQuestion(run);
    EXPECT_NE(question.find(L"put back 20 change(s)"), std::wstring::npos);
    EXPECT_NE(question.find(L"\r\n  and 8 more\r\nALL open browsers will be closed first."), std::wstring::npos)
        << Utf8(question);
}

TEST(GuiFindingsTexts, ChangeResultSaysPerChangeWhatWasDoneOrWhyItWasLeft) {
    WindowChangeResult fix;
    fix.outcome.record.changes = {
        Entry("site-permission", L"C:\\p\\Pref\nerences", ChangeState::Done),
        Entry("run-value", L"HKEY_LOCAL_MACHINE\\Run\\x", ChangeState::Left, L"needs an administrator")};
    fix.outcome.done = 1;
    fix.outcome.left = {{"run-value", L"needs an administrator"}};
    EXPECT_EQ(ChangeResultText(fix),
              L"Fixed: C:\\p\\Pref?erences\r\nLeft as it was: HKEY_LOCAL_MACHINE\\Run\\x (needs "
              L"an administrator)\r\nFixed: 1. Left as they were: 1.\r\n");
    EXPECT_EQ(RowOutcome(fix, L"hkey_local_machine\\run\\x"),
              L"Left as it was: HKEY_LOCAL_MACHINE\\Run\\x (needs an administrator)");
    EXPECT_EQ(RowOutcome(fix, L"another"), L"");
    EXPECT_EQ(RowOutcome(fix, L""), L"");

    WindowChangeResult undo;
    undo.undo = true;
    undo.failed = true;
    undo.outcome.record.changes = {Entry("browser-shortcut", L"C:\\d\\a.lnk", ChangeState::Undone)};
    undo.outcome.done = 1;
    EXPECT_EQ(ChangeResultText(undo),
              L"Put back: C:\\d\\a.lnk\r\nPut back: 1. Left as they were: 0.\r\nCould not finish.\r\n");

    WindowChangeResult refused;
    refused.outcome.lockHeldElsewhere = true;
    EXPECT_EQ(ChangeResultText(refused), L"Another PopSwat cleanup is already running.\r\n");
    WindowChangeResult nothing;
    nothing.undo = true;
    nothing.outcome.nothingToDo = true;
    EXPECT_EQ(ChangeResultText(nothing), L"Nothing to undo: every recorded change was undone already.\r\n");
}

TEST(GuiFindingsTexts, TheRestartAsAdministratorNamesExactlyTheChosenIds) {
    struct Row {
        const char* name;
        std::vector<const wchar_t*> arguments;
        bool findingsOnly;
        std::vector<std::wstring> ids;
    } rows[] = {
        {"nothing", {L"popswat-gui"}, false, {}},
        {"the findings window", {L"popswat-gui", L"--review"}, true, {}},
        {"two ids",
         {L"popswat-gui", L"--review", L"--fix=0a1b2c3d4e5f,ABCDEF012345"},
         true,
         {L"0a1b2c3d4e5f", L"ABCDEF012345"}},
        {"ids without the findings window fix nothing", {L"popswat-gui", L"--fix=0a1b2c3d4e5f"}, false, {}},
        {"what is no id is dropped",
         {L"popswat-gui", L"--fix=,0a1b2c3d4e5f,,..\\x,zz", L"--review"},
         true,
         {L"0a1b2c3d4e5f"}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        GuiArguments parsed = ParseGuiArguments(static_cast<int>(row.arguments.size()), row.arguments.data());
        EXPECT_EQ(parsed.findingsOnly, row.findingsOnly);
        EXPECT_EQ(parsed.fixIds, row.ids);
    }
    // What the restart is given reads back as the same ids.
    std::vector<std::wstring> ids = {L"0a1b2c3d4e5f", L"ffffffffffff"};
    std::wstring commandLine = L"popswat-gui " + RestartParameters(ids);
    EXPECT_EQ(RestartParameters(ids), L"--review --fix=0a1b2c3d4e5f,ffffffffffff");
    int count = 0;
    LPWSTR* arguments = CommandLineToArgvW(commandLine.c_str(), &count);
    ASSERT_NE(arguments, nullptr);
    GuiArguments parsed = ParseGuiArguments(count, arguments);
    LocalFree(arguments);
    EXPECT_TRUE(parsed.findingsOnly);
    EXPECT_EQ(parsed.fixIds, ids);

    std::vector<FixTarget> targets = {Target("site-permission", L"aaaaaaaaaaaa"), Target("run-value", L"bbbbbbbbbbbb"),
                                      Target("browser-shortcut", L"cccccccccccc")};
    std::vector<FixTarget> chosen = TargetsWithIds(targets, {L"CCCCCCCCCCCC", L"aaaaaaaaaaaa", L"dddddddddddd"});
    ASSERT_EQ(chosen.size(), 2u);
    EXPECT_EQ(chosen[0].findingId, L"aaaaaaaaaaaa");
    EXPECT_EQ(chosen[1].findingId, L"cccccccccccc");
}

}  // namespace
