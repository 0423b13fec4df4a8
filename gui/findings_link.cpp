// The link under the main window's status line that opens the findings window.
#include "base/win_handles.h"
#include "gui/gui.h"
#include "gui/window_parts.h"

#include <commctrl.h>

namespace {

// The review made after the last cleanup run, until a findings window shows it.
std::unique_ptr<ReviewResult> runReview;

SIZE TextSize(HWND window, HFONT font, const std::wstring& text) {
    ScopedWindowDC dc(window);
    ScopedSelectObject selected(dc.get(), font);
    SIZE size = {0, 0};
    GetTextExtentPoint32W(dc.get(), text.c_str(), static_cast<int>(text.size()), &size);
    return size;
}

}  // namespace

void SetFindingsLinkText(const std::wstring& text) {
    HWND link = guiState.findingsLink;
    // The whole text is the one link of the control.
    SetWindowTextW(link, (L"<a>" + text + L"</a>").c_str());
    RECT place = FindingsLinkRect(TextSize(link, guiState.fontLink, text));
    MoveWindow(link, place.left, place.top, place.right - place.left, place.bottom - place.top, TRUE);
}

void KeepRunReview(std::unique_ptr<ReviewResult> review) {
    runReview = std::move(review);
}

LRESULT OnMainNotify(const NMHDR& header) {
    // A click, or Enter while the link has the focus; the run's review is shown once, later ones are new.
    if (header.idFrom == IDC_FINDINGS_LINK && (header.code == NM_CLICK || header.code == NM_RETURN))
        OpenFindingsWindow(reinterpret_cast<HINSTANCE>(GetWindowLongPtrW(guiState.mainWindow, GWLP_HINSTANCE)),
                           SW_SHOWNORMAL, false, std::move(runReview));
    return 0;
}
