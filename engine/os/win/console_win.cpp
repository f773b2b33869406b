// The console service on Win32 (console.h): key events from CONIN$, the
// console itself, whatever standard input is; text to the console as UTF-16;
// which standard handles are the console, and how many processes share it.
#include "os/console.h"
#include "utf16_win.h"

#include <windows.h>

#include <io.h>
#include <stdlib.h>

static HANDLE OpenConsoleInput(void)
{
    return CreateFileW(L"CONIN$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                       NULL, OPEN_EXISTING, 0, NULL);
}

// Keys that only change what another key means; pressed alone they are not
// an answer to a prompt.
static int IsModifierKey(WORD key)
{
    static const WORD Modifiers[] = {VK_SHIFT, VK_CONTROL, VK_MENU,  VK_CAPITAL,
                                     VK_NUMLOCK, VK_SCROLL, VK_LWIN, VK_RWIN};
    size_t i;

    for (i = 0; i < sizeof Modifiers / sizeof Modifiers[0]; i++)
        if (Modifiers[i] == key)
            return 1;
    return 0;
}

int OsReadKey(void)
{
    HANDLE input = OpenConsoleInput();
    DWORD mode = 0, count = 0;
    INPUT_RECORD record;
    int key = -1;

    if (input == INVALID_HANDLE_VALUE)
        return -1;
    if (!GetConsoleMode(input, &mode)) {
        CloseHandle(input);
        return -1;
    }
    // No line editing and no echo; Ctrl+C still ends the program.
    SetConsoleMode(input, ENABLE_PROCESSED_INPUT);
    while (ReadConsoleInputA(input, &record, 1, &count) && count == 1) {
        if (record.EventType != KEY_EVENT || !record.Event.KeyEvent.bKeyDown)
            continue;
        if (record.Event.KeyEvent.uChar.AsciiChar) {
            key = (unsigned char)record.Event.KeyEvent.uChar.AsciiChar;
            break;
        }
        if (!IsModifierKey(record.Event.KeyEvent.wVirtualKeyCode)) {
            key = 0; // an extended key: one event carries both of its codes
            break;
        }
    }
    SetConsoleMode(input, mode);
    CloseHandle(input);
    return key;
}

// A console event is a whole key: there is no rest of it to take, only what
// was typed after it.
int OsReadKeyByte(void)
{
    int key = OsReadKey();

    if (key >= 0)
        OsFlushTypedAhead();
    return key;
}

int OsFlushTypedAhead(void)
{
    HANDLE input = OpenConsoleInput();
    int result;

    if (input == INVALID_HANDLE_VALUE)
        return -1;
    result = FlushConsoleInputBuffer(input) ? 0 : -1;
    CloseHandle(input);
    return result;
}

FILE *OsOpenConsoleOutput(void)
{
    DWORD mode;

    return GetConsoleMode(GetStdHandle(STD_OUTPUT_HANDLE), &mode) ? NULL : fopen("CONOUT$", "w");
}

// A console is known by the one call that writes characters to it: asking
// its mode needs read access, which CONOUT$ opened for writing lacks. Only a
// character device can be one.
int OsWriteText(FILE *to, const char *text, size_t length)
{
    HANDLE handle = (HANDLE)_get_osfhandle(_fileno(to));
    wchar_t *wide;
    DWORD written = 0;
    int units, shown = 0;

    if (length && GetFileType(handle) == FILE_TYPE_CHAR &&
        (wide = ToUtf16(text, (int)length, &units)) != NULL) {
        // What stdio holds goes first.
        fflush(to);
        shown = WriteConsoleW(handle, wide, (DWORD)units, &written, NULL);
        free(wide);
        if (shown)
            return written == (DWORD)units ? 0 : -1;
    }
    return fwrite(text, 1, length, to) == length ? 0 : -1;
}

// Any stream but a console's: files and pipes are buffered so already.
void OsBufferOutput(void)
{
    DWORD mode;

    if (!GetConsoleMode(GetStdHandle(STD_OUTPUT_HANDLE), &mode))
        setvbuf(stdout, NULL, _IOFBF, BUFSIZ);
}

// STD_INPUT_HANDLE, STD_OUTPUT_HANDLE and STD_ERROR_HANDLE are -10, -11, -12.
int OsIsTerminal(int fd)
{
    DWORD mode;

    return fd >= 0 && fd < 3 && GetConsoleMode(GetStdHandle(STD_INPUT_HANDLE - (DWORD)fd), &mode) != 0;
}

// Asked by name: Windows before XP has no such call, and a program that
// imported it would not start there.
int OsConsoleProcessCount(void)
{
    typedef DWORD(WINAPI * ProcessListCall)(LPDWORD, DWORD);
    ProcessListCall call;
    const char *hook = getenv("KELMORIX_CONSOLE_PROCESSES");
    DWORD ids[2];

    if (hook && *hook)
        return atoi(hook);
    call = (ProcessListCall)(void (*)(void))GetProcAddress(GetModuleHandleA("kernel32.dll"),
                                                          "GetConsoleProcessList");
    return call ? (int)call(ids, 2) : 0;
}
