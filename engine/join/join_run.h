// The state of one joiner run and the steps that share it, one file per
// concern:
//   join.cpp           the run from start to end, and its release
//   join_locate.cpp    paths, the source, and the set's first portion
//   join_copy.cpp      the output, each portion's data, and the finish
//   join_messages.cpp  the formatting of every line, usage, questions, disk prompts
//   join_report.cpp    the final report of each result code
//   join_console.cpp   the progress line, interruptions, a destination made
//   join_verify.cpp    the checksum list: read, and compared with each portion
//   join_check.cpp     kelmorix --check: a set checked, nothing written
//   join_repair.cpp    one lost or damaged portion rebuilt from the recovery data
// Portable: the platform is reached only through the layer in engine/os/.
#ifndef DORVANE_JOIN_RUN_H
#define DORVANE_JOIN_RUN_H

#include <stdint.h>

#include "format/heap_text.h"
#include "format/portion_file.h"
#include "integrity/checklist.h"
#include "os/files.h"
#include "join.h"

// What a run knows about the set it rebuilds.
struct JoinSet {
    const char *Argument;          // the source as given; shown in messages and prompts
    const char *Path;              // the source as paths are built from it
    char *LastingPath;             // heap, or NULL: Path once the current folder is left
    int Removable;                 // 1: disks are prompted for
    char DriveName[OS_DRIVE_NAME_SIZE]; // removable source: its drive, as prompts name it
    int NameArgument;              // 1: the source is not an existing folder
    unsigned char FirstHeader[PORTION_HEADER_SIZE]; // portion 00's header as stored
    char FileName[NAME_TEXT_SIZE]; // its FileName as NameAsText reads it: the output's
                                   // name and the name messages show; "" until read
    uint64_t FileSize;             // FileSizeHigh * 2^32 + FileSizeLow: never more is written
    uint64_t FirstSize;            // portion 00's length; for 236, the usual length
    uint64_t Sizes[MAX_PORTIONS];  // the length of each portion read
    uint32_t PortionCrcs[MAX_PORTIONS]; // each portion file's CRC-32, header included
};

// The rebuilt file: where it goes and how far it has come.
struct JoinOutput {
    const char *Folder;            // the destination as given; shown in messages
    const char *FolderPath;        // the destination as the output path is built from it
    char *LastingFolder;           // heap, or NULL: FolderPath once the current folder is left
    int NameForm;                  // 1: neither of the destination's last two characters is '0'
    char *Path;                    // heap: destination, separator, FileName
    char *TempPath;                // heap: the name the output is written under
    OsFile File;                   // the open output, or 0
    uint64_t BytesWritten;         // data bytes appended to it
    uint32_t DataCrc;              // CRC-32 of the data read so far
    int Created;                   // 1 once the output exists under TempPath
    int DataComplete;              // 1 once the last portion's data is written
    int Placed;                    // 1 once the output has replaced Path
    int Consented;                 // 1: the user agreed to replace the file of ConsentedId
    OsFileId ConsentedId;          // the file at Path when the question was answered
    int Intruder;                  // 1: another file took Path during the run; not replaced
    int FlushEachPortion;          // 1: the output is flushed before every disk swap
};

// The portion being read.
struct JoinPortion {
    char *Path;                    // heap: the portion to read next
    unsigned Index;                // its number
    int Disk;                      // disk expected to hold it, counted from 1
    OsFile File;                   // the open portion, or 0
    uint64_t Size;                 // its length, header included
    unsigned char RawHeader[PORTION_HEADER_SIZE]; // its header as stored
    PortionHeader Header;          // the same, decoded
    uint64_t Start;                // the output's BytesWritten when it began
    uint32_t CrcBefore;            // the output's DataCrc then
};

// The set's checksum list.
struct JoinList {
    int State;                     // a JoinListState
    char *Path;                    // heap, or NULL: the list looked for or read
    char *Text;                    // heap, or NULL: its text
    size_t Length;
    ChecklistInfo Info;            // what a usable list says about the file
    int Foreign;                   // 1: its file line names another file or size
};

