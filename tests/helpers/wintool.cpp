// A helper for the joiner's tests: reports what Windows itself says of a
// file, so that the tests need not trust Wine's mapping onto Linux.
//   wintool stat PATH    prints "attributes=0x... access=HI:LO write=HI:LO"
//   wintool drive PATH   prints GetDriveTypeA's answer
#include <windows.h>

#include <stdio.h>
#include <string.h>

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

int main(int argc, char **argv)
{
    if (argc == 3 && strcmp(argv[1], "stat") == 0)
        return Stat(argv[2]);
    if (argc == 3 && strcmp(argv[1], "drive") == 0) {
        printf("%u\n", GetDriveTypeA(argv[2]));
        return 0;
    }
    fprintf(stderr, "usage: wintool stat PATH | drive PATH\n");
    return 2;
}
