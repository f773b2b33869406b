#include "media.h"

#include <windows.h>

#include <stdlib.h>
#include <string.h>

#include "slice_arith.h"

uint32_t DiskFreeBytes(const char *drive)
{
    DWORD sectorsPerCluster, bytesPerSector, freeClusters, totalClusters;

    if (!GetDiskFreeSpaceA(drive, &sectorsPerCluster, &bytesPerSector, &freeClusters,
                           &totalClusters))
        return 0;
    return FreeBytesFromClusters(sectorsPerCluster, bytesPerSector, freeClusters);
}

static HANDLE CreateJoinerFile(const char *path)
{
    return CreateFileA(path, GENERIC_WRITE, 0, NULL, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, NULL);
}

long WriteJoinerProgram(const char *folder)
{
    HRSRC found = FindResourceExA(NULL, JOINER_RESOURCE_TYPE,
                                  MAKEINTRESOURCEA(JOINER_RESOURCE_ID),
                                  JOINER_RESOURCE_LANGUAGE);
    HGLOBAL loaded;
    const void *data;
    DWORD size, written = 0;
    size_t folderLength = strlen(folder);
    char *path;
    HANDLE file;
    long error = 0;

    if (!found || !(loaded = LoadResource(NULL, found)) || !(data = LockResource(loaded))) {
        error = (long)GetLastError();
        return error ? error : (long)ERROR_RESOURCE_DATA_NOT_FOUND;
    }
    size = SizeofResource(NULL, found);
    path = (char *)malloc(folderLength + sizeof JOINER_FILE_NAME);
    if (!path)
        return ERROR_NOT_ENOUGH_MEMORY;
    memcpy(path, folder, folderLength);
    memcpy(path + folderLength, JOINER_FILE_NAME, sizeof JOINER_FILE_NAME);

    // The joiner is the program's own file, not the user's: an older copy
    // is replaced without a question.
    file = CreateJoinerFile(path);
    if (file == INVALID_HANDLE_VALUE && GetLastError() == ERROR_FILE_EXISTS) {
        DeleteFileA(path);
        file = CreateJoinerFile(path);
    }
    if (file == INVALID_HANDLE_VALUE) {
        error = (long)GetLastError();
    } else {
        if (!WriteFile(file, data, size, &written, NULL))
            error = (long)GetLastError();
        else if (written != size)
            error = ERROR_DISK_FULL; // a short write without an error: no room left
        if (!CloseHandle(file) && !error)
            error = (long)GetLastError();
        // A joiner cut short would crash when run: better none at all.
        if (error)
            DeleteFileA(path);
    }
    free(path);
    return error;
}