// One lost or damaged portion of a folder set, rebuilt from the recovery
// data once the others are copied; its data's place is left as a gap.
struct JoinRepair {
    int Recovery;                  // a JoinRecovery: whether the recovery data was read
    int Active;                    // 1 once a portion is set aside to be rebuilt
    int Rebuilt;                   // 1 once it has been, and matched
    unsigned Index;                // its number
    int Damage;                    // how it was found: a JoinDamage (or DAMAGE_HEADER)
    uint32_t Found, Listed;        // its checksums, when damaged
    int Failure;                   // a RepairResult when the rebuild failed, else 0
    uint64_t Offset;               // where its data goes in the output
    uint64_t Length;               // how much of it the file holds
    uint32_t CrcBefore;            // the output's DataCrc before it
    char *Folder;                  // heap, or NULL: the set's folder, with its separator
};

// The state of one run. It lives on JoinSliceSet's stack; the heap parts
// are released by ReleaseRun on every path.
struct JoinRun {
    JoinSet Set;
    JoinOutput Out;
    JoinPortion Portion;
    JoinList List;
    JoinRepair Repair;
    unsigned char *Buffer;         // BufferSize bytes for the copy through memory
    uint32_t BufferSize;           // one of TransferSizes
    int NoKernelCopy;              // 1 once the kernel has said it cannot copy here
    int Hashing;                   // 1: each portion's CRC is computed as it is read
    int MoreDataThanFile;          // 1 when the set carries more than FileSize
    int WrongLength;               // 1 when a portion's length is not the others'
    int DamagedHeader;             // 1 when the failed header was read but is damaged
    long PendingError;             // number for the final line, 0: print none
    int Damage;                    // a JoinDamage, for the final line
    int DamagedDisk;               // disk number named with the damage, 0: none
    uint32_t FoundCrc, ListedCrc;  // the two checksums that disagree
};

// Whether the recovery data beside a folder set has been read.
enum JoinRecovery {
    RECOVERY_NOT_READ = 0,
    RECOVERY_NONE,                 // none, or none usable
    RECOVERY_READ                  // JoinRecoveryData describes the set
};

// What is known of a set's checksum list.
enum JoinListState {
    LIST_NOT_READ = 0, // not looked for yet (on disks: before the last disk)
    LIST_NONE,         // the set carries none
    LIST_UNUSABLE,     // there is one, but it cannot be read or parsed (warned)
    LIST_USABLE
};

// How a set disagrees with its list.
enum JoinDamage {
    DAMAGE_NONE = 0,
    DAMAGE_CHECKSUM,   // a portion's CRC is not the one listed
    DAMAGE_MISSING,    // a portion the list names is not there
    DAMAGE_UNLISTED,   // a portion the list does not name
    DAMAGE_DATA,       // the data's CRC is not the file line's
    DAMAGE_OTHER_FILE, // the list's file line names another file or size
    DAMAGE_HEADER      // a portion's header is damaged (or of another set)
};

// ---- join_locate.cpp ----

// 1 when a file name can be appended to path without a separator.
int JoinEndsWithSeparator(const char *path);

// Before disk 1 is asked for: paths that stay valid once the current folder
// is left. Returns 0 or a JoinResult.
int JoinLeaveCurrentFolder(JoinRun *run);


// Finds the set's portion 00 from the source (a folder or a name), reads its
// header and checks the file name it carries. Returns 0 or a JoinResult.
int JoinFindFirstPortion(JoinRun *run);

// Opens the portion path, checks its length and reads its header; a read
// that fails ends with readFailure. Returns 0 or a JoinResult.
int JoinReadPortionHeader(JoinRun *run, int readFailure);

// Closes the open portion, if any.
void JoinClosePortion(JoinRun *run);

// ---- join_copy.cpp ----

// Creates the output under the sliced file's name, asking before one of that
// name is replaced. Returns 0 or a JoinResult.
int JoinCreateOutput(JoinRun *run);

// Appends every portion's data in number order, asking for disks on a
// removable source, then gives the output its times and attributes.
int JoinCopyPortions(JoinRun *run);

// ---- join_verify.cpp ----

// The file name part of a path.
const char *JoinPortionName(const char *path);

// Looks for the list beside the portion path and reads it: a list that
// cannot be used is warned of. Returns 0 (see run->List).
int JoinReadList(JoinRun *run);

// Compares the CRC of portion index with its line in a usable list; on a
// disagreement names it (the portion path is set to it). Returns 0 or
// JOIN_DAMAGED.
int JoinCheckPortion(JoinRun *run, unsigned index);

// The portion path cannot be found: 1, with it named as missing, when the
// list names it; else 0.
int JoinListsMissing(JoinRun *run);

