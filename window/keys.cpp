// The keyboard procedures on the main window's controls. The window is no
// dialog, so whatever keyboard behaviour its controls have beyond their own
// comes from here: Tab and Shift+Tab along a fixed order that passes over
// what the current method leaves unusable, Up and Down between the method
// radios and through the lists, Enter on the buttons, and the characters
// the count, blocks and size fields take. Changes made here are told to the
// main window with the notification the control itself would have sent.
// The procedures are Unicode ones, as the controls are: a character is a
// UTF-16 unit.
#include "slicer_window.h"

#include "slice_worker.h"

enum {
    CHAR_TAB = 9,
    CHAR_ENTER = 13,
    CHAR_SPACE = 0x20,
    CHAR_SLASH = 0x2F,
    CHAR_POINT = 0x2E,
    CHAR_MINUS = 0x2D,
    CHAR_ZERO = 0x30,
    CHAR_NINE = 0x39,
    SIZE_TEXT_SIZE = 256  // the size field's text: 255 characters and the terminator
};

// A Tab target that depends on the window's state, worked out when the key
// comes. Each returns a control id.
typedef int (*TabRule)(void);

static int IsChecked(int id)
{
    return SendMessageA(Control(id), BM_GETCHECK, 0, 0) == BST_CHECKED;
}

// The checked method radio: where Tab enters the method group.
static int CheckedMethodRadio(void)
{
    return IsChecked(ID_REMOVABLE_RADIO) ? ID_REMOVABLE_RADIO
           : IsChecked(ID_SIZE_RADIO)    ? ID_SIZE_RADIO
                                         : ID_COUNT_RADIO;
}

// The last field of the checked method: where Shift+Tab leaves the
// recovery row for.
static int CheckedMethodField(void)
{
    return IsChecked(ID_REMOVABLE_RADIO) ? ID_DRIVE_COMBO
           : IsChecked(ID_SIZE_RADIO)    ? ID_UNIT_COMBO
                                         : ID_COUNT_EDIT;
}

// Without a source only the Browse button, Help, About and Exit are usable.
static int AfterSourceBrowse(void)
{
    return Window.NoSourceFile ? ID_HELP_BUTTON : CheckedMethodRadio();
}

static int AfterDestinationBrowse(void)
{
    return Window.SliceDisabled ? ID_HELP_BUTTON : ID_SLICE_BUTTON;
}

// The removable method has no destination folder: Slice follows the
// recovery row (whose blocks are the folder methods' only).
static int BeforeSlice(void)
{
    return IsChecked(ID_REMOVABLE_RADIO) ? ID_RECOVERY_BLOCKS_EDIT : ID_DESTINATION_BROWSE_BUTTON;
}

// After the recovery row: the destination, or Slice for the removable method.
static int AfterRecoveryRow(void)
{
    return IsChecked(ID_REMOVABLE_RADIO) ? ID_SLICE_BUTTON : ID_DESTINATION_EDIT;
}

static int BeforeHelp(void)
{
    if (!Window.SliceDisabled)
        return ID_SLICE_BUTTON;
    if (Window.NoSourceFile)
        return Window.RemovableMode ? ID_SOURCE_BROWSE_BUTTON : ID_SLICE_BUTTON;
    return Window.RemovableMode ? ID_RECOVERY_BLOCKS_EDIT : ID_DESTINATION_BROWSE_BUTTON;
}

// One way out of a control: a fixed control, or a rule when Rule is set.
struct TabStep {
    int Target;
    TabRule Rule;
};

struct TabRow {
    int From;
    TabStep Forward;
    TabStep Backward;
};

