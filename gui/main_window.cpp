#include "gui/gui.h"
#include "base/win_handles.h"
#include "gui/window_parts.h"

namespace {

LRESULT OnCreate(HWND window, const CREATESTRUCTW& creation) {
    LoadHeaderIcon(creation.hInstance);
    CreateChildControls(window, creation.hInstance);
    return 0;
}

LRESULT OnPaint(HWND window) {
    ScopedPaint paint(window);
    PaintHeader(paint.dc());
    return 0;
}

LRESULT OnDrawItem(HWND window, WPARAM wParam, LPARAM lParam) {
    if (wParam != IDC_CLEAN_BUTTON)
        return DefWindowProcW(window, WM_DRAWITEM, wParam, lParam);
    DrawCleanButton(*reinterpret_cast<const DRAWITEMSTRUCT*>(lParam));
    return TRUE;
}

}  // namespace

LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_CREATE:
            return OnCreate(window, *reinterpret_cast<const CREATESTRUCTW*>(lParam));
        case WM_DESTROY:
            PostQuitMessage(0);
            return 0;
        case WM_PAINT:
            return OnPaint(window);
        case WM_CLOSE:
            OnClose(window);
            return 0;
        case WM_ERASEBKGND:
            EraseBody(window, reinterpret_cast<HDC>(wParam));
            return 1;
        case WM_SETCURSOR:
            if (OnSetCursor(window, wParam))
                return TRUE;
            break;
        case WM_DRAWITEM:
            return OnDrawItem(window, wParam, lParam);
        case WM_COMMAND:
            StartCleanup(wParam);
            return 0;
        case WM_NOTIFY:
            return OnMainNotify(*reinterpret_cast<const NMHDR*>(lParam));
        case WM_CTLCOLORBTN:
            return reinterpret_cast<LRESULT>(ControlColourButton());
        case WM_CTLCOLORSTATIC:
            return reinterpret_cast<LRESULT>(ControlColourStatic(reinterpret_cast<HDC>(wParam)));
        case WM_LBUTTONDOWN:
            OnLinkButtonDown(lParam);
            return 0;
        case WM_LBUTTONUP:
            if (OnLinkButtonUp(lParam))
                return 0;
            break;
        case WM_CAPTURECHANGED:
            OnCaptureChanged();
            return 0;
        case WM_CLEANUP_DONE:
            OnCleanupDone(wParam, lParam);
            return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}