// Once the last portion is read (portions 0 to last): every portion not yet
// compared, none missing, and the data's CRC. Returns 0 or JOIN_DAMAGED.
int JoinCheckSetEnd(JoinRun *run, unsigned last, int portionsChecked);

// The line for a set that could not be verified, or nothing.
void JoinSayNotVerified(const JoinRun *run);

// ---- join_repair.cpp ----

// The recovery data of the set being joined or checked (about 40 KiB, so
// not on the stack), once JoinOpenRecovery has read it; else NULL.
struct RepairSet;
extern RepairSet *JoinRecoveryData;

// Reads the recovery data beside the portion path, once. Returns a RepairResult.
int JoinOpenRecovery(JoinRun *run, unsigned char *buffer, uint32_t size);

// The run met `failure` at portion PortionIndex. When that portion can be
// rebuilt from the recovery data, sets it aside (its data's place in the
// output becomes a gap) and returns 0; *last then says whether it is the
// set's last portion. Otherwise the result to end with: failure, or
// JOIN_DAMAGED naming it when another portion is set aside already.
int JoinSetAside(JoinRun *run, int failure, int *last);

// Rebuilds the portion set aside, checks it and writes its data into the
// gap; `last`: whether it must carry the last-portion mark. Says so in one
// line. Returns 0 or a JoinResult.
int JoinRebuildPortion(JoinRun *run, int last);

// ---- join_messages.cpp ----

// printf for the joiner's messages, with %s, %d and %ld only: every %s is
// shown with its control bytes escaped (\x1B), for names come from headers
// and folders that anyone may have written. To standard output; a line
// that begins with "Warning: " is a warning, on Linux said on standard
// error. On Linux an error number written " = %ld" is said in the system's
// words: ": No such file or directory (2)". Once the run is interrupted
// nothing more is said: what it would say is only what the stop cut short.
void JoinSay(const char *format, ...);

// As JoinSayError, and said even once the run is interrupted: what a
// stopped run leaves behind.
void JoinSayErrorAlways(const char *format, ...);

// "PATH already exists.  Overwrite? (Y/N): ", answered on the console, or
// by --yes or --no (the answer shown after it); on Linux, without a
// terminal to answer it, N, and said so. Returns 1 for Y, else 0.
int JoinAskOverwrite(const char *path);

// A question: said on standard output and, where that is not the console,
// on the console too; keys typed before it are dropped, then one key is
// read. endLine: a line break follows the answer. Returns the key, or -1
// when there is no console; on Linux ASK_NO_TERMINAL, the question not
// asked, when there is no terminal that could answer it.
enum { ASK_NO_TERMINAL = -2 };
int JoinAsk(int endLine, const char *format, ...);

// Eight upper-case hex digits, as the list writes a CRC, into out; returns
// out.
const char *JoinHexText(uint32_t value, char out[9]);

// "Please insert disk #n", then waits for a key. Returns 0, or
// JOIN_NO_CONSOLE when no key can ever come.
int JoinPromptForDisk(JoinRun *run);

// ---- join_report.cpp ----

// The line that names how the set disagrees with its list (run->Damage).
void JoinSayDamage(const JoinRun *run);

// The final line of result, and what the run leaves behind.
void JoinFinalReport(const JoinRun *run, int result);

// ---- join_console.cpp ----

// The long steps, each with its label on the progress line.
enum JoinStep {
    STEP_JOIN,    // "Joining BIG.DAT": the copy
    STEP_CHECK,   // "Checking": kelmorix --check
    STEP_REBUILD  // "Rebuilding BIG.D04": a portion from the recovery data
};

// Where a long step has come: done of total bytes (name: the file joined,
// or the portion rebuilt; NULL for the check). Draws the progress line
// where there is one, at most every 0.2 s on Linux, and on Windows when the
// percentage changes. Returns 0 to go on, or the status of an interruption
// (JoinInterruption) for the step to stop at once.
int JoinProgress(int step, const char *name, uint64_t done, uint64_t total);

// Takes the progress line away, so that the next line starts clean.
void JoinEndProgress(void);

// Linux: makes the destination folder, with the folders above it, when it
// is missing, and says so. Returns 0, or JOIN_NO_FOLDER having said why
// not. Windows: nothing, 0.
int JoinMakeFolder(JoinRun *run);

#endif
