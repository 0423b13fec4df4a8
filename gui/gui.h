// The windowed program: its state, its layout arithmetic and the pieces the tests drive.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <string>
#include <vector>

#include "engine/engine.h"
#include "review/review.h"

#include "gui/resource_ids.h"

constexpr int IDC_CLEAN_BUTTON = 1001;
constexpr int IDC_FINDINGS_LINK = 1002;  // the SysLink under the status line
constexpr int IDC_DESCRIPTION = 1003;    // the text above the clean button
// The findings window's controls; its Close button is IDCANCEL, which Esc sends too.
// Tab goes list, details, then the buttons left to right; IDOK is what Enter sends
// where no button has the focus.
constexpr int IDC_FINDINGS_SUMMARY = 1101;
constexpr int IDC_FINDINGS_LIST = 1102;     // the list view, one row per finding
constexpr int IDC_FINDINGS_DETAILS = 1103;  // the selected row's details, read-only
constexpr int IDC_COPY_REPORT_BUTTON = 1104;
constexpr int IDC_FIX_SELECTED_BUTTON = 1105;
constexpr int IDC_UNDO_LAST_BUTTON = 1106;

// Posted by the cleanup worker when its run and the review after it have returned;
// wParam says how the run ended, lParam is a CleanupResult the window deletes (0
// when there is none).
constexpr UINT WM_CLEANUP_DONE = WM_APP + 1;
constexpr WPARAM CLEANUP_FINISHED = 0;         // the run went through
constexpr WPARAM CLEANUP_FILES_LOCKED = 1;     // something was left because another program held it open
constexpr WPARAM CLEANUP_FAILED = 2;           // the run ended by an exception
constexpr WPARAM CLEANUP_ALREADY_RUNNING = 3;  // another cleanup run held the lock; nothing was done
constexpr WPARAM CLEANUP_LOCK_NOT_TAKEN = 4;   // no one-run lock could be had; nothing was done
constexpr WPARAM CLEANUP_ITEMS_LEFT = 5;       // something was left alone, nothing because it was in use

// Posted to the findings window by its workers; lParam is a ReviewResult or a
// WindowChangeResult that the window deletes.
constexpr UINT WM_REVIEW_DONE = WM_APP + 2;
constexpr UINT WM_CHANGE_DONE = WM_APP + 3;

// The window's one state record, used only on the window's thread.
struct GuiState {
    int32_t dpi = 96;
    int32_t clientWidth = 520;
    int32_t clientHeight = 328;
    int32_t margin = 24;
    int32_t contentWidth = 472;
    int32_t descriptionHeight = 54;  // the description's text, measured in its font (DescriptionTextHeight)
    RECT linkRect = {0, 0, 0, 0};
    bool linkPressed = false;
    bool cleanupRunning = false;
    HWND mainWindow = nullptr;
    HWND cleanButton = nullptr;
    HWND statusLabel = nullptr;
    HWND findingsLink = nullptr;
    HFONT fontBody = nullptr;
    HFONT fontTitle = nullptr;
    HFONT fontSubtitle = nullptr;
    HFONT fontButtonTitle = nullptr;
    HFONT fontButtonCaption = nullptr;
    HFONT fontLink = nullptr;
    HICON headerIcon = nullptr;
};

extern GuiState guiState;

// ---- Layout (logical units of a 96-DPI display, scaled one value at a time) ----

// MulDiv(value, dpi, 96): rounded to the nearest device pixel.
int Scale(int value);
// Sets dpi and the client size, margin and content width derived from it, with a
// description of its default height (three body lines).
void ComputeLayout(int dpi);
// Makes the client area no wider than that (but never narrower than the margins and a
// short column), for a screen too small for the layout; the content column narrows with it.
void NarrowLayout(int maximumClientWidth);
// The description's measured height in pixels: what lies below it and the client height follow.
void SetDescriptionHeight(int height);
// Character height of a font of the given size: -MulDiv(points, dpi, 72).
int FontHeight(int points);

