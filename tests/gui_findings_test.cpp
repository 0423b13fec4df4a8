// The findings window of a running popswat-gui.exe: the list it shows, what it copies, fixing the
// ticked rows and undoing the last fix, the restart as administrator, the keyboard, and a window
// that keeps answering while its workers run.
#include <gtest/gtest.h>

#include <algorithm>
#include <iostream>
#include <ostream>

#include "gui/gui.h"

#include <commctrl.h>
#include "tests/child_programs.h"
#include "tests/gui_window_driver.h"
#include "tests/permission_databases.h"
#include "tests/review_report_lines.h"
#include "tests/shortcut_writer.h"

namespace {

const wchar_t LOOKING[] = L"Looking for what brings pop-ups back...";
const wchar_t FIXING[] = L"Fixing what was chosen...";
const wchar_t NOTHING_FOUND[] = L"Nothing was found that brings pop-ups back.";
const wchar_t ANOTHER_RUN[] = L"Another PopSwat cleanup is already running.";
const wchar_t FIX_SITE_QUESTION[] =
    L"PopSwat will fix 1 thing(s):\r\n  1 site permission(s)\r\nALL open browsers will be closed first.\r\n\r\nWhat is "
    L"changed is kept, and \"Undo last fix\" puts it back.\r\n\r\nContinue?";
const wchar_t FIX_SHORTCUT_QUESTION[] =
    L"PopSwat will fix 1 thing(s):\r\n  1 browser shortcut(s)\r\nNo browser needs to be closed.\r\n\r\nWhat is changed "
    L"is "
    L"kept, and \"Undo last fix\" puts it back.\r\n\r\nContinue?";
const wchar_t SITE_FIX[] = L"Takes back what the site was allowed to do.";
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

void ExpectRows(HWND findings, const std::vector<ListRow>& expected) {
    EXPECT_EQ(ListRows(findings), expected);
}

// Waits for the box of that row to become `box`.
bool BoxBecomes(HWND findings, int row, int box) {
    return WaitUntil([&] { return ListRowAt(findings, row).box == box; }, 5000);
}

// Space on the row, with the list focused: whether its box becomes `box`.
bool SpaceOnRow(HWND findings, int row, int box) {
    SelectListRow(findings, row);
    PressKey(VK_SPACE);
    return BoxBecomes(findings, row, box);
}

const ListRow GRANT_ROW = {L"win-prize.example may show notifications", L"Google Chrome, profile Default", SITE_FIX, 2};
const ListRow START_PAGE_ROW = {
    L"Opens http://search-hijack.example/ at every start", L"Google Chrome, profile Default",
    L"Removes the page from Preferences and Secure Preferences, so the browser's own default applies (kept in the "
    L"record).",
    2};

// A value of the Wine prefix's own machine-wide Run key, removed again when it goes.
struct MachineRunValue {
    std::wstring name = L"PopSwat-test-" + std::to_wstring(GetCurrentProcessId());
    const wchar_t* key = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";
    explicit MachineRunValue(const std::wstring& command) {
        RegSetKeyValueW(HKEY_LOCAL_MACHINE, key, name.c_str(), REG_SZ, command.c_str(),
                        static_cast<DWORD>((command.size() + 1) * sizeof(wchar_t)));
    }
    ~MachineRunValue() { RegDeleteKeyValueW(HKEY_LOCAL_MACHINE, key, name.c_str()); }
    bool exists() const {
        return RegGetValueW(HKEY_LOCAL_MACHINE, key, name.c_str(), RRF_RT_REG_SZ, nullptr, nullptr, nullptr) ==
               ERROR_SUCCESS;
    }
};

TEST(GuiFindings, ReviewArgumentOpensOnlyAResizableListWindowThatEscCloses) {
    Sandbox sandbox;
    {
        // A site opened as an app is named, but the repair keeps it: no shortcut to fix.
        ComApartment apartment;
        PinChromeShortcut(sandbox, L"Site.lnk", L"--app=https://app.example/");
    }
    // A site Firefox lets notify is listed with its fix ticked: the grant row goes from permissions.sqlite.
    std::wstring firefox = sandbox.appData() + L"\\Mozilla\\Firefox\\Profiles\\x.default";
    MakeFolder(firefox);
    MakePermissionDatabase(firefox + L"\\permissions.sqlite", 13,
                           {{"https://win-prize.example", "desktop-notification"}});
    GuiProgram gui = StartFindingsOnly(sandbox);
    ASSERT_NE(gui.findings, nullptr);
    EXPECT_EQ(WaitForTopLevelWindow(gui.child.id, L"PopSwatWindow", nullptr, 300), nullptr);
    LONG style = GetWindowLongW(gui.findings, GWL_STYLE);
    EXPECT_EQ(style & WS_OVERLAPPEDWINDOW, WS_OVERLAPPEDWINDOW) << std::hex << style;
    ASSERT_TRUE(WaitForReport(gui.findings));
    EXPECT_EQ(SummaryText(gui.findings), L"2 things can bring pop-ups back.");
    const std::pair<int, const wchar_t*> captions[] = {{IDC_FIX_SELECTED_BUTTON, L"Fix selected"},
                                                       {IDC_UNDO_LAST_BUTTON, L"Undo last fix"},
                                                       {IDC_COPY_REPORT_BUTTON, L"Copy report"},
                                                       {IDCANCEL, L"Close"}};
    for (const auto& [id, caption] : captions)
        EXPECT_EQ(WindowText(GetDlgItem(gui.findings, id)), caption);
    // The list view the system offers, with check boxes and whole-row selection, in groups where it has them.
    HWND list = GetDlgItem(gui.findings, IDC_FINDINGS_LIST);
    DWORD extended = static_cast<DWORD>(SendMessageW(list, LVM_GETEXTENDEDLISTVIEWSTYLE, 0, 0));
    EXPECT_EQ(extended & (LVS_EX_CHECKBOXES | LVS_EX_FULLROWSELECT), DWORD(LVS_EX_CHECKBOXES | LVS_EX_FULLROWSELECT));
    EXPECT_EQ(GetWindowLongW(list, GWL_STYLE) & LVS_TYPEMASK, LVS_REPORT);
    std::cout << "list view groups: " << (ListShowsGroups(gui.findings) ? "yes" : "no") << "\n";
    // The grant's fix is ticked; the app shortcut has no fix and no box; nothing to undo.
    ExpectRows(gui.findings, {{L"win-prize.example may show notifications", L"Firefox, profile x.default", SITE_FIX, 2},
                              {L"Opens the site https://app.example/ as an app when the shortcut is used",
                               L"Shortcut \"Site\"", L"", 0}});
    EXPECT_TRUE(FindingsButtonEnabled(gui.findings, IDC_FIX_SELECTED_BUTTON));
    EXPECT_FALSE(FindingsButtonEnabled(gui.findings, IDC_UNDO_LAST_BUTTON));

    // Made as small as can be, it keeps a minimum size with every control inside.
    SetWindowPos(gui.findings, nullptr, 0, 0, 50, 50, SWP_NOMOVE | SWP_NOZORDER);
    SIZE client = ClientSize(gui.findings);
    EXPECT_GT(client.cx, 400);
    for (int id : {IDC_FINDINGS_LIST, IDC_FINDINGS_DETAILS, IDC_FIX_SELECTED_BUTTON, IDCANCEL}) {
        RECT place = ChildRect(GetDlgItem(gui.findings, id));
        EXPECT_LE(place.right, client.cx) << id;
        EXPECT_LE(place.bottom, client.cy) << id;
    }

    // The list has the focus; Space on a row without a fix gives it no box, on the grant's row it
    // clears the box and leaves nothing to fix; the details take no typing.
    SetForegroundWindow(gui.findings);
    ASSERT_TRUE(WaitUntil([&] { return FocusOf(gui.findings) == list; }, 5000));
    EXPECT_FALSE(SpaceOnRow(gui.findings, 1, 1));
    EXPECT_TRUE(SpaceOnRow(gui.findings, 0, 1));
    EXPECT_FALSE(FindingsButtonEnabled(gui.findings, IDC_FIX_SELECTED_BUTTON));
    HWND details = GetDlgItem(gui.findings, IDC_FINDINGS_DETAILS);
    EXPECT_NE(GetWindowLongW(details, GWL_STYLE) & ES_READONLY, 0);
    // Enter presses the focused button, as in a dialog box: Tab passes the two disabled ones.
    EmptyClipboardForTest();
    EXPECT_EQ(TabToNextControl(gui.findings), IDC_FINDINGS_DETAILS);
    EXPECT_EQ(TabToNextControl(gui.findings), IDC_COPY_REPORT_BUTTON);
    PressKey(VK_RETURN);
    EXPECT_TRUE(WaitUntil([&] { return ClipboardText() == ConsoleReview(sandbox); }, 10000)) << Utf8(ClipboardText());
    EXPECT_EQ(FindingsWindowCount(gui), 1);
    PressKey(VK_ESCAPE);
    EXPECT_EQ(WaitForExit(gui.child, 10000), 0u);
}

// Policies come from the registry: only the project's own Wine prefix is known to hold none but the test's.
TEST(GuiFindings, ListsWhatTheConsoleReportsInGroupsAndCopiesItsText) {
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
    // A site, a start-up page, a shortcut and a policy, in the groups' order; the two fixes ticked.
    EXPECT_EQ(SummaryText(gui.findings), L"4 things can bring pop-ups back.");
    ExpectRows(gui.findings,
               {GRANT_ROW,
                START_PAGE_ROW,
                {L"Opens https://ad.example/ when the shortcut is used", L"Shortcut \"Google Chrome\"",
                 L"Takes the web address out of the shortcut.", 2},
                {L"Forces an extension onto the browser: ncbkfmpgldjhaiebpnkdcmflhgojeiak;https://u.example/crx",
                 L"Google Chrome, user policy", L"Deletes the browser policy value (kept in the record).", 1}});
    EXPECT_TRUE(FindingsButtonEnabled(gui.findings, IDC_FIX_SELECTED_BUTTON));

    // Tab goes from the list to the details, through the buttons, left to right, and back.
    SetForegroundWindow(gui.findings);
    ASSERT_TRUE(WaitUntil([&] { return FocusOf(gui.findings) == GetDlgItem(gui.findings, IDC_FINDINGS_LIST); }, 5000));
    for (int id : {IDC_FINDINGS_DETAILS, IDC_FIX_SELECTED_BUTTON, IDC_COPY_REPORT_BUTTON, IDCANCEL, IDC_FINDINGS_LIST})
        EXPECT_EQ(TabToNextControl(gui.findings), id);

    // Space unticks the row with the keyboard's place, and ticks it again; with none ticked, nothing to fix.
    ASSERT_TRUE(SpaceOnRow(gui.findings, 2, 1));
    ASSERT_TRUE(SpaceOnRow(gui.findings, 1, 1));
    ASSERT_TRUE(SpaceOnRow(gui.findings, 0, 1));
    EXPECT_TRUE(WaitUntil([&] { return !FindingsButtonEnabled(gui.findings, IDC_FIX_SELECTED_BUTTON); }, 5000));
    PressKey(VK_SPACE);
    ASSERT_TRUE(BoxBecomes(gui.findings, 0, 2));
    EXPECT_TRUE(WaitUntil([&] { return FindingsButtonEnabled(gui.findings, IDC_FIX_SELECTED_BUTTON); }, 5000));

    // Enter shows the row's full place and id in the details, and moves there.
    SelectListRow(gui.findings, 3);
    PressKey(VK_RETURN);
    EXPECT_TRUE(
        WaitUntil([&] { return FocusOf(gui.findings) == GetDlgItem(gui.findings, IDC_FINDINGS_DETAILS); }, 5000));
    std::wstring details = DetailsText(gui.findings);
    EXPECT_EQ(details.rfind(L"Browser policies:\r\nForces an extension onto the browser: ", 0), 0u) << Utf8(details);
    EXPECT_NE(details.find(L"Policy value: ExtensionInstallForcelist\\1\r\n"), std::wstring::npos) << Utf8(details);
    EXPECT_NE(details.find(L"HKEY_CURRENT_USER\\SOFTWARE\\Policies"), std::wstring::npos) << Utf8(details);

    EmptyClipboardForTest();
    ClickFindingsButton(gui.findings, IDC_COPY_REPORT_BUTTON);
    EXPECT_TRUE(WaitUntil([&] { return ClipboardText() == console; }, 10000)) << Utf8(ClipboardText());
}

TEST(GuiFindings, FixSelectedClosesTheBrowsersAndUndoLastFixPutsTheGrantBack) {
    SKIP_UNLESS_UNDER_WINE();
    Sandbox sandbox;
    std::wstring preferences = ChromeProfile(sandbox) + L"\\Preferences";
    MakeFile(preferences, GRANTED);
    MakeFile(ChromeProfile(sandbox) + L"\\Current Session");
    // Two seconds between the close request and the exit keep the fix going while the window is asked.
    const StandInBehaviour slow = {true, true, 2000};
    StandInBrowser chrome(slow, 1, L"chrome.exe");
    ASSERT_TRUE(chrome.started(1));
    GuiProgram gui = StartFindingsOnly(sandbox);
    ASSERT_NE(gui.findings, nullptr);
    ASSERT_TRUE(WaitForReport(gui.findings));
    ExpectRows(gui.findings, {GRANT_ROW, START_PAGE_ROW});
    // Only the ticked rows are fixed: the start-up page is unticked.
    SetForegroundWindow(gui.findings);
    ASSERT_TRUE(WaitUntil([&] { return FocusOf(gui.findings) == GetDlgItem(gui.findings, IDC_FINDINGS_LIST); }, 5000));
    ASSERT_TRUE(SpaceOnRow(gui.findings, 1, 1));

    // No, the default answer, changes nothing.
    HWND box = ConfirmationBoxOf(gui, IDC_FIX_SELECTED_BUTTON);
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(MessageBoxText(box), FIX_SITE_QUESTION);
    EXPECT_EQ(GetWindowLongW(GetDlgItem(box, IDNO), GWL_STYLE) & BS_TYPEMASK, BS_DEFPUSHBUTTON);
    AnswerMessageBox(box, IDNO);
    EXPECT_EQ(ReadWholeFile(preferences), GRANTED);
    EXPECT_FALSE(HasEnded(chrome.processes[0]));

    box = ConfirmationBoxOf(gui, IDC_FIX_SELECTED_BUTTON);
    ASSERT_NE(box, nullptr);
    AnswerMessageBox(box, IDYES);
    ASSERT_TRUE(WaitUntil([&] { return SummaryIs(gui, FIXING); }, 5000)) << Utf8(SummaryText(gui.findings));
    EXPECT_TRUE(AnswersWithin(gui.findings, 300));
    EXPECT_TRUE(SummaryIs(gui, FIXING)) << "answered after the fix";
    EXPECT_FALSE(FindingsButtonEnabled(gui.findings, IDC_COPY_REPORT_BUTTON));

    // Reviewed again: the start-up page is left, and the details say what was done.
    ASSERT_TRUE(WaitForReport(gui.findings));
    EXPECT_EQ(SummaryText(gui.findings), L"1 thing can bring pop-ups back.");
    ExpectRows(gui.findings, {START_PAGE_ROW});
    EXPECT_EQ(DetailsText(gui.findings), L"Fixed: " + preferences + L"\r\nFixed: 1. Left as they were: 0.\r\n");
    EXPECT_EQ(ReadLogLines(chrome.logs[0]), ClosedStandInLog(slow));
    EXPECT_EQ(ReadWholeFile(preferences).find("win-prize"), std::string::npos);
    EXPECT_NE(ReadWholeFile(preferences).find("search-hijack"), std::string::npos);
    EXPECT_TRUE(PathExists(ChromeProfile(sandbox) + L"\\Current Session"));

    // Undo last fix names what goes back; No changes nothing, Yes puts the grant back.
    ASSERT_TRUE(FindingsButtonEnabled(gui.findings, IDC_UNDO_LAST_BUTTON));
    box = ConfirmationBoxOf(gui, IDC_UNDO_LAST_BUTTON);
    ASSERT_NE(box, nullptr);
    std::wstring question = MessageBoxText(box);
    EXPECT_EQ(question.rfind(L"PopSwat will put back 1 change(s) made on ", 0), 0u) << Utf8(question);
    EXPECT_NE(
        question.find(L"\r\n  site permission(s): " + preferences + L"\r\nALL open browsers will be closed first."),
        std::wstring::npos)
        << Utf8(question);
    AnswerMessageBox(box, IDNO);
    EXPECT_EQ(ReadWholeFile(preferences).find("win-prize"), std::string::npos);
    box = ConfirmationBoxOf(gui, IDC_UNDO_LAST_BUTTON);
    ASSERT_NE(box, nullptr);
    AnswerMessageBox(box, IDYES);
    ASSERT_TRUE(WaitUntil([&] { return ListRowCount(gui.findings) == 2; }, 60000));
    ASSERT_TRUE(WaitForReport(gui.findings));
    ExpectRows(gui.findings, {GRANT_ROW, START_PAGE_ROW});
    EXPECT_EQ(DetailsText(gui.findings), L"Put back: " + preferences + L"\r\nPut back: 1. Left as they were: 0.\r\n");
    EXPECT_NE(ReadWholeFile(preferences).find("win-prize"), std::string::npos);
    EXPECT_FALSE(FindingsButtonEnabled(gui.findings, IDC_UNDO_LAST_BUTTON));
}

// Nothing changes while another run holds the lock; the findings shown still hold.
TEST(GuiFindings, FixingWhileAnotherRunHoldsTheLockChangesNothing) {
    SKIP_UNLESS_UNDER_WINE();
    Sandbox sandbox;
    std::wstring preferences = ChromeProfile(sandbox) + L"\\Preferences";
    MakeFile(preferences, GRANTED);
    ComApartment apartment;
    std::wstring shortcut = PinChromeShortcut(sandbox, L"Google Chrome.lnk", L"https://ad.example/");
    CleanupRunLock otherRun;
    ASSERT_TRUE(otherRun.acquired());
    GuiProgram gui = StartFindingsOnly(sandbox);
    ASSERT_NE(gui.findings, nullptr);
    ASSERT_TRUE(WaitForReport(gui.findings));
    std::vector<ListRow> before = ListRows(gui.findings);

    HWND box = ConfirmationBoxOf(gui, IDC_FIX_SELECTED_BUTTON);
    ASSERT_NE(box, nullptr);
    AnswerMessageBox(box, IDYES);
    ASSERT_TRUE(WaitUntil([&] { return SummaryIs(gui, ANOTHER_RUN); }, 10000)) << Utf8(SummaryText(gui.findings));
    EXPECT_TRUE(WaitForReport(gui.findings, 5000));
    EXPECT_EQ(ListRows(gui.findings), before);
    EXPECT_TRUE(FindingsButtonEnabled(gui.findings, IDC_FIX_SELECTED_BUTTON));
    EXPECT_EQ(ReadWholeFile(preferences), GRANTED);
    EXPECT_EQ(ArgumentsOf(shortcut), L"https://ad.example/");
    EXPECT_FALSE(PathExists(sandbox.localAppData() + L"\\PopSwat"));
}

// Fixing a browser shortcut closes no browser: a stand-in Chrome keeps running.
TEST(GuiFindings, FixingABrowserShortcutTakesOutTheAddressAndKeepsACopy) {
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
    ASSERT_EQ(ListRowCount(gui.findings), 1);
    // The details of the selected row: its file, its id, the fix and how to take it back.
    SelectListRow(gui.findings, 0);
    ASSERT_TRUE(WaitUntil([&] { return !DetailsText(gui.findings).empty(); }, 5000));
    std::wstring details = DetailsText(gui.findings);
    EXPECT_NE(details.find(L"File: " + shortcut + L"\r\n"), std::wstring::npos) << Utf8(details);
    EXPECT_NE(details.find(L"\"Undo last fix\""), std::wstring::npos) << Utf8(details);

    HWND box = ConfirmationBoxOf(gui, IDC_FIX_SELECTED_BUTTON);
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(MessageBoxText(box), FIX_SHORTCUT_QUESTION);
    AnswerMessageBox(box, IDYES);
    ASSERT_TRUE(WaitUntil([&] { return SummaryIs(gui, NOTHING_FOUND); }, 60000)) << Utf8(SummaryText(gui.findings));
    ASSERT_TRUE(WaitForReport(gui.findings));
    EXPECT_EQ(ArgumentsOf(shortcut), L"--profile-directory=Default");
    EXPECT_EQ(ListRowCount(gui.findings), 0);
    EXPECT_EQ(DetailsText(gui.findings), L"Fixed: " + shortcut + L"\r\nFixed: 1. Left as they were: 0.\r\n");
    EXPECT_TRUE(FindingsButtonEnabled(gui.findings, IDC_UNDO_LAST_BUTTON));
    EXPECT_FALSE(HasEnded(chrome.processes[0]));
    EXPECT_TRUE(PathExists(ChromeProfile(sandbox) + L"\\Current Session"));
}

// A machine-wide Run value needs an administrator in a process without the rights: the
// window offers the restart, and the restarted window asks before it fixes exactly that.
TEST(GuiFindings, AFixThatNeedsAnAdministratorRestartsWithItsIds) {
    SKIP_UNLESS_UNDER_WINE();
    Sandbox sandbox;
    MachineRunValue value(L"\"C:\\Program Files\\Google\\Chrome\\Application\\chrome.exe\" https://ad.example/");
    ASSERT_TRUE(value.exists());
    GuiProgram gui = StartFindingsProgram(sandbox, UNELEVATED_GUI, L" --review");
    ASSERT_NE(gui.findings, nullptr);
    ASSERT_TRUE(WaitForReport(gui.findings));
    std::vector<ListRow> rows = ListRows(gui.findings);
    auto ours = std::find_if(rows.begin(), rows.end(),
                             [](const ListRow& r) { return r.where == L"Start-up entry for every user"; });
    ASSERT_NE(ours, rows.end());
    EXPECT_EQ(ours->what, L"Opens https://ad.example/ at every log-on");
    EXPECT_NE(ours->fix.find(L"(needs an administrator)"), std::wstring::npos) << Utf8(ours->fix);
    EXPECT_EQ(ours->box, 2);
    // Only ours ticked: another machine value of the prefix is none of this test's.
    int index = static_cast<int>(ours - rows.begin());
    for (int row = 0; row < static_cast<int>(rows.size()); ++row) {
        if (row != index && rows[row].box == 2) {
            SelectListRow(gui.findings, row);
            SetForegroundWindow(gui.findings);
            PressKey(VK_SPACE);
            ASSERT_TRUE(BoxBecomes(gui.findings, row, 1));
        }
    }
    SelectListRow(gui.findings, index);
    ASSERT_TRUE(WaitUntil([&] { return DetailsText(gui.findings).find(L"Id: ") != std::wstring::npos; }, 5000));
    std::wstring details = DetailsText(gui.findings);
    std::wstring id = details.substr(details.find(L"Id: ") + 4, 12);
    EXPECT_NE(details.find(L"The fix needs an administrator."), std::wstring::npos);

    HWND box = ConfirmationBoxOf(gui, IDC_FIX_SELECTED_BUTTON);
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(MessageBoxText(box).rfind(L"1 of the 1 chosen fixes need an administrator.", 0), 0u)
        << Utf8(MessageBoxText(box));
    AnswerMessageBox(box, IDYES);
    ASSERT_TRUE(WaitUntil([&] { return !RestartsRecorded(sandbox).empty(); }, 5000));
    EXPECT_EQ(RestartsRecorded(sandbox), std::vector<std::string>{"--review --fix=" + Utf8(id)});
    EXPECT_EQ(SummaryText(gui.findings), L"PopSwat was started again as administrator to make the chosen fixes.");
    EXPECT_TRUE(value.exists());

    // Started so, the window ticks exactly that row and asks first; No changes nothing.
    GuiProgram restarted = StartFindingsProgram(sandbox, UNELEVATED_GUI, L" --review --fix=" + id);
    ASSERT_NE(restarted.findings, nullptr);
    HWND question = WaitForTopLevelWindow(restarted.child.id, L"#32770", L"PopSwat", 60000);
    ASSERT_NE(question, nullptr);
    EXPECT_EQ(MessageBoxText(question).rfind(L"PopSwat will fix 1 thing(s):\r\n  1 start-up value(s)\r\n", 0), 0u)
        << Utf8(MessageBoxText(question));
    for (const ListRow& row : ListRows(restarted.findings))
        EXPECT_EQ(row.box == 2, row.where == L"Start-up entry for every user") << Utf8(row.what);
    AnswerMessageBox(question, IDNO);
    EXPECT_TRUE(value.exists());
    EXPECT_EQ(RestartsRecorded(sandbox).size(), 1u);
}

// The texts measured here in a font made as the window makes its own (Segoe UI, or what
// the system puts in its place), at the DPI the window was started with.
SIZE MeasuredText(const std::wstring& text, int dpi, int points, int weight) {
    HFONT font =
        CreateFontW(-MulDiv(points, dpi, 72), 0, 0, 0, weight, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_TT_PRECIS,
                    CLIP_DEFAULT_PRECIS, CLEARTYPE_QUALITY, DEFAULT_PITCH | FF_DONTCARE, L"Segoe UI");
    HDC dc = GetDC(nullptr);
    HGDIOBJ old = SelectObject(dc, font);
    SIZE size = {0, 0};
    GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &size);
    SelectObject(dc, old);
    ReleaseDC(nullptr, dc);
    DeleteObject(font);
    return size;
}

