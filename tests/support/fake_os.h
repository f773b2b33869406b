// An in-memory stand-in for the platform layer (engine/os/), so that the
// joiner's reassembly and the slice job can be run natively and made to meet
// every failure the real platforms produce only rarely (a failed close, a
// short read or write, a full disk, a missing file).
#ifndef KELMORIX_FAKE_OS_H
#define KELMORIX_FAKE_OS_H

#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "os/console.h"
#include "os/files.h"
#include "os/media.h"
#include "os/process.h"
#include "os/thread.h"

struct FakeEntry {
    std::string Data;
    uint32_t Attributes = 0;
    FileTime Times[3] = {}; // creation, last access, last write
    bool TimesSet = false;
    uint64_t Id = 0; // what OsFileIdentity tells: set by OsCreateNew, or by a test
};

// One injected failure: the Nth call (from 1) of Operation on Path returns
// Error; with Error 0 a read or write does only Short of the bytes asked.
struct FakeFault {
    std::string Operation; // "open", "create", "read", "write", "copy", "flush",
                           // "close", "delete", "size", "times", "attributes",
                           // "rename" (on the new name, either rename)
    std::string Path;
    int Nth = 1;
    long Error = 0;
    uint32_t Short = 0;
};

struct FakeOs {
    std::map<std::string, FakeEntry> Files;
    std::set<std::string> Folders;
    std::set<std::string> Removable;  // paths on which OsIsRemovable(Drive) answers 1
    std::map<std::string, uint32_t> FreeBytes; // OsFreeBytes by destination; 0 if absent
    std::map<std::string, uint32_t> AllocationUnits; // OsAllocationUnit; 1 if absent
    std::vector<std::string> Durability; // "flush PATH" and "writeback PATH", in order
    std::string Joiner;               // the joiner program OsJoinerProgram gives
    std::vector<int> Keys;            // what OsReadKey returns, in turn; then -1
    std::function<void(int)> OnKey;   // runs before the Nth key (from 0) is read
    // Runs at every call that can be made to fail, with its operation and path
    // (as FakeFault names them), before the call acts: a test's way to change
    // the files while a run goes on.
    std::function<void(const std::string &, const std::string &)> OnCall;
    std::vector<FakeFault> Faults;
    std::string CurrentFolder = "/";
    bool KernelCopy = false;          // OsCopyData copies; otherwise it is not available
    uint64_t KernelCopied = 0;        // bytes OsCopyData moved
    int KeysRead = 0;
    int PriorityLowered = 0;
    int PriorityRestored = 0;
    int OpenFiles = 0;                // handles not yet closed
    int InputFlushed = 0;             // calls of OsFlushTypedAhead
    int Interruption = 0;             // what OsInterruption reports (POSIX): a signal's number
};

// The layer's state for the test that runs now; reset by each test.
extern FakeOs Fake;

// Forgets every file, handle, fault and call count.
void ResetFakeOs();

#endif
