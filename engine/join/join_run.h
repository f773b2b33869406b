// The state of one joiner run and the steps that share it, one file per
// concern:
//   restore.cpp           the run from start to end, and its release
//   restore_locate.cpp    paths, the source, and the set's first portion
//   restore_copy.cpp      the output, each portion's data, and the finish
//   restore_messages.cpp  usage, disk prompts and the final report
//   restore_verify.cpp    the checksum list: read, and compared with each portion
//   restore_check.cpp     kelmorix --check (Linux): a set checked, nothing written
//   restore_repair.cpp    one lost or damaged portion rebuilt from the recovery data
// Portable: the platform is reached only through the layer in engine/os/.
#ifndef KELMORIX_RESTORE_RUN_H
#define KELMORIX_RESTORE_RUN_H

#include <stdint.h>

#include "integrity/checklist.h"
#include "os/os.h"
#include "join.h"

// The state of one run. It lives on RestoreSliceSet's stack; the heap parts
// are released by ReleaseRun on every path.
struct RestoreRun {
    const char *SourceArgument;    // as given; shown in messages and prompts
    const char *DestinationFolder; // as given; shown in messages
    const char *SourcePath;        // the source as paths are built from it
    const char *DestinationPath;   // the destination as the output path is built from it
    char *LastingSource;           // heap, or NULL: SourcePath once the current folder is left
    char *LastingDestination;      // heap, or NULL: likewise DestinationPath
    int RemovableSource;           // 1: disks are prompted for
    char DriveName[OS_DRIVE_NAME_SIZE]; // removable source: its drive, as prompts name it
    int NameArgument;              // 1: the source is not an existing folder
    int DestinationNameForm;       // 1: neither of its last two characters is '0'
    char *PortionPath;             // heap: the portion to read next
    char *OutputPath;              // heap: destination, separator, FileName
    char *TempPath;                // heap: the name the output is written under
    unsigned char FirstHeader[PORTION_HEADER_SIZE]; // portion 00's header as stored
    unsigned char RawHeader[PORTION_HEADER_SIZE];   // the latest header as stored
    PortionHeader Header;          // the latest header, decoded
    unsigned PortionIndex;         // number of the portion to read next
    int DiskNumber;                // disk expected to hold it, counted from 1
    uint64_t BytesWritten;         // data bytes appended to the output
    uint64_t FileSize;             // FileSizeHigh * 2^32 + FileSizeLow: never more is written
    unsigned char *Buffer;         // BufferSize bytes for the copy through memory
    uint32_t BufferSize;           // one of TransferSizes
    int NoKernelCopy;              // 1 once the kernel has said it cannot copy here
    OsFile Portion;                // open portion, or 0
    OsFile Output;                 // open output, or 0
    uint64_t PortionSize;          // the latest portion's length, header included
    uint64_t FirstSize;            // portion 00's length; for 236, the usual length
    uint64_t Sizes[MAX_PORTIONS];  // the length of each portion read
    int OutputCreated;             // 1 once the output exists under TempPath
    int DataComplete;              // 1 once the last portion's data is written
    int Placed;                    // 1 once the output has replaced OutputPath
    int MoreDataThanFile;          // 1 when the set carries more than FileSize
    int WrongLength;               // 1 when a portion's length is not the others'
    int DamagedHeader;             // 1 when the failed header was read but is damaged
    long PendingError;             // number for the final line, 0: print none
    int FlushEachPortion;          // 1: the output is flushed before every disk swap
    // The check against the checksum list.
    int Hashing;                   // 1: each portion's CRC is computed as it is read
    int List;                      // a RestoreList
    char *ListPath;                // heap, or NULL: the list looked for or read
    char *ListText;                // heap, or NULL: its text
    size_t ListLength;
    ChecklistInfo ListInfo;        // what a usable list says about the file
    int ListForeign;               // 1: its file line names another file or size
    uint32_t PortionCrcs[MAX_PORTIONS]; // each portion file's CRC-32, header included
    uint32_t DataCrc;              // CRC-32 of the data read so far
    int Damage;                    // a RestoreDamage, for the final line
    int DamagedDisk;               // disk number named with the damage, 0: none
    uint32_t FoundCrc, ListedCrc;  // the two checksums that disagree
    // One lost or damaged portion of a folder set, rebuilt from the recovery
    // data once the others are copied; its data's place is left as a gap.
    uint64_t PortionStart;         // BytesWritten when the latest portion began
    uint32_t CrcBeforePortion;     // DataCrc then
    int Recovery;                  // a RestoreRecovery
    int Repairing;                 // 1 once a portion is set aside to be rebuilt
    int Rebuilt;                   // 1 once it has been, and matched
    unsigned RepairIndex;          // its number
    int RepairDamage;              // how it was found: a RestoreDamage (or DAMAGE_HEADER)
    uint32_t RepairFound, RepairListed; // its checksums, when damaged
    int RepairFailure;             // a RepairResult when the rebuild failed, else 0
    uint64_t RepairOffset;         // where its data goes in the output
    uint64_t RepairLength;         // how much of it the file holds
    uint32_t CrcBeforeRepair;      // DataCrc of the data before it
    char *RepairFolder;            // heap, or NULL: the set's folder, with its separator
};

// Whether the recovery data beside a folder set has been read.
enum RestoreRecovery {
    RECOVERY_NOT_READ = 0,
    RECOVERY_NONE,                 // none, or none usable
    RECOVERY_READ                  // RestoreRecoveryData describes the set
};

