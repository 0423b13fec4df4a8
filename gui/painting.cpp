#include "gui/gui.h"
#include "base/win_handles.h"
#include "gui/window_parts.h"

namespace {

void PaintGradient(HDC dc) {
    int height = HeaderHeight();
    for (int i = 0; i < guiState.clientWidth; ++i) {
        // One brush per column, made and deleted at once; nothing is cached between paints.
        ScopedBrush brush(CreateSolidBrush(HeaderGradientColour(i, guiState.clientWidth)));
        RECT column = {i, 0, i + 1, height};
        FillRect(dc, &column, brush.get());
    }
}

void PaintByline(HDC dc) {
    ScopedSelectObject font(dc, guiState.fontLink);
    SetTextColor(dc, BylineColour(guiState.linkPressed));
    POINT origin = BylineOrigin();
    RECT box = {origin.x, origin.y, origin.x, origin.y};
    std::wstring byline = LoadText(IDS_BYLINE);
    DrawTextW(dc, byline.c_str(), -1, &box, DT_CALCRECT | DT_SINGLELINE);
    DrawTextW(dc, byline.c_str(), -1, &box, DT_SINGLELINE);
    // Hit-tested by the link handlers; always what was drawn last.
    guiState.linkRect = box;
}

}  // namespace

void PaintHeader(HDC dc) {
    PaintGradient(dc);
    if (guiState.headerIcon) {
        RECT icon = HeaderIconRect();
        DrawIconEx(dc, icon.left, icon.top, guiState.headerIcon, icon.right - icon.left, icon.bottom - icon.top, 0,
                   nullptr, DI_NORMAL);
    }
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, RGB(255, 255, 255));
    {
        ScopedSelectObject font(dc, guiState.fontTitle);
        RECT box = TitleBox();
        DrawTextW(dc, LoadText(IDS_HEADER_TITLE).c_str(), -1, &box, DT_SINGLELINE);
    }
    {
        ScopedSelectObject font(dc, guiState.fontSubtitle);
        RECT box = SubtitleBox();
        DrawTextW(dc, LoadText(IDS_SUBTITLE).c_str(), -1, &box, DT_SINGLELINE);
    }
    PaintByline(dc);
}

void EraseBody(HWND window, HDC dc) {
    // The header is left alone here: PaintHeader covers it, and erasing it first would flicker.
    RECT body;
    GetClientRect(window, &body);
    body.top = HeaderHeight();
    FillRect(dc, &body, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
}

void DrawCleanButton(const DRAWITEMSTRUCT& item) {
    HDC dc = item.hDC;
    RECT bounds = item.rcItem;
    ButtonColours colours = CleanButtonColours(item.itemState);
    {
        ScopedBrush fill(CreateSolidBrush(colours.fill));
        ScopedPen outline(CreatePen(PS_SOLID, 1, colours.outline));
        ScopedSelectObject selectedBrush(dc, fill.get());
        ScopedSelectObject selectedPen(dc, outline.get());
        int corner = ButtonCornerSize();
        RoundRect(dc, bounds.left, bounds.top, bounds.right, bounds.bottom, corner, corner);
    }
    SetBkMode(dc, TRANSPARENT);
    {
        RECT box = bounds;
        box.top += Scale(14);
        ScopedSelectObject font(dc, guiState.fontButtonTitle);
        SetTextColor(dc, colours.firstLine);
        DrawTextW(dc, LoadText(IDS_BUTTON_TITLE).c_str(), -1, &box, DT_CENTER | DT_SINGLELINE);
    }
    {
        RECT box = bounds;
        box.top += Scale(40);
        ScopedSelectObject font(dc, guiState.fontButtonCaption);
        SetTextColor(dc, colours.secondLine);
        DrawTextW(dc, LoadText(IDS_BUTTON_CAPTION).c_str(), -1, &box, DT_CENTER | DT_SINGLELINE);
    }
    if (item.itemState & ODS_FOCUS) {
        RECT focus = bounds;
        InflateRect(&focus, -FocusInset(), -FocusInset());
        DrawFocusRect(dc, &focus);
    }
}

HBRUSH ControlColourStatic(HDC dc) {
    // The labels sit on the white body; their text colour stays the system's.
    SetBkMode(dc, TRANSPARENT);
    return static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
}

HBRUSH ControlColourButton() {
    // Shows behind the button's rounded corners.
    return static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
}