// The Tab order: the source, the method's fields, the recovery row, the
// destination, the buttons. AboutButton has no row: for it the focus goes to
// the neighbouring id in the key's direction.
static const TabRow TabOrder[] = {
    {ID_SOURCE_PATH_EDIT, {ID_SOURCE_BROWSE_BUTTON, 0}, {ID_EXIT_BUTTON, 0}},
    {ID_SOURCE_BROWSE_BUTTON, {0, AfterSourceBrowse}, {ID_SOURCE_PATH_EDIT, 0}},
    {ID_REMOVABLE_RADIO, {ID_DRIVE_COMBO, 0}, {ID_SOURCE_BROWSE_BUTTON, 0}},
    {ID_DRIVE_COMBO, {ID_RECOVERY_CHECK, 0}, {ID_REMOVABLE_RADIO, 0}},
    {ID_SIZE_RADIO, {ID_SIZE_COMBO, 0}, {ID_SOURCE_BROWSE_BUTTON, 0}},
    {ID_UNIT_COMBO, {ID_RECOVERY_CHECK, 0}, {ID_SIZE_COMBO, 0}},
    {ID_COUNT_RADIO, {ID_COUNT_EDIT, 0}, {ID_SOURCE_BROWSE_BUTTON, 0}},
    {ID_COUNT_EDIT, {ID_RECOVERY_CHECK, 0}, {ID_COUNT_RADIO, 0}},
    {ID_COUNT_UP_DOWN, {ID_RECOVERY_CHECK, 0}, {ID_COUNT_EDIT, 0}},
    {ID_RECOVERY_CHECK, {ID_RECOVERY_BLOCKS_EDIT, 0}, {0, CheckedMethodField}},
    {ID_RECOVERY_BLOCKS_EDIT, {0, AfterRecoveryRow}, {ID_RECOVERY_CHECK, 0}},
    {ID_RECOVERY_UP_DOWN, {0, AfterRecoveryRow}, {ID_RECOVERY_BLOCKS_EDIT, 0}},
    {ID_DESTINATION_EDIT, {ID_DESTINATION_BROWSE_BUTTON, 0}, {ID_RECOVERY_BLOCKS_EDIT, 0}},
    {ID_DESTINATION_BROWSE_BUTTON, {0, AfterDestinationBrowse}, {ID_DESTINATION_EDIT, 0}},
    {ID_SLICE_BUTTON, {ID_HELP_BUTTON, 0}, {0, BeforeSlice}},
    {ID_HELP_BUTTON, {ID_ABOUT_BUTTON, 0}, {0, BeforeHelp}},
    {ID_EXIT_BUTTON, {ID_SOURCE_PATH_EDIT, 0}, {ID_ABOUT_BUTTON, 0}},
};

// What Up and Down do in a control. A target of 0 keeps the focus where it
// is and consumes the key.
enum { ARROW_TARGET = 0, ARROW_CYCLE = 1, ARROW_PASS = 2 };

struct ArrowRow {
    int Id;
    int Action;
    int Up;
    int Down;
};

static const ArrowRow Arrows[] = {
    {ID_REMOVABLE_RADIO, ARROW_TARGET, 0, ID_SIZE_RADIO},
    {ID_SIZE_RADIO, ARROW_TARGET, ID_REMOVABLE_RADIO, ID_COUNT_RADIO},
    {ID_COUNT_RADIO, ARROW_TARGET, ID_SIZE_RADIO, 0},
    {ID_DRIVE_COMBO, ARROW_CYCLE, 0, 0},
    {ID_UNIT_COMBO, ARROW_CYCLE, 0, 0},
    // The up-down control, attached to CountEdit before this procedure,
    // steps the count on them.
    {ID_COUNT_EDIT, ARROW_PASS, 0, 0},
    {ID_COUNT_UP_DOWN, ARROW_PASS, 0, 0},
    // The same for the recovery blocks.
    {ID_RECOVERY_BLOCKS_EDIT, ARROW_PASS, 0, 0},
    {ID_RECOVERY_UP_DOWN, ARROW_PASS, 0, 0},
};

// The buttons Enter presses.
static const int EnterButtons[] = {
    ID_SOURCE_BROWSE_BUTTON, ID_DESTINATION_BROWSE_BUTTON, ID_SLICE_BUTTON,
    ID_HELP_BUTTON, ID_ABOUT_BUTTON, ID_EXIT_BUTTON,
};

