// The findings window's list: a report-style list view, one row per finding, in
// a group per kind where the system's list view has groups, with a check box on
// each row that has a fix. Texts come from the rows through LVN_GETDISPINFO, so
// a long list costs no copy of its texts. The details area shows the selected row.
#include "gui/gui.h"
#include "gui/window_parts.h"

#include <commctrl.h>

namespace {

// State images of a list with LVS_EX_CHECKBOXES: 0 none, 1 clear, 2 ticked.
constexpr UINT NO_BOX = INDEXTOSTATEIMAGEMASK(0);
constexpr UINT CLEAR_BOX = INDEXTOSTATEIMAGEMASK(1);
constexpr UINT TICKED_BOX = INDEXTOSTATEIMAGEMASK(2);

UINT BoxOf(RowCheck check) {
    return check == RowCheck::Ticked ? TICKED_BOX : check == RowCheck::Clear ? CLEAR_BOX : NO_BOX;
}

bool IsTicked(int index) {
    return (ListView_GetItemState(findingsState.list, index, LVIS_STATEIMAGEMASK) & LVIS_STATEIMAGEMASK) == TICKED_BOX;
}

const FindingRow* RowAt(int index) {
    if (index < 0 || static_cast<std::size_t>(index) >= findingsState.rows.size())
        return nullptr;
    return &findingsState.rows[static_cast<std::size_t>(index)];
}

void AddColumn(int index, UINT textId) {
    std::wstring text = LoadText(textId);
    LVCOLUMNW column = {};
    column.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_SUBITEM;
    column.pszText = &text[0];
    column.cx = Scale(150);
    column.iSubItem = index;
    ListView_InsertColumn(findingsState.list, index, &column);
}

// The row's details, under what the last fix or undo did to it.
void ShowRowDetails(int index) {
    const FindingRow* row = RowAt(index);
    if (!row)
        return;
    std::wstring text;
    if (findingsState.changed) {
        std::wstring outcome = RowOutcome(findingsState.lastChange, row->findingId);
        if (!outcome.empty())
            text = FormatText(IDS_LAST_FIX, {outcome}) + L"\r\n\r\n";
    }
    // The group's name first: a list view without group view shows it nowhere else.
    ShowDetailsText(text + FindingGroupName(row->group) + L":\r\n" + row->what + L"\r\n" + row->where + L"\r\n\r\n" +
                    row->details);
}

// A row without a fix keeps having no box, however it is clicked or keyed.
bool RefusesChange(const NMLISTVIEW& change) {
    if (findingsState.filling || !(change.uChanged & LVIF_STATE) ||
        !((change.uNewState ^ change.uOldState) & LVIS_STATEIMAGEMASK))
        return false;
    const FindingRow* row = RowAt(change.iItem);
    return !row || row->check == RowCheck::None;
}

void OnItemChanged(const NMLISTVIEW& change) {
    if (findingsState.filling || !(change.uChanged & LVIF_STATE))
        return;
    if ((change.uNewState ^ change.uOldState) & LVIS_STATEIMAGEMASK)
        UpdateButtons();
    if ((change.uNewState & LVIS_SELECTED) && !(change.uOldState & LVIS_SELECTED))
        ShowRowDetails(change.iItem);
}

void OnGetDisplayInfo(NMLVDISPINFOW* info) {
    const FindingRow* row = RowAt(info->item.iItem);
    if (!row || !(info->item.mask & LVIF_TEXT))
        return;
    // The texts live as long as the rows; the list copies them where it must.
    const std::wstring* text = info->item.iSubItem == 0 ? &row->what
                               : info->item.iSubItem == 1
                                   ? &row->where
                                   : &findingsState.fixTexts[static_cast<std::size_t>(info->item.iItem)];
    info->item.pszText = const_cast<wchar_t*>(text->c_str());
}

}  // namespace

