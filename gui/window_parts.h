// The handlers the window procedure routes to; private to the window code.
#pragma once

#include <windows.h>

LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Header icon and child controls, made once in WM_CREATE.
void LoadHeaderIcon(HINSTANCE instance);
void CreateChildControls(HWND window, HINSTANCE instance);

// Painting.
void PaintHeader(HDC dc);
void EraseBody(HWND window, HDC dc);
void DrawCleanButton(const DRAWITEMSTRUCT& item);
HBRUSH ControlColourStatic(HDC dc);
HBRUSH ControlColourButton();

// The cleanup run and the status line.
void StartCleanup(WPARAM wParam);
DWORD WINAPI CleanupWorker(LPVOID parameter);
void OnCleanupDone(WPARAM outcome);
void OnClose(HWND window);

// The byline link.
bool OnSetCursor(HWND window, WPARAM wParam);
void OnLinkButtonDown(LPARAM lParam);
bool OnLinkButtonUp(LPARAM lParam);
void OnCaptureChanged();
