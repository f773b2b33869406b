// A source given to the window rather than typed into it: a file dropped on
// the window, and the path named on the program's command line. Both are
// written into SourcePathEdit, whose change runs the source check just as
// typing does: the methods come on for a file that opens, the notes are
// recalculated and its folder is remembered; a path that names no file
// stays as given, with the methods off. Both come from the system in
// UTF-16 and are held in UTF-8, so that any name arrives whole.
#include "commands.h"

#include <stdlib.h>
#include <string.h>

#include "os/files.h"
#include "os/text_win.h"

static const char OneFileText[] =
    "Dorvane slices one file at a time: drop a single file, not a folder or several files.";
static const char OneFileTitle[] = "Dorvane";

void DropSource(HDROP drop)
{
    UINT count = DragQueryFileW(drop, 0xFFFFFFFF, NULL, 0);
    UINT length;
    int isFolder = 0;
    wchar_t *wide;
    char *path;

    // The job took its source as the field held it when Slice was pressed.
    if (Window.JobRunning || count == 0)
        return;
    length = DragQueryFileW(drop, 0, NULL, 0);
    wide = (wchar_t *)malloc((length + 1) * sizeof *wide);
    if (!wide)
        return;
    wide[0] = 0;
    DragQueryFileW(drop, 0, wide, length + 1);
    path = WideToUtf8(wide);
    if (path && (count > 1 || (OsQueryPath(path, &isFolder) == 0 && isFolder)))
        ShowBox(OneFileText, OneFileTitle, MB_OK | MB_ICONINFORMATION);
    else if (path)
        SetWindowTextW(Control(ID_SOURCE_PATH_EDIT), wide);
    free(path);
    free(wide);
}

static int IsBlank(char c)
{
    return c == ' ' || c == '\t';
}

size_t CommandLineSource(const char *commandLine, char *path)
{
    const char *start = commandLine;
    const char *end;

    while (IsBlank(*start))
        start++;
    if (*start == '"') {
        start++;
        end = strchr(start, '"');
        if (!end)
            end = start + strlen(start);
    } else {
        end = start + strlen(start);
    }
    while (end > start && IsBlank(end[-1]))
        end--;
    memcpy(path, start, (size_t)(end - start));
    path[end - start] = '\0';
    return (size_t)(end - start);
}

void StartWithSource(const char *commandLine)
{
    char *path = (char *)malloc(strlen(commandLine) + 1);

    if (path && CommandLineSource(commandLine, path))
        SetControlText(ID_SOURCE_PATH_EDIT, path);
    free(path);
}

// Where the arguments begin: after the program's name, which the system
// parses apart from them (CommandLineToArgvW's rule for its first item: up
// to the closing quote when it starts with one, else up to the first blank),
// and the blanks after it. WinMain's own line, but whole in UTF-16.
static const wchar_t *AfterProgramName(const wchar_t *line)
{
    if (*line == L'"') {
        line++;
        while (*line && *line != L'"')
            line++;
        if (*line)
            line++;
    } else {
        while (*line && *line != L' ' && *line != L'\t')
            line++;
    }
    while (*line == L' ' || *line == L'\t')
        line++;
    return line;
}

void StartWithProgramArguments(void)
{
    int count = 0;
    wchar_t **arguments = CommandLineToArgvW(GetCommandLineW(), &count);
    char *line;

    // No argument: no source. Otherwise the line after the program's name
    // is read as before, so that an unquoted path with blanks stays whole.
    if (arguments && count > 1) {
        line = WideToUtf8(AfterProgramName(GetCommandLineW()));
        if (line)
            StartWithSource(line);
        free(line);
    }
    LocalFree(arguments);
}