TEST(GuiFindings, EveryTextFitsItsControlAtEveryDpi) {
    SKIP_UNLESS_UNDER_WINE();
    Sandbox sandbox;
    MakeFile(ChromeProfile(sandbox) + L"\\Preferences", GRANTED);
    for (int dpi : {96, 144, 192}) {
        SCOPED_TRACE(testing::Message() << "dpi " << dpi);
        std::wstring forced = std::to_wstring(dpi);
        GuiProgram gui = StartFindingsOnly(sandbox, forced.c_str());
        ASSERT_NE(gui.findings, nullptr);
        ASSERT_TRUE(WaitForReport(gui.findings));
        for (int id : {IDC_FIX_SELECTED_BUTTON, IDC_UNDO_LAST_BUTTON, IDC_COPY_REPORT_BUTTON, IDCANCEL}) {
            HWND button = GetDlgItem(gui.findings, id);
            SIZE text = MeasuredText(WindowText(button), dpi, 10, FW_NORMAL);
            RECT place = ChildRect(button);
            // A push button draws its caption inside a border and a focus rectangle.
            EXPECT_GE(place.right - place.left, text.cx + MulDiv(12, dpi, 96)) << id;
            EXPECT_GE(place.bottom - place.top, text.cy + MulDiv(6, dpi, 96)) << id;
        }
        HWND summary = GetDlgItem(gui.findings, IDC_FINDINGS_SUMMARY);
        SIZE summaryText = MeasuredText(WindowText(summary), dpi, 12, FW_SEMIBOLD);
        RECT summaryPlace = ChildRect(summary);
        EXPECT_GE(summaryPlace.right - summaryPlace.left, summaryText.cx);
        EXPECT_GE(summaryPlace.bottom - summaryPlace.top, summaryText.cy);
        // Each column is wide enough for its heading, and the list for a few rows.
        HWND list = GetDlgItem(gui.findings, IDC_FINDINGS_LIST);
        for (int column = 0; column < 3; ++column) {
            const UINT headings[] = {IDS_COLUMN_WHAT, IDS_COLUMN_WHERE, IDS_COLUMN_FIX};
            SIZE heading = MeasuredText(LoadText(headings[column]), dpi, 10, FW_NORMAL);
            EXPECT_GT(SendMessageW(list, LVM_GETCOLUMNWIDTH, column, 0), heading.cx) << column;
        }
        RECT listPlace = ChildRect(list);
        EXPECT_GT(listPlace.bottom - listPlace.top, 4 * summaryText.cy);
        PostMessageW(gui.findings, WM_CLOSE, 0, 0);
        EXPECT_EQ(WaitForExit(gui.child, 10000), 0u);
    }
}

