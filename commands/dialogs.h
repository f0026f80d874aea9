// The modal dialogs and their small decisions.
#pragma once
#include <windows.h>

struct Application;

INT_PTR showTimeoutDialog(Application& app);
INT_PTR CALLBACK timeoutDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

INT_PTR showAboutDialog(Application& app);
INT_PTR CALLBACK aboutDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// "Add Running Program...": 1 when a program was added to the list.
INT_PTR showPickerDialog(Application& app);
INT_PTR CALLBACK pickerDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// Minutes and seconds shown for a timeout in seconds.
void splitTimeout(UINT seconds, UINT* minutes, UINT* remainder);

// The timeout stored for the two fields as read (signed; unreadable is 0):
// each part above 59, negative ones included, becomes 59; 0 becomes 1.
UINT timeoutFromFields(int minutes, int seconds);

// The change log shown in the About box (CR LF line ends).
extern const char kChangeLog[];

#define MSINFO_KEY "SOFTWARE\\Microsoft\\Shared Tools\\MSInfo"
#define MSINFO_VALUE "Path"
