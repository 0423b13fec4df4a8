#include "gui/gui.h"

#include <algorithm>

GuiState guiState;

int Scale(int value) {
    return MulDiv(value, guiState.dpi, 96);
}

// The description's height before its text is measured: three lines of the body font.
static int DefaultDescriptionHeight() {
    return Scale(54);
}

// How much taller the description is than the default; everything below it moves down so much.
static int DescriptionExtra() {
    return guiState.descriptionHeight - DefaultDescriptionHeight();
}

void ComputeLayout(int dpi) {
    guiState.dpi = dpi;
    guiState.clientWidth = Scale(520);
    guiState.margin = Scale(24);
    guiState.contentWidth = guiState.clientWidth - 2 * guiState.margin;
    guiState.descriptionHeight = DefaultDescriptionHeight();
    guiState.clientHeight = Scale(328);
}

void NarrowLayout(int maximumClientWidth) {
    // Never so narrow that the content column vanishes: then the window is only clamped.
    int narrowest = 2 * guiState.margin + Scale(160);
    int width = std::max<int>(std::min<int>(guiState.clientWidth, maximumClientWidth), narrowest);
    guiState.clientWidth = std::min<int>(guiState.clientWidth, width);
    guiState.contentWidth = guiState.clientWidth - 2 * guiState.margin;
}

void SetDescriptionHeight(int height) {
    guiState.descriptionHeight = std::max<int>(height, 0);
    guiState.clientHeight = Scale(328) + DescriptionExtra();
}

int FontHeight(int points) {
    // Negative: the size of the characters, not of the cell.
    return -MulDiv(points, guiState.dpi, 72);
}

int HeaderHeight() {
    return Scale(118);
}

RECT HeaderIconRect() {
    int top = Scale(35);
    return {guiState.margin, top, guiState.margin + Scale(48), top + Scale(48)};
}

// The header's text column starts right of the icon.
static int TextColumn() {
    return guiState.margin + Scale(64);
}

RECT TitleBox() {
    return {TextColumn(), Scale(18), guiState.clientWidth - guiState.margin, Scale(50)};
}

RECT SubtitleBox() {
    return {TextColumn(), Scale(52), guiState.clientWidth - guiState.margin, Scale(74)};
}

POINT BylineOrigin() {
    return {TextColumn(), Scale(78)};
}

// A box of the body column below the description, moved down by what the description needs beyond its default.
static RECT BodyRect(int top, int height) {
    int scaledTop = Scale(top) + DescriptionExtra();
    return {guiState.margin, scaledTop, guiState.margin + guiState.contentWidth, scaledTop + Scale(height)};
}

RECT DescriptionRect() {
    int top = Scale(138);
    return {guiState.margin, top, guiState.margin + guiState.contentWidth, top + guiState.descriptionHeight};
}

RECT CleanButtonRect() {
    return BodyRect(204, 64);
}

RECT StatusRect() {
    return BodyRect(284, 20);
}

int ButtonCornerSize() {
    return Scale(14);
}

int FocusInset() {
    return Scale(3);
}

COLORREF HeaderGradientColour(int column, int width) {
    // A band of one column has no slope; 0/0 would make every channel undefined.
    double t = width > 1 ? static_cast<double>(column) / (width - 1) : 0.0;
    // Truncated toward zero, low 8 bits kept, as RGB() does with its arguments.
    auto channel = [](double value) { return static_cast<BYTE>(static_cast<int>(value)); };
    return RGB(channel(46 - 26 * t), channel(125 + 68 * t), channel(255 - 75 * t));
}

ButtonColours CleanButtonColours(UINT itemState) {
    if (itemState & ODS_DISABLED)
        return {RGB(233, 236, 240), RGB(221, 225, 230), RGB(154, 161, 172), RGB(154, 161, 172)};
    if (itemState & ODS_SELECTED)
        return {RGB(37, 105, 216), RGB(37, 105, 216), RGB(255, 255, 255), RGB(214, 230, 255)};
    return {RGB(46, 125, 255), RGB(46, 125, 255), RGB(255, 255, 255), RGB(214, 230, 255)};
}

COLORREF BylineColour(bool pressed) {
    return pressed ? RGB(255, 255, 255) : RGB(220, 236, 255);
}