// Many large Preferences files (sparse: they cost no disk) keep the review reading for a while.
TEST(GuiFindings, AnswersWhileTheReviewRunsAndKeepsUnreadableFilesOutOfTheList) {
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
    EXPECT_FALSE(FindingsButtonEnabled(gui.findings, IDC_FIX_SELECTED_BUTTON));

    ASSERT_TRUE(WaitForReport(gui.findings));
    // Files that could not be read are no cause: the report names them, the list does not.
    EXPECT_EQ(SummaryText(gui.findings), NOTHING_FOUND);
    EXPECT_EQ(ListRowCount(gui.findings), 0);
}

// Whatever a site's name holds, each row stays one masked line, and 5,000 rows keep the window answering.
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
    ASSERT_EQ(ListRowCount(gui.findings), 5000);
    std::size_t unsafe = 0, ticked = 0;
    bool evil = false;
    for (int row = 0; row < 5000; row += (row < 10 ? 1 : 97)) {
        ListRow shown = ListRowAt(gui.findings, row);
        unsafe += MaskUnsafeCharacters(shown.what) != shown.what;
        ticked += shown.box == 2;
        evil = evil || shown.what == L"?[2J??evil.example may show notifications";
    }
    EXPECT_EQ(unsafe, 0u);
    EXPECT_GT(ticked, 50u);
    EXPECT_TRUE(evil);
    EXPECT_TRUE(FindingsButtonEnabled(gui.findings, IDC_FIX_SELECTED_BUTTON));
}

}  // namespace
