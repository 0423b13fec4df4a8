#include <gtest/gtest.h>

#include <stdexcept>

#include "gui/gui.h"
#include "tests/test_support.h"

namespace {

struct LayoutRow {
    int dpi;
    int clientWidth, clientHeight, margin, contentWidth, header;
    int bodyFont, titleFont, buttonTitleFont, captionFont;
    int textColumn, buttonTop, buttonHeight, statusTop, corner, focusInset, icon;
};

// Sizes at the common display settings, rounded as MulDiv rounds.
const LayoutRow LAYOUTS[] = {
    {96, 520, 328, 24, 472, 118, -13, -27, -17, -12, 88, 204, 64, 284, 14, 3, 48},
    {120, 650, 410, 30, 590, 148, -17, -33, -22, -15, 110, 255, 80, 355, 18, 4, 60},
    {144, 780, 492, 36, 708, 177, -20, -40, -26, -18, 132, 306, 96, 426, 21, 5, 72},
};

TEST(GuiLayout, ScalesEverySizeForTheDpi) {
    for (const LayoutRow& row : LAYOUTS) {
        SCOPED_TRACE(testing::Message() << "dpi " << row.dpi);
        ComputeLayout(row.dpi);
        EXPECT_EQ(guiState.dpi, row.dpi);
        EXPECT_EQ(guiState.clientWidth, row.clientWidth);
        EXPECT_EQ(guiState.clientHeight, row.clientHeight);
        EXPECT_EQ(guiState.margin, row.margin);
        EXPECT_EQ(guiState.contentWidth, row.contentWidth);
        EXPECT_EQ(HeaderHeight(), row.header);
        EXPECT_EQ(FontHeight(10), row.bodyFont);
        EXPECT_EQ(FontHeight(20), row.titleFont);
        EXPECT_EQ(FontHeight(13), row.buttonTitleFont);
        EXPECT_EQ(FontHeight(9), row.captionFont);
        EXPECT_EQ(TitleBox().left, row.textColumn);
        EXPECT_EQ(BylineOrigin().x, row.textColumn);
        RECT button = CleanButtonRect();
        EXPECT_EQ(button.left, row.margin);
        EXPECT_EQ(button.top, row.buttonTop);
        EXPECT_EQ(button.bottom - button.top, row.buttonHeight);
        EXPECT_EQ(button.right - button.left, row.contentWidth);
        EXPECT_EQ(StatusRect().top, row.statusTop);
        EXPECT_EQ(ButtonCornerSize(), row.corner);
        EXPECT_EQ(FocusInset(), row.focusInset);
        RECT icon = HeaderIconRect();
        EXPECT_EQ(icon.right - icon.left, row.icon);
        EXPECT_EQ(icon.bottom - icon.top, row.icon);
    }
    ComputeLayout(96);
}

TEST(GuiLayout, GradientRunsFromBlueToTeal) {
    struct Row {
        int column;
        COLORREF colour;
    } rows[] = {
        {0, RGB(46, 125, 255)},
        {1, RGB(45, 125, 254)},
        {259, RGB(33, 158, 217)},
        {519, RGB(20, 193, 180)},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::Message() << "column " << row.column);
        EXPECT_EQ(HeaderGradientColour(row.column, 520), row.colour);
    }
    EXPECT_EQ(HeaderGradientColour(779, 780), RGB(20, 193, 180));
    // A band one column wide would divide by zero; it takes the left colour.
    EXPECT_EQ(HeaderGradientColour(0, 1), RGB(46, 125, 255));
}

