// The window as a user sees it: size, place, style, texts and pixels of a running popswat-gui.exe.
#include <gtest/gtest.h>

#include <cstdlib>

#include "gui/gui.h"
#include "tests/gui_window_driver.h"

namespace {

// The display's own DPI in the test bed; a forced value replaces it.
int DisplayDpi() {
    HDC screen = GetDC(nullptr);
    int dpi = GetDeviceCaps(screen, LOGPIXELSX);
    ReleaseDC(nullptr, screen);
    return dpi;
}

// The title's box, scaled from the header height.
RECT TitleArea(int width, int header) {
    return {header * 88 / 118, header * 18 / 118, width - header * 24 / 118, header * 50 / 118};
}

// The client size at that DPI on a screen large enough, for a description shift pixels
// taller than three lines.
SIZE ExpectedClientSize(int dpi, int shift) {
    return {MulDiv(520, dpi, 96), MulDiv(328, dpi, 96) + shift};
}

// The description's text wrapped to that width, measured here in the font the window uses.
int TextHeight(const std::wstring& text, int dpi, int width) {
    HFONT font =
        CreateFontW(-MulDiv(10, dpi, 72), 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_TT_PRECIS,
                    CLIP_DEFAULT_PRECIS, CLEARTYPE_QUALITY, DEFAULT_PITCH | FF_DONTCARE, L"Segoe UI");
    HDC screen = GetDC(nullptr);
    HGDIOBJ previous = SelectObject(screen, font);
    RECT box = {0, 0, width, 0};
    DrawTextW(screen, text.c_str(), -1, &box, DT_CALCRECT | DT_WORDBREAK | DT_EXPANDTABS | DT_NOPREFIX);
    SelectObject(screen, previous);
    ReleaseDC(nullptr, screen);
    DeleteObject(font);
    return box.bottom - box.top;
}

TEST(GuiWindow, ClientAreaFollowsTheForcedDpi) {
    int display = DisplayDpi();
    struct Row {
        const wchar_t* forced;  // nullptr: not set
        int dpi;                // 0: the display's
    } rows[] = {
        {nullptr, 0},
        {L"96", 96},
        {L"120", 120},
        {L"144", 144},
        {L"480", 480},
        {L"95", 0},
        {L"481", 0},
        {L"0", 0},
        {L"-120", 0},
        {L"abc", 0},
        {L"", 0},
        {L" 120", 120},
        {L"+120", 120},
        {L"120dpi", 120},
        {L"000000000000144", 144},  // 15 characters: fits the buffer
        {L"0000000000000144", 0},   // 16 characters: does not fit, counts as absent
        {L"4294967440", 0},         // 2^32 + 144 must not wrap into range
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::Message() << "POPSWAT_FORCE_DPI " << (row.forced ? Utf8(row.forced) : "unset"));
        Sandbox sandbox;
        GuiProgram gui = StartGui(sandbox, row.forced);
        ASSERT_NE(gui.window, nullptr);
        int dpi = row.dpi ? row.dpi : display;
        // The margins tell the DPI even when the window is too big for the screen: then the
        // window is narrowed to the work area and the column with it.
        RECT button = ChildRect(CleanButtonOf(gui.window));
        SIZE client = ClientSize(gui.window);
        EXPECT_EQ(button.left, MulDiv(24, dpi, 96));
        EXPECT_EQ(client.cx - button.right, MulDiv(24, dpi, 96));
        SIZE expected = ExpectedClientSize(dpi, BodyShift(gui.window, dpi));
        if (expected.cx < GetSystemMetrics(SM_CXSCREEN) - 40 && expected.cy < GetSystemMetrics(SM_CYSCREEN) - 40) {
            EXPECT_EQ(client.cx, expected.cx);
            EXPECT_EQ(client.cy, expected.cy);
        }
    }
}