int HeaderHeight();
RECT HeaderIconRect();
RECT TitleBox();
RECT SubtitleBox();
POINT BylineOrigin();
RECT DescriptionRect();
RECT CleanButtonRect();
RECT StatusRect();
int ButtonCornerSize();
int FocusInset();

// Colour of one pixel column of the header gradient, for a band `width` columns wide.
COLORREF HeaderGradientColour(int column, int width);

struct ButtonColours {
    COLORREF fill;
    COLORREF outline;
    COLORREF firstLine;
    COLORREF secondLine;
};
// By the owner-draw state bits: disabled wins over selected.
ButtonColours CleanButtonColours(UINT itemState);

COLORREF BylineColour(bool pressed);

// The findings link, centred in the line under the status line, for a text of that size.
RECT FindingsLinkRect(SIZE text);

// The findings window's measured texts: each button's caption and one line of its font, in pixels.
struct FindingsTextSizes {
    SIZE fixButton = {0, 0};
    SIZE undoButton = {0, 0};
    SIZE copyButton = {0, 0};
    SIZE closeButton = {0, 0};
    int lineHeight = 0;
};
// The findings window: its client size when it opens and the smallest it can be
// made, for those texts (the buttons side by side, each as wide as its caption needs).
SIZE FindingsClientSize(const FindingsTextSizes& texts);
SIZE FindingsMinimumClientSize(const FindingsTextSizes& texts);
// Where its controls go in a client area of that size (device pixels).
struct FindingsLayout {
    RECT summary;
    RECT list;
    RECT details;
    RECT fixButton;
    RECT undoButton;
    RECT copyButton;
    RECT closeButton;
};
FindingsLayout LayOutFindings(int clientWidth, int clientHeight, const FindingsTextSizes& texts);

// Where a window of that outer size goes: centred in the work area and no larger than it.
RECT PlaceInWorkArea(const RECT& workArea, SIZE outer);

// ---- Start-up ----

constexpr int MIN_FORCED_DPI = 96;
constexpr int MAX_FORCED_DPI = 480;
constexpr DWORD FORCED_DPI_BUFFER_CHARS = 16;

// The number at the start of text as _wtoi reads it (white space, sign, digits),
// saturating instead of wrapping on overflow.
int LeadingInteger(const wchar_t* text);
// The DPI to use, given the measured one and what GetEnvironmentVariableW reported for
// POPSWAT_FORCE_DPI into a FORCED_DPI_BUFFER_CHARS buffer (length 0 when absent).
int ChooseDpi(int measuredDpi, DWORD reportedLength, const wchar_t* buffer);

// ---- The cleanup run ----

using CleanupCall = std::function<CleanupOutcome(const CleanupOptions&)>;

// Runs one cleanup through `run`, with every flag off and no log, and tells how it
// ended: CLEANUP_ALREADY_RUNNING when another run held the lock, CLEANUP_FILES_LOCKED
// when something was left because it was in use, CLEANUP_ITEMS_LEFT when
// something else was left alone, CLEANUP_FAILED when it threw. The run's
// record goes to *record when that is not null.
WPARAM RunAndClassify(const CleanupCall& run, CleanupOutcome* record = nullptr);

struct ReviewResult;
using ReviewCall = std::function<ReviewResult()>;

// What the cleanup worker posts with WM_CLEANUP_DONE.
struct CleanupResult;
// RunAndClassify, then, when the run went through or left files behind, the
// review: result->review, whose count is result->findingsLeft. Returns how it
// ended; CLEANUP_FAILED also when the review threw or failed.
WPARAM RunAndReview(const CleanupCall& run, const ReviewCall& review, CleanupResult* result);

// The status line after a run that ended so, with that many findings left;
// leftByKind (LeftBehindByKind) says what a run that ended CLEANUP_ITEMS_LEFT left.
std::wstring CompletionStatus(WPARAM ending, std::size_t findingsLeft, const std::wstring& leftByKind = L"");
// The link line's text: how to reach the findings window, once a run left some.
std::wstring FindingsLinkText(bool findingsLeft);

