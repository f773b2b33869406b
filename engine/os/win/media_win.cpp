// The media service on Win32 (media.h): drive types and drive names. The
// slice job's part is in media_job_win.cpp, apart, so that the joiner
// carries none of it.
#include "os/media.h"
#include "utf16_win.h"

#include <windows.h>

#include <stdlib.h>
#include <string.h>

int OsIsRemovable(const char *path)
{
    wchar_t *wide = ToUtf16(path, -1, NULL);
    int removable = wide && GetDriveTypeW(wide) == DRIVE_REMOVABLE;

    free(wide);
    return removable;
}

void OsDriveName(const char *source, char *name, size_t size)
{
    // The drive letter and colon of a root path such as A:\.
    size_t length = !source[0] ? 0 : !source[1] ? 1 : 2;

    if (length >= size)
        length = size - 1;
    memcpy(name, source, length);
    name[length] = 0;
}