TEST(GuiWindow, IsCentredFixedSizeAndTitled) {
    Sandbox sandbox;
    GuiProgram gui = StartGui(sandbox, L"96");
    ASSERT_NE(gui.window, nullptr);
    EXPECT_EQ(WindowText(gui.window), L"PopSwat - Browser Popup Cleaner");
    LONG style = GetWindowLongW(gui.window, GWL_STYLE);
    const LONG frameBits = WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_MAXIMIZEBOX | WS_THICKFRAME;
    EXPECT_EQ(style & frameBits, WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX) << std::hex << style;

    SIZE client = ClientSize(gui.window);
    int height = 328 + BodyShift(gui.window);
    EXPECT_EQ(client.cx, 520);
    EXPECT_EQ(client.cy, height);
    RECT outer = {0, 0, 520, height};
    AdjustWindowRect(&outer, WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX, FALSE);
    int outerWidth = outer.right - outer.left, outerHeight = outer.bottom - outer.top;
    RECT placed = {};
    GetWindowRect(gui.window, &placed);
    EXPECT_EQ(placed.right - placed.left, outerWidth);
    EXPECT_EQ(placed.bottom - placed.top, outerHeight);
    // Centred in the work area; the test bed's display has no taskbar, so that is the screen.
    EXPECT_EQ(placed.left, (GetSystemMetrics(SM_CXSCREEN) - outerWidth) / 2);
    EXPECT_EQ(placed.top, (GetSystemMetrics(SM_CYSCREEN) - outerHeight) / 2);
}

TEST(GuiWindow, ControlsSitWhereTheLayoutPutsThem) {
    struct Row {
        const wchar_t* forced;
        int dpi;
        RECT button, status;  // for a description of three lines
    } rows[] = {
        {L"96", 96, {24, 204, 496, 268}, {24, 284, 496, 304}},
        {L"120", 120, {30, 255, 620, 335}, {30, 355, 620, 380}},
        {L"144", 144, {36, 306, 744, 402}, {36, 426, 744, 456}},
    };
    for (Row row : rows) {
        SCOPED_TRACE(Utf8(row.forced));
        Sandbox sandbox;
        GuiProgram gui = StartGui(sandbox, row.forced);
        ASSERT_NE(gui.window, nullptr);
        HWND button = CleanButtonOf(gui.window);
        ASSERT_NE(button, nullptr);
        int shift = BodyShift(gui.window, row.dpi);
        OffsetRect(&row.button, 0, shift);
        OffsetRect(&row.status, 0, shift);
        RECT buttonRect = ChildRect(button);
        EXPECT_TRUE(EqualRect(&buttonRect, &row.button))
            << buttonRect.left << "," << buttonRect.top << "," << buttonRect.right << "," << buttonRect.bottom;
        EXPECT_EQ(GetWindowLongW(button, GWL_STYLE) & (BS_TYPEMASK | WS_TABSTOP), BS_OWNERDRAW);
        HWND status = StatusLabelOf(gui.window);
        ASSERT_NE(status, nullptr);
        RECT statusRect = ChildRect(status);
        EXPECT_TRUE(EqualRect(&statusRect, &row.status))
            << statusRect.left << "," << statusRect.top << "," << statusRect.right << "," << statusRect.bottom;
        EXPECT_EQ(WindowText(status), L"Ready.");
        EXPECT_TRUE(IsWindowEnabled(button));
        // The findings link, centred in the line between the status line and the bottom edge.
        RECT link = ChildRect(FindingsLinkOf(gui.window));
        EXPECT_GE(link.top, row.status.bottom);
        EXPECT_LE(link.bottom, ClientSize(gui.window).cy);
        EXPECT_LE(std::abs(link.left - (ClientSize(gui.window).cx - link.right)), 1)
            << link.left << " to " << link.right;
    }
}

TEST(GuiWindow, PaintsTheHeaderGradientAndAWhiteBody) {
    struct Row {
        const wchar_t* forced;
        int width, header;
    } rows[] = {{L"96", 520, 118}, {L"144", 780, 177}};
    for (const Row& row : rows) {
        SCOPED_TRACE(Utf8(row.forced));
        Sandbox sandbox;
        GuiProgram gui = StartGui(sandbox, row.forced);
        ASSERT_NE(gui.window, nullptr);
        // Rows 2 and header-1 are clear of the icon and the header texts.
        int columns[] = {0, 1, row.width / 2 - 1, row.width - 1};
        for (int column : columns) {
            SCOPED_TRACE(testing::Message() << "column " << column);
            COLORREF expected = HeaderGradientColour(column, row.width);
            EXPECT_TRUE(WaitUntil([&] { return ClientPixel(gui.window, column, 2) == expected; }, 5000))
                << std::hex << ClientPixel(gui.window, column, 2) << " instead of " << expected;
            EXPECT_EQ(ClientPixel(gui.window, column, row.header - 1), expected);
            EXPECT_EQ(ClientPixel(gui.window, column, row.header), RGB(255, 255, 255));
        }
        // The icon's white pop-up windows and the white title sit on the gradient.
        RECT icon = {row.header * 24 / 118, row.header * 35 / 118, row.header * 72 / 118, row.header * 83 / 118};
        RECT iconWhite = FindColour(gui.window, icon, RGB(255, 255, 255));
        EXPECT_FALSE(IsRectEmpty(&iconWhite));
        RECT titleWhite = FindColour(gui.window, TitleArea(row.width, row.header), RGB(255, 255, 255));
        EXPECT_FALSE(IsRectEmpty(&titleWhite));
        SIZE client = ClientSize(gui.window);
        EXPECT_EQ(ClientPixel(gui.window, 2, client.cy - 1), RGB(255, 255, 255));
        EXPECT_EQ(ClientPixel(gui.window, client.cx - 1, client.cy - 1), RGB(255, 255, 255));
    }
}

