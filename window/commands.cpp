// The main window's commands: the dispatch, one line per control id, to the
// bodies in fields.cpp (the field checks and pickers), slice_command.cpp
// (the Slice command), help.cpp (the Help button), planner_commands.cpp
// (the size and count steps) and recovery_row.cpp (the recovery row); and
// the bodies of About and Exit, which are a few lines each.
#include "commands.h"

#include "remembered_folders.h"
#include "slice_worker.h"

static void ShowAbout(void)
{
    DialogBoxParamA(Window.Instance, ABOUT_BOX_NAME, MainWindow, AboutBoxProc, 0);
}

static void Exit(void)
{
    // Enter on the button reaches here even while it is disabled.
    if (Window.JobRunning)
        return;
    WinHelpW(MainWindow, L"dorvane.hlp", HELP_QUIT, 0);
    SaveRememberedFolders();
    PostQuitMessage(0);
}

// An edit field asks for its check when its text changes and when it loses
// the focus.
static int Edited(int code)
{
    return code == EN_CHANGE || code == EN_KILLFOCUS;
}

static int Clicked(int code)
{
    return code == BN_CLICKED;
}

void HandleCommand(int id, int code, HWND control)
{
    (void)control;
    switch (id) {
    case ID_SOURCE_PATH_EDIT:          if (Edited(code)) CheckSource(); break;
    case ID_SOURCE_BROWSE_BUTTON:      if (Clicked(code)) ChooseSource(); break;
    case ID_REMOVABLE_RADIO:           if (Clicked(code)) ChooseMethod(id); break;
    case ID_SIZE_RADIO:                if (Clicked(code)) ChooseMethod(id); break;
    case ID_COUNT_RADIO:               if (Clicked(code)) ChooseMethod(id); break;
    case ID_SIZE_COMBO:                HandlePlannerCommand(id, code); break;
    case ID_UNIT_COMBO:                HandlePlannerCommand(id, code); break;
    case ID_COUNT_EDIT:                HandlePlannerCommand(id, code); break;
    case ID_DESTINATION_EDIT:          if (Edited(code)) CheckDestination(); break;
    case ID_DESTINATION_BROWSE_BUTTON: if (Clicked(code)) ChooseDestination(); break;
    case ID_SLICE_BUTTON:              Slice(); break;
    case ID_HELP_BUTTON:               ShowHelp(); break;
    case ID_ABOUT_BUTTON:              ShowAbout(); break;
    case ID_EXIT_BUTTON:               Exit(); break;
    case ID_RECOVERY_CHECK:            HandleRecoveryCommand(id, code); break;
    case ID_RECOVERY_BLOCKS_EDIT:      HandleRecoveryCommand(id, code); break;
    }
}