// The unit that goes with each preset of SizeCombo: KB for "360" and "720",
// MB for "1.2", "1.44" and "2.88".
static const int PresetUnits[] = {1, 1, 2, 2, 2};
enum { UNIT_OF_OTHER_SIZES = 0, PRESET_COUNT = sizeof PresetUnits / sizeof PresetUnits[0] };

static int IsMethodRadio(int id)
{
    return id == ID_REMOVABLE_RADIO || id == ID_SIZE_RADIO || id == ID_COUNT_RADIO;
}

// Moves the focus; a disabled control does not take it. A method radio
// reached from the keyboard chooses its method, as the arrows do in a
// dialog's radio group. Whether a plain radio button reports a click when
// it gets the focus is the control's own affair (Wine's does not), and
// without this a keyboard user could reach the other methods but never pick
// one; where the control does report it, the radio is checked by then and
// nothing is sent twice.
static void MoveFocus(int id)
{
    HWND target = Control(id);

    SetFocus(target);
    if (IsMethodRadio(id) && GetFocus() == target && !IsChecked(id))
        NotifyAsControl(id, BN_CLICKED);
}

static int ShiftDown(void)
{
    return GetKeyState(VK_SHIFT) < 0;
}

static int TabTarget(int from, int direction)
{
    size_t i;
    int to;

    for (i = 0; i < sizeof TabOrder / sizeof TabOrder[0]; i++)
        if (TabOrder[i].From == from) {
            const TabStep *step = direction == -1 ? &TabOrder[i].Backward : &TabOrder[i].Forward;
            return step->Rule ? step->Rule() : step->Target;
        }
    to = from + direction;
    return to < ID_SOURCE_PATH_EDIT ? ID_EXIT_BUTTON : to > ID_EXIT_BUTTON ? ID_SOURCE_PATH_EDIT : to;
}

// The next index of a list of count items in the key's direction, from the
// last back to the first and from the first (or none) to the last.
static int CycledIndex(int current, int count, int key)
{
    if (key == VK_DOWN)
        return current + 1 >= count ? 0 : current + 1;
    return current <= 0 ? count - 1 : current - 1;
}

static void CycleList(int id, int key)
{
    HWND list = Control(id);
    int count = (int)SendMessageA(list, CB_GETCOUNT, 0, 0);
    int current = (int)SendMessageA(list, CB_GETCURSEL, 0, 0);

    if (count <= 0)
        return;
    SendMessageA(list, CB_SETCURSEL, (WPARAM)CycledIndex(current, count, key), 0);
    if (id == ID_UNIT_COMBO)
        NotifyAsControl(ID_UNIT_COMBO, CBN_SELCHANGE);
}

static const ArrowRow *ArrowRowOf(int id)
{
    size_t i;

    for (i = 0; i < sizeof Arrows / sizeof Arrows[0]; i++)
        if (Arrows[i].Id == id)
            return &Arrows[i];
    return NULL;
}

// Returns 1 when the key is consumed.
static int ArrowKey(int id, int key)
{
    const ArrowRow *row = ArrowRowOf(id);
    int target;

    if (!row)
        return 1;
    switch (row->Action) {
    case ARROW_PASS:
        return 0;
    case ARROW_CYCLE:
        CycleList(id, key);
        return 1;
    }
    target = key == VK_UP ? row->Up : row->Down;
    if (target)
        MoveFocus(target);
    return 1;
}

static int IsEnterButton(int id)
{
    size_t i;

    for (i = 0; i < sizeof EnterButtons / sizeof EnterButtons[0]; i++)
        if (EnterButtons[i] == id)
            return 1;
    return 0;
}

// The printable characters the count and the blocks never hold: all but
// the digits.
static int RefusedInNumber(WPARAM c)
{
    return c >= CHAR_SPACE && !(c >= CHAR_ZERO && c <= CHAR_NINE);
}

