// Drives and disks: the platform layer's media service (media_win.cpp,
// media_posix.cpp; the slice job's part in media_job_win/posix.cpp). A
// removable drive is one whose disk the user swaps: a drive letter of that
// type on Windows, the mount point of a file system on a device that sysfs
// marks removable on Linux.
#ifndef DORVANE_OS_MEDIA_H
#define DORVANE_OS_MEDIA_H

#include "os.h"

// OsIsRemovable: 1 when path lies on a drive whose disk the user swaps: on
// Windows a drive's root ("A:\"), on POSIX a mount point in any spelling;
// 0 otherwise. The joiner asks for disks only then.
int OsIsRemovable(const char *path);

// OsIsRemovableDrive: 1 when destination, as the slicer names one, is a
// removable drive: a bare drive name ("A:") on Windows, a mount point on
// POSIX.
int OsIsRemovableDrive(const char *destination);

// OsDriveName: how disk prompts name the drive of a removable source into
// name[size]: its drive letter and colon on Windows, its mount point as the
// kernel spells it where there are no drive letters.
void OsDriveName(const char *source, char *name, size_t size);

// FreeBytesFromClusters: free bytes from a drive's cluster geometry,
// computed in 64 bits and capped at 0xFFFFFFFF: a drive with 4 GiB or more
// free has room for any portion. Pure arithmetic, here so that every layer
// caps alike and the edge cases are tested natively.
static inline uint32_t FreeBytesFromClusters(uint32_t sectorsPerCluster, uint32_t bytesPerSector,
                                             uint32_t freeClusters)
{
    uint64_t bytes = (uint64_t)sectorsPerCluster * bytesPerSector;

    // Two factors of up to 2^32 each can overflow 64 bits too: check first.
    if (bytes && freeClusters > UINT64_MAX / bytes)
        return UINT32_MAX;
    bytes *= freeClusters;
    return bytes > UINT32_MAX ? UINT32_MAX : (uint32_t)bytes;
}

// OsFreeBytes: free bytes where destination (a drive name or a mount point)
// writes, capped at 0xFFFFFFFF; 0 when it cannot be measured (no disk).
uint32_t OsFreeBytes(const char *destination);

// OsAllocationUnit: the bytes a disk allocates to a file at a time (a
// cluster), where destination writes: every file takes whole units of it.
// 1 when it cannot be measured.
uint32_t OsAllocationUnit(const char *destination);

#ifndef _WIN32
// The kernel's tables behind the POSIX answers, open to tests.

// One line of a mountinfo file (/proc/self/mountinfo).
struct OsMountEntry {
    unsigned Major;   // the mounted block device's numbers
    unsigned Minor;
    char *MountPoint; // unescaped, pointing into the parsed line
};

// OsParseMountLine: parses a mountinfo line in place: "ID PARENT MAJOR:MINOR
// ROOT MOUNTPOINT ...", the mount point with its octal escapes (\040 for a
// blank) undone. Returns 0, or -1 when the line is not of that form.
int OsParseMountLine(char *line, OsMountEntry *entry);

// OsIsRemovableMountPoint: 1 when path (absolute, with no trailing separator
// or link) is the mount point of a file system on a block device that the
// sysfs tree at sysfsRoot marks removable, according to the mountinfo file
// mountInfo; 0 otherwise, also when either cannot be read.
int OsIsRemovableMountPoint(const char *path, const char *mountInfo, const char *sysfsRoot);
#endif

#endif
