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

// The description's measured height moves what lies below it; a screen too narrow narrows the column.
TEST(GuiLayout, FollowsTheDescriptionsHeightAndTheScreensWidth) {
    struct Row {
        const char* name;
        int dpi;
        int maximumWidth;       // for NarrowLayout; 0: not called
        int descriptionHeight;  // for SetDescriptionHeight
        int clientWidth, clientHeight, contentWidth;
        RECT description, button, status;
        int linkTop;  // of a link 15 pixels tall
    } rows[] = {
        {"three lines, as before",
         96,
         0,
         54,
         520,
         328,
         472,
         {24, 138, 496, 192},
         {24, 204, 496, 268},
         {24, 284, 496, 304},
         307},
        {"five lines", 96, 0, 90, 520, 364, 472, {24, 138, 496, 228}, {24, 240, 496, 304}, {24, 320, 496, 340}, 343},
        {"a negative height counts as none",
         96,
         0,
         -5,
         520,
         274,
         472,
         {24, 138, 496, 138},
         {24, 150, 496, 214},
         {24, 230, 496, 250},
         253},
        {"a screen wide enough",
         96,
         1280,
         54,
         520,
         328,
         472,
         {24, 138, 496, 192},
         {24, 204, 496, 268},
         {24, 284, 496, 304},
         307},
        {"480 DPI on a 1280-pixel screen",
         480,
         1270,
         400,
         1270,
         1640 + 400 - 270,
         1030,
         {120, 690, 1150, 1090},
         {120, 1150, 1150, 1470},
         {120, 1550, 1150, 1650},
         1697},
        {"never narrower than the margins and a short column",
         480,
         100,
         270,
         1040,
         1640,
         800,
         {120, 690, 920, 960},
         {120, 1020, 920, 1340},
         {120, 1420, 920, 1520},
         1567},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        ComputeLayout(row.dpi);
        if (row.maximumWidth)
            NarrowLayout(row.maximumWidth);
        SetDescriptionHeight(row.descriptionHeight);
        EXPECT_EQ(guiState.clientWidth, row.clientWidth);
        EXPECT_EQ(guiState.clientHeight, row.clientHeight);
        EXPECT_EQ(guiState.contentWidth, row.contentWidth);
        std::pair<RECT, RECT> places[] = {
            {DescriptionRect(), row.description}, {CleanButtonRect(), row.button}, {StatusRect(), row.status}};
        for (const auto& [actual, expected] : places)
            EXPECT_TRUE(EqualRect(&actual, &expected))
                << actual.left << "," << actual.top << "," << actual.right << "," << actual.bottom;
        EXPECT_EQ(FindingsLinkRect({100, 15}).top, row.linkTop);
    }
    ComputeLayout(96);
}

