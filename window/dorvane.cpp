// dorvane: the slicer's window program. For now the window opens with the
// folders of the last session and keeps them when it closes; its controls
// come next.
#include <windows.h>

#include "remembered_folders.h"
#include "slice_job.h"

static const char WindowClassName[] = "Dorvane";

enum { WINDOW_WIDTH = 448, WINDOW_HEIGHT = 422 };

static LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_CREATE:
        MainWindow = window;
        FindProgramFolder();
        LoadRememberedFolders();
        return 0;
    case WM_DESTROY:
        SaveRememberedFolders();
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR commandLine, int show)
{
    WNDCLASSA windowClass;
    HWND window;
    MSG message;

    (void)previous;
    (void)commandLine;
    ZeroMemory(&windowClass, sizeof windowClass);
    windowClass.lpfnWndProc = MainWindowProc;
    windowClass.hInstance = instance;
    windowClass.hCursor = LoadCursorA(NULL, IDC_ARROW);
    windowClass.hbrBackground = (HBRUSH)(COLOR_BTNFACE + 1);
    windowClass.lpszClassName = WindowClassName;
    if (!RegisterClassA(&windowClass))
        return 1;
    window = CreateWindowA(WindowClassName, "Dorvane",
                           WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX,
                           (GetSystemMetrics(SM_CXSCREEN) - WINDOW_WIDTH) / 2,
                           (GetSystemMetrics(SM_CYSCREEN) - WINDOW_HEIGHT) / 2, WINDOW_WIDTH,
                           WINDOW_HEIGHT, NULL, NULL, instance, NULL);
    if (!window)
        return 1;
    ShowWindow(window, show);
    UpdateWindow(window);
    while (GetMessageA(&message, NULL, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    return (int)message.wParam;
}
