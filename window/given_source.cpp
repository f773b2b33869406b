// A source given to the window rather than typed into it: a file dropped on
// the window, and the path named on the program's command line. Both are
// written into SourcePathEdit, whose change runs the source check just as
// typing does: the methods come on for a file that opens, the notes are
// recalculated and its folder is remembered; a path that names no file
// stays as given, with the methods off.
#include "commands.h"

#include <stdlib.h>
#include <string.h>

#include "os/files.h"

static const char OneFileText[] =
    "Dorvane slices one file at a time: drop a single file, not a folder or several files.";
static const char OneFileTitle[] = "Dorvane";

void DropSource(HDROP drop)
{
    UINT count = DragQueryFileA(drop, 0xFFFFFFFF, NULL, 0);
    UINT length;
    int isFolder = 0;
    char *path;

    // The job took its source as the field held it when Slice was pressed.
    if (Window.JobRunning || count == 0)
        return;
    length = DragQueryFileA(drop, 0, NULL, 0);
    path = (char *)malloc(length + 1);
    if (!path)
        return;
    path[0] = '\0';
    DragQueryFileA(drop, 0, path, length + 1);
    if (count > 1 || (OsQueryPath(path, &isFolder) == 0 && isFolder))
        ShowBox(OneFileText, OneFileTitle, MB_OK | MB_ICONINFORMATION);
    else
        SetWindowTextA(Control(ID_SOURCE_PATH_EDIT), path);
    free(path);
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
        SetWindowTextA(Control(ID_SOURCE_PATH_EDIT), path);
    free(path);
}
