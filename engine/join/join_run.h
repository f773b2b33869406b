// The state of one joiner run and the steps that share it, one file per
// concern:
//   join.cpp           the run from start to end, and its release
//   join_locate.cpp    paths, the source, and the set's first portion
//   join_copy.cpp      the output, each portion's data, and the finish
//   join_messages.cpp  the formatting of every line, usage, questions, disk prompts
//   join_report.cpp    the final report of each result code
//   join_console.cpp   the progress line, interruptions, a destination made
//   join_verify.cpp    the proofs: the checksum list read, and each portion
//                      judged by it and by the recovery data
//   join_check.cpp     kelmorix --check: a set checked, nothing written
//   join_repair.cpp    the recovery data read, the set found through it, and
//                      lost or damaged portions rebuilt from it
// Portable: the platform is reached only through the layer in engine/os/.
#ifndef DORVANE_JOIN_RUN_H
#define DORVANE_JOIN_RUN_H

#include <stdint.h>

#include "format/heap_text.h"
#include "format/portion_file.h"
#include "integrity/checklist.h"
#include "integrity/read_pipe.h"
#include "recovery/md5.h"
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
    uint32_t DataCrcs[MAX_PORTIONS]; // the CRC-32 of each portion's data written
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
    int Described;                 // its index in the recovery data, -1, or PORTION_VOUCHED
    int Md5ing;                    // 1: Md5 is taken as it is read
    Md5Context Md5;                // of the portion file, where it is described
};

// A portion whose slice checksums were matched already: rebuilt ones.
enum { PORTION_VOUCHED = -2 };

// The set's checksum list.
struct JoinList {
    int State;                     // a JoinListState
    char *Path;                    // heap, or NULL: the list looked for or read
    char *Text;                    // heap, or NULL: its text
    size_t Length;
    ChecklistInfo Info;            // what a usable list says about the file
    int Foreign;                   // 1: its file line names another file or size
};

// The lost or damaged portions of a folder set, rebuilt from the recovery
// data once the others are copied; the place of their data is left as a gap.
struct JoinRepair {
    int Recovery;                  // a JoinRecovery: whether the recovery data was read
    unsigned Count;                // portions set aside to be rebuilt
    int Rebuilt;                   // 1 once they have been, and matched
    int Failure;                   // a RepairResult when the rebuild failed, else 0
    int Failed;                    // then the portion at fault, or -1
    unsigned char Index[MAX_PORTIONS];   // each one's number
    unsigned char Damage[MAX_PORTIONS];  // how it was found: a JoinDamage
    uint32_t Found[MAX_PORTIONS], Listed[MAX_PORTIONS]; // its checksums, when damaged
    uint64_t Offset[MAX_PORTIONS]; // where its data goes in the output
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
    ReadPipe *Pipe;                // a checked copy's reading thread; NULL: none
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

// What is known of a set's checksum list. A list that is there counts,
// whatever state it is in: its intact lines are read, and a portion none of
// them names is not verified.
enum JoinListState {
    LIST_NOT_READ = 0, // not looked for yet (on disks: before the last disk)
    LIST_NONE,         // the set carries none
    LIST_UNUSABLE,     // there is one, but it cannot be read (warned): no line vouches
    LIST_USABLE        // read; damaged lines were warned of
};

// How a portion was found wanting (the lines are in join_messages.cpp).
enum JoinDamage {
    DAMAGE_NONE = 0,
    DAMAGE_CHECKSUM,   // a portion's CRC is not the one listed
    DAMAGE_MISSING,    // a portion the list or the recovery data names is not there
    DAMAGE_UNLISTED,   // no proof vouches for it: no intact line, no recovery data
    DAMAGE_RECOVERY,   // it is not the portion the recovery data describes
    DAMAGE_UNREADABLE, // it is there but cannot be opened (Found: the error)
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

// Looks for the list beside the portion path and reads it: damage in it is
// warned of. Returns 0 (see run->List).
int JoinReadList(JoinRun *run);

// Before portion index's bytes are read: its MD5 is begun (with its
// header), where the recovery data describes it and the list has no line
// for it (Portion.Md5ing).
void JoinBeginPortion(JoinRun *run, unsigned index);

// The proofs' verdict on portion index, once its CRC (Set.PortionCrcs) and
// MD5 are taken: 0 when sound, or when the set carries no proof at all;
// otherwise JOIN_DAMAGED with the damage named (the portion path is set to
// it). The recovery data's MD5 outweighs the list; a list line it proves
// wrong is warned of.
int JoinCheckPortion(JoinRun *run, unsigned index);

// The portion path cannot be found: 1, with it named as missing, when the
// list names it; else 0.
int JoinListsMissing(JoinRun *run);

// Once the last portion is read (portions 0 to last): every portion not yet
// judged, and none named beyond the last. Returns 0 or JOIN_DAMAGED. A list
// whose file line disagrees with the set its lines vouch for is warned of.
int JoinCheckSetEnd(JoinRun *run, unsigned last, int portionsChecked);

// The line for a set that could not be verified, or nothing.
void JoinSayNotVerified(const JoinRun *run);

// ---- join_repair.cpp ----

// The recovery data of the set being joined or checked (about 60 KiB, so
// not on the stack), once JoinOpenRecovery has read it; else NULL.
struct RepairSet;
extern RepairSet *JoinRecoveryData;

// Reads the recovery data beside the portion path (or in the source folder
// when there is none), once, for a folder set. Returns a RepairResult.
int JoinOpenRecovery(JoinRun *run, unsigned char *buffer, uint32_t size);

// Where the recovery data is read: the set's header taken from the first
// portion whose first 16 KiB it vouches for, so that a damaged portion 00
// neither names the output nor makes an intact portion look foreign.
// Where portion 00 cannot be read or found (failure), the set is found
// through the recovery data. Returns 0, or failure when the set cannot be
// found that way.
int JoinFindSetByRecovery(JoinRun *run, int failure, unsigned char *buffer, uint32_t size);

// The recovery data's index of the portion path with number index, or -1.
int JoinDescribed(JoinRun *run, unsigned index);

// The run met `failure` at portion PortionIndex. When that portion can be
// rebuilt from the recovery data, sets it aside (its data's place in the
// output becomes a gap) and returns 0; *last then says whether it is the
// set's last portion. Otherwise the result to end with.
int JoinSetAside(JoinRun *run, int failure, int *last);

// Rebuilds every portion set aside, checks each and writes its data into
// its gap; the portion numbered `last` must carry the last-portion mark.
// Says so in one line each. Returns 0 or a JoinResult.
int JoinRebuildPortions(JoinRun *run, unsigned last);

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
// stopped run leaves behind. (The Windows joiner is never interrupted.)
#ifdef _WIN32
#define JoinSayErrorAlways JoinSayError
#else
void JoinSayErrorAlways(const char *format, ...);
#endif

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

// The line that names how the set disagrees with its proofs (run->Damage).
void JoinSayDamage(const JoinRun *run);

// The line on what the recovery data can do for `lost` portions lost or
// damaged: `can` is a RepairResult (REPAIR_NOT_IN_SET: it does not describe
// them all), `spare` the blocks it holds beyond them.
void JoinSayRecoveryVerdict(const JoinRun *run, unsigned lost, int can, int spare);

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
// not. Windows: nothing, 0 (the Windows joiner makes no folder).
#ifdef _WIN32
static inline int JoinMakeFolder(JoinRun *)
{
    return 0;
}
#else
int JoinMakeFolder(JoinRun *run);
#endif

#endif