RECT FindingsLinkRect(SIZE text) {
    // A little wider and taller than the text, for the focus rectangle drawn around it.
    int width = std::min<int>(text.cx + Scale(4), guiState.contentWidth);
    int height = std::min<int>(text.cy + Scale(2), Scale(24));
    int left = guiState.margin + (guiState.contentWidth - width) / 2;
    // Centred in the 24 units between the status line (to 304) and the bottom edge (328).
    int top = Scale(304) + DescriptionExtra() + (Scale(24) - height) / 2;
    return {left, top, left + width, top + height};
}

namespace {

// A push button: its caption with room on either side, and never narrower than a usual button.
int ButtonWidth(SIZE caption) {
    return std::max<int>(caption.cx + Scale(24), Scale(90));
}

int ButtonHeight(const FindingsTextSizes& texts) {
    return std::max<int>(Scale(28), texts.lineHeight + Scale(12));
}

int FindingsMargin() {
    return Scale(16);
}

int FindingsGap() {
    return Scale(8);
}

// The buttons side by side, a wider gap between the pair that changes things and the other pair.
int ButtonRowWidth(const FindingsTextSizes& texts) {
    return ButtonWidth(texts.fixButton) + ButtonWidth(texts.undoButton) + ButtonWidth(texts.copyButton) +
           ButtonWidth(texts.closeButton) + 2 * FindingsGap() + Scale(24);
}

// The summary line and the details area hold lines of the body font.
int SummaryHeight(const FindingsTextSizes& texts) {
    return std::max<int>(Scale(24), texts.lineHeight * 3 / 2);
}

int DetailsHeight(const FindingsTextSizes& texts) {
    return std::max<int>(Scale(96), texts.lineHeight * 6 + Scale(8));
}

}  // namespace

SIZE FindingsClientSize(const FindingsTextSizes& texts) {
    SIZE minimum = FindingsMinimumClientSize(texts);
    return {std::max<LONG>(Scale(760), minimum.cx), std::max<LONG>(Scale(520), minimum.cy)};
}

SIZE FindingsMinimumClientSize(const FindingsTextSizes& texts) {
    int margin = FindingsMargin();
    int gap = FindingsGap();
    // Room for the buttons, and for a few rows of the list above the details.
    int width = std::max<int>(2 * margin + ButtonRowWidth(texts), Scale(560));
    int height = 2 * margin + SummaryHeight(texts) + gap + Scale(80) + gap + DetailsHeight(texts) + Scale(12) +
                 ButtonHeight(texts);
    return {width, height};
}

FindingsLayout LayOutFindings(int clientWidth, int clientHeight, const FindingsTextSizes& texts) {
    int margin = FindingsMargin();
    int gap = FindingsGap();
    int right = std::max<int>(clientWidth - margin, margin);
    int summaryBottom = margin + SummaryHeight(texts);
    int buttonBottom = std::max<int>(clientHeight - margin, summaryBottom);
    int buttonTop = std::max<int>(buttonBottom - ButtonHeight(texts), summaryBottom);
    int detailsBottom = std::max<int>(buttonTop - Scale(12), summaryBottom);
    int detailsTop = std::max<int>(detailsBottom - DetailsHeight(texts), summaryBottom);
    FindingsLayout layout;
    layout.summary = {margin, margin, right, summaryBottom};
    layout.list = {margin, summaryBottom + gap, right, std::max<int>(summaryBottom + gap, detailsTop - gap)};
    layout.details = {margin, detailsTop, right, detailsBottom};
    // Fix selected and Undo last fix at the left edge; Close at the right edge, Copy report left of it.
    int fixRight = margin + ButtonWidth(texts.fixButton);
    layout.fixButton = {margin, buttonTop, fixRight, buttonBottom};
    layout.undoButton = {fixRight + gap, buttonTop, fixRight + gap + ButtonWidth(texts.undoButton), buttonBottom};
    int closeLeft = right - ButtonWidth(texts.closeButton);
    layout.closeButton = {closeLeft, buttonTop, right, buttonBottom};
    layout.copyButton = {closeLeft - gap - ButtonWidth(texts.copyButton), buttonTop, closeLeft - gap, buttonBottom};
    return layout;
}

RECT PlaceInWorkArea(const RECT& workArea, SIZE outer) {
    int width = std::max<int>(0, std::min<int>(outer.cx, workArea.right - workArea.left));
    int height = std::max<int>(0, std::min<int>(outer.cy, workArea.bottom - workArea.top));
    int x = workArea.left + (workArea.right - workArea.left - width) / 2;
    int y = workArea.top + (workArea.bottom - workArea.top - height) / 2;
    return {x, y, x + width, y + height};
}