TEST(GuiLayout, ButtonColoursFollowTheState) {
    struct Row {
        const char* name;
        UINT state;
        COLORREF fill, outline, firstLine, secondLine;
    } rows[] = {
        {"normal", 0, RGB(46, 125, 255), RGB(46, 125, 255), RGB(255, 255, 255), RGB(214, 230, 255)},
        {"focused", ODS_FOCUS, RGB(46, 125, 255), RGB(46, 125, 255), RGB(255, 255, 255), RGB(214, 230, 255)},
        {"pressed", ODS_SELECTED, RGB(37, 105, 216), RGB(37, 105, 216), RGB(255, 255, 255), RGB(214, 230, 255)},
        {"disabled", ODS_DISABLED, RGB(233, 236, 240), RGB(221, 225, 230), RGB(154, 161, 172), RGB(154, 161, 172)},
        {"disabled and pressed", ODS_DISABLED | ODS_SELECTED | ODS_FOCUS, RGB(233, 236, 240), RGB(221, 225, 230),
         RGB(154, 161, 172), RGB(154, 161, 172)},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        ButtonColours colours = CleanButtonColours(row.state);
        EXPECT_EQ(colours.fill, row.fill);
        EXPECT_EQ(colours.outline, row.outline);
        EXPECT_EQ(colours.firstLine, row.firstLine);
        EXPECT_EQ(colours.secondLine, row.secondLine);
    }
}

TEST(GuiForcedDpi, AcceptsOnlyNumbersFrom96To480) {
    struct Row {
        const wchar_t* value;
        int expected;
    } rows[] = {
        {L"144", 144},
        {L"96", 96},
        {L"480", 480},
        {L"95", 100},
        {L"481", 100},
        {L"0", 100},
        {L"-120", 100},
        {L"abc", 100},
        {L" 120", 120},
        {L"+120", 120},
        {L"120dpi", 120},
        {L"\t\n120", 120},
        {L"1 20", 100},
        {L"+-120", 100},
        {L"", 100},
        // Ten or more digits: a wrapping conversion could land in range (2^32 + 144).
        {L"4294967440", 100},
        {L"-4294967152", 100},
        {L"000000000000144", 144},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::Message() << "value \"" << Utf8(row.value) << "\"");
        DWORD length = static_cast<DWORD>(wcslen(row.value));
        EXPECT_EQ(ChooseDpi(100, length, row.value), row.expected);
    }
}

TEST(GuiForcedDpi, AValueTooLongForTheBufferCountsAsAbsent) {
    // GetEnvironmentVariableW reports the size it needs when the value does not fit
    // and leaves the buffer unfilled.
    EXPECT_EQ(ChooseDpi(100, 17, L""), 100);
    EXPECT_EQ(ChooseDpi(100, 16, L"144"), 100);
    EXPECT_EQ(ChooseDpi(100, 15, L"000000000000144"), 144);
    EXPECT_EQ(ChooseDpi(100, 0, L"144"), 100);
}

TEST(GuiCleanupOutcome, TellsFinishedLockedAndFailedRunsApart) {
    const std::wstring session = L"C:\\x\\Current Session";
    CleanupOutcome locked;
    locked.leftBehind = {session};
    CleanupOutcome settingsLeftAlone;
    settingsLeftAlone.settingsLeftAlone = {L"C:\\x\\Preferences"};
    settingsLeftAlone.permissionsTakenBack = 2;
    CleanupOutcome held;
    held.lockHeldElsewhere = true;
    struct Row {
        const char* name;
        CleanupOutcome outcome;
        bool throws;
        WPARAM expected;
    } rows[] = {
        {"nothing left behind", {}, false, CLEANUP_FINISHED},
        {"one locked file", locked, false, CLEANUP_FILES_LOCKED},
        {"settings left alone are no files in use", settingsLeftAlone, false, CLEANUP_FINISHED},
        {"another run held the lock", held, false, CLEANUP_ALREADY_RUNNING},
        {"thrown", {}, true, CLEANUP_FAILED},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        CleanupOptions seen;
        WPARAM outcome = RunAndClassify([&](const CleanupOptions& options) {
            seen = options;
            if (row.throws)
                throw std::bad_alloc();
            return row.outcome;
        });
        EXPECT_EQ(outcome, row.expected);
        // The window shows no lines: every flag off, no log.
        EXPECT_FALSE(seen.preview || seen.tabsOnly || seen.force || seen.resetPermissions);
        EXPECT_FALSE(seen.log);
    }
}

}  // namespace
