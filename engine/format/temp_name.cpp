// The temporary names of the slicers and the joiners (temp_name.h).
#include "temp_name.h"

#include <string.h>

#include "heap_text.h"
#include "os/files.h"

long CreateTemporaryFile(const char *folder, size_t folderLength, int separator, const char *tag,
                         char **path, OsFile *file)
{
    char name[] = "~TAG0000.TMP", *digits;
    long error = OS_FILE_EXISTS;
    unsigned n;

    memcpy(name + 1, tag, 3);
    *path = BuildPath(folder, folderLength, separator, name, NULL);
    if (!*path)
        return OS_NO_MEMORY;
    digits = *path + strlen(*path) - (sizeof ".TMP" - 1) - 4;
    for (n = 1; n <= TEMP_NAME_TRIES && error == OS_FILE_EXISTS; n++) {
        digits[0] = (char)('0' + n / 1000);
        digits[1] = (char)('0' + n / 100 % 10);
        digits[2] = (char)('0' + n / 10 % 10);
        digits[3] = (char)('0' + n % 10);
        error = OsCreateNew(*path, file);
    }
    return error;
}
