// Files and folders: the platform layer's file service (files_win.cpp,
// files_posix.cpp). Error numbers and the handle type are in os.h.
#ifndef DORVANE_OS_FILES_H
#define DORVANE_OS_FILES_H

#include "os.h"

// OsOpenRead: opens an existing file for reading, not shared where the
// platform can refuse sharing (Windows: ERROR_SHARING_VIOLATION for a second
// open). Only a plain file opens, and the open never hangs on anything else:
// on POSIX EISDIR for a folder, EINVAL for a device or FIFO; on Windows the
// system's error for a folder, ERROR_INVALID_PARAMETER for what is not a
// file on a disk (a device, a pipe, a console).
long OsOpenRead(const char *path, OsFile *file);

// OsCreateNew: creates a new file for writing, not shared. Fails with
// OS_FILE_EXISTS when the name is taken, also by a link (which is never
// followed), so that nothing is ever replaced by accident.
long OsCreateNew(const char *path, OsFile *file);

// OsRead: reads from the file's position until count bytes or the end of the
// file; *done says how many came (fewer only at the end).
long OsRead(OsFile file, void *buffer, uint32_t count, uint32_t *done);

// OsWrite: appends count bytes at the file's position. A partial write is
// carried on with the rest; *done says how many were written, also on a
// failure. Fewer than count without an error means the disk took no more.
long OsWrite(OsFile file, const void *buffer, uint32_t count, uint32_t *done);

// OsSeek: moves the file's position to offset bytes from its start, for the
// next OsRead or OsWrite. Reading at or past the end gets no bytes; writing
// past the end of a file open for writing extends it, and the caller writes
// the bytes in between later (a rebuilt portion's place in the output).
long OsSeek(OsFile file, uint64_t offset);

// OsWriteWholeFile: creates path, or empties the file of that name, and
// writes the count bytes of data into it; not shared while it is written,
// as OsCreateNew. The old contents are gone once it opens, and a failed
// write can leave the file short: for a small file the program keeps for
// itself and writes whole each time (the window's remembered folders),
// never for a user's data, which OsRenameOver replaces in one step. A short
// write without an error fails with OS_DISK_FULL.
long OsWriteWholeFile(const char *path, const void *data, uint32_t count);

// OsFlush: puts what was written on the disk itself before it returns.
long OsFlush(OsFile file);

// OsStartWriteBack: starts writing what was written to the disk, without
// waiting for it, so that a later OsFlush finds little left to do (Linux:
// sync_file_range). Where the system has no such call, does nothing.
long OsStartWriteBack(OsFile file);

// OsClose: closes an open file; the handle is gone even when it fails.
long OsClose(OsFile file);

// OsDelete: deletes the directory entry path (a link, not what it points to).
long OsDelete(const char *path);

// OsFileSize: the open file's size in bytes, 4 GiB and more included.
long OsFileSize(OsFile file, uint64_t *size);

// OsGetTimes: the open file's creation, last access and last write times as
// FILETIMEs. POSIX keeps no creation time every file system reports: the
// last change of the contents stands for it.
long OsGetTimes(OsFile file, FileTime *creation, FileTime *lastAccess, FileTime *lastWrite);

// OsSetTimes: gives the open file those times. A time of 0 leaves it as it
// is; POSIX sets no creation time, nor "all ones" (Windows' stop updating).
long OsSetTimes(OsFile file, const FileTime *creation, const FileTime *lastAccess,
                const FileTime *lastWrite);

// OsGetAttributes: path's attribute bits as Windows keeps them. On POSIX
// every file has the archive bit, and read-only when it has no write bits.
long OsGetAttributes(const char *path, uint32_t *attributes);

// OsSetAttributes: gives path those attribute bits. On POSIX read-only is the
// one with a meaning (the write bits go); the rest are left aside.
long OsSetAttributes(const char *path, uint32_t attributes);

