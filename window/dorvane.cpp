// dorvane: the slicer's window program.
#include <windows.h>

#include <commctrl.h>

#include "slice_job.h"
#include "slicer_window.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR commandLine, int show)
{
    HWND window;
    MSG message;

    (void)previous;
    (void)commandLine;
    (void)show;
    window = CreateMainWindow(instance);
    if (!window)
        return 0;
    ShowWindow(window, SW_SHOW);
    MainWindow = window;
    InitCommonControls();
    while (GetMessageA(&message, NULL, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    return (int)message.wParam;
}
