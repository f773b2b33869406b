// dorvane: the slicer's window program, started with no argument or with
// the path of the file to slice.
#include <windows.h>

#include <commctrl.h>

#include "slice_worker.h"
#include "slicer_window.h"

static const char NeedsNtText[] =
    "Dorvane needs Windows NT 4.0, 2000, XP or a later Windows: Windows 95, 98 and Me lack the "
    "Unicode calls it gives every file name to.";

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR commandLine, int show)
{
    HWND window;
    MSG message;

    (void)previous;
    (void)commandLine;
    (void)show;
    // The one box there: an ANSI one, which Windows 9x shows.
    if (!WindowsHasWideCalls(GetVersion())) {
        MessageBoxA(NULL, NeedsNtText, "Dorvane", MB_OK | MB_ICONERROR);
        return 1;
    }
    window = CreateMainWindow(instance);
    if (!window)
        return 0;
    ShowWindow(window, SW_SHOW);
    MainWindow = window;
    InitCommonControls();
    // A path named on the command line (Send To, a shortcut, a prompt) is
    // the source, as if typed; the window's handlers need MainWindow.
    StartWithProgramArguments();
    // The W calls, so that characters typed into the fields stay whole.
    while (GetMessageW(&message, NULL, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return (int)message.wParam;
}