TEST(GuiWindow, DrawsTheButtonAndTheBylineInTheirColours) {
    Sandbox sandbox;
    GuiProgram gui = StartGui(sandbox, L"96");
    ASSERT_NE(gui.window, nullptr);
    int shift = BodyShift(gui.window);
    // Inside the rounded rectangle, above the first line of text.
    EXPECT_TRUE(WaitUntil([&] { return ClientPixel(gui.window, 60, 210 + shift) == RGB(46, 125, 255); }, 5000));
    // The corner outside the rounding shows the window's white.
    EXPECT_EQ(ClientPixel(gui.window, 24, 204 + shift), RGB(255, 255, 255));
    // Both text lines are drawn in their own colours somewhere inside the button.
    RECT title = FindColour(gui.window, {24, 218 + shift, 496, 240 + shift}, RGB(255, 255, 255));
    EXPECT_FALSE(IsRectEmpty(&title));
    RECT caption = FindColour(gui.window, {24, 244 + shift, 496, 266 + shift}, RGB(214, 230, 255));
    EXPECT_FALSE(IsRectEmpty(&caption));

    // The byline starts at the text column, one line below the subtitle.
    RECT byline = FindColour(gui.window, {88, 78, 496, 118}, RGB(220, 236, 255));
    ASSERT_FALSE(IsRectEmpty(&byline));
    EXPECT_LE(byline.left, 90);
    EXPECT_GE(byline.top, 78);
    EXPECT_GT(byline.right - byline.left, 60);
}

// Pixels of column x of the button, top to bottom inside its straight edge, not of colour.
int PixelsNotOfColour(HWND window, int x, COLORREF colour) {
    int others = 0;
    int shift = BodyShift(window);
    for (int y = 212 + shift; y < 260 + shift; ++y)
        others += ClientPixel(window, x, y) != colour;
    return others;
}

TEST(GuiWindow, PressedButtonShowsItsColourAndFocusRectangle) {
    Sandbox sandbox;
    GuiProgram gui = StartGui(sandbox, L"96");
    ASSERT_NE(gui.window, nullptr);
    const COLORREF normal = RGB(46, 125, 255);
    const COLORREF pressed = RGB(37, 105, 216);
    const int y = 210 + BodyShift(gui.window);
    ASSERT_TRUE(WaitUntil([&] { return ClientPixel(gui.window, 60, y) == normal; }, 5000));
    EXPECT_EQ(PixelsNotOfColour(gui.window, 27, normal), 0);

    // A press gives the button the focus: pressed colours plus a dotted rectangle 3 pixels inside its edge.
    MouseButtonAt(gui.window, 260, y, true);
    EXPECT_TRUE(WaitUntil([&] { return ClientPixel(gui.window, 60, y) == pressed; }, 5000));
    EXPECT_TRUE(WaitUntil([&] { return PixelsNotOfColour(gui.window, 27, pressed) > 10; }, 5000));
    EXPECT_EQ(PixelsNotOfColour(gui.window, 26, pressed), 0);
    EXPECT_EQ(PixelsNotOfColour(gui.window, 28, pressed), 0);

    MouseButtonAt(gui.window, 260, y, false);
    SetCursorPos(0, 0);
    HWND box = WaitForTopLevelWindow(gui.child.id, L"#32770", L"Clean My Browsers", 10000);
    ASSERT_NE(box, nullptr);
    AnswerMessageBox(box, IDNO);
    EXPECT_TRUE(WaitUntil([&] { return ClientPixel(gui.window, 60, y) == normal; }, 5000));
    EXPECT_EQ(StatusText(gui.window), L"Ready.");
}

