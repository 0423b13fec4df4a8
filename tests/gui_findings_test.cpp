// The findings window of a running popswat-gui.exe: what it shows, what it copies, taking back site
// permissions, fixing browser shortcuts, and a window that keeps answering while its workers run.
#include <gtest/gtest.h>

#include "gui/gui.h"
#include "tests/child_programs.h"
#include "tests/gui_window_driver.h"
#include "tests/permission_databases.h"
#include "tests/review_report_lines.h"
#include "tests/shortcut_writer.h"

namespace {

const wchar_t LOOKING[] = L"Looking for what brings pop-ups back...";
const wchar_t TAKING_BACK[] = L"Closing the browsers and taking back site permissions...";
const wchar_t NOTHING_FOUND[] = L"Nothing was found that brings pop-ups back.";
const wchar_t ANOTHER_RUN[] = L"Another PopSwat cleanup is already running.";
const wchar_t CONFIRM_TAKE_BACK[] =
    L"This will close ALL open browsers. Then sites will no longer be allowed to show notifications, open pop-ups or "
    L"download files on their own.\n\nYour open tabs, history, bookmarks and saved passwords are kept, and a copy of "
    L"each changed settings file is kept.\n\nContinue?";
const wchar_t CONFIRM_FIX_SHORTCUTS[] =
    L"The web addresses and extensions will be taken out of the browser shortcuts named in the report. Nothing else "
    L"in them changes, and no browser needs to be closed.\n\nA copy of each old shortcut is kept in PopSwat's "
    L"backups folder.\n\nContinue?";
const wchar_t GRANT_LINE[] = L"  [Google Chrome/Default] may show notifications: https://win-prize.example";

// A Chrome profile whose Preferences lets one site notify and opens a hijacked page at every start.
const char GRANTED[] =
    R"({"profile":{"content_settings":{"exceptions":{"notifications":{"https://win-prize.example:443,*":)"
    R"({"setting":1}}}}},"session":{"restore_on_startup":4,"startup_urls":["http://search-hijack.example/"]}})";

std::wstring ChromeProfile(const Sandbox& sandbox) {
    return sandbox.localAppData() + L"\\Google\\Chrome\\User Data\\Default";
}

// A Chrome shortcut pinned to the sandbox's taskbar (below its APPDATA), where the review
// and the repair look; never a real Desktop or Start menu. COM must be initialised.
std::wstring PinChromeShortcut(const Sandbox& sandbox, const std::wstring& name, const std::wstring& arguments) {
    std::wstring folder = sandbox.appData() + L"\\Microsoft\\Internet Explorer\\Quick Launch\\User Pinned\\TaskBar";
    MakeFolder(folder);
    std::wstring path = folder + L"\\" + name;
    EXPECT_TRUE(WriteShortcutFile(
        path, BrowserShortcut(L"C:\\Program Files\\Google\\Chrome\\Application\\chrome.exe", arguments)));
    return path;
}

std::wstring ArgumentsOf(const std::wstring& shortcut) {
    return ReadShortcut(shortcut).fields.arguments;
}

// The folders the shortcut repair made below the sandbox's PopSwat\Backups.
std::vector<std::wstring> BackupFolders(const Sandbox& sandbox) {
    std::vector<std::wstring> folders;
    ForEachFolderEntry(sandbox.localAppData() + L"\\PopSwat\\Backups",
                       [&](const std::wstring& name, uint32_t) { folders.push_back(name); });
    return folders;
}

// What popswat --review prints for the sandbox, as the clipboard holds text.
std::wstring ConsoleReview(const Sandbox& sandbox) {
    ProgramRun run = RunProgram(L"\"" + TestProgramPath(L"popswat.exe") + L"\" --review",
                                {{L"LOCALAPPDATA", sandbox.localAppData()}, {L"APPDATA", sandbox.appData()}}, "");
    EXPECT_TRUE(run.finished);
    return Utf8ToWide(run.output);
}

bool SummaryIs(const GuiProgram& gui, const std::wstring& text) {
    return SummaryText(gui.findings) == text;
}

TEST(GuiFindings, ReviewArgumentOpensOnlyAResizableFindingsWindowThatEscCloses) {
    Sandbox sandbox;
    {
        // A site opened as an app is named, but the repair keeps it: no shortcut to fix.
        ComApartment apartment;
        PinChromeShortcut(sandbox, L"Site.lnk", L"--app=https://app.example/");
    }
    // A site Firefox lets notify is reported with the id of its fix (this window's button takes back Chromium's).
    std::wstring firefox = sandbox.appData() + L"\\Mozilla\\Firefox\\Profiles\\x.default";
    MakeFolder(firefox);
    MakePermissionDatabase(firefox + L"\\permissions.sqlite", 13,
                           {{"https://win-prize.example", "desktop-notification"}});
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
    EXPECT_EQ(WindowText(GetDlgItem(gui.findings, IDC_FIX_SHORTCUTS_BUTTON)), L"Fix browser shortcuts");
    EXPECT_EQ(WindowText(GetDlgItem(gui.findings, IDC_COPY_REPORT_BUTTON)), L"Copy report");
    EXPECT_EQ(WindowText(GetDlgItem(gui.findings, IDCANCEL)), L"Close");
    EXPECT_NE(ReportText(gui.findings).find(L"opens a site as an app"), std::wstring::npos);
    EXPECT_NE(
        ReportText(gui.findings).find(L"  [Firefox/x.default] may show notifications: https://win-prize.example ["),
        std::wstring::npos);
    // Nothing to take back or to fix.
    EXPECT_FALSE(FindingsButtonEnabled(gui.findings, IDC_TAKE_BACK_BUTTON));
    EXPECT_FALSE(FindingsButtonEnabled(gui.findings, IDC_FIX_SHORTCUTS_BUTTON));

    // Made as small as can be, it keeps its minimum size and every control inside.
    SetWindowPos(gui.findings, nullptr, 0, 0, 50, 50, SWP_NOMOVE | SWP_NOZORDER);
    client = ClientSize(gui.findings);
    EXPECT_EQ(client.cx, 620);
    EXPECT_EQ(client.cy, 260);
    RECT close = ChildRect(GetDlgItem(gui.findings, IDCANCEL));
    EXPECT_EQ(close.right, 620 - 16);
    EXPECT_EQ(close.bottom, 260 - 16);

    // The report has the focus and takes no typing; Esc there closes the window and ends the program.
    HWND report = GetDlgItem(gui.findings, IDC_FINDINGS_REPORT);
    EXPECT_EQ(FocusOf(gui.findings), report);
    EXPECT_NE(GetWindowLongW(report, GWL_STYLE) & ES_READONLY, 0);
    std::wstring shown = ReportText(gui.findings);
    SendMessageW(report, WM_CHAR, L'x', 0);
    EXPECT_EQ(ReportText(gui.findings), shown);
    // Enter presses the focused button, as in a dialog box: Tab passes the two disabled
    // buttons and lands on Copy report.
    SetForegroundWindow(gui.findings);
    ASSERT_TRUE(WaitUntil([&] { return GetForegroundWindow() == gui.findings; }, 5000));
    EmptyClipboardForTest();
    EXPECT_EQ(TabToNextControl(gui.findings), IDC_COPY_REPORT_BUTTON);
    PressKey(VK_RETURN);
    EXPECT_TRUE(WaitUntil([&] { return ClipboardText() == shown; }, 10000)) << Utf8(ClipboardText());
    EXPECT_EQ(FindingsWindowCount(gui), 1);
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
    ComApartment apartment;
    PinChromeShortcut(sandbox, L"Google Chrome.lnk", L"https://ad.example/");
    std::wstring console = ConsoleReview(sandbox);
    ASSERT_NE(console.find(GRANT_LINE), std::wstring::npos) << Utf8(console);

    GuiProgram gui = StartFindingsOnly(sandbox);
    ASSERT_NE(gui.findings, nullptr);
    ASSERT_TRUE(WaitForReport(gui.findings));
    // A site, a start-up page, a policy and a shortcut.
    EXPECT_EQ(SummaryText(gui.findings), L"4 things can bring pop-ups back.");
    EXPECT_EQ(ReportText(gui.findings), console);
    EXPECT_TRUE(FindingsButtonEnabled(gui.findings, IDC_TAKE_BACK_BUTTON));
    EXPECT_TRUE(FindingsButtonEnabled(gui.findings, IDC_FIX_SHORTCUTS_BUTTON));

    // Tab goes from the report through the buttons, left to right, and back.
    SetForegroundWindow(gui.findings);
    ASSERT_TRUE(
        WaitUntil([&] { return FocusOf(gui.findings) == GetDlgItem(gui.findings, IDC_FINDINGS_REPORT); }, 5000));
    for (int id :
         {IDC_TAKE_BACK_BUTTON, IDC_FIX_SHORTCUTS_BUTTON, IDC_COPY_REPORT_BUTTON, IDCANCEL, IDC_FINDINGS_REPORT})
        EXPECT_EQ(TabToNextControl(gui.findings), id);

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
    HWND box = ConfirmationBoxOf(gui, IDC_TAKE_BACK_BUTTON);
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(MessageBoxText(box), CONFIRM_TAKE_BACK);
    EXPECT_EQ(GetWindowLongW(GetDlgItem(box, IDNO), GWL_STYLE) & BS_TYPEMASK, BS_DEFPUSHBUTTON);
    AnswerMessageBox(box, IDNO);
    EXPECT_EQ(ReadWholeFile(preferences), GRANTED);
    EXPECT_FALSE(HasEnded(chrome.processes[0]));

    box = ConfirmationBoxOf(gui, IDC_TAKE_BACK_BUTTON);
    ASSERT_NE(box, nullptr);
    AnswerMessageBox(box, IDYES);
    ASSERT_TRUE(WaitUntil([&] { return SummaryIs(gui, TAKING_BACK); }, 5000)) << Utf8(SummaryText(gui.findings));
    EXPECT_TRUE(AnswersWithin(gui.findings, 300));
    EXPECT_TRUE(SummaryIs(gui, TAKING_BACK)) << "answered after the take-back";
    EXPECT_FALSE(FindingsButtonEnabled(gui.findings, IDC_COPY_REPORT_BUTTON));

    ASSERT_TRUE(WaitForReport(gui.findings));
    EXPECT_EQ(SummaryText(gui.findings), L"1 thing can bring pop-ups back.");
    std::wstring backup = NewestRunFolder() + L"\\1.Preferences";
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
    EXPECT_FALSE(FindingsButtonEnabled(gui.findings, IDC_TAKE_BACK_BUTTON));

    EXPECT_EQ(ReadLogLines(chrome.logs[0]), ClosedStandInLog(slow));
    EXPECT_EQ(ReadWholeFile(backup), GRANTED);
    EXPECT_EQ(ReadWholeFile(preferences).find("win-prize"), std::string::npos);
    EXPECT_NE(ReadWholeFile(preferences).find("search-hijack"), std::string::npos);
    EXPECT_TRUE(PathExists(ChromeProfile(sandbox) + L"\\Current Session"));
}

// Neither repair changes anything while another run holds the lock; the findings shown still hold.
TEST(GuiFindings, RepairingWhileAnotherRunHoldsTheLockChangesNothing) {
    SKIP_UNLESS_UNDER_WINE();
    Sandbox sandbox;
    std::wstring preferences = ChromeProfile(sandbox) + L"\\Preferences";
    MakeFile(preferences, GRANTED);
    ComApartment apartment;
    std::wstring shortcut = PinChromeShortcut(sandbox, L"Google Chrome.lnk", L"https://ad.example/");
    CleanupRunLock otherRun;
    ASSERT_TRUE(otherRun.acquired());
    for (int button : {IDC_TAKE_BACK_BUTTON, IDC_FIX_SHORTCUTS_BUTTON}) {
        SCOPED_TRACE(button);
        GuiProgram gui = StartFindingsOnly(sandbox);
        ASSERT_NE(gui.findings, nullptr);
        ASSERT_TRUE(WaitForReport(gui.findings));
        std::wstring before = ReportText(gui.findings);

        HWND box = ConfirmationBoxOf(gui, button);
        ASSERT_NE(box, nullptr);
        AnswerMessageBox(box, IDYES);
        ASSERT_TRUE(WaitUntil([&] { return SummaryIs(gui, ANOTHER_RUN); }, 10000)) << Utf8(SummaryText(gui.findings));
        EXPECT_TRUE(WaitForReport(gui.findings, 5000));
        EXPECT_EQ(ReportText(gui.findings), before);
        EXPECT_TRUE(FindingsButtonEnabled(gui.findings, button));
    }
    EXPECT_EQ(ReadWholeFile(preferences), GRANTED);
    EXPECT_FALSE(PathExists(preferences + L".popswat-backup"));
    EXPECT_EQ(ArgumentsOf(shortcut), L"https://ad.example/");
    EXPECT_FALSE(PathExists(sandbox.localAppData() + L"\\PopSwat"));
}

// Fixing browser shortcuts closes no browser: a stand-in Chrome keeps running.
TEST(GuiFindings, FixingBrowserShortcutsTakesOutTheAddressAndKeepsACopy) {
    SKIP_UNLESS_UNDER_WINE();
    Sandbox sandbox;
    MakeFile(ChromeProfile(sandbox) + L"\\Current Session");
    ComApartment apartment;
    std::wstring shortcut =
        PinChromeShortcut(sandbox, L"Google Chrome.lnk", L"--profile-directory=Default https://ad.example/");
    StandInBrowser chrome({true, true, 0}, 1, L"chrome.exe");
    ASSERT_TRUE(chrome.started(1));
    GuiProgram gui = StartFindingsOnly(sandbox);
    ASSERT_NE(gui.findings, nullptr);
    ASSERT_TRUE(WaitForReport(gui.findings));
    ASSERT_EQ(SummaryText(gui.findings), L"1 thing can bring pop-ups back.");
    EXPECT_TRUE(FindingsButtonEnabled(gui.findings, IDC_FIX_SHORTCUTS_BUTTON));
    EXPECT_FALSE(FindingsButtonEnabled(gui.findings, IDC_TAKE_BACK_BUTTON));

    // No, the default answer, changes nothing.
    HWND box = ConfirmationBoxOf(gui, IDC_FIX_SHORTCUTS_BUTTON);
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(MessageBoxText(box), CONFIRM_FIX_SHORTCUTS);
    EXPECT_EQ(GetWindowLongW(GetDlgItem(box, IDNO), GWL_STYLE) & BS_TYPEMASK, BS_DEFPUSHBUTTON);
    AnswerMessageBox(box, IDNO);
    EXPECT_EQ(ArgumentsOf(shortcut), L"--profile-directory=Default https://ad.example/");
    EXPECT_TRUE(BackupFolders(sandbox).empty());

    box = ConfirmationBoxOf(gui, IDC_FIX_SHORTCUTS_BUTTON);
    ASSERT_NE(box, nullptr);
    AnswerMessageBox(box, IDYES);
    // The run's lines above the new report, in which no shortcut is left.
    ASSERT_TRUE(WaitUntil([&] { return SummaryIs(gui, NOTHING_FOUND); }, 60000)) << Utf8(SummaryText(gui.findings));
    ASSERT_TRUE(WaitForReport(gui.findings));
    EXPECT_EQ(ArgumentsOf(shortcut), L"--profile-directory=Default");
    std::vector<std::wstring> backups = BackupFolders(sandbox);
    ASSERT_EQ(backups.size(), 1u);
    std::wstring folder = sandbox.localAppData() + L"\\PopSwat\\Backups\\" + backups[0];
    EXPECT_EQ(ArgumentsOf(folder + L"\\1.lnk"), L"--profile-directory=Default https://ad.example/");
    EXPECT_EQ(ReadWholeFile(folder + L"\\index.txt"), "1.lnk\t" + Utf8(shortcut) + "\r\n");
    std::wstring report = ReportText(gui.findings);
    std::wstring runLines = L"Repairing browser shortcuts...\r\n  shortcut no longer opens https://ad.example/: " +
                            shortcut + L"\r\n  saved a copy of each old shortcut in: " + folder +
                            L"\r\n\r\nBrowser shortcuts repaired: 1. Shortcuts left as they were: 0.\r\n\r\n";
    EXPECT_EQ(report.rfind(runLines, 0), 0u) << Utf8(report);
    EXPECT_EQ(report.find(L"[shortcut]"), std::wstring::npos) << Utf8(report);
    EXPECT_FALSE(FindingsButtonEnabled(gui.findings, IDC_FIX_SHORTCUTS_BUTTON));
    EXPECT_FALSE(HasEnded(chrome.processes[0]));
    EXPECT_TRUE(PathExists(ChromeProfile(sandbox) + L"\\Current Session"));
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
    EXPECT_FALSE(FindingsButtonEnabled(gui.findings, IDC_TAKE_BACK_BUTTON));

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
    EXPECT_NE(WithoutFindingIds(report).find(L"may show notifications: https://?[2J??evil.example\r\n"),
              std::wstring::npos);
    std::size_t lines = 0, unsafe = 0;
    for (std::size_t start = 0, end; (end = report.find(L"\r\n", start)) != std::wstring::npos; start = end + 2) {
        std::wstring line = report.substr(start, end - start);
        ++lines;
        unsafe += line.size() > 1023 || MaskUnsafeCharacters(line) != line;
    }
    EXPECT_GT(lines, 5000u);
    EXPECT_EQ(unsafe, 0u);
    EXPECT_TRUE(FindingsButtonEnabled(gui.findings, IDC_TAKE_BACK_BUTTON));
}

}  // namespace
