// The keyboard procedures on the main window's controls. The window is no
// dialog, so whatever keyboard behaviour its controls have beyond their own
// comes from here. For now both pass every message on unchanged.
#include "slicer_window.h"

#include "slice_job.h"

LRESULT CALLBACK KeyNavigationProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    int id = GetDlgCtrlID(window);
    WNDPROC previous = Control(id) == window ? Window.PreviousProcs[id] : NULL;

    return previous ? CallWindowProcA(previous, window, message, wParam, lParam) : 0;
}

LRESULT CALLBACK SizeFieldProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    return CallWindowProcA(Window.SizeFieldPreviousProc, window, message, wParam, lParam);
}
