// The window's message boxes and the focus they take with them: every box,
// the window's own and the job's questions, gives the focus back when it
// closes, to the control that had it or to the one the caller names, so
// that the keys, which only the controls answer, go on at once.
#include "slicer_window.h"

#include "slice_worker.h"

// Where the focus goes when the control that had it can no longer take it:
// the first usable control of the Tab order (SourcePathEdit, which is
// always enabled, unless something has changed that).
static const int TabOrderIds[] = {
    ID_SOURCE_PATH_EDIT, ID_SOURCE_BROWSE_BUTTON, ID_REMOVABLE_RADIO, ID_DRIVE_COMBO,
    ID_SIZE_RADIO, ID_SIZE_COMBO, ID_UNIT_COMBO, ID_COUNT_RADIO, ID_COUNT_EDIT,
    ID_RECOVERY_CHECK, ID_RECOVERY_BLOCKS_EDIT, ID_DESTINATION_EDIT, ID_DESTINATION_BROWSE_BUTTON, ID_SLICE_BUTTON, ID_HELP_BUTTON,
    ID_ABOUT_BUTTON, ID_EXIT_BUTTON,
};

// One of the window's controls that is there, enabled and not hidden. The
// window itself, a box or nothing is none.
static int TakesFocus(HWND control)
{
    return control && IsChild(MainWindow, control) && IsWindowEnabled(control) &&
           (GetWindowLongA(control, GWL_STYLE) & WS_VISIBLE);
}

void GiveFocusBack(HWND wanted)
{
    size_t i;
    HWND control;

    for (i = 0; !TakesFocus(wanted) && i < sizeof TabOrderIds / sizeof TabOrderIds[0]; i++) {
        control = TabOrderIds[i] == ID_SIZE_COMBO ? Window.SizeFieldEdit : Control(TabOrderIds[i]);
        if (TakesFocus(control))
            wanted = control;
    }
    if (!TakesFocus(wanted))
        return;
    // The window's activation gives the focus to SavedFocusControl, which
    // holds what had the focus when a box took it (during a job, nothing):
    // should the window be activated again after this, the focus lands on
    // the same control.
    Window.SavedFocusControl = wanted;
    SetFocus(wanted);
}

int ShowBoxFocusing(const char *text, const char *title, UINT style, HWND after)
{
    HWND had = GetFocus();
    int answer = JobHooks.ShowMessage(MainWindow, text, title, style | MB_SETFOREGROUND);

    GiveFocusBack(after ? after : had);
    return answer;
}

int ShowBox(const char *text, const char *title, UINT style)
{
    return ShowBoxFocusing(text, title, style, NULL);
}

void OnJobBox(WPARAM opening)
{
    if (opening)
        Window.JobBoxFocus = GetFocus();
    else
        GiveFocusBack(Window.JobBoxFocus);
}
