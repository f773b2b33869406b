#include "fake_os.h"

#include <errno.h>
#include <stdio.h>
#include <string.h>

FakeOs Fake;

namespace {

struct Handle {
    std::string Path;
    size_t Position = 0;
    bool Open = false;
};

std::vector<Handle> Handles;
std::map<std::string, int> Calls; // operation + path -> calls so far
uint64_t NextId = 1000;           // identities OsCreateNew hands out

// The injected fault for this call, if any.
const FakeFault *FaultFor(const char *operation, const std::string &path)
{
    int call = ++Calls[std::string(operation) + "|" + path];
    if (Fake.OnCall)
        Fake.OnCall(operation, path);
    for (const FakeFault &fault : Fake.Faults)
        if (fault.Operation == operation && fault.Path == path && fault.Nth == call)
            return &fault;
    return nullptr;
}

Handle *Find(OsFile file)
{
    if (file < 1 || (size_t)file > Handles.size() || !Handles[file - 1].Open)
        return nullptr;
    return &Handles[file - 1];
}

OsFile NewHandle(const std::string &path)
{
    Handle handle;
    handle.Path = path;
    handle.Open = true;
    Handles.push_back(handle);
    Fake.OpenFiles++;
    return (OsFile)Handles.size();
}

bool Matches(const char *pattern, const char *name)
{
    if (*pattern == 0)
        return *name == 0;
    if (*pattern == '*')
        return Matches(pattern + 1, name) || (*name && Matches(pattern, name + 1));
    if (*name && (*pattern == '?' || *pattern == *name))
        return Matches(pattern + 1, name + 1);
    return false;
}

} // namespace

void ResetFakeOs()
{
    Fake = FakeOs();
    Handles.clear();
    Calls.clear();
}

int OsIsRemovable(const char *path)
{
    return Fake.Removable.count(path) ? 1 : 0;
}

int OsIsRemovableDrive(const char *destination)
{
    return OsIsRemovable(destination);
}

uint32_t OsFreeBytes(const char *destination)
{
    auto found = Fake.FreeBytes.find(destination);
    return found == Fake.FreeBytes.end() ? 0 : found->second;
}

uint32_t OsAllocationUnit(const char *destination)
{
    auto found = Fake.AllocationUnits.find(destination);
    return found == Fake.AllocationUnits.end() ? 1 : found->second;
}

// As on Linux: a removable source is a mount point, named without the
// separator the user may have typed after it.
void OsDriveName(const char *source, char *name, size_t size)
{
    std::string drive(source);
    if (drive.size() > 1 && drive.back() == '/')
        drive.pop_back();
    snprintf(name, size, "%s", drive.c_str());
}

long OsQueryPath(const char *path, int *isFolder)
{
    bool folder = Fake.Folders.count(path) > 0;
    if (!folder && !Fake.Files.count(path))
        return ENOENT;
    if (isFolder)
        *isFolder = folder;
    return 0;
}

long OsFindFirst(const char *pattern, char *name, size_t size)
{
    return OsFindNext(pattern, "", name, size);
}

// In byte order, as the map keeps its paths.
long OsFindNext(const char *pattern, const char *after, char *name, size_t size)
{
    std::string text(pattern);
    size_t slash = text.rfind('/');
    std::string folder = slash == std::string::npos ? "" : text.substr(0, slash + 1);
    std::string last = slash == std::string::npos ? text : text.substr(slash + 1);
    for (const auto &entry : Fake.Files) {
        const std::string &path = entry.first;
        if (path.compare(0, folder.size(), folder) != 0 ||
            path.find('/', folder.size()) != std::string::npos)
            continue;
        std::string bare = path.substr(folder.size());
        if (!Matches(last.c_str(), bare.c_str()) || bare <= after)
            continue;
        if (bare.size() >= size)
            return ENAMETOOLONG;
        memcpy(name, bare.c_str(), bare.size() + 1);
        return 0;
    }
    return ENOENT;
}

long OsOpenRead(const char *path, OsFile *file)
{
    if (const FakeFault *fault = FaultFor("open", path))
        return fault->Error;
    if (!Fake.Files.count(path))
        return ENOENT;
    *file = NewHandle(path);
    return 0;
}

long OsCreateNew(const char *path, OsFile *file)
{
    if (const FakeFault *fault = FaultFor("create", path))
        return fault->Error;
    if (Fake.Files.count(path) || Fake.Folders.count(path))
        return EEXIST;
    Fake.Files[path] = FakeEntry();
    Fake.Files[path].Id = NextId++;
    *file = NewHandle(path);
    return 0;
}

long OsFileSize(OsFile file, uint64_t *size)
{
    Handle *h = Find(file);
    if (!h)
        return EBADF;
    if (const FakeFault *fault = FaultFor("size", h->Path))
        return fault->Error;
    *size = Fake.Files[h->Path].Data.size();
    return 0;
}