// What is known of a set's checksum list.
enum RestoreList {
    LIST_NOT_READ = 0, // not looked for yet (on disks: before the last disk)
    LIST_NONE,         // the set carries none
    LIST_UNUSABLE,     // there is one, but it cannot be read or parsed (warned)
    LIST_USABLE
};

// How a set disagrees with its list.
enum RestoreDamage {
    DAMAGE_NONE = 0,
    DAMAGE_CHECKSUM,   // a portion's CRC is not the one listed
    DAMAGE_MISSING,    // a portion the list names is not there
    DAMAGE_UNLISTED,   // a portion the list does not name
    DAMAGE_DATA,       // the data's CRC is not the file line's
    DAMAGE_OTHER_FILE, // the list's file line names another file or size
    DAMAGE_HEADER      // a portion's header is damaged (or of another set)
};

// ---- restore_locate.cpp ----

// 1 when a file name can be appended to path without a separator.
int RestoreEndsWithSeparator(const char *path);

// A heap string of the three parts, the separator only when asked for.
char *RestoreJoinPath(const char *folder, int separator, const char *name);

// Before disk 1 is asked for: paths that stay valid once the current folder
// is left. Returns 0 or a RestoreResult.
int RestoreLeaveCurrentFolder(RestoreRun *run);


// Reads the header at the start of the file at path, with the file's
// length. Returns 0, an error number, or -1 for a file shorter than a header.
long RestorePeekHeader(const char *path, unsigned char raw[PORTION_HEADER_SIZE], uint64_t *size);

// Finds the set's portion 00 from the source (a folder or a name), reads its
// header and checks the file name it carries. Returns 0 or a RestoreResult.
int RestoreFindFirstPortion(RestoreRun *run);

// Opens the portion path, checks its length and reads its header; a read
// that fails ends with readFailure. Returns 0 or a RestoreResult.
int RestoreReadPortionHeader(RestoreRun *run, int readFailure);

// Closes the open portion, if any.
void RestoreClosePortion(RestoreRun *run);

// ---- restore_copy.cpp ----

// Creates the output under the sliced file's name, asking before one of that
// name is replaced. Returns 0 or a RestoreResult.
int RestoreCreateOutput(RestoreRun *run);

// Appends every portion's data in number order, asking for disks on a
// removable source, then gives the output its times and attributes.
int RestoreCopyPortions(RestoreRun *run);

// ---- restore_verify.cpp ----

// The file name part of a path.
const char *RestorePortionName(const char *path);

// Looks for the list beside the portion path and reads it: a list that
// cannot be used is warned of. Returns 0 (see run->List).
int RestoreReadList(RestoreRun *run);

// Compares the CRC of portion index with its line in a usable list; on a
// disagreement names it (the portion path is set to it). Returns 0 or
// RESTORE_DAMAGED.
int RestoreCheckPortion(RestoreRun *run, unsigned index);

// The portion path cannot be found: 1, with it named as missing, when the
// list names it; else 0.
int RestoreListsMissing(RestoreRun *run);

// Once the last portion is read (portions 0 to last): every portion not yet
// compared, none missing, and the data's CRC. Returns 0 or RESTORE_DAMAGED.
int RestoreCheckSetEnd(RestoreRun *run, unsigned last, int portionsChecked);

// The line for a set that could not be verified, or nothing.
void RestoreSayNotVerified(const RestoreRun *run);

// ---- restore_repair.cpp ----

// The recovery data of the set being joined or checked (about 40 KiB, so
// not on the stack), once RestoreOpenRecovery has read it; else NULL.
struct RepairSet;
extern RepairSet *RestoreRecoveryData;

// Reads the recovery data beside the portion path, once. Returns a RepairResult.
int RestoreOpenRecovery(RestoreRun *run, unsigned char *buffer, uint32_t size);

// The run met `failure` at portion PortionIndex. When that portion can be
// rebuilt from the recovery data, sets it aside (its data's place in the
// output becomes a gap) and returns 0; *last then says whether it is the
// set's last portion. Otherwise the result to end with: failure, or
// RESTORE_DAMAGED naming it when another portion is set aside already.
int RestoreSetAside(RestoreRun *run, int failure, int *last);

// Rebuilds the portion set aside, checks it and writes its data into the
// gap; `last`: whether it must carry the last-portion mark. Says so in one
// line. Returns 0 or a RestoreResult.
int RestoreRebuildPortion(RestoreRun *run, int last);

// ---- restore_messages.cpp ----

// printf for the joiner's messages, with %s, %d and %ld only: every %s is
// shown with its control bytes escaped (\x1B), for names come from headers
// and folders that anyone may have written.
void RestoreSay(const char *format, ...);

// A question: said on standard output and, where that is not the console,
// on the console too; keys typed before it are dropped, then one key is
// read. endLine: a line break follows the answer. Returns the key, or -1
// when there is no console.
int RestoreAsk(int endLine, const char *format, ...);

// "Please insert disk #n", then waits for a key. Returns 0, or
// RESTORE_NO_CONSOLE when no key can ever come.
int RestorePromptForDisk(RestoreRun *run);

// The line that names how the set disagrees with its list (run->Damage).
void RestoreSayDamage(const RestoreRun *run);

// The final line of result, and what the run leaves behind.
void RestoreFinalReport(const RestoreRun *run, int result);

#endif
