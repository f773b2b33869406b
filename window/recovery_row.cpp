// The recovery row: the "Recovery data" check box, its number of blocks and
// the note that tells what the recovery data adds to the set. The row comes
// on with a source; the blocks are the folder methods' (disk after disk the
// one block goes on one more disk). The choice is the one remembered in
// DORVANE.TXT (Folders.Recovery), kept up to date as it changes.
#include "commands.h"

#include <stdio.h>
#include <string.h>

#include "format/slice_format.h"
#include "planner_texts.h"
#include "remembered_folders.h"
#include "slice_worker.h"

// Controls that are usable only with the box checked and a folder method.
static const int BlocksControls[] = {
    ID_RECOVERY_BLOCKS_EDIT, ID_RECOVERY_UP_DOWN, ID_RECOVERY_BLOCKS_LABEL,
};

void ShowRecoveryChoice(void)
{
    char text[8];

    SendMessageA(Control(ID_RECOVERY_CHECK), BM_SETCHECK,
                 Folders.Recovery.On ? BST_CHECKED : BST_UNCHECKED, 0);
    snprintf(text, sizeof text, "%u", Folders.Recovery.Blocks);
    // Runs the blocks step, which keeps the number within 1 to 10.
    SetWindowTextA(Control(ID_RECOVERY_BLOCKS_EDIT), text);
}

// The note's line for the method chosen and the planner's figures; empty
// where the planner has no set to show.
static void WriteRecoveryNote(void)
{
    char source[PATH_TEXT_SIZE], note[PLAN_TEXT_SIZE];
    uint32_t portionSize = ControlChecked(ID_SIZE_RADIO) ? Window.PortionSize
                                                         : Window.EqualPortionSize;

    ReadControlPath(ID_SOURCE_PATH_EDIT, source);
    RecoveryNote(Window.RemovableMode, SourceSize(), portionSize,
                 strlen(SourceFileName(source)), Folders.Recovery.Blocks, RecoveryCreator, note,
                 sizeof note);
    SetWindowTextA(Control(ID_RECOVERY_NOTE), note);
}

void RefreshRecoveryRow(void)
{
    int usable = !Window.NoSourceFile;
    int on = usable && ControlChecked(ID_RECOVERY_CHECK);
    size_t i;

    // Before the controls below exist (the window being made), nothing.
    if (!Control(ID_RECOVERY_NOTE))
        return;
    EnableControl(ID_RECOVERY_CHECK, usable);
    for (i = 0; i < sizeof BlocksControls / sizeof BlocksControls[0]; i++)
        EnableControl(BlocksControls[i], on && !Window.RemovableMode);
    if (on)
        WriteRecoveryNote();
    ShowWindow(Control(ID_RECOVERY_NOTE), on ? SW_SHOW : SW_HIDE);
}

unsigned ChosenRecoveryBlocks(void)
{
    return ControlChecked(ID_RECOVERY_CHECK) ? Folders.Recovery.Blocks : 0;
}

// The blocks field's number: held within 1 to 10, the field's text
// corrected past 10 at once and below 1 when it is left.
static void BlocksStep(int leaving)
{
    char text[PLAN_TEXT_SIZE] = "", replacement[PLAN_TEXT_SIZE];

    GetWindowTextA(Control(ID_RECOVERY_BLOCKS_EDIT), text, PLAN_TEXT_SIZE - 1);
    // The replaced text comes back here as EN_CHANGE and passes at once.
    if (RecoveryBlocksStep(ParseCountValue(text), leaving, &Folders.Recovery.Blocks,
                           replacement, sizeof replacement) & PLAN_TEXT_REPLACED)
        SetWindowTextA(Control(ID_RECOVERY_BLOCKS_EDIT), replacement);
}

void HandleRecoveryCommand(int id, int code)
{
    if (id == ID_RECOVERY_CHECK && code == BN_CLICKED)
        Folders.Recovery.On = ControlChecked(ID_RECOVERY_CHECK);
    else if (id == ID_RECOVERY_BLOCKS_EDIT && (code == EN_CHANGE || code == EN_KILLFOCUS))
        BlocksStep(code == EN_KILLFOCUS);
    else
        return;
    RefreshRecoveryRow();
}