long OsRead(OsFile file, void *buffer, uint32_t count, uint32_t *done)
{
    Handle *h = Find(file);
    if (!h)
        return EBADF;
    const FakeFault *fault = FaultFor("read", h->Path);
    if (fault && fault->Error)
        return fault->Error;
    const std::string &data = Fake.Files[h->Path].Data;
    size_t available = h->Position < data.size() ? data.size() - h->Position : 0;
    size_t n = count < available ? count : available;
    if (fault)
        n = n > fault->Short ? n - fault->Short : 0;
    memcpy(buffer, data.data() + h->Position, n);
    h->Position += n;
    *done = (uint32_t)n;
    return 0;
}

long OsWrite(OsFile file, const void *buffer, uint32_t count, uint32_t *done)
{
    Handle *h = Find(file);
    if (!h)
        return EBADF;
    const FakeFault *fault = FaultFor("write", h->Path);
    if (fault && fault->Error)
        return fault->Error;
    uint32_t n = fault ? (count > fault->Short ? count - fault->Short : 0) : count;
    std::string &data = Fake.Files[h->Path].Data;
    if (data.size() < h->Position)
        data.resize(h->Position, '\0');
    data.replace(h->Position, n, (const char *)buffer, n);
    h->Position += n;
    *done = n;
    return 0;
}

long OsSeek(OsFile file, uint64_t offset)
{
    Handle *h = Find(file);
    if (!h)
        return EBADF;
    if (const FakeFault *fault = FaultFor("seek", h->Path))
        return fault->Error;
    h->Position = (size_t)offset;
    return 0;
}

// On the output path, a copy fault with Error 0 moves only Short bytes.
long OsCopyData(OsFile from, OsFile to, uint32_t count, uint32_t *done)
{
    Handle *in = Find(from), *out = Find(to);
    if (!in || !out)
        return EBADF;
    if (!Fake.KernelCopy)
        return OS_NO_KERNEL_COPY;
    const FakeFault *fault = FaultFor("copy", out->Path);
    if (fault && fault->Error)
        return fault->Error;
    const std::string &data = Fake.Files[in->Path].Data;
    size_t available = in->Position < data.size() ? data.size() - in->Position : 0;
    size_t n = count < available ? count : available;
    if (fault && fault->Short < n)
        n = fault->Short;
    std::string &written = Fake.Files[out->Path].Data;
    if (written.size() < out->Position)
        written.resize(out->Position, '\0');
    written.replace(out->Position, n, data, in->Position, n);
    out->Position += n;
    in->Position += n;
    Fake.KernelCopied += n;
    *done = (uint32_t)n;
    return 0;
}

long OsFlush(OsFile file)
{
    Handle *h = Find(file);
    if (!h)
        return EBADF;
    Fake.Durability.push_back("flush " + h->Path);
    const FakeFault *fault = FaultFor("flush", h->Path);
    return fault ? fault->Error : 0;
}

long OsStartWriteBack(OsFile file)
{
    Handle *h = Find(file);
    if (!h)
        return EBADF;
    Fake.Durability.push_back("writeback " + h->Path);
    return 0;
}

long OsClose(OsFile file)
{
    Handle *h = Find(file);
    if (!h)
        return EBADF;
    h->Open = false;
    Fake.OpenFiles--;
    const FakeFault *fault = FaultFor("close", h->Path);
    return fault ? fault->Error : 0;
}

long OsDelete(const char *path)
{
    if (const FakeFault *fault = FaultFor("delete", path))
        return fault->Error;
    return Fake.Files.erase(path) ? 0 : ENOENT;
}

static long Move(const char *from, const char *to)
{
    auto found = Fake.Files.find(from);
    if (found == Fake.Files.end())
        return ENOENT;
    FakeEntry moved = found->second;
    Fake.Files.erase(found);
    Fake.Files[to] = moved;
    return 0;
}

long OsRenameOver(const char *from, const char *to)
{
    if (const FakeFault *fault = FaultFor("rename", to))
        return fault->Error;
    return Move(from, to);
}

long OsRenameNoReplace(const char *from, const char *to)
{
    if (const FakeFault *fault = FaultFor("rename", to))
        return fault->Error;
    if (Fake.Files.count(to) || Fake.Folders.count(to))
        return EEXIST;
    return Move(from, to);
}

long OsFileIdentity(const char *path, OsFileId *id)
{
    if (Fake.Folders.count(path)) {
        *id = {1, std::hash<std::string>()(path)};
        return 0;
    }
    auto found = Fake.Files.find(path);
    if (found == Fake.Files.end())
        return ENOENT;
    *id = {0, found->second.Id};
    return 0;
}

long OsLongPath(const char *path, char **longPath)
{
    *longPath = strdup(path);
    return 0;
}

