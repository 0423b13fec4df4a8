// Drives a running popswat-gui.exe from a test: starts it in a sandbox, finds its
// windows by class and process, reads texts and pixels, answers its message boxes.
#pragma once

#include <windows.h>

#include <ostream>
#include <string>
#include <vector>

#include "tests/test_support.h"

struct GuiProgram {
    ChildProcess child;
    HWND window = nullptr;    // the PopSwatWindow of this process; null if none appeared
    HWND findings = nullptr;  // its PopSwatFindings window, when started with --review
};

// The tests' copy of popswat-gui.exe that plays a process without administrator
// rights and writes its restart as administrator down (RestartsRecorded).
constexpr wchar_t UNELEVATED_GUI[] = L"popswat-gui-unelevated.exe";

// Starts popswat-gui.exe with LOCALAPPDATA and APPDATA of the sandbox and
// POPSWAT_FORCE_DPI set to forcedDpi (nullptr: not set), then waits for its window.
GuiProgram StartGui(const Sandbox& sandbox, const wchar_t* forcedDpi = nullptr);
// The same with "--review": waits for the findings window instead.
GuiProgram StartFindingsOnly(const Sandbox& sandbox, const wchar_t* forcedDpi = L"96");
// The same with a program of the build and arguments of one's own (" --review --fix=...").
GuiProgram StartFindingsProgram(const Sandbox& sandbox, const wchar_t* program, const std::wstring& arguments);
// The parameters the unelevated copy would have restarted with, one line each.
std::vector<std::string> RestartsRecorded(const Sandbox& sandbox);

// The first visible top-level window of the process with that class (and caption,
// unless null); waits up to timeoutMs for it.
HWND WaitForTopLevelWindow(DWORD processId, const wchar_t* className, const wchar_t* caption, DWORD timeoutMs);
// Waits for the process to end and gives its exit code; STILL_ACTIVE on time-out.
DWORD WaitForExit(const ChildProcess& child, DWORD timeoutMs);

std::wstring WindowText(HWND window);
// The whole text of a control of another process, however long (WM_GETTEXT).
std::wstring ControlText(HWND control);
SIZE ClientSize(HWND window);
// A child's rectangle in its parent's client coordinates.
RECT ChildRect(HWND child);
HWND CleanButtonOf(HWND window);
HWND DescriptionOf(HWND window);
// How far the controls below the description sit lower than in a layout whose
// description is three lines (54 units) tall: its text's own height minus that.
int BodyShift(HWND window, int dpi = 96);
HWND StatusLabelOf(HWND window);
std::wstring StatusText(HWND window);

// The colour on screen at a client point of the window.
COLORREF ClientPixel(HWND window, int x, int y);
// The bounding box of the pixels of exactly that colour inside area (client coordinates);
// empty when there is none.
RECT FindColour(HWND window, const RECT& area, COLORREF colour);
// The same for the pixels of every other colour.
RECT FindOtherColours(HWND window, const RECT& area, COLORREF colour);

// Posts a click of the clean button (WM_COMMAND 1001) and waits for the confirmation box.
HWND ClickCleanButton(const GuiProgram& gui);
// The text of a message box (its STATIC 65535).
std::wstring MessageBoxText(HWND box);
// Presses IDYES or IDNO on a message box and waits for the box to go away.
void AnswerMessageBox(HWND box, int buttonId);

// ---- The findings link and window ----

HWND FindingsLinkOf(HWND window);
// Clicks the middle of the main window's IDC_FINDINGS_LINK with the mouse, then moves the pointer away.
void ClickFindingsLink(HWND window);
HWND FindingsWindowOf(const GuiProgram& gui, DWORD timeoutMs = 10000);
// How many findings windows the process shows.
int FindingsWindowCount(const GuiProgram& gui);
std::wstring SummaryText(HWND findings);
// The details area's text.
std::wstring DetailsText(HWND findings);
// Waits until a review has filled the list (Copy report is enabled again).
bool WaitForReport(HWND findings, DWORD timeoutMs = 60000);

// The findings list of another process, read and changed through memory of that process.
struct ListRow {
    std::wstring what, where, fix;
    int box;  // state image: 0 no check box, 1 clear, 2 ticked
};
bool operator==(const ListRow& a, const ListRow& b);
void PrintTo(const ListRow& row, std::ostream* out);
int ListRowCount(HWND findings);
ListRow ListRowAt(HWND findings, int row);
std::vector<ListRow> ListRows(HWND findings);
// Selects and focuses that row (LVM_SETITEMSTATE), as a click would.
void SelectListRow(HWND findings, int row);
bool ListShowsGroups(HWND findings);
// Posts a click of one of the findings window's buttons.
void ClickFindingsButton(HWND findings, int id);
bool FindingsButtonEnabled(HWND findings, int id);
// Posts a click of that button and waits for the "PopSwat" message box it opens.
HWND ConfirmationBoxOf(const GuiProgram& gui, int buttonId);
// The clipboard's Unicode text ("" when it holds none); EmptyClipboardForTest clears it.
std::wstring ClipboardText();
void EmptyClipboardForTest();
// Real key presses, to whichever window has the keyboard focus.
void PressKey(WORD virtualKey);
// The control of the process's window thread that has the keyboard focus.
HWND FocusOf(HWND window);
// Presses Tab and gives the id of the control that has the focus once it moved (0 if it did not).
int TabToNextControl(HWND window);
// True when the window answers a message within the time (it is not busy).
bool AnswersWithin(HWND window, UINT timeoutMs);

// Appended to by the test bed's browser recorder, one line per address asked for.
std::wstring OpenedAddressesFile();
// The lines recorded so far (none if the file does not exist).
std::vector<std::string> OpenedAddresses();

// Real mouse input at a client point of the window: moves the pointer there and
// presses (down true) or releases the left button.
void MouseButtonAt(HWND window, int x, int y, bool down);
