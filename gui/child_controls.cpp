#include "gui/gui.h"
#include "base/win_handles.h"
#include "gui/window_parts.h"

#include <commctrl.h>

namespace {

HWND MakeChild(HWND parent,
               HINSTANCE instance,
               const wchar_t* className,
               const wchar_t* text,
               DWORD style,
               int id,
               const RECT& place) {
    return CreateWindowExW(0, className, text, style, place.left, place.top, place.right - place.left,
                           place.bottom - place.top, parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                           instance, nullptr);
}

}  // namespace

// The static control draws SS_LEFT | SS_NOPREFIX text with these DrawText flags.
constexpr UINT DESCRIPTION_FORMAT = DT_LEFT | DT_EXPANDTABS | DT_WORDBREAK | DT_NOPREFIX;

int DescriptionTextHeight() {
    ScopedGdiObject<HFONT> font(MakeFont(10, FW_NORMAL, false));
    ScopedWindowDC screen(nullptr);
    ScopedSelectObject selected(screen.get(), font.get());
    RECT box = {0, 0, guiState.contentWidth, 0};
    if (!DrawTextW(screen.get(), LoadText(IDS_DESCRIPTION).c_str(), -1, &box, DESCRIPTION_FORMAT | DT_CALCRECT))
        return guiState.descriptionHeight;
    return box.bottom - box.top;
}

HFONT MakeFont(int points, int weight, bool underline) {
    return CreateFontW(FontHeight(points), 0, 0, 0, weight, FALSE, underline ? TRUE : FALSE, FALSE, DEFAULT_CHARSET,
                       OUT_TT_PRECIS, CLIP_DEFAULT_PRECIS, CLEARTYPE_QUALITY, DEFAULT_PITCH | FF_DONTCARE, L"Segoe UI");
}

void LoadHeaderIcon(HINSTANCE instance) {
    // The system picks the image of the group that best fits the header size.
    int size = Scale(48);
    guiState.headerIcon = static_cast<HICON>(
        LoadImageW(instance, MAKEINTRESOURCEW(IDI_APP_ICON), IMAGE_ICON, size, size, LR_DEFAULTCOLOR));
}

void CreateChildControls(HWND window, HINSTANCE instance) {
    guiState.fontBody = MakeFont(10, FW_NORMAL, false);
    guiState.fontTitle = MakeFont(20, FW_SEMIBOLD, false);
    guiState.fontSubtitle = MakeFont(10, FW_NORMAL, false);
    guiState.fontButtonTitle = MakeFont(13, FW_SEMIBOLD, false);
    guiState.fontButtonCaption = MakeFont(9, FW_NORMAL, false);
    guiState.fontLink = MakeFont(9, FW_NORMAL, true);

    // A plain static wraps its text at word boundaries; its box was sized for the text.
    HWND description = MakeChild(window, instance, L"STATIC", LoadText(IDS_DESCRIPTION).c_str(),
                                 WS_CHILD | WS_VISIBLE | SS_LEFT | SS_NOPREFIX, IDC_DESCRIPTION, DescriptionRect());
    SendMessageW(description, WM_SETFONT, reinterpret_cast<WPARAM>(guiState.fontBody), TRUE);

    // Owner-drawn: DrawCleanButton paints it in each of its states.
    guiState.cleanButton = MakeChild(window, instance, L"BUTTON", L"", WS_CHILD | WS_VISIBLE | BS_OWNERDRAW,
                                     IDC_CLEAN_BUTTON, CleanButtonRect());

    guiState.statusLabel = MakeChild(window, instance, L"STATIC", LoadText(IDS_READY).c_str(),
                                     WS_CHILD | WS_VISIBLE | SS_CENTER, 0, StatusRect());
    SendMessageW(guiState.statusLabel, WM_SETFONT, reinterpret_cast<WPARAM>(guiState.fontBody), TRUE);

    // A SysLink: the keyboard reaches it with Tab and Enter opens it, and screen
    // readers read it as a link. Placed once its text is known.
    guiState.findingsLink =
        MakeChild(window, instance, WC_LINK, L"", WS_CHILD | WS_VISIBLE | WS_TABSTOP, IDC_FINDINGS_LINK, {0, 0, 0, 0});
    SendMessageW(guiState.findingsLink, WM_SETFONT, reinterpret_cast<WPARAM>(guiState.fontLink), FALSE);
    SetFindingsLinkText(FindingsLinkText(false));
}
