#include "gui/gui.h"
#include "gui/window_parts.h"

#include <windowsx.h>
#include <shellapi.h>

namespace {

// Mouse messages carry client coordinates as two signed 16-bit halves.
POINT PointOf(LPARAM lParam) {
    return {GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
}

bool InsideLink(POINT point) {
    return PtInRect(&guiState.linkRect, point) != FALSE;
}

// Repaints the byline in its other colour; the header is never erased.
void RedrawLink() {
    InvalidateRect(guiState.mainWindow, &guiState.linkRect, FALSE);
}

}  // namespace

bool OnSetCursor(HWND window, WPARAM wParam) {
    // Over a child control wParam names the child, which keeps its own cursor.
    if (reinterpret_cast<HWND>(wParam) != window)
        return false;
    POINT point;
    if (!GetCursorPos(&point) || !ScreenToClient(window, &point) || !InsideLink(point))
        return false;
    SetCursor(LoadCursorW(nullptr, IDC_HAND));
    return true;
}

void OnLinkButtonDown(LPARAM lParam) {
    if (!InsideLink(PointOf(lParam)))
        return;
    // Capture keeps the button-up coming to this window wherever the pointer is released.
    // Taken before the press is marked: when the window already holds the capture, SetCapture
    // sends it WM_CAPTURECHANGED, which would otherwise end the new press at once.
    SetCapture(guiState.mainWindow);
    guiState.linkPressed = true;
    RedrawLink();
}

bool OnLinkButtonUp(LPARAM lParam) {
    if (!guiState.linkPressed)
        return false;
    bool releasedOnLink = InsideLink(PointOf(lParam));
    // Cleared before the release, so the WM_CAPTURECHANGED it causes finds nothing to do.
    guiState.linkPressed = false;
    ReleaseCapture();
    RedrawLink();
    if (releasedOnLink)
        ShellExecuteW(guiState.mainWindow, L"open", HOME_PAGE_URL, nullptr, nullptr, SW_SHOWNORMAL);
    return true;
}

void OnCaptureChanged() {
    // Another window took the capture: the press ends without opening the link.
    if (!guiState.linkPressed)
        return;
    guiState.linkPressed = false;
    RedrawLink();
}
