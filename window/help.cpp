// The Help button: the help file in the system's help viewer where Windows
// still has one, the same topics as a page in the default browser where it
// does not, and the hooks through which the tests stand in for the Windows
// version and the shell.
#include "commands.h"

#include <objbase.h>

#include <stdlib.h>
#include <string.h>

#include "os/text_win.h"
#include "slice_worker.h"

HelpSystemHooks HelpHooks = {GetVersion, Utf8ShellOpen};

// A text for ShellExecuteW: NULL stays NULL; NULL too without memory, which
// the caller tells apart by the text it gave.
static wchar_t *WideOrNull(const char *text)
{
    return text ? Utf8ToWide(text) : NULL;
}

HINSTANCE WINAPI Utf8ShellOpen(HWND owner, LPCSTR verb, LPCSTR file, LPCSTR parameters,
                               LPCSTR folder, INT show)
{
    wchar_t *wideVerb = WideOrNull(verb), *wideFile = WideOrNull(file);
    wchar_t *wideParameters = WideOrNull(parameters), *wideFolder = WideOrNull(folder);
    HINSTANCE result = (HINSTANCE)(INT_PTR)SE_ERR_OOM;

    if ((!verb || wideVerb) && (!file || wideFile) && (!parameters || wideParameters) &&
        (!folder || wideFolder))
        result = ShellExecuteW(owner, wideVerb, wideFile, wideParameters, wideFolder, show);
    free(wideVerb);
    free(wideFile);
    free(wideParameters);
    free(wideFolder);
    return result;
}

// Since Windows Vista (6.0) the help viewer is no part of Windows: asked for
// a file, what stands in for it only says that this Windows lacks a
// feature, and on 10 and 11 it cannot even be installed. Wine has one, and
// says which Windows it plays.
static int SystemHasHelpViewer(void)
{
    return LOBYTE(LOWORD(HelpHooks.Version())) < 6;
}

// dorvane.htm, written beside dorvane.hlp from the same topics.
static void HelpPagePath(char page[HELP_PATH_SIZE])
{
    size_t length = strlen(Window.HelpFilePath);

    memcpy(page, Window.HelpFilePath, length + 1);
    if (length >= 4)
        strcpy(page + length - 4, ".htm");
}

// Returns 1 when the shell took the page. The browser may be reached
// through a shell extension, which needs COM on this thread.
static int OpenHelpPage(void)
{
    char page[HELP_PATH_SIZE];
    HRESULT com = CoInitializeEx(NULL, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
    INT_PTR opened;

    HelpPagePath(page);
    // Results up to 32 are the shell's error codes.
    opened = (INT_PTR)HelpHooks.Open(MainWindow, "open", page, NULL, NULL, SW_SHOWNORMAL) > 32;
    if (SUCCEEDED(com))
        CoUninitialize();
    return opened;
}

static int AskHelpViewer(void)
{
    wchar_t *path = Utf8ToWide(Window.HelpFilePath);
    int asked = path && WinHelpW(MainWindow, path, HELP_FINDER, 0);

    free(path);
    return asked;
}

// Each Windows falls back on the other file when its own cannot be opened:
// Vista to 8.1 can have the viewer installed, and a Wine prefix may know no
// program for a page.
void ShowHelp(void)
{
    int shown = SystemHasHelpViewer() ? AskHelpViewer() || OpenHelpPage()
                                      : OpenHelpPage() || AskHelpViewer();

    if (!shown)
        ShowBox("HELP Error", "Dorvane - Error", MB_OK);
}
