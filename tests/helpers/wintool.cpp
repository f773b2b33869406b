// A helper for the joiner's tests: reports what Windows itself says of a
// file, so that the tests need not trust Wine's mapping onto Linux.
//   wintool stat PATH    prints "attributes=0x... access=HI:LO write=HI:LO"
//   wintool drive PATH   prints GetDriveTypeA's answer
//   wintool short PATH   prints the path in its short (8.3) form
//   wintool version PATH prints the version resource: "file=A.B.C.D",
//                        "product=A.B.C.D", then "Name=text" for each string
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

static int Version(const char *path)
{
    static const char *const Names[] = {"ProductName", "FileDescription", "FileVersion",
                                        "ProductVersion", "LegalCopyright", "OriginalFilename"};
    static char data[8192];
    VS_FIXEDFILEINFO *fixed;
    struct { WORD language, codePage; } *translation;
    char query[64];
    char *text;
    UINT length;
    size_t i;

    if (GetFileVersionInfoSizeA(path, NULL) > sizeof data ||
        !GetFileVersionInfoA(path, 0, sizeof data, data) ||
        !VerQueryValueA(data, "\\", (void **)&fixed, &length) ||
        !VerQueryValueA(data, "\\VarFileInfo\\Translation", (void **)&translation, &length)) {
        printf("error=%lu\n", GetLastError());
        return 2;
    }
    printf("file=%lu.%lu.%lu.%lu\n", fixed->dwFileVersionMS >> 16, fixed->dwFileVersionMS & 0xFFFF,
           fixed->dwFileVersionLS >> 16, fixed->dwFileVersionLS & 0xFFFF);
    printf("product=%lu.%lu.%lu.%lu\n", fixed->dwProductVersionMS >> 16,
           fixed->dwProductVersionMS & 0xFFFF, fixed->dwProductVersionLS >> 16,
           fixed->dwProductVersionLS & 0xFFFF);
    for (i = 0; i < sizeof Names / sizeof Names[0]; i++) {
        snprintf(query, sizeof query, "\\StringFileInfo\\%04x%04x\\%s", translation->language,
                 translation->codePage, Names[i]);
        if (VerQueryValueA(data, query, (void **)&text, &length) && length)
            printf("%s=%s\n", Names[i], text);
    }
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
    if (argc == 3 && strcmp(argv[1], "short") == 0) {
        char name[MAX_PATH];
        DWORD length = GetShortPathNameA(argv[2], name, sizeof name);
        if (!length || length >= sizeof name)
            return 1;
        printf("%s\n", name);
        return 0;
    }
    if (argc == 3 && strcmp(argv[1], "version") == 0)
        return Version(argv[2]);
    fprintf(stderr, "usage: wintool stat PATH | drive PATH | version PATH\n");
    return 2;
}