// ---- What brings pop-ups back ----

// A review as the findings window shows it.
struct ReviewResult {
    std::wstring report;             // what "popswat --review" prints, CR LF after each line
    std::size_t count = 0;           // CountFindings
    std::vector<FindingRow> rows;    // FindingRows
    std::vector<FixTarget> targets;  // FixTargets: what "Fix selected" hands to the fix
    bool undoable = false;           // undoRun holds a run with changes not yet undone
    ChangeRunSummary undoRun;        // the newest such run (ListChangeRuns)
    bool failed = false;             // the review ended by an exception; nothing else is set
};
// Reviews this machine (CollectReview in SystemFixPlaces(), where the fixes look)
// and finds the newest run that "Undo last fix" puts back.
ReviewResult ReviewForWindow();

struct CleanupResult {
    CleanupOutcome outcome;        // the run's record
    std::size_t findingsLeft = 0;  // what the review after the run counted (review.count)
    ReviewResult review;           // that review: the findings window opened next shows its rows
};

// The one place the window calls the fix and the undo, in SystemFixPlaces().
ChangeRunOutcome FixForWindow(const CleanupOptions& options, const std::vector<FixTarget>& targets);
ChangeRunOutcome UndoForWindow(const CleanupOptions& options, const ChangeRunSummary& run);

// A fix or an undo as the findings window shows it.
struct WindowChangeResult {
    bool undo = false;
    ChangeRunOutcome outcome;
    bool failed = false;  // it ended by an exception
};
// Runs the fix of those targets, or the undo of that run, catching what it throws.
WindowChangeResult FixTargetsForWindow(const std::vector<FixTarget>& targets);
WindowChangeResult UndoRunForWindow(const ChangeRunSummary& run);

// The targets whose ids are among ids (ASCII case ignored), in the targets' order.
std::vector<FixTarget> TargetsWithIds(const std::vector<FixTarget>& targets, const std::vector<std::wstring>& ids);
// The question "Fix selected" asks: how many things of which kind, and whether the browsers close.
std::wstring FixQuestion(const std::vector<FixTarget>& targets);
// The question "Undo last fix" asks, listing what goes back.
std::wstring UndoQuestion(const ChangeRunSummary& run);
// The question when some chosen fixes need an administrator (needing of chosen).
std::wstring AdministratorQuestion(std::size_t needing, std::size_t chosen);
// What a run did, one line per change: done, or left and why; then the counts.
std::wstring ChangeResultText(const WindowChangeResult& result);
// What a run did to the finding of that id ("" when it did not touch it).
std::wstring RowOutcome(const WindowChangeResult& result, const std::wstring& findingId);

// ---- Starting as administrator ----

// The command line's arguments of popswat-gui: "--review" opens only the findings
// window; "--fix=<id>,<id>" (with it) fixes those findings after its own question.
struct GuiArguments {
    bool findingsOnly = false;
    std::vector<std::wstring> fixIds;
};
GuiArguments ParseGuiArguments(int count, const wchar_t* const* arguments);
// The parameters the restart as administrator is given for those ids.
std::wstring RestartParameters(const std::vector<std::wstring>& ids);

// The findings window's summary line for that many findings.
std::wstring FindingsSummary(std::size_t count);

// ---- Texts ----

// The text of that id in this program's string table ("" when it has none).
std::wstring LoadText(UINT id);
// That text with its inserts %1, %2, ... replaced by these, in whatever order the
// text puts them (FormatMessageW); an insert is never read as a format.
std::wstring FormatText(UINT id, std::initializer_list<std::wstring> inserts);
// A number as the texts show it.
std::wstring NumberText(std::size_t number);

// ---- The byline ----

// The product's home page, opened by the header byline; set at build time.
extern const wchar_t* const HOME_PAGE_URL;
