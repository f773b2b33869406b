// The slicer's main window: its state, which the window procedure, the key
// procedures and the command handlers share, and their entry points.
#ifndef DORVANE_SLICER_WINDOW_H
#define DORVANE_SLICER_WINDOW_H

#include <windows.h>

#include <shellapi.h>
#include <stddef.h>
#include <stdint.h>

#include "ids.h"

enum {
    PATH_CHARACTERS = 260,                      // the most a path holds, in UTF-16 units
    PATH_TEXT_SIZE = 3 * PATH_CHARACTERS + 1,   // such a path in UTF-8 (at most 3 bytes a
                                                // unit) and the terminator
    HELP_PATH_SIZE = PATH_TEXT_SIZE + 16        // HelpFilePath: the program's folder
                                                // and "dorvane.hlp"
};

// The window's state: one instance for the program's life, created with the
// window. The notes in brackets say who changes a field.
struct SlicerWindowState {
    HINSTANCE Instance;                    // the program, for the about box
    HWND Controls[CONTROL_COUNT];          // the child controls, by id
    WNDPROC PreviousProcs[CONTROL_COUNT];  // where KeyNavigationProc passes on, by id
    HWND SizeFieldEdit;                    // the edit field inside SizeCombo
    WNDPROC SizeFieldPreviousProc;         // where SizeFieldProc passes on
    int NoSourceFile;                      // 1 while SourcePathEdit names no file that opens
    int RemovableMode;                     // 1 while the removable-drive method is chosen
    int SliceDisabled;                     // 1: the Tab order passes over SliceButton
    int DestinationValid;                  // 1 while DestinationEdit names an existing folder
    int JobRunning;                        // 1 while a slice job runs
    uint32_t SourceFileSizeLow;            // SourceFileSize: the source's size, low half
    uint32_t SourceFileSizeHigh;           // and high half
    uint32_t PortionSize;                  // size method: portion length, header included
    uint32_t EqualPortionSize;             // count method: portion length, header included
    int32_t PortionCount;                  // portions, as the last planning step left it
    int CountTooSmall;                     // 1 while CountNote says its portions would reach 4 GiB
    char HelpFilePath[HELP_PATH_SIZE];     // the help file beside the program (UTF-8)
    const char *OpenDialogFolder;          // where the open-file dialog starts (UTF-8)
    HWND SavedFocusControl;                // gets the focus back on activation
    int WindowMinimized;                   // 1 from a minimise until the restore
    int TabDirection;                      // +1 or -1: the last Tab's direction
    int SizeFieldTabDirection;             // the same, in the size field
    HWND JobBoxFocus;                      // had the focus when the job's box opened
};

extern SlicerWindowState Window;

// Registers the class "Dorvane" and creates the main window (not yet shown),
// a Unicode window, as are its controls. Returns the window, or NULL.
HWND CreateMainWindow(HINSTANCE instance);

// 1 where the program can run: Windows NT and its successors. Windows 95,
// 98 and Me (the high bit of GetVersion's value) lack the wide calls every
// path goes through.
int WindowsHasWideCalls(DWORD version);

LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK AboutBoxProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT CALLBACK KeyNavigationProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT CALLBACK SizeFieldProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// The command handlers: the source, method, destination, job and button
// commands, the planner's steps for the size and count controls, and the
// recovery row's.
void HandleCommand(int id, int code, HWND control);
void HandlePlannerCommand(int id, int code);
void HandleRecoveryCommand(int id, int code);

// recovery_row.cpp: the recovery check box, its blocks and the note beside
// them. ShowRecoveryChoice writes the remembered choice into the row (at
// the window's start); RefreshRecoveryRow enables the row for the source
// and method chosen and writes the note for the planner's figures, and runs
// after every change to them.
void ShowRecoveryChoice(void);
void RefreshRecoveryRow(void);

// The recovery blocks the Slice command asks for: 0 when the box is not
// checked.
unsigned ChosenRecoveryBlocks(void);

// The size method's portion limit check for the current PortionSize: the
// resizing message and the resized size when it needs over 100 portions.
void CheckPortionLimit(void);

// SourceFileSize as one number, both halves.
uint64_t SourceSize(void);

// A source given from outside (given_source.cpp): the files of a drop on
// the window, and the path named on the program's command line. Each is
// written into SourcePathEdit as if typed.
void DropSource(HDROP drop);
void StartWithSource(const char *commandLine);

// The program's own command line (GetCommandLineW), in UTF-16 so that a
// path outside the ANSI code page comes whole: its arguments given to
// StartWithSource in UTF-8.
void StartWithProgramArguments(void);

// The path a command line names: its first argument without its quotes, or
// an unquoted line whole (a path with spaces nobody quoted), blanks around
// it dropped. path has room for the line's length and the terminator.
// Returns the path's length, 0 for none.
size_t CommandLineSource(const char *commandLine, char *path);

// The two places where the Help button meets the system in ways a test must
// be able to stand in for: the Windows version the program sees and the
// shell that opens the help page (its texts in UTF-8).
typedef DWORD(WINAPI *VersionFunction)(void);
typedef HINSTANCE(WINAPI *ShellOpenFunction)(HWND owner, LPCSTR verb, LPCSTR file,
                                             LPCSTR parameters, LPCSTR folder, INT show);
struct HelpSystemHooks {
    VersionFunction Version;  // GetVersion
    ShellOpenFunction Open;   // Utf8ShellOpen
};

// The program's shell call: the texts turned into UTF-16 for ShellExecuteW.
HINSTANCE WINAPI Utf8ShellOpen(HWND owner, LPCSTR verb, LPCSTR file, LPCSTR parameters,
                               LPCSTR folder, INT show);

extern HelpSystemHooks HelpHooks;

// box_focus.cpp: the window's message boxes, owned by MainWindow and
// brought to the foreground, shown the way the job shows its own. Each
// gives the focus back when it closes: ShowBox to the control that had it,
// ShowBoxFocusing to after (to the one that had it when after is NULL).
int ShowBox(const char *text, const char *title, UINT style);
int ShowBoxFocusing(const char *text, const char *title, UINT style, HWND after);

// Gives the focus to wanted when it can take it (one of the window's
// controls, enabled and shown), else to the first control of the Tab order
// that can; and makes it the control the window's activation restores.
void GiveFocusBack(HWND wanted);

// WM_SLICE_BOX: the job's box is opening (note the focus) or has closed
// (give it back).
void OnJobBox(WPARAM opening);

// A control's handle, by id.
HWND Control(int id);

// Sets a control's text from UTF-8, whole whatever the ANSI code page.
void SetControlText(int id, const char *text);

// Sends MainWindow the notification a control would send, so that the
// handlers run as if the user had acted on the control.
void NotifyAsControl(int id, int code);

#endif
