// The findings window of a running popswat-gui.exe: what it shows, what it copies, taking back site
// permissions, and a window that keeps answering while its workers run.
#include <gtest/gtest.h>

#include "gui/gui.h"
#include "tests/child_programs.h"
#include "tests/gui_window_driver.h"

namespace {

const wchar_t LOOKING[] = L"Looking for what brings pop-ups back...";
const wchar_t TAKING_BACK[] = L"Closing the browsers and taking back site permissions...";
const wchar_t NOTHING_FOUND[] = L"Nothing was found that brings pop-ups back.";
const wchar_t ANOTHER_RUN[] = L"Another PopSwat cleanup is already running.";
const wchar_t CONFIRM_TAKE_BACK[] =
    L"This will close ALL open browsers. Then sites will no longer be allowed to show notifications, open pop-ups or "
    L"download files on their own.\n\nYour open tabs, history, bookmarks and saved passwords are kept, and a copy of "
    L"each changed settings file is kept.\n\nContinue?";
const wchar_t GRANT_LINE[] = L"  [Google Chrome/Default] may show notifications: https://win-prize.example";

// A Chrome profile whose Preferences lets one site notify and opens a hijacked page at every start.
const char GRANTED[] =
    R"({"profile":{"content_settings":{"exceptions":{"notifications":{"https://win-prize.example:443,*":)"
    R"({"setting":1}}}}},"session":{"restore_on_startup":4,"startup_urls":["http://search-hijack.example/"]}})";

std::wstring ChromeProfile(const Sandbox& sandbox) {
    return sandbox.localAppData() + L"\\Google\\Chrome\\User Data\\Default";
}

// What popswat --review prints for the sandbox, as the clipboard holds text.
std::wstring ConsoleReview(const Sandbox& sandbox) {
    ProgramRun run = RunProgram(L"\"" + TestProgramPath(L"popswat.exe") + L"\" --review",
                                {{L"LOCALAPPDATA", sandbox.localAppData()}, {L"APPDATA", sandbox.appData()}}, "");
    EXPECT_TRUE(run.finished);
    return Utf8ToWide(run.output);
}

HWND TakeBackBox(const GuiProgram& gui) {
    ClickFindingsButton(gui.findings, IDC_TAKE_BACK_BUTTON);
    return WaitForTopLevelWindow(gui.child.id, L"#32770", L"PopSwat", 10000);
}

bool SummaryIs(const GuiProgram& gui, const std::wstring& text) {
    return SummaryText(gui.findings) == text;
}

TEST(GuiFindings, ReviewArgumentOpensOnlyAResizableFindingsWindowThatEscCloses) {
    Sandbox sandbox;
    {
        // Laid out for the forced DPI like the main window.
        GuiProgram large = StartFindingsOnly(sandbox, L"144");
        ASSERT_NE(large.findings, nullptr);
        EXPECT_EQ(ClientSize(large.findings).cx, 1050);
        EXPECT_EQ(ClientSize(large.findings).cy, 690);
        EXPECT_EQ(ChildRect(GetDlgItem(large.findings, IDCANCEL)).bottom, 690 - 24);
    }
    GuiProgram gui = StartFindingsOnly(sandbox);
    ASSERT_NE(gui.findings, nullptr);
    EXPECT_EQ(WaitForTopLevelWindow(gui.child.id, L"PopSwatWindow", nullptr, 300), nullptr);
    LONG style = GetWindowLongW(gui.findings, GWL_STYLE);
    EXPECT_EQ(style & WS_OVERLAPPEDWINDOW, WS_OVERLAPPEDWINDOW) << std::hex << style;
    SIZE client = ClientSize(gui.findings);
    EXPECT_EQ(client.cx, 700);
    EXPECT_EQ(client.cy, 460);
    ASSERT_TRUE(WaitForReport(gui.findings));
    EXPECT_NE(SummaryText(gui.findings), LOOKING);
    EXPECT_EQ(WindowText(GetDlgItem(gui.findings, IDC_TAKE_BACK_BUTTON)), L"Take back site permissions");
    EXPECT_EQ(WindowText(GetDlgItem(gui.findings, IDC_COPY_REPORT_BUTTON)), L"Copy report");
    EXPECT_EQ(WindowText(GetDlgItem(gui.findings, IDCANCEL)), L"Close");
    // Nothing to take back in an empty sandbox.
    EXPECT_FALSE(IsWindowEnabled(GetDlgItem(gui.findings, IDC_TAKE_BACK_BUTTON)));

    // Made as small as can be, it keeps its minimum size and every control inside.
    SetWindowPos(gui.findings, nullptr, 0, 0, 50, 50, SWP_NOMOVE | SWP_NOZORDER);
    client = ClientSize(gui.findings);
    EXPECT_EQ(client.cx, 460);
    EXPECT_EQ(client.cy, 260);
    RECT close = ChildRect(GetDlgItem(gui.findings, IDCANCEL));
    EXPECT_EQ(close.right, 460 - 16);
    EXPECT_EQ(close.bottom, 260 - 16);

    // The report has the focus; Esc there closes the window and ends the program.
    EXPECT_EQ(FocusOf(gui.findings), GetDlgItem(gui.findings, IDC_FINDINGS_REPORT));
    PressKey(VK_ESCAPE);
    EXPECT_EQ(WaitForExit(gui.child, 10000), 0u);
}

// Policies come from the registry: only the project's own Wine prefix is known to hold none but the test's.
TEST(GuiFindings, ShowsAndCountsWhatTheConsoleReportsAndCopiesItsText) {
    SKIP_UNLESS_UNDER_WINE();
    TemporaryRegistryKey chrome(HKEY_CURRENT_USER, L"Software\\Policies\\Google\\Chrome");
    if (!chrome.created())
        GTEST_SKIP() << "policy keys already exist in this prefix";
    chrome.SetText(L"ExtensionInstallForcelist", L"1", L"ncbkfmpgldjhaiebpnkdcmflhgojeiak;https://u.example/crx");
    Sandbox sandbox;
    MakeFile(ChromeProfile(sandbox) + L"\\Preferences", GRANTED);
    std::wstring console = ConsoleReview(sandbox);
    ASSERT_NE(console.find(GRANT_LINE), std::wstring::npos) << Utf8(console);

    GuiProgram gui = StartFindingsOnly(sandbox);
    ASSERT_NE(gui.findings, nullptr);
    ASSERT_TRUE(WaitForReport(gui.findings));
    // A site, a start-up page and a policy.
    EXPECT_EQ(SummaryText(gui.findings), L"3 things can bring pop-ups back.");
    EXPECT_EQ(ReportText(gui.findings), console);
    EXPECT_TRUE(IsWindowEnabled(GetDlgItem(gui.findings, IDC_TAKE_BACK_BUTTON)));

    EmptyClipboardForTest();
    ClickFindingsButton(gui.findings, IDC_COPY_REPORT_BUTTON);
    EXPECT_TRUE(WaitUntil([&] { return ClipboardText() == console; }, 10000)) << Utf8(ClipboardText());
}

TEST(GuiFindings, TakingBackClosesTheBrowsersAndLeavesNoGrant) {
    SKIP_UNLESS_UNDER_WINE();
    Sandbox sandbox;
    std::wstring preferences = ChromeProfile(sandbox) + L"\\Preferences";
    MakeFile(preferences, GRANTED);
    MakeFile(ChromeProfile(sandbox) + L"\\Current Session");
    // Two seconds between the close request and the exit keep the take-back going while the window is asked.
    const StandInBehaviour slow = {true, true, 2000};
    StandInBrowser chrome(slow, 1, L"chrome.exe");
    ASSERT_TRUE(chrome.started(1));
    GuiProgram gui = StartFindingsOnly(sandbox);
    ASSERT_NE(gui.findings, nullptr);
    ASSERT_TRUE(WaitForReport(gui.findings));
    ASSERT_EQ(SummaryText(gui.findings), L"2 things can bring pop-ups back.");

    // No, the default answer, changes nothing.
    HWND box = TakeBackBox(gui);
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(MessageBoxText(box), CONFIRM_TAKE_BACK);
    EXPECT_EQ(GetWindowLongW(GetDlgItem(box, IDNO), GWL_STYLE) & BS_TYPEMASK, BS_DEFPUSHBUTTON);
    AnswerMessageBox(box, IDNO);
    EXPECT_EQ(ReadWholeFile(preferences), GRANTED);
    EXPECT_FALSE(HasEnded(chrome.processes[0]));

    box = TakeBackBox(gui);
    ASSERT_NE(box, nullptr);
    AnswerMessageBox(box, IDYES);
    ASSERT_TRUE(WaitUntil([&] { return SummaryIs(gui, TAKING_BACK); }, 5000)) << Utf8(SummaryText(gui.findings));
    EXPECT_TRUE(AnswersWithin(gui.findings, 300));
    EXPECT_TRUE(SummaryIs(gui, TAKING_BACK)) << "answered after the take-back";
    EXPECT_FALSE(IsWindowEnabled(GetDlgItem(gui.findings, IDC_COPY_REPORT_BUTTON)));

    ASSERT_TRUE(WaitForReport(gui.findings));
    EXPECT_EQ(SummaryText(gui.findings), L"1 thing can bring pop-ups back.");
    std::wstring backup = ChromeProfile(sandbox) + L"\\Preferences.popswat-backup";
    std::wstring report = ReportText(gui.findings);
    // The take-back's own lines above the new report, which lists no site.
    EXPECT_EQ(report.rfind(L"Closing browsers...\r\n", 0), 0u) << Utf8(report);
    const std::wstring parts[] = {
        L"\r\n  notifications no longer allowed: https://win-prize.example\r\n",
        L"\r\n  saved a copy of the old settings: " + backup + L"\r\n",
        L"\r\nSite permissions taken back: 1. Settings files left alone: 0.\r\n\r\nWhat can bring pop-ups back",
        L"on their own:\r\n  Nothing found.\r\n",
    };
    for (const std::wstring& line : parts)
        EXPECT_NE(report.find(line), std::wstring::npos) << Utf8(line);
    EXPECT_EQ(report.find(GRANT_LINE), std::wstring::npos);
    EXPECT_FALSE(IsWindowEnabled(GetDlgItem(gui.findings, IDC_TAKE_BACK_BUTTON)));

    EXPECT_EQ(ReadLogLines(chrome.logs[0]), ClosedStandInLog(slow));
    EXPECT_EQ(ReadWholeFile(backup), GRANTED);
    EXPECT_EQ(ReadWholeFile(preferences).find("win-prize"), std::string::npos);
    EXPECT_NE(ReadWholeFile(preferences).find("search-hijack"), std::string::npos);
    EXPECT_TRUE(PathExists(ChromeProfile(sandbox) + L"\\Current Session"));
}

TEST(GuiFindings, TakingBackWhileAnotherRunHoldsTheLockChangesNothing) {
    SKIP_UNLESS_UNDER_WINE();
    Sandbox sandbox;
    std::wstring preferences = ChromeProfile(sandbox) + L"\\Preferences";
    MakeFile(preferences, GRANTED);
    CleanupRunLock otherRun;
    ASSERT_TRUE(otherRun.acquired());
    GuiProgram gui = StartFindingsOnly(sandbox);
    ASSERT_NE(gui.findings, nullptr);
    ASSERT_TRUE(WaitForReport(gui.findings));
    std::wstring before = ReportText(gui.findings);

    HWND box = TakeBackBox(gui);
    ASSERT_NE(box, nullptr);
    AnswerMessageBox(box, IDYES);
    ASSERT_TRUE(WaitUntil([&] { return SummaryIs(gui, ANOTHER_RUN); }, 10000)) << Utf8(SummaryText(gui.findings));
    EXPECT_TRUE(WaitForReport(gui.findings, 5000));
    EXPECT_EQ(ReportText(gui.findings), before);
    EXPECT_TRUE(IsWindowEnabled(GetDlgItem(gui.findings, IDC_TAKE_BACK_BUTTON)));
    EXPECT_EQ(ReadWholeFile(preferences), GRANTED);
    EXPECT_FALSE(PathExists(preferences + L".popswat-backup"));
}

// Many large Preferences files (sparse: they cost no disk) keep the review reading for a while.
TEST(GuiFindings, AnswersWhileTheReviewRunsAndKeepsUnreadableFilesApart) {
    SKIP_UNLESS_UNDER_WINE();
    Sandbox sandbox;
    const int profiles = 15;
    for (int n = 1; n <= profiles; ++n)
        ASSERT_TRUE(MakeSparseFile(
            sandbox.localAppData() + L"\\Google\\Chrome\\User Data\\Profile " + std::to_wstring(n) + L"\\Preferences",
            60LL << 20));
    GuiProgram gui = StartFindingsOnly(sandbox);
    ASSERT_NE(gui.findings, nullptr);
    ASSERT_TRUE(SummaryIs(gui, LOOKING));
    EXPECT_TRUE(AnswersWithin(gui.findings, 300));
    EXPECT_TRUE(SummaryIs(gui, LOOKING)) << "answered after the review";
    EXPECT_FALSE(IsWindowEnabled(GetDlgItem(gui.findings, IDC_TAKE_BACK_BUTTON)));

    ASSERT_TRUE(WaitForReport(gui.findings));
    // Files that could not be read have a heading of their own and are no cause.
    EXPECT_EQ(SummaryText(gui.findings), NOTHING_FOUND);
    std::wstring report = ReportText(gui.findings);
    EXPECT_NE(
        report.find(L"\r\nFiles that could not be read:\r\n  [Google Chrome/Profile 1] Preferences: not valid JSON"),
        std::wstring::npos)
        << Utf8(report);
}

// Whatever a site's name holds, each finding stays one masked line of at most 1,023 characters.
TEST(GuiFindings, HostileFindingsKeepTheWindowUsable) {
    SKIP_UNLESS_UNDER_WINE();
    Sandbox sandbox;
    std::string sites = R"("https://)" + std::string(100000, 'a') + R"(.example:443,*":{"setting":1},)" +
                        R"("https://\u001b[2J\n\u202eevil.example:443,*":{"setting":1})";
    for (int n = 2; n < 5000; ++n)
        sites += R"(,"https://s)" + std::to_string(n) + R"(.example:443,*":{"setting":1})";
    MakeFile(ChromeProfile(sandbox) + L"\\Preferences",
             R"({"profile":{"content_settings":{"exceptions":{"notifications":{)" + sites + "}}}}}");
    GuiProgram gui = StartFindingsOnly(sandbox);
    ASSERT_NE(gui.findings, nullptr);
    ASSERT_TRUE(WaitForReport(gui.findings));
    EXPECT_EQ(SummaryText(gui.findings), L"5000 things can bring pop-ups back.");
    EXPECT_TRUE(AnswersWithin(gui.findings, 300));
    std::wstring report = ReportText(gui.findings);
    EXPECT_NE(report.find(L"may show notifications: https://?[2J??evil.example\r\n"), std::wstring::npos);
    std::size_t lines = 0, unsafe = 0;
    for (std::size_t start = 0, end; (end = report.find(L"\r\n", start)) != std::wstring::npos; start = end + 2) {
        std::wstring line = report.substr(start, end - start);
        ++lines;
        unsafe += line.size() > 1023 || MaskUnsafeCharacters(line) != line;
    }
    EXPECT_GT(lines, 5000u);
    EXPECT_EQ(unsafe, 0u);
    EXPECT_TRUE(IsWindowEnabled(GetDlgItem(gui.findings, IDC_TAKE_BACK_BUTTON)));
}

}  // namespace