// OsQueryPath: 0 when path exists, with *isFolder (when not NULL) telling
// whether it is a folder; otherwise the error that says why not. A symbolic
// link whose target is missing exists: its name is taken.
long OsQueryPath(const char *path, int *isFolder);

// OsFindFirst: the first directory entry matching pattern ('*' and '?' in
// its last component only) as a bare name into name[size]: the first in
// byte order, whatever order the file system lists them in.
long OsFindFirst(const char *pattern, char *name, size_t size);

// OsFindNext: as OsFindFirst, the first entry whose name comes after the
// name `after` in byte order; so a caller steps through every match.
long OsFindNext(const char *pattern, const char *after, char *name, size_t size);

// OsSameFile: *same is 1 when both paths name one and the same file (links
// followed), by what the file is, not by its name: device and inode on POSIX,
// volume serial and file index on Windows. Fails with the error of the path
// that cannot be asked (a missing one: OS_FILE_NOT_FOUND); *same is then 0.
long OsSameFile(const char *a, const char *b, int *same);

// What a file is, for telling later whether a name still names it: device
// and inode on POSIX, volume serial number and file index on Windows.
struct OsFileId {
    uint64_t Volume;
    uint64_t Index;
};

// OsFileIdentity: *id of the file at path, links followed as OsSameFile
// follows them. Fails as OsSameFile does (a missing path: OS_FILE_NOT_FOUND).
long OsFileIdentity(const char *path, OsFileId *id);

// OsLongPath: a heap copy of path with every 8.3 short name in it (LONGNA~1.DAT)
// replaced by the long name it stands for, as the file system keeps it, so
// that a file is named alike however it was reached; free it with free().
// POSIX has no short names: the copy is path as it is. On Windows fails with
// the error of a path that cannot be asked; *longPath is then NULL.
long OsLongPath(const char *path, char **longPath);

// OsRenameOver: gives from the name to, replacing a file of that name in one
// step, so that to names either the old file or the whole new one, never a
// part. Both must be on the same volume.
long OsRenameOver(const char *from, const char *to);

// OsRenameNoReplace: gives from the name to only when no file or folder has
// that name; otherwise fails with OS_FILE_EXISTS and both stay as they were.
// In one step where the system can (Linux renameat2 with RENAME_NOREPLACE,
// else a hard link and the old name's removal; Windows MoveFileExW without
// replacing); on a Linux file system that can do neither, the name is found
// free just before a plain rename. Both must be on the same volume.
long OsRenameNoReplace(const char *from, const char *to);

// Returned by OsCopyData where the data cannot be moved inside the kernel
// (no such call, or not between these file systems): copy it through memory.
enum { OS_NO_KERNEL_COPY = -1 };

// OsCopyData: appends up to count bytes from from's position to to's,
// without passing them through the program's memory. Fewer bytes (0 at the
// end of from) are not a failure. Where it is not available returns
// OS_NO_KERNEL_COPY; so does a test build of the POSIX layer when its
// PREFIX NO_KERNEL_COPY variable is 1 (KELMORIX_NO_KERNEL_COPY in
// kelmorix_hooked).
long OsCopyData(OsFile from, OsFile to, uint32_t count, uint32_t *done);

#ifndef _WIN32
// OsPathSize: the size in bytes of what path names (links followed), asked
// without opening it, so that a file that may not be read is measured too.
// Only the Linux dorvane asks: the window measures the source it opens.
long OsPathSize(const char *path, uint64_t *size);

// OsMakeFolders: makes path a folder, with every folder above it that is
// missing (the user's umask applies). Returns 0 once path is a folder, with
// *made 1 when this call made at least one folder and 0 when it was there
// already; otherwise the error that stopped it (ENOTDIR where path or a
// folder above it is a file), the folders made until then left in place.
// The Linux dorvane makes a missing destination folder with it.
long OsMakeFolders(const char *path, int *made);
#endif

#endif
