// Message boxes of the program answered by a test: every box shown through
// JobHooks.ShowMessage is recorded, and a test's Answer (or a user who takes
// the way out of every question) picks the button.
#ifndef DORVANE_TESTS_BOX_RECORDER_H
#define DORVANE_TESTS_BOX_RECORDER_H

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

namespace testboxes {

struct Box {
    HWND Owner;
    std::string Title;
    std::string Text;
    UINT Style;
};

inline std::vector<Box> Boxes;                             // every box of the job, in order
inline std::function<int(const Box &, size_t)> Answer;     // the user; null: DefaultAnswer

// A user who takes the way out of every question.
inline int DefaultAnswer(const Box &box)
{
    switch (box.Style & MB_TYPEMASK) {
    case MB_OKCANCEL:
        return IDCANCEL;
    case MB_ABORTRETRYIGNORE:
        return IDABORT;
    default:
        return IDOK;
    }
}

inline int WINAPI RecordBox(HWND owner, LPCSTR text, LPCSTR title, UINT style)
{
    Boxes.push_back({owner, title, text, style});
    return Answer ? Answer(Boxes.back(), Boxes.size() - 1) : DefaultAnswer(Boxes.back());
}

inline const UINT kErrorStyle = MB_OK | MB_ICONERROR | MB_SETFOREGROUND;
inline const UINT kQuestionStyle = MB_OKCANCEL | MB_ICONWARNING | MB_SETFOREGROUND;
inline const UINT kRetryStyle = MB_ABORTRETRYIGNORE | MB_ICONERROR | MB_SETFOREGROUND;
inline const UINT kPromptStyle = MB_OK | MB_SETFOREGROUND;

} // namespace testboxes

#endif
