// The media service on Linux (media.h): mounts and removable devices from the
// kernel's tables, the mount table of /proc and the block devices' marks in
// sysfs. The slice job's part is in media_job_posix.cpp.
#include "os/media.h"

#include <fcntl.h>
#include <limits.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

enum {
    MOUNT_FIELDS = 5 // ID, parent, device, root, mount point
};

// The kernel's own tables.
static const char MOUNT_INFO[] = "/proc/self/mountinfo";
static const char SYSFS_ROOT[] = "/sys";

// Undoes the octal escapes (\040, \011, \012, \134) of a mountinfo field.
static void Unescape(char *text)
{
    char *out = text;

    while (*text) {
        if (text[0] == '\\' && text[1] >= '0' && text[1] <= '3' && text[2] >= '0' &&
            text[2] <= '7' && text[3] >= '0' && text[3] <= '7') {
            *out++ = (char)((text[1] - '0') * 64 + (text[2] - '0') * 8 + (text[3] - '0'));
            text += 4;
        } else {
            *out++ = *text++;
        }
    }
    *out = 0;
}

int OsParseMountLine(char *line, OsMountEntry *entry)
{
    char *fields[MOUNT_FIELDS];
    char *end;
    int i;

    for (i = 0; i < MOUNT_FIELDS; i++) {
        fields[i] = line;
        line += strcspn(line, " \n");
        if (line == fields[i])
            return -1;
        if (*line)
            *line++ = 0;
        else if (i + 1 < MOUNT_FIELDS)
            return -1;
    }
    if (fields[2][0] < '0' || fields[2][0] > '9')
        return -1;
    entry->Major = (unsigned)strtoul(fields[2], &end, 10);
    if (*end != ':' || end[1] < '0' || end[1] > '9')
        return -1;
    entry->Minor = (unsigned)strtoul(end + 1, &end, 10);
    if (*end)
        return -1;
    Unescape(fields[4]);
    entry->MountPoint = fields[4];
    return 0;
}

// 1 when the sysfs file at path starts with '1'.
static int FlagIsSet(const char *path)
{
    char flag = 0;
    int fd = open(path, O_RDONLY | O_CLOEXEC);

    if (fd < 0)
        return 0;
    if (read(fd, &flag, 1) != 1)
        flag = 0;
    close(fd);
    return flag == '1';
}

// Whether sysfs marks the device removable. A partition has no mark of its
// own: its disk, the folder above it, carries it.
static int DeviceIsRemovable(const char *sysfsRoot, unsigned major, unsigned minor)
{
    static const char *const Marks[] = {"removable", "../removable"};
    char path[PATH_MAX];
    struct stat info;
    int length = snprintf(path, sizeof path, "%s/dev/block/%u:%u/partition", sysfsRoot, major, minor);
    int partition = length > 0 && (size_t)length < sizeof path && stat(path, &info) == 0;

    length = snprintf(path, sizeof path, "%s/dev/block/%u:%u/%s", sysfsRoot, major, minor,
                      Marks[partition]);
    return length > 0 && (size_t)length < sizeof path && FlagIsSet(path);
}

int OsIsRemovableMountPoint(const char *path, const char *mountInfo, const char *sysfsRoot)
{
    FILE *table = fopen(mountInfo, "re");
    char *line = NULL;
    size_t capacity = 0;
    OsMountEntry entry, found;
    int mounted = 0;

    if (!table)
        return 0;
    // A later line mounts over an earlier one at the same place: the last
    // one is what the path shows.
    while (getline(&line, &capacity, table) > 0)
        if (OsParseMountLine(line, &entry) == 0 && strcmp(entry.MountPoint, path) == 0) {
            found = entry;
            mounted = 1;
        }
    free(line);
    fclose(table);
    return mounted && DeviceIsRemovable(sysfsRoot, found.Major, found.Minor);
}

// The tables to read: the kernel's own, but in a test build those that its
// environment names, for a removable device cannot be made on demand. A test
// build defines OS_TEST_HOOKS as its program's prefix ("KELMORIX_",
// "DORVANE_"): PREFIX MOUNTINFO and PREFIX SYSFS name them; unset or empty
// stands for the kernel's.
#ifdef OS_TEST_HOOKS
static const char *const MountInfoVariable = OS_TEST_HOOKS "MOUNTINFO";
static const char *const SysfsVariable = OS_TEST_HOOKS "SYSFS";
#else
static const char *const MountInfoVariable = NULL;
static const char *const SysfsVariable = NULL;
#endif

static const char *Table(const char *variable, const char *kernel)
{
    const char *named = variable ? getenv(variable) : NULL;

    return named && *named ? named : kernel;
}

int OsIsRemovable(const char *path)
{
    char real[PATH_MAX];

    if (!realpath(path, real))
        return 0;
    return OsIsRemovableMountPoint(real, Table(MountInfoVariable, MOUNT_INFO),
                                   Table(SysfsVariable, SYSFS_ROOT));
}

void OsDriveName(const char *source, char *name, size_t size)
{
    // A removable source is a mount point; prompts name it as the kernel
    // does, whatever form the user typed.
    char real[PATH_MAX];
    const char *shown = realpath(source, real) ? real : source;

    snprintf(name, size, "%s", shown);
}
