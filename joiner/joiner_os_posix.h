// What the joiner's POSIX layer knows of mounts and removable devices,
// separate from the layer itself so that it can be tested with a mount
// table and a sysfs tree made by the tests.
#ifndef KELMORIX_JOINER_OS_POSIX_H
#define KELMORIX_JOINER_OS_POSIX_H

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

#endif
