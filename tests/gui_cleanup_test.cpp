// The clean button, the cleanup worker, the status line and the close guard of a running popswat-gui.exe.
#include <gtest/gtest.h>

#include <cstdlib>

#include "gui/gui.h"
#include "tests/child_programs.h"
#include "tests/gui_window_driver.h"

namespace {

const wchar_t CONFIRM_TEXT[] =
    L"This will close ALL open browsers, reset their open tabs, and clear your recent history.\n\n"
    L"Your bookmarks and saved passwords are kept. Firefox keeps its history (it shares one file with the "
    L"bookmarks); its open tabs are reset.\n\nContinue?";
const wchar_t WORKING[] = L"Working... please wait.";
const wchar_t DONE[] = L"Done. Your browsers are clean - reopen one to start fresh.";
const wchar_t FILES_IN_USE[] = L"Some files were in use - close your browsers and try again.";
const wchar_t ANOTHER_RUN[] = L"Another PopSwat cleanup is already running.";
const wchar_t LINK[] = L"<a>What keeps bringing pop-ups back?</a>";

const char TWO_GRANTS[] =
    R"({"profile":{"content_settings":{"exceptions":{"notifications":{"https://win-prize.example:443,*":)"
    R"({"setting":1}},"popups":{"https://pop.example:443,*":{"setting":1}}}}}})";
const ListRow GRANT_ROW = {L"win-prize.example may show notifications", L"Google Chrome, profile Default",
                           L"Takes back what the site was allowed to do.", 2};

bool IsDefaultButton(HWND box, int id) {
    return (GetWindowLongW(GetDlgItem(box, id), GWL_STYLE) & BS_TYPEMASK) == BS_DEFPUSHBUTTON;
}

bool StatusIs(HWND window, const std::wstring& text) {
    return StatusText(window) == text;
}

TEST(GuiCleanup, ConfirmationBoxAsksAndNoChangesNothing) {
    Sandbox sandbox;
    GuiProgram gui = StartGui(sandbox);
    ASSERT_NE(gui.window, nullptr);
    // The notification code in the high word does not matter.
    for (WORD code : {WORD(BN_CLICKED), WORD(5), WORD(0xFFFF)}) {
        SCOPED_TRACE(testing::Message() << "notification " << code);
        PostMessageW(gui.window, WM_COMMAND, MAKEWPARAM(1001, code), 0);
        HWND box = WaitForTopLevelWindow(gui.child.id, L"#32770", L"Clean My Browsers", 10000);
        ASSERT_NE(box, nullptr);
        EXPECT_EQ(MessageBoxText(box), CONFIRM_TEXT);
        EXPECT_NE(GetDlgItem(box, IDYES), nullptr);
        EXPECT_NE(GetDlgItem(box, IDNO), nullptr);
        // No is the default button, so Enter answers No.
        EXPECT_TRUE(IsDefaultButton(box, IDNO));
        EXPECT_FALSE(IsDefaultButton(box, IDYES));
        AnswerMessageBox(box, IDNO);
        Sleep(200);
        EXPECT_EQ(StatusText(gui.window), L"Ready.");
        EXPECT_TRUE(IsWindowEnabled(CleanButtonOf(gui.window)));
    }
}

TEST(GuiCleanup, CompletionMessageSetsTheStatusByOutcome) {
    Sandbox sandbox;
    GuiProgram gui = StartGui(sandbox, L"96");
    ASSERT_NE(gui.window, nullptr);
    // The left end of the status line: covered by the long texts, clear of the short one.
    const int shift = BodyShift(gui.window);
    const RECT leftEnd = {24, 284 + shift, 160, 304 + shift};
    const COLORREF text = GetSysColor(COLOR_WINDOWTEXT);
    struct Row {
        WPARAM outcome;
        const wchar_t* status;
        bool reachesLeftEnd;
    } rows[] = {
        {1, FILES_IN_USE, true},
        {0, DONE, true},
        {2, L"Could not finish.", false},
        {3, ANOTHER_RUN, true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::Message() << "wParam " << row.outcome);
        PostMessageW(gui.window, WM_CLEANUP_DONE, row.outcome, 0);
        EXPECT_TRUE(WaitUntil([&] { return StatusIs(gui.window, row.status); }, 5000)) << Utf8(StatusText(gui.window));
        EXPECT_TRUE(IsWindowEnabled(CleanButtonOf(gui.window)));
        EXPECT_EQ(ControlText(FindingsLinkOf(gui.window)), LINK);
        // A shorter text leaves nothing of the longer one behind.
        EXPECT_TRUE(WaitUntil(
            [&] {
                RECT drawn = FindColour(gui.window, leftEnd, text);
                return IsRectEmpty(&drawn) != row.reachesLeftEnd;
            },
            5000));
    }
}

TEST(GuiCleanup, ConfirmedRunWorksInTheBackgroundAndCanBeRepeated) {
    SKIP_UNLESS_UNDER_WINE();
    Sandbox sandbox;
    GuiProgram gui = StartGui(sandbox, L"96");
    ASSERT_NE(gui.window, nullptr);
    HWND button = CleanButtonOf(gui.window);
    for (int run = 1; run <= 2; ++run) {
        SCOPED_TRACE(testing::Message() << "run " << run);
        // A browser that takes three seconds to close keeps the run going while the window is looked at.
        StandInBrowser slowBrowser({true, true, 3000}, 1, L"brave.exe");
        ASSERT_TRUE(slowBrowser.started(1));
        HWND box = ClickCleanButton(gui);
        ASSERT_NE(box, nullptr);
        AnswerMessageBox(box, IDYES);
        // At once, before the run gets anywhere: the button greys out and the status says so
        // (one after the other: a busy machine can show the first without the second).
        ASSERT_TRUE(WaitUntil([&] { return !IsWindowEnabled(button); }, 5000));
        EXPECT_TRUE(WaitUntil([&] { return StatusIs(gui.window, WORKING); }, 1000)) << Utf8(StatusText(gui.window));
        EXPECT_TRUE(WaitUntil(
            [&] { return ClientPixel(gui.window, 60, 210 + BodyShift(gui.window)) == RGB(233, 236, 240); }, 2000));
        EXPECT_TRUE(WaitUntil(
            [&] {
                int shift = BodyShift(gui.window);
                RECT greyText = FindColour(gui.window, {24, 218 + shift, 496, 266 + shift}, RGB(154, 161, 172));
                return !IsRectEmpty(&greyText);
            },
            2000));
        // The window keeps answering, and a second click is ignored while the run lasts.
        DWORD_PTR result = 0;
        EXPECT_NE(SendMessageTimeoutW(gui.window, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 1000, &result), 0);
        PostMessageW(gui.window, WM_COMMAND, MAKEWPARAM(1001, BN_CLICKED), 0);

        ASSERT_TRUE(WaitUntil([&] { return StatusIs(gui.window, DONE); }, 60000)) << Utf8(StatusText(gui.window));
        EXPECT_TRUE(IsWindowEnabled(button));
        // The review after the run found nothing: the link line stays as it was.
        EXPECT_EQ(ControlText(FindingsLinkOf(gui.window)), LINK);
        // The worker's run closed the browser the gentle way.
        EXPECT_EQ(ReadLogLines(slowBrowser.logs[0]), ClosedStandInLog({true, true, 3000}));
        EXPECT_EQ(WaitForTopLevelWindow(gui.child.id, L"#32770", nullptr, 200), nullptr);
        EXPECT_TRUE(WaitUntil(
            [&] { return ClientPixel(gui.window, 60, 210 + BodyShift(gui.window)) == RGB(46, 125, 255); }, 2000));
    }
}

TEST(GuiCleanup, RunThatLeavesFindingsSaysHowManyAndLinksToThem) {
    SKIP_UNLESS_UNDER_WINE();
    Sandbox sandbox;
    std::wstring profile = sandbox.localAppData() + L"\\Google\\Chrome\\User Data\\Default";
    // The run deletes the session and keeps the site allowed to notify.
    MakeFile(profile + L"\\Preferences",
             R"({"profile":{"content_settings":{"exceptions":{"notifications":{"https://win-prize.example:443,*":)"
             R"({"setting":1}}}}}})");
    MakeFile(profile + L"\\Current Session");
    GuiProgram gui = StartGui(sandbox, L"96");
    ASSERT_NE(gui.window, nullptr);
    HWND box = ClickCleanButton(gui);
    ASSERT_NE(box, nullptr);
    AnswerMessageBox(box, IDYES);
    const wchar_t doneBut[] = L"Done, but 1 thing can still bring pop-ups back.";
    ASSERT_TRUE(WaitUntil([&] { return StatusIs(gui.window, doneBut); }, 60000)) << Utf8(StatusText(gui.window));
    EXPECT_FALSE(PathExists(profile + L"\\Current Session"));
    HWND link = FindingsLinkOf(gui.window);
    EXPECT_EQ(ControlText(link), L"<a>See what and how to stop it</a>");
    RECT place = ChildRect(link);
    EXPECT_LE(std::abs(place.left - (520 - place.right)), 1) << place.left << " to " << place.right;
    // The shorter text leaves nothing of the longer one on either side.
    int shift = BodyShift(gui.window);
    for (RECT beside :
         {RECT{24, 304 + shift, place.left, 328 + shift}, RECT{place.right, 304 + shift, 496, 328 + shift}}) {
        EXPECT_TRUE(WaitUntil(
            [&] {
                RECT drawn = FindOtherColours(gui.window, beside, RGB(255, 255, 255));
                return IsRectEmpty(&drawn) != FALSE;
            },
            5000))
            << beside.left << " to " << beside.right;
    }

    // A second grant after the run: the list the link opens holds the rows the run's review
    // found, shown with the window, without a review of its own ("Looking..." never shows).
    MakeFile(profile + L"\\Preferences", TWO_GRANTS);
    ClickFindingsLink(gui.window);
    HWND findings = FindingsWindowOf(gui);
    ASSERT_NE(findings, nullptr);
    EXPECT_EQ(SummaryText(findings), L"1 thing can bring pop-ups back.");
    EXPECT_TRUE(FindingsButtonEnabled(findings, IDC_COPY_REPORT_BUTTON));
    EXPECT_EQ(ListRows(findings), std::vector<ListRow>{GRANT_ROW});
    // Once: opened again, the window looks again and finds both.
    PostMessageW(findings, WM_CLOSE, 0, 0);
    ASSERT_TRUE(WaitUntil([&] { return FindingsWindowCount(gui) == 0; }, 5000));
    ClickFindingsLink(gui.window);
    findings = FindingsWindowOf(gui);
    ASSERT_NE(findings, nullptr);
    ASSERT_TRUE(WaitForReport(findings));
    EXPECT_EQ(SummaryText(findings), L"2 things can bring pop-ups back.");
    EXPECT_EQ(ListRows(findings).size(), 2u);
}

TEST(GuiCleanup, FilesHeldOpenGiveTheInUseText) {
    SKIP_UNLESS_UNDER_WINE();
    // A single session file, and one inside the Sessions folder that is otherwise removed.
    for (const wchar_t* held : {L"Current Session", L"Sessions\\Tabs_13300000000000000"}) {
        SCOPED_TRACE(Utf8(held));
        Sandbox sandbox;
        std::wstring profile = sandbox.localAppData() + L"\\Google\\Chrome\\User Data\\Default";
        MakeFile(profile + L"\\Preferences", "{}");
        MakeFile(profile + L"\\" + held);
        MakeFile(profile + L"\\Last Session");
        MakeFile(profile + L"\\Sessions\\Session_13300000000000000");
        // Not a browser's image name, so the run's closing phase leaves it running.
        ChildProcess locker = HoldFileInAnotherProcess(profile + L"\\" + held, sandbox / L"locked");
        ASSERT_TRUE(locker.process);

        GuiProgram gui = StartGui(sandbox);
        ASSERT_NE(gui.window, nullptr);
        HWND box = ClickCleanButton(gui);
        ASSERT_NE(box, nullptr);
        AnswerMessageBox(box, IDYES);
        ASSERT_TRUE(WaitUntil([&] { return StatusIs(gui.window, FILES_IN_USE); }, 60000))
            << Utf8(StatusText(gui.window));
        EXPECT_TRUE(IsWindowEnabled(CleanButtonOf(gui.window)));
        EXPECT_TRUE(PathExists(profile + L"\\" + held));
        EXPECT_FALSE(PathExists(profile + L"\\Last Session"));
        EXPECT_FALSE(PathExists(profile + L"\\Sessions\\Session_13300000000000000"));
        EXPECT_TRUE(PathExists(profile + L"\\Preferences"));
    }
}

TEST(GuiCleanup, AnotherRunHoldingTheLockIsShownAndChangesNothing) {
    SKIP_UNLESS_UNDER_WINE();
    Sandbox sandbox;
    std::wstring session = sandbox.localAppData() + L"\\Google\\Chrome\\User Data\\Default\\Current Session";
    MakeFile(session);
    MakeFile(sandbox.localAppData() + L"\\Google\\Chrome\\User Data\\Default\\Preferences");
    CleanupRunLock otherRun;
    ASSERT_TRUE(otherRun.acquired());

    GuiProgram gui = StartGui(sandbox);
    ASSERT_NE(gui.window, nullptr);
    HWND box = ClickCleanButton(gui);
    ASSERT_NE(box, nullptr);
    AnswerMessageBox(box, IDYES);
    ASSERT_TRUE(WaitUntil([&] { return StatusIs(gui.window, ANOTHER_RUN); }, 10000)) << Utf8(StatusText(gui.window));
    EXPECT_TRUE(IsWindowEnabled(CleanButtonOf(gui.window)));
    EXPECT_TRUE(PathExists(session));
}

TEST(GuiCleanup, ClosingDuringARunAsksFirst) {
    SKIP_UNLESS_UNDER_WINE();
    Sandbox sandbox;
    // Its window ignores the close request, so the run waits its whole grace period for it.
    StandInBrowser stubbornBrowser({true, false, 0}, 1, L"vivaldi.exe");
    ASSERT_TRUE(stubbornBrowser.started(1));
    GuiProgram gui = StartGui(sandbox);
    ASSERT_NE(gui.window, nullptr);
    HWND confirm = ClickCleanButton(gui);
    ASSERT_NE(confirm, nullptr);
    AnswerMessageBox(confirm, IDYES);
    ASSERT_TRUE(WaitUntil([&] { return StatusIs(gui.window, WORKING); }, 5000));

    // No keeps the window and the run.
    PostMessageW(gui.window, WM_CLOSE, 0, 0);
    HWND box = WaitForTopLevelWindow(gui.child.id, L"#32770", L"PopSwat", 10000);
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(MessageBoxText(box), L"A cleanup is still running. Close anyway?");
    EXPECT_TRUE(IsDefaultButton(box, IDYES));
    AnswerMessageBox(box, IDNO);
    EXPECT_EQ(WaitForExit(gui.child, 300), STILL_ACTIVE);
    EXPECT_TRUE(IsWindow(gui.window));
    EXPECT_EQ(StatusText(gui.window), WORKING);

    // Yes ends the program at once, without waiting for the run.
    PostMessageW(gui.window, WM_CLOSE, 0, 0);
    box = WaitForTopLevelWindow(gui.child.id, L"#32770", L"PopSwat", 10000);
    ASSERT_NE(box, nullptr);
    ULONGLONG answered = GetTickCount64();
    AnswerMessageBox(box, IDYES);
    EXPECT_EQ(WaitForExit(gui.child, 10000), 0u);
    EXPECT_LT(GetTickCount64() - answered, 3000u);
    // The run was still waiting for the stand-in browser to exit.
    EXPECT_EQ(WaitForSingleObject(stubbornBrowser.processes[0].process.get(), 0), static_cast<DWORD>(WAIT_TIMEOUT));
}

}  // namespace