// Paths are the files' identities here: no links, no second spelling.
long OsSameFile(const char *a, const char *b, int *same)
{
    *same = 0;
    for (const char *path : {a, b})
        if (!Fake.Files.count(path) && !Fake.Folders.count(path))
            return ENOENT;
    *same = strcmp(a, b) == 0;
    return 0;
}

long OsGetTimes(OsFile file, FileTime *creation, FileTime *lastAccess, FileTime *lastWrite)
{
    Handle *h = Find(file);
    if (!h)
        return EBADF;
    if (const FakeFault *fault = FaultFor("times", h->Path))
        return fault->Error;
    const FakeEntry &entry = Fake.Files[h->Path];
    *creation = entry.Times[0];
    *lastAccess = entry.Times[1];
    *lastWrite = entry.Times[2];
    return 0;
}

long OsGetAttributes(const char *path, uint32_t *attributes)
{
    if (const FakeFault *fault = FaultFor("attributes", path))
        return fault->Error;
    if (!Fake.Files.count(path))
        return ENOENT;
    *attributes = Fake.Files[path].Attributes;
    return 0;
}

long OsSetTimes(OsFile file, const FileTime *creation, const FileTime *lastAccess,
                const FileTime *lastWrite)
{
    Handle *h = Find(file);
    if (!h)
        return EBADF;
    if (const FakeFault *fault = FaultFor("times", h->Path))
        return fault->Error;
    FakeEntry &entry = Fake.Files[h->Path];
    entry.Times[0] = *creation;
    entry.Times[1] = *lastAccess;
    entry.Times[2] = *lastWrite;
    entry.TimesSet = true;
    return 0;
}

long OsSetAttributes(const char *path, uint32_t attributes)
{
    if (const FakeFault *fault = FaultFor("attributes", path))
        return fault->Error;
    if (!Fake.Files.count(path))
        return ENOENT;
    Fake.Files[path].Attributes = attributes;
    return 0;
}

int OsLowerPriority(void)
{
    Fake.PriorityLowered++;
    return 7;
}

void OsRestorePriority(int priority)
{
    if (priority == 7)
        Fake.PriorityRestored++;
}

int OsReadKey(void)
{
    int n = Fake.KeysRead++;
    if (Fake.OnKey)
        Fake.OnKey(n);
    return n < (int)Fake.Keys.size() ? Fake.Keys[n] : -1;
}

int OsReadKeyByte(void)
{
    return OsReadKey();
}

int OsFlushTypedAhead(void)
{
    Fake.InputFlushed++;
    return 0;
}

FILE *OsOpenConsoleOutput(void)
{
    return nullptr;
}

int OsWriteText(FILE *to, const char *text, size_t length)
{
    return fwrite(text, 1, length, to) == length ? 0 : -1;
}

long OsCurrentFolder(char *buffer, size_t size)
{
    if (Fake.CurrentFolder.size() >= size)
        return ERANGE;
    memcpy(buffer, Fake.CurrentFolder.c_str(), Fake.CurrentFolder.size() + 1);
    return 0;
}

long OsLastingPath(const char *path, char **lasting)
{
    std::string full = path[0] == '/' ? path : Fake.CurrentFolder + "/" + path;
    *lasting = strdup(full.c_str());
    return 0;
}

void OsLeaveCurrentFolder(void)
{
    Fake.CurrentFolder = "/";
}

// A fixed moment, so that headers written under the fake compare equal.
void OsLocalTime(SystemTime *now)
{
    *now = SystemTime();
    now->Year = 2026;
    now->Month = 1;
    now->Day = 2;
}

long OsJoinerProgram(const void **data, uint32_t *size)
{
    *data = Fake.Joiner.data();
    *size = (uint32_t)Fake.Joiner.size();
    return 0;
}

// No second thread in memory: every caller hashes on its own thread, as it
// does where the system starts none, so the tests see one order of work.
OsThread *OsStartThread(void (*)(void *), void *)
{
    return NULL;
}

void OsJoinThread(OsThread *) {}

OsSemaphore *OsMakeSemaphore(unsigned)
{
    return NULL;
}

void OsPost(OsSemaphore *) {}

void OsWaitFor(OsSemaphore *) {}

void OsFreeSemaphore(OsSemaphore *) {}

void OsBufferOutput(void)
{
}

int OsIsTerminal(int)
{
    return 0;
}

#ifndef _WIN32
int OsConsoleColumns(int)
{
    return 80;
}

void OsCatchInterrupts(void)
{
}

int OsInterruption(void)
{
    return Fake.Interruption;
}

int64_t OsMonotonicTime(void)
{
    return 0;
}

// A folder made is a folder from then on; a file in the way is not one.
long OsMakeFolders(const char *path, int *made)
{
    *made = 0;
    if (Fake.Folders.count(path))
        return 0;
    if (Fake.Files.count(path))
        return ENOTDIR;
    Fake.Folders.insert(path);
    *made = 1;
    return 0;
}
#endif