TEST(GuiLayout, PlacesAWindowCentredInsideTheWorkArea) {
    struct Row {
        const char* name;
        RECT work;
        SIZE outer;
        RECT expected;
    } rows[] = {
        {"fits", {0, 0, 1280, 1024}, {526, 357}, {377, 333, 903, 690}},
        {"taskbar on the left", {60, 0, 1280, 1024}, {526, 357}, {407, 333, 933, 690}},
        {"too wide and too tall", {0, 0, 1280, 984}, {2606, 1800}, {0, 0, 1280, 984}},
        {"too wide only", {0, 40, 1280, 1024}, {2000, 400}, {0, 332, 1280, 732}},
        {"a second monitor left of the first", {-1920, 0, 0, 1080}, {526, 357}, {-1223, 361, -697, 718}},
        {"an empty work area", {100, 100, 100, 100}, {526, 357}, {100, 100, 100, 100}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        RECT place = PlaceInWorkArea(row.work, row.outer);
        EXPECT_TRUE(EqualRect(&place, &row.expected))
            << place.left << "," << place.top << "," << place.right << "," << place.bottom;
    }
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
    locked.leftBehind = locked.inUse = {session};
    CleanupOutcome notDeleted;
    notDeleted.leftBehind = {session};
    CleanupOutcome settingsInUse;
    settingsInUse.settingsLeftAlone = settingsInUse.inUse = {L"C:\\x\\Preferences"};
    CleanupOutcome settingsLeftAlone;
    settingsLeftAlone.settingsLeftAlone = {L"C:\\x\\Preferences"};
    settingsLeftAlone.permissionsTakenBack = 2;
    CleanupOutcome link;
    link.linksLeftAlone = {L"C:\\x\\History"};
    CleanupOutcome held;
    held.lockHeldElsewhere = true;
    CleanupOutcome noLock = held;
    noLock.lockNotTaken = true;
    struct Row {
        const char* name;
        CleanupOutcome outcome;
        bool throws;
        WPARAM expected;
    } rows[] = {
        {"nothing left behind", {}, false, CLEANUP_FINISHED},
        {"one file held open", locked, false, CLEANUP_FILES_LOCKED},
        {"settings held open", settingsInUse, false, CLEANUP_FILES_LOCKED},
        // Left alone for a reason that running again does not change: no browser advice.
        {"a file not deleted, not in use", notDeleted, false, CLEANUP_ITEMS_LEFT},
        {"settings left alone", settingsLeftAlone, false, CLEANUP_ITEMS_LEFT},
        {"a link left alone", link, false, CLEANUP_ITEMS_LEFT},
        {"another run held the lock", held, false, CLEANUP_ALREADY_RUNNING},
        {"no lock could be had", noLock, false, CLEANUP_LOCK_NOT_TAKEN},
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

// The findings window's texts measured as the window measures them: its captions
// from the string table in its font (Segoe UI, or what the system puts in its place).
FindingsTextSizes MeasuredFindingsTexts(int dpi, const std::wstring& longCaption = L"") {
    HFONT font =
        CreateFontW(-MulDiv(10, dpi, 72), 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_TT_PRECIS,
                    CLIP_DEFAULT_PRECIS, CLEARTYPE_QUALITY, DEFAULT_PITCH | FF_DONTCARE, L"Segoe UI");
    HDC dc = GetDC(nullptr);
    HGDIOBJ old = SelectObject(dc, font);
    auto measure = [&](const std::wstring& text) {
        SIZE size = {0, 0};
        GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &size);
        return size;
    };
    FindingsTextSizes sizes;
    sizes.fixButton = measure(longCaption.empty() ? LoadText(IDS_FIX_SELECTED) : longCaption);
    sizes.undoButton = measure(LoadText(IDS_UNDO_LAST));
    sizes.copyButton = measure(LoadText(IDS_COPY_REPORT));
    sizes.closeButton = measure(LoadText(IDS_CLOSE));
    TEXTMETRICW metrics = {};
    GetTextMetricsW(dc, &metrics);
    sizes.lineHeight = metrics.tmHeight;
    SelectObject(dc, old);
    ReleaseDC(nullptr, dc);
    DeleteObject(font);
    return sizes;
}

// Every control inside the client area, none over another, each button wider and
// taller than its measured caption, the details at least five lines tall.
void ExpectFindingsLayoutHolds(SIZE client, const FindingsTextSizes& texts) {
    FindingsLayout layout = LayOutFindings(client.cx, client.cy, texts);
    const std::pair<const char*, RECT> places[] = {{"summary", layout.summary},  {"list", layout.list},
                                                   {"details", layout.details},  {"fix", layout.fixButton},
                                                   {"undo", layout.undoButton},  {"copy", layout.copyButton},
                                                   {"close", layout.closeButton}};
    RECT area = {0, 0, client.cx, client.cy};
    for (std::size_t i = 0; i < std::size(places); ++i) {
        SCOPED_TRACE(places[i].first);
        RECT inside = {};
        IntersectRect(&inside, &places[i].second, &area);
        EXPECT_TRUE(EqualRect(&inside, &places[i].second));
        EXPECT_GT(places[i].second.bottom, places[i].second.top);
        for (std::size_t j = i + 1; j < std::size(places); ++j) {
            RECT overlap = {};
            EXPECT_FALSE(IntersectRect(&overlap, &places[i].second, &places[j].second)) << places[j].first;
        }
    }
    const std::pair<RECT, SIZE> buttons[] = {{layout.fixButton, texts.fixButton},
                                             {layout.undoButton, texts.undoButton},
                                             {layout.copyButton, texts.copyButton},
                                             {layout.closeButton, texts.closeButton}};
    for (const auto& [place, caption] : buttons) {
        EXPECT_GT(place.right - place.left, caption.cx + 8);
        EXPECT_GT(place.bottom - place.top, caption.cy + 4);
    }
    EXPECT_GE(layout.details.bottom - layout.details.top, 5 * texts.lineHeight);
}

TEST(GuiLayout, FindingsWindowHoldsItsMeasuredTextsAtEveryDpi) {
    for (int dpi : {96, 144, 192}) {
        SCOPED_TRACE(testing::Message() << "dpi " << dpi);
        ComputeLayout(dpi);
        FindingsTextSizes texts = MeasuredFindingsTexts(dpi);
        ExpectFindingsLayoutHolds(FindingsMinimumClientSize(texts), texts);
        ExpectFindingsLayoutHolds(FindingsClientSize(texts), texts);
        // A translation's long caption widens the window rather than clipping it.
        FindingsTextSizes wide = MeasuredFindingsTexts(dpi, std::wstring(60, L'W'));
        EXPECT_GT(FindingsMinimumClientSize(wide).cx, FindingsMinimumClientSize(texts).cx);
        ExpectFindingsLayoutHolds(FindingsMinimumClientSize(wide), wide);
    }
    // Too small a window never turns the list inside out.
    ComputeLayout(96);
    FindingsLayout tiny = LayOutFindings(100, 50, MeasuredFindingsTexts(96));
    EXPECT_GE(tiny.list.bottom, tiny.list.top);
    EXPECT_GE(tiny.details.bottom, tiny.details.top);
}

TEST(GuiLayout, FindingsLinkScalesWithTheDpi) {
    const std::pair<int, RECT> rows[] = {{96, {158, 307, 362, 324}}, {144, {287, 465, 493, 483}}};
    for (const auto& [dpi, expected] : rows) {
        ComputeLayout(dpi);
        RECT link = FindingsLinkRect({200, 15});
        EXPECT_TRUE(EqualRect(&link, &expected)) << dpi;
    }
}

TEST(GuiCleanupOutcome, CompletionStatusCountsWhatTheReviewFoundAfterAFinishedRun) {
    struct Row {
        WPARAM ending;
        std::size_t findingsLeft;
        const wchar_t* status;
    } rows[] = {
        {CLEANUP_FINISHED, 0, L"Done. Your browsers are clean - reopen one to start fresh."},
        {CLEANUP_FINISHED, 1, L"Done, but 1 thing can still bring pop-ups back."},
        {CLEANUP_FINISHED, 5000, L"Done, but 5000 things can still bring pop-ups back."},
        {CLEANUP_FILES_LOCKED, 3, L"Some files were in use - close your browsers and try again."},
        {CLEANUP_ITEMS_LEFT, 3, L"Done, but some things were left as they were: 1 link left alone."},
        {CLEANUP_FAILED, 3, L"Could not finish."},
        {CLEANUP_ALREADY_RUNNING, 3, L"Another PopSwat cleanup is already running."},
        {CLEANUP_LOCK_NOT_TAKEN, 3,
         L"PopSwat could not make sure that no other cleanup is running, so it changed nothing."},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::Message() << "ending " << row.ending << ", findings " << row.findingsLeft);
        EXPECT_EQ(CompletionStatus(row.ending, row.findingsLeft, L"1 link left alone"), row.status);
    }
    EXPECT_EQ(FindingsLinkText(false), L"What keeps bringing pop-ups back?");
    EXPECT_EQ(FindingsLinkText(true), L"See what and how to stop it");
    EXPECT_EQ(FindingsSummary(0), L"Nothing was found that brings pop-ups back.");
    EXPECT_EQ(FindingsSummary(1), L"1 thing can bring pop-ups back.");
    EXPECT_EQ(FindingsSummary(2), L"2 things can bring pop-ups back.");
}

TEST(GuiCleanupOutcome, ReviewsOnlyAfterARunThatWentThroughAndKeepsTheReview) {
    CleanupOutcome locked;
    locked.leftBehind = locked.inUse = {L"C:\\x\\Current Session"};
    CleanupOutcome link;
    link.linksLeftAlone = {L"C:\\x\\Sessions"};
    CleanupOutcome held;
    held.lockHeldElsewhere = true;
    enum Review { Finds, Throws, Fails };
    struct Row {
        const char* name;
        CleanupOutcome outcome;
        bool runThrows;
        Review review;
        WPARAM ending;
        bool reviewed;
        bool kept;  // the review's rows and count are in the result
    } rows[] = {
        {"finished", {}, false, Finds, CLEANUP_FINISHED, true, true},
        {"files in use", locked, false, Finds, CLEANUP_FILES_LOCKED, true, true},
        {"a link left alone", link, false, Finds, CLEANUP_ITEMS_LEFT, true, true},
        {"another run held the lock", held, false, Finds, CLEANUP_ALREADY_RUNNING, false, false},
        {"run thrown", {}, true, Finds, CLEANUP_FAILED, false, false},
        {"review thrown", {}, false, Throws, CLEANUP_FAILED, true, false},
        {"review failed", {}, false, Fails, CLEANUP_FAILED, true, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        bool reviewed = false;
        CleanupResult result;
        WPARAM ending = RunAndReview(
            [&](const CleanupOptions&) {
                if (row.runThrows)
                    throw std::bad_alloc();
                return row.outcome;
            },
            [&] {
                reviewed = true;
                if (row.review == Throws)
                    throw std::bad_alloc();
                // A failed review sets nothing else.
                ReviewResult review;
                review.failed = row.review == Fails;
                if (!review.failed) {
                    review.count = 7;
                    review.rows.resize(7);
                }
                return review;
            },
            &result);
        EXPECT_EQ(ending, row.ending);
        EXPECT_EQ(reviewed, row.reviewed);
        EXPECT_EQ(result.findingsLeft, row.kept ? 7u : 0u);
        EXPECT_EQ(result.review.rows.size(), row.kept ? 7u : 0u);
        EXPECT_EQ(result.outcome.leftBehind, row.outcome.leftBehind);
    }
}

}  // namespace