void CreateFindingsList(HWND window, HFONT font) {
    HWND list = CreateWindowExW(WS_EX_CLIENTEDGE, WC_LISTVIEWW, L"",
                                WS_CHILD | WS_VISIBLE | WS_TABSTOP | LVS_REPORT | LVS_SHOWSELALWAYS | LVS_SINGLESEL, 0,
                                0, 0, 0, window, reinterpret_cast<HMENU>(static_cast<INT_PTR>(IDC_FINDINGS_LIST)),
                                reinterpret_cast<HINSTANCE>(GetWindowLongPtrW(window, GWLP_HINSTANCE)), nullptr);
    findingsState.list = list;
    SendMessageW(list, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    ListView_SetExtendedListViewStyle(list, LVS_EX_CHECKBOXES | LVS_EX_FULLROWSELECT | LVS_EX_DOUBLEBUFFER);
    AddColumn(0, IDS_COLUMN_WHAT);
    AddColumn(1, IDS_COLUMN_WHERE);
    AddColumn(2, IDS_COLUMN_FIX);
    // -1 where the list view has no group view (before version 6 of the common controls).
    findingsState.groups = SendMessageW(list, LVM_ENABLEGROUPVIEW, TRUE, 0) >= 0 && ListView_IsGroupViewEnabled(list);
}

void SizeFindingsColumns(int width) {
    // What it is takes half, where and the fix a quarter each, less the scroll bar.
    int usable = std::max<int>(width - GetSystemMetrics(SM_CXVSCROLL) - Scale(8), Scale(120));
    ListView_SetColumnWidth(findingsState.list, 0, usable / 2);
    ListView_SetColumnWidth(findingsState.list, 1, usable / 4);
    ListView_SetColumnWidth(findingsState.list, 2, usable - usable / 2 - usable / 4);
}

void ClearFindingsList() {
    findingsState.filling = true;
    // The list is emptied when a review starts: filling it after the review has nothing to delete.
    if (ListView_GetItemCount(findingsState.list) > 0)
        ListView_DeleteAllItems(findingsState.list);
    if (findingsState.groups)
        ListView_RemoveAllGroups(findingsState.list);
    findingsState.filling = false;
    ShowDetailsText(L"");
}

void FillFindingsList() {
    HWND list = findingsState.list;
    ClearFindingsList();
    findingsState.filling = true;
    SendMessageW(list, WM_SETREDRAW, FALSE, 0);
    findingsState.fixTexts.clear();
    bool present[FINDING_GROUP_COUNT] = {};
    for (const FindingRow& row : findingsState.rows) {
        present[static_cast<int>(row.group)] = true;
        findingsState.fixTexts.push_back(row.administrator ? FormatText(IDS_NEEDS_ADMINISTRATOR, {row.fix}) : row.fix);
    }
    if (findingsState.groups) {
        for (int group = 0; group < FINDING_GROUP_COUNT; ++group) {
            if (!present[group])
                continue;
            LVGROUP header = {};
            header.cbSize = sizeof(header);
            header.mask = LVGF_HEADER | LVGF_GROUPID;
            header.pszHeader = const_cast<wchar_t*>(FindingGroupName(static_cast<FindingGroup>(group)));
            header.iGroupId = group;
            ListView_InsertGroup(list, -1, &header);
        }
    }
    ListView_SetItemCount(list, static_cast<int>(findingsState.rows.size()));
    for (std::size_t i = 0; i < findingsState.rows.size(); ++i) {
        LVITEMW item = {};
        item.mask = LVIF_TEXT | LVIF_PARAM | (findingsState.groups ? LVIF_GROUPID : 0);
        item.iItem = static_cast<int>(i);
        item.pszText = LPSTR_TEXTCALLBACKW;
        item.lParam = static_cast<LPARAM>(i);
        item.iGroupId = static_cast<int>(findingsState.rows[i].group);
        int index = ListView_InsertItem(list, &item);
        ListView_SetItemText(list, index, 1, LPSTR_TEXTCALLBACKW);
        ListView_SetItemText(list, index, 2, LPSTR_TEXTCALLBACKW);
        // Set after the insert: Wine's list view gives an inserted row a clear box whatever LVIF_STATE says.
        ListView_SetItemState(list, index, BoxOf(findingsState.rows[i].check), LVIS_STATEIMAGEMASK);
    }
    // The first row has the keyboard's place, so Space and Enter work at once.
    if (!findingsState.rows.empty())
        ListView_SetItemState(list, 0, LVIS_FOCUSED, LVIS_FOCUSED);
    SendMessageW(list, WM_SETREDRAW, TRUE, 0);
    InvalidateRect(list, nullptr, TRUE);
    findingsState.filling = false;
}

std::vector<std::wstring> TickedIds() {
    std::vector<std::wstring> ids;
    for (std::size_t i = 0; i < findingsState.rows.size(); ++i) {
        if (findingsState.rows[i].check != RowCheck::None && IsTicked(static_cast<int>(i)))
            ids.push_back(findingsState.rows[i].findingId);
    }
    return ids;
}

bool AnyTicked() {
    for (std::size_t i = 0; i < findingsState.rows.size(); ++i) {
        if (findingsState.rows[i].check != RowCheck::None && IsTicked(static_cast<int>(i)))
            return true;
    }
    return false;
}

std::size_t TickedNeedingAdministrator() {
    std::size_t count = 0;
    for (std::size_t i = 0; i < findingsState.rows.size(); ++i)
        count += findingsState.rows[i].administrator && findingsState.rows[i].check != RowCheck::None &&
                 IsTicked(static_cast<int>(i));
    return count;
}

void TickExactly(const std::vector<std::wstring>& ids) {
    for (std::size_t i = 0; i < findingsState.rows.size(); ++i) {
        const FindingRow& row = findingsState.rows[i];
        if (row.check == RowCheck::None)
            continue;
        bool chosen = false;
        for (const std::wstring& id : ids)
            chosen = chosen || EqualsIgnoringAsciiCase(id, row.findingId);
        ListView_SetItemState(findingsState.list, static_cast<int>(i), chosen ? TICKED_BOX : CLEAR_BOX,
                              LVIS_STATEIMAGEMASK);
    }
}

LRESULT OnFindingsListNotify(const NMHDR& header) {
    if (header.idFrom != IDC_FINDINGS_LIST)
        return 0;
    switch (header.code) {
        case LVN_ITEMCHANGING:
            return RefusesChange(reinterpret_cast<const NMLISTVIEW&>(header)) ? TRUE : FALSE;
        case LVN_ITEMCHANGED:
            OnItemChanged(reinterpret_cast<const NMLISTVIEW&>(header));
            return 0;
        case LVN_GETDISPINFOW:
            OnGetDisplayInfo(reinterpret_cast<NMLVDISPINFOW*>(const_cast<NMHDR*>(&header)));
            return 0;
    }
    return 0;
}

void ShowFocusedRowDetails() {
    int index = ListView_GetNextItem(findingsState.list, -1, LVNI_FOCUSED);
    if (index < 0)
        return;
    ListView_SetItemState(findingsState.list, index, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
    ShowRowDetails(index);
    SetFocus(findingsState.details);
}

void ShowDetailsText(const std::wstring& text) {
    SetWindowTextW(findingsState.details, text.c_str());
}