// The description is as tall as its text wrapped to its width, and the controls follow it.
TEST(GuiWindow, DescriptionHoldsItsWholeTextAndTheButtonFollowsIt) {
    struct Row {
        const wchar_t* forced;
        int dpi;
    } rows[] = {{L"96", 96}, {L"144", 144}, {L"480", 480}};
    for (const Row& row : rows) {
        SCOPED_TRACE(Utf8(row.forced));
        Sandbox sandbox;
        GuiProgram gui = StartGui(sandbox, row.forced);
        ASSERT_NE(gui.window, nullptr);
        HWND description = DescriptionOf(gui.window);
        ASSERT_NE(description, nullptr);
        std::wstring text = WindowText(description);
        EXPECT_EQ(text.rfind(L"Popups that won't stop", 0), 0u) << Utf8(text);
        RECT place = ChildRect(description);
        int needed = TextHeight(text, row.dpi, place.right - place.left);
        // More than the three lines it used to be given, at every DPI.
        EXPECT_GT(needed, MulDiv(54, row.dpi, 96));
        EXPECT_EQ(place.bottom - place.top, needed);
        RECT button = ChildRect(CleanButtonOf(gui.window));
        EXPECT_EQ(button.top, place.bottom + MulDiv(12, row.dpi, 96));
        EXPECT_EQ(button.left, place.left);
        EXPECT_EQ(button.right, place.right);
        EXPECT_GE(ChildRect(StatusLabelOf(gui.window)).top, button.bottom);
    }
}

// At 480 DPI the layout is wider than the test bed's 1280-pixel screen: the window is made
// narrower, its text wraps to the narrower column, and it stays inside the work area.
TEST(GuiWindow, StaysInsideTheWorkAreaAtTheLargestDpi) {
    Sandbox sandbox;
    GuiProgram gui = StartGui(sandbox, L"480");
    ASSERT_NE(gui.window, nullptr);
    MONITORINFO monitor = {};
    monitor.cbSize = sizeof(monitor);
    ASSERT_TRUE(GetMonitorInfoW(MonitorFromWindow(gui.window, MONITOR_DEFAULTTONEAREST), &monitor));
    ASSERT_LT(monitor.rcWork.right - monitor.rcWork.left, MulDiv(520, 480, 96)) << "a screen wide enough for 480 DPI";
    RECT placed = {};
    GetWindowRect(gui.window, &placed);
    RECT inside = {};
    IntersectRect(&inside, &placed, &monitor.rcWork);
    EXPECT_TRUE(EqualRect(&inside, &placed))
        << placed.left << "," << placed.top << "," << placed.right << "," << placed.bottom;
    // The column keeps its margins inside the narrower client area.
    SIZE client = ClientSize(gui.window);
    RECT button = ChildRect(CleanButtonOf(gui.window));
    EXPECT_EQ(button.left, MulDiv(24, 480, 96));
    EXPECT_EQ(client.cx - button.right, MulDiv(24, 480, 96));
    RECT description = ChildRect(DescriptionOf(gui.window));
    EXPECT_EQ(description.right, button.right);
}

TEST(GuiWindow, ClosingTheIdleWindowAsksNothingAndExitsWithZero) {
    Sandbox sandbox;
    GuiProgram gui = StartGui(sandbox);
    ASSERT_NE(gui.window, nullptr);
    PostMessageW(gui.window, WM_CLOSE, 0, 0);
    EXPECT_EQ(WaitForExit(gui.child, 10000), 0u);
}

TEST(GuiWindow, IgnoresCommandsOfOtherControls) {
    Sandbox sandbox;
    GuiProgram gui = StartGui(sandbox);
    ASSERT_NE(gui.window, nullptr);
    for (WPARAM id : {WPARAM(0), WPARAM(1000), WPARAM(1002), WPARAM(MAKEWPARAM(2001, BN_CLICKED))})
        EXPECT_EQ(SendMessageW(gui.window, WM_COMMAND, id, 0), 0);
    EXPECT_EQ(WaitForTopLevelWindow(gui.child.id, L"#32770", nullptr, 300), nullptr);
    EXPECT_EQ(StatusText(gui.window), L"Ready.");
}

}  // namespace
