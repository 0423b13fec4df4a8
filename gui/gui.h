// The windowed program: its state, its layout arithmetic and the pieces the tests drive.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>

#include "engine/engine.h"

#include "gui/resource_ids.h"

constexpr int IDC_CLEAN_BUTTON = 1001;

// Posted by the cleanup worker when its run has returned; wParam says how it ended.
constexpr UINT WM_CLEANUP_DONE = WM_APP + 1;
constexpr WPARAM CLEANUP_FINISHED = 0;         // the run went through
constexpr WPARAM CLEANUP_FILES_LOCKED = 1;     // some file could not be deleted
constexpr WPARAM CLEANUP_FAILED = 2;           // the run ended by an exception
constexpr WPARAM CLEANUP_ALREADY_RUNNING = 3;  // another cleanup run held the lock; nothing was done

// The window's one state record, used only on the window's thread.
struct GuiState {
    int32_t dpi = 96;
    int32_t clientWidth = 520;
    int32_t clientHeight = 328;
    int32_t margin = 24;
    int32_t contentWidth = 472;
    RECT linkRect = {0, 0, 0, 0};
    bool linkPressed = false;
    bool cleanupRunning = false;
    HWND mainWindow = nullptr;
    HWND cleanButton = nullptr;
    HWND statusLabel = nullptr;
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
// Sets dpi and the client size, margin and content width derived from it.
void ComputeLayout(int dpi);
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

// Runs one cleanup through `run`, with every flag off and no log, and tells how it
// ended: CLEANUP_ALREADY_RUNNING when another run held the lock, CLEANUP_FILES_LOCKED
// when a file or tree was left behind, CLEANUP_FAILED when it threw.
WPARAM RunAndClassify(const std::function<CleanupOutcome(const CleanupOptions&)>& run);

// ---- The byline ----

// The product's home page, opened by the header byline; set at build time.
extern const wchar_t* const HOME_PAGE_URL;
