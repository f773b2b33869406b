// The main window's command bodies, which the dispatch in commands.cpp
// calls one line per control id, and the small helpers they share:
//   fields.cpp         the source and destination checks, the pickers and
//                      the choice of method
//   slice_command.cpp  the Slice command: its refusals, the job and the
//                      result box
//   help.cpp           the Help button
//   commands.cpp       the dispatch, and About and Exit
// The shared helpers below live in fields.cpp.
#ifndef DORVANE_COMMANDS_H
#define DORVANE_COMMANDS_H

#include "slicer_window.h"

// Enables or disables a control, by id.
void EnableControl(int id, int on);

// 1 when a radio button is checked, by id.
int ControlChecked(int id);

// Reads a path from a control. Returns 0 (and an empty text) when it is
// longer than a path can be: cut to fit, it would name another file or
// folder.
int ReadControlPath(int id, char text[PATH_TEXT_SIZE]);

// fields.cpp
void CheckSource(void);
void ChooseSource(void);
void ChooseMethod(int radio);
void CheckDestination(void);
void ChooseDestination(void);

// slice_command.cpp
void Slice(void);

// help.cpp
void ShowHelp(void);

#endif
