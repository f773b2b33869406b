// A helper for the joiner's tests: reports what Windows itself says of a
// file, so that the tests need not trust Wine's mapping onto Linux.
//   wintool stat PATH    prints "attributes=0x... access=HI:LO write=HI:LO"
//   wintool drive PATH   prints GetDriveTypeA's answer
//   wintool slice SOURCE FOLDER\ SIZE
//                        writes SOURCE as a slice set of SIZE-byte portions
//                        into FOLDER, with what Windows says of the file
#include <windows.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "../../engine/slice_format.h"

static int Stat(const char *path)
{
    DWORD attributes = GetFileAttributesA(path);
    FILETIME creation, access, write;
    HANDLE file;

    if (attributes == INVALID_FILE_ATTRIBUTES) {
        printf("error=%lu\n", GetLastError());
        return 2;
    }
    file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, OPEN_EXISTING,
                       FILE_FLAG_BACKUP_SEMANTICS, NULL);
    if (file == INVALID_HANDLE_VALUE || !GetFileTime(file, &creation, &access, &write)) {
        printf("error=%lu\n", GetLastError());
        return 2;
    }
    CloseHandle(file);
    printf("attributes=0x%lx access=%lu:%lu write=%lu:%lu\n", attributes,
           access.dwHighDateTime, access.dwLowDateTime, write.dwHighDateTime,
           write.dwLowDateTime);
    return 0;
}

static FileTime FromFiletime(FILETIME f)
{
    FileTime t = {f.dwLowDateTime, f.dwHighDateTime};
    return t;
}

// Copies count bytes from one file to the other; 0 on success.
static int CopyBytes(HANDLE from, HANDLE to, DWORD count)
{
    static char buffer[65536];
    DWORD chunk, got, put;

    while (count > 0) {
        chunk = count < sizeof buffer ? count : sizeof buffer;
        if (!ReadFile(from, buffer, chunk, &got, NULL) || got != chunk ||
            !WriteFile(to, buffer, chunk, &put, NULL) || put != chunk)
            return 1;
        count -= chunk;
    }
    return 0;
}

static int Slice(const char *source, const char *folder, DWORD portionSize)
{
    PortionHeader h;
    SYSTEMTIME now;
    FILETIME creation, access, write;
    unsigned char raw[PORTION_HEADER_SIZE];
    char path[MAX_PATH];
    DWORD high = 0, remaining, chunk, put;
    unsigned number = 0;
    HANDLE in, out;

    memset(&h, 0, sizeof h);
    GetLocalTime(&now);
    h.SliceTime = {now.wYear, now.wMonth, now.wDayOfWeek, now.wDay, now.wHour, now.wMinute,
                   now.wSecond, now.wMilliseconds};
    h.FileAttributes = GetFileAttributesA(source);
    in = CreateFileA(source, GENERIC_READ, 0, NULL, OPEN_EXISTING, 0, NULL);
    if (in == INVALID_HANDLE_VALUE || !GetFileTime(in, &creation, &access, &write))
        return 2;
    h.CreationTime = FromFiletime(creation);
    h.LastAccessTime = FromFiletime(access);
    h.LastWriteTime = FromFiletime(write);
    h.FileSizeLow = remaining = GetFileSize(in, &high);
    h.FileSizeHigh = high;
    StoreFileName(h.FileName, SourceFileName(source));
    snprintf(path, sizeof path, "%s%s", folder, h.FileName);
    do {
        chunk = remaining < portionSize - PORTION_HEADER_SIZE ? remaining
                                                              : portionSize - PORTION_HEADER_SIZE;
        h.LastPortion = chunk == remaining;
        EncodePortionHeader(&h, raw);
        SetPortionNumber(path, number++);
        out = CreateFileA(path, GENERIC_WRITE, 0, NULL, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, NULL);
        if (out == INVALID_HANDLE_VALUE || !WriteFile(out, raw, sizeof raw, &put, NULL) ||
            CopyBytes(in, out, chunk) || !CloseHandle(out))
            return 2;
        remaining -= chunk;
    } while (remaining > 0);
    CloseHandle(in);
    return 0;
}

int main(int argc, char **argv)
{
    if (argc == 3 && strcmp(argv[1], "stat") == 0)
        return Stat(argv[2]);
    if (argc == 3 && strcmp(argv[1], "drive") == 0) {
        printf("%u\n", GetDriveTypeA(argv[2]));
        return 0;
    }
    if (argc == 5 && strcmp(argv[1], "slice") == 0)
        return Slice(argv[2], argv[3], strtoul(argv[4], NULL, 10));
    fprintf(stderr, "usage: wintool stat PATH | drive PATH | slice SOURCE FOLDER\\ SIZE\n");
    return 2;
}
