// dorvane: the slicer's window program, started with no argument or with
// the path of the file to slice.
#include <windows.h>

#include <commctrl.h>

#include "slice_worker.h"
#include "slicer_window.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR commandLine, int show)
{
    HWND window;
    MSG message;

    (void)previous;
    (void)show;
    window = CreateMainWindow(instance);
    if (!window)
        return 0;
    ShowWindow(window, SW_SHOW);
    MainWindow = window;
    InitCommonControls();
    // A path named on the command line (Send To, a shortcut, a prompt) is
    // the source, as if typed; the window's handlers need MainWindow.
    StartWithSource(commandLine);
    while (GetMessageA(&message, NULL, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    return (int)message.wParam;
}