// The Tab target, passing over those that are disabled now along the order
// in the same direction: the order names a control by the method and the
// flags, and a disabled one (Slice with no source, or during a job; a
// method field with no source) does not take the focus, which would leave
// the keys stuck where they are. Stays put when nothing usable is found.
static int UsableTabTarget(int from, int direction)
{
    int to = TabTarget(from, direction);
    int steps;

    for (steps = 0; steps < CONTROL_COUNT && to != from && !IsWindowEnabled(Control(to)); steps++)
        to = TabTarget(to, direction);
    return IsWindowEnabled(Control(to)) ? to : from;
}

// Returns 1 when the character is consumed.
static int NavigationChar(int id, WPARAM c)
{
    if (c == CHAR_TAB) {
        MoveFocus(UsableTabTarget(id, Window.TabDirection == -1 ? -1 : 1));
        return 1;
    }
    if (c == CHAR_ENTER) {
        // May open a modal dialog or run a whole job before it returns.
        if (IsEnterButton(id))
            SendMessageA(MainWindow, WM_COMMAND, (WPARAM)id, 0);
        return 1;
    }
    return (id == ID_COUNT_EDIT || id == ID_RECOVERY_BLOCKS_EDIT) && RefusedInNumber(c);
}

LRESULT CALLBACK KeyNavigationProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    int id = GetDlgCtrlID(window);
    WNDPROC previous = Control(id) == window ? Window.PreviousProcs[id] : NULL;

    if (!previous)
        return 0;
    if (message == WM_KEYDOWN && wParam == VK_TAB) {
        Window.TabDirection = ShiftDown() ? -1 : 1;
        return 0;
    }
    if (message == WM_KEYDOWN && (wParam == VK_UP || wParam == VK_DOWN) &&
        ArrowKey(id, (int)wParam))
        return 0;
    if (message == WM_CHAR && NavigationChar(id, wParam))
        return 0;
    return CallWindowProcW(previous, window, message, wParam, lParam);
}

// Up and Down in the size field: the next preset and its unit. With a typed
// size (no item selected) Down starts at the first preset and Up at the
// last, as from either end of the list.
static void StepPreset(int key)
{
    HWND combo = Control(ID_SIZE_COMBO);
    int count = (int)SendMessageA(combo, CB_GETCOUNT, 0, 0);
    int current = (int)SendMessageA(combo, CB_GETCURSEL, 0, 0);
    int index = CycledIndex(current, count, key);

    SendMessageA(combo, CB_SETCURSEL, (WPARAM)index, 0);
    SendMessageA(Control(ID_UNIT_COMBO), CB_SETCURSEL,
                 index >= 0 && index < PRESET_COUNT ? PresetUnits[index] : UNIT_OF_OTHER_SIZES, 0);
    SendMessageA(MainWindow, WM_COMMAND, MAKEWPARAM(ID_SIZE_COMBO, CBN_SELCHANGE), 0);
}

// The size is a decimal number: digits and one point. A point is refused
// while the text holds one, even one the typing would replace.
static int RefusedInSize(WPARAM c)
{
    char text[SIZE_TEXT_SIZE] = "";
    int i;

    if (c == CHAR_POINT) {
        GetWindowTextA(Control(ID_SIZE_COMBO), text, SIZE_TEXT_SIZE);
        for (i = 0; text[i]; i++)
            if (text[i] == CHAR_POINT)
                return 1;
        return 0;
    }
    return c > CHAR_NINE || c == CHAR_SLASH || (c >= CHAR_SPACE && c <= CHAR_MINUS);
}

LRESULT CALLBACK SizeFieldProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_KEYDOWN && wParam == VK_TAB) {
        Window.SizeFieldTabDirection = ShiftDown() ? -1 : 1;
        return 0;
    }
    if (message == WM_KEYDOWN && (wParam == VK_UP || wParam == VK_DOWN)) {
        StepPreset((int)wParam);
        return 0;
    }
    if (message == WM_CHAR && wParam == CHAR_TAB) {
        MoveFocus(Window.SizeFieldTabDirection == -1 ? ID_SIZE_RADIO : ID_UNIT_COMBO);
        return 0;
    }
    if (message == WM_CHAR && RefusedInSize(wParam))
        return 0;
    return CallWindowProcW(Window.SizeFieldPreviousProc, window, message, wParam, lParam);
}
