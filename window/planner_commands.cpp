// The planner's steps on the size and count controls: reading their texts,
// computing with the planning functions, and writing back sizes, texts,
// the unit and the two notes (and the recovery note, which follows them).
#include "slicer_window.h"

#include "planner_texts.h"

uint64_t SourceSize(void)
{
    return (uint64_t)Window.SourceFileSizeHigh << 32 | Window.SourceFileSizeLow;
}

static double TextValue(int id)
{
    char text[PLAN_TEXT_SIZE] = "";

    GetWindowTextA(Control(id), text, sizeof text);
    return ParseSizeValue(text);
}

static int SelectedUnit(void)
{
    LRESULT unit = SendMessageA(Control(ID_UNIT_COMBO), CB_GETCURSEL, 0, 0);

    return unit == CB_ERR ? UNIT_BYTES : (int)unit;
}

// The number in the text of SizeCombo's list entry index; 0 when none.
static double EntryValue(LRESULT index)
{
    char text[PLAN_TEXT_SIZE] = "";
    HWND combo = Control(ID_SIZE_COMBO);

    if (index == CB_ERR || SendMessageA(combo, CB_GETLBTEXTLEN, index, 0) >= PLAN_TEXT_SIZE)
        return 0;
    SendMessageA(combo, CB_GETLBTEXT, index, (LPARAM)text);
    return ParseSizeValue(text);
}

static void RefreshSize(void)
{
    char note[PLAN_TEXT_SIZE];

    RefreshSizeNote(SourceSize(), Window.PortionSize, &Window.PortionCount, note, sizeof note);
    SetWindowTextA(Control(ID_SIZE_NOTE), note);
}

static void TypedSize(void)
{
    char text[PLAN_TEXT_SIZE];

    if (TypedPortionSize(TextValue(ID_SIZE_COMBO), SelectedUnit(), &Window.PortionSize, text,
                         sizeof text) & PLAN_TEXT_REPLACED)
        SetWindowTextA(Control(ID_SIZE_COMBO), text);
}

static void PickedSize(void)
{
    LRESULT index = SendMessageA(Control(ID_SIZE_COMBO), CB_GETCURSEL, 0, 0);
    int unit = SelectedUnit();

    if (index == CB_ERR)
        return;
    Window.PortionSize = PickedPortionSize((int)index, EntryValue(index), &unit);
    SendMessageA(Control(ID_UNIT_COMBO), CB_SETCURSEL, unit, 0);
}

static void UnitChange(void)
{
    LRESULT index = SendMessageA(Control(ID_SIZE_COMBO), CB_GETCURSEL, 0, 0);

    Window.PortionSize = UnitChangePortionSize(TextValue(ID_SIZE_COMBO), index != CB_ERR,
                                               EntryValue(index), SelectedUnit());
}

static void PortionLimit(void)
{
    char text[PLAN_TEXT_SIZE];
    uint32_t resized;

    if (!PortionLimitResize(SourceSize(), Window.PortionCount, &resized, text, sizeof text))
        return;
    ShowBox(PortionLimitMessage, "Dorvane", MB_OK);
    SetWindowTextA(Control(ID_SIZE_COMBO), text);
    SendMessageA(Control(ID_UNIT_COMBO), CB_SETCURSEL, UNIT_BYTES, 0);
    Window.PortionSize = resized;
    SetWindowTextA(Control(ID_SIZE_NOTE), PortionLimitNote);
}

static void CountText(char text[PLAN_TEXT_SIZE])
{
    text[0] = '\0';
    GetWindowTextA(Control(ID_COUNT_EDIT), text, PLAN_TEXT_SIZE - 1);
}

static void RefreshCount(void)
{
    char text[PLAN_TEXT_SIZE], replacement[PLAN_TEXT_SIZE], note[PLAN_TEXT_SIZE];
    int done;

    CountText(text);
    done = RefreshCountNote(ParseCountValue(text), SourceSize(), &Window.PortionCount,
                            &Window.EqualPortionSize, replacement, sizeof replacement, note,
                            sizeof note);
    // The replaced text comes back here as EN_CHANGE and passes at once.
    if (done & PLAN_TEXT_REPLACED)
        SetWindowTextA(Control(ID_COUNT_EDIT), replacement);
    if (done & PLAN_NOTE_WRITTEN) {
        SetWindowTextA(Control(ID_COUNT_NOTE), note);
        Window.CountTooSmall = (done & PLAN_COUNT_TOO_SMALL) != 0;
    }
}

static void SmallestCount(void)
{
    char text[PLAN_TEXT_SIZE], replacement[PLAN_TEXT_SIZE];

    CountText(text);
    if (SmallestPortionCount(ParseCountValue(text), &Window.PortionCount, replacement,
                             sizeof replacement) & PLAN_TEXT_REPLACED)
        SetWindowTextA(Control(ID_COUNT_EDIT), replacement);
}

void CheckPortionLimit(void)
{
    RefreshSize();
    PortionLimit();
    RefreshSize();
    RefreshRecoveryRow();
}

void HandlePlannerCommand(int id, int code)
{
    switch (id) {
    case ID_SIZE_COMBO:
        if (code == CBN_EDITCHANGE)
            TypedSize();
        else if (code == CBN_SELCHANGE)
            PickedSize();
        else if (code == CBN_KILLFOCUS)
            PortionLimit();
        RefreshSize();
        break;
    case ID_UNIT_COMBO:
        if (code == CBN_SELCHANGE)
            UnitChange();
        else if (code == CBN_KILLFOCUS)
            PortionLimit();
        RefreshSize();
        break;
    case ID_COUNT_EDIT:
        if (code == EN_CHANGE || code == EN_SETFOCUS)
            RefreshCount();
        else if (code == EN_KILLFOCUS)
            SmallestCount();
        break;
    }
    // The recovery note follows the planner's figures.
    RefreshRecoveryRow();
}
