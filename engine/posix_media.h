// Mounts and removable devices on Linux (and POSIX systems with /proc and
// sysfs), for both Linux programs: the joiner asks whether a source is a
// disk to be swapped, the slicer whether a destination is. Compiled into
// each program; the tests give it a mount table and a sysfs tree of their
// own.
#ifndef DORVANE_POSIX_MEDIA_H
#define DORVANE_POSIX_MEDIA_H

// One line of a mountinfo file (/proc/self/mountinfo).
struct MountEntry {
    unsigned Major;   // the mounted block device's numbers
    unsigned Minor;
    char *MountPoint; // unescaped, pointing into the parsed line
};

// Parses a mountinfo line in place: "ID PARENT MAJOR:MINOR ROOT MOUNTPOINT
// ...", the mount point with its octal escapes (\040 for a blank) undone.
// Returns 0, or -1 when the line is not of that form.
int ParseMountLine(char *line, MountEntry *entry);

// 1 when path (absolute, with no trailing separator or link) is the mount
// point of a file system on a block device that the sysfs tree at sysfsRoot
// marks removable, according to the mountinfo file mountInfo; 0 otherwise,
// also when either cannot be read.
int IsRemovableMountPoint(const char *path, const char *mountInfo, const char *sysfsRoot);

// 1 when path, its links and relative parts resolved, is such a mount
// point. mountInfo and sysfsRoot name the tables to read; NULL or empty
// stands for the kernel's own (a test build passes what its environment
// names, and the environment may name nothing).
int IsRemovablePath(const char *path, const char *mountInfo, const char *sysfsRoot);

#endif
