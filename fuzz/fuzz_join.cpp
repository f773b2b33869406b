// Fuzz target: the joiner's reassembly on the real Linux layer. Each input
// describes a small slice set (headers, portion lengths, damage); the set is
// written into a fresh folder, rebuilt, and the outcome checked:
//   - a well-formed set is rebuilt;
//   - every success holds exactly the data bytes that the portions up to the
//     one marked last actually carry (a portion cut short carries less; the
//     format records no portion's length), FileSizeLow bytes of them;
//   - whatever the outcome, the output is the start of those bytes and never
//     longer than FileSizeLow;
//   - the copy inside the kernel and the copy through memory alike;
//   - every failure ends with one of the joiner's codes;
//   - nothing is written but the output, inside the destination folder,
//     the set is left as it was, and no descriptor is left open.
#include <dirent.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fuzzer/FuzzedDataProvider.h>

#include "format/slice_format.h"
#include "join/join.h"
#include "remove_tree.h"

#define REQUIRE(condition) \
    do {                    \
        if (!(condition))   \
            __builtin_trap(); \
    } while (0)

enum {
    MAX_SET_PORTIONS = 6,
    MAX_PAYLOAD = 3000,
    PATH_SIZE = 512
};

// Names a header may carry: plain ones, and every kind the joiner refuses.
static const char *const FileNames[] = {"BIG.DAT", "a", "AB", "..", ".", "", "sub/x",
                                        "sub\\x", "c:x", "x:stream", "../x", "READ ME"};
enum { FILE_NAMES = sizeof FileNames / sizeof FileNames[0] };

// The folder that holds every run's folder; made once per process.
static char Base[PATH_SIZE];

// One run's folder, and its sets and out folders under it.
static char RunFolder[PATH_SIZE], SetsFolder[PATH_SIZE], OutFolder[PATH_SIZE];

struct PortionPlan {
    unsigned char Header[PORTION_HEADER_SIZE];
    uint32_t Payload;   // payload bytes
    uint32_t Length;    // bytes of the file, header included (less when cut short)
    int Present;
};

static unsigned char DataByte(uint32_t offset)
{
    return (unsigned char)(offset * 131u + (offset >> 8) * 7u + 1u);
}

// The names in a folder, sorted into one string, and how many there are.
static int ListFolder(const char *path, char *names, size_t size)
{
    struct dirent *entry;
    DIR *dir = opendir(path);
    int count = 0;

    names[0] = 0;
    REQUIRE(dir);
    while ((entry = readdir(dir)) != NULL) {
        if (strcmp(entry->d_name, ".") == 0 || strcmp(entry->d_name, "..") == 0)
            continue;
        strncat(names, entry->d_name, size - strlen(names) - 2);
        strcat(names, "|");
        count++;
    }
    closedir(dir);
    return count;
}

static int LowestFreeDescriptor(void)
{
    int fd = open("/dev/null", O_RDONLY);
    close(fd);
    return fd;
}

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    const char *root = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
    int null = open("/dev/null", O_WRONLY);

    // The joiner's messages would cost more than the join itself.
    dup2(null, 1);
    close(null);
    snprintf(Base, sizeof Base, "%s/kelmorix-fuzz-XXXXXX", root);
    REQUIRE(mkdtemp(Base));
    snprintf(RunFolder, sizeof RunFolder, "%s/run", Base);
    snprintf(SetsFolder, sizeof SetsFolder, "%s/sets", RunFolder);
    snprintf(OutFolder, sizeof OutFolder, "%s/out", RunFolder);
    atexit([] { RemoveTree(Base); });
    return 0;
}

// Fills the plans from the input; returns 1 when the set is well formed.
static int PlanSet(FuzzedDataProvider &in, PortionPlan *plans, int count, PortionHeader *h)
{
    uint32_t total = 0, i;
    int damaged = 0, n;
    unsigned char base[PORTION_HEADER_SIZE];

    memset(h, 0, sizeof *h);
    h->FileAttributes = in.ConsumeIntegral<uint32_t>();
    h->LastAccessTime.LowDateTime = in.ConsumeIntegral<uint32_t>();
    h->LastAccessTime.HighDateTime = in.ConsumeIntegralInRange<uint32_t>(0, 0x7FFFFF);
    h->LastWriteTime.LowDateTime = in.ConsumeIntegral<uint32_t>();
    h->LastWriteTime.HighDateTime = in.ConsumeIntegralInRange<uint32_t>(0, 0x7FFFFF);
    h->FileSizeHigh = in.ConsumeBool() ? in.ConsumeIntegral<uint32_t>() : 0;
    n = in.ConsumeIntegralInRange<int>(0, FILE_NAMES);
    if (n < FILE_NAMES) {
        StoreFileName(h->FileName, FileNames[n]);
    } else {
        std::vector<uint8_t> field = in.ConsumeBytes<uint8_t>(FILE_NAME_FIELD);
        if (!field.empty())
            memcpy(h->FileName, field.data(), field.size());
    }
    for (n = 0; n < count; n++) {
        plans[n].Payload = in.ConsumeIntegralInRange<uint32_t>(0, MAX_PAYLOAD);
        total += plans[n].Payload;
    }
    if (in.ConsumeBool()) {
        h->FileSizeLow = in.ConsumeIntegralInRange<uint32_t>(0, total + 10);
        damaged |= h->FileSizeLow != total;
    } else {
        h->FileSizeLow = total;
    }
    // A high word claims 4 GiB more than these small portions ever carry.
    damaged |= h->FileSizeHigh != 0 || CheckStoredFileName(h->FileName) != NAME_OK;
    EncodePortionHeader(h, base);
    for (n = 0; n < count; n++) {
        PortionPlan *p = &plans[n];
        memcpy(p->Header, base, PORTION_HEADER_SIZE);
        p->Header[OFFSET_LAST_PORTION] = n == count - 1;
        p->Length = PORTION_HEADER_SIZE + p->Payload;
        p->Present = 1;
        switch (in.ConsumeIntegralInRange<int>(0, 7)) {
        case 0: // another value in the last-portion byte
            p->Header[OFFSET_LAST_PORTION] = in.ConsumeIntegral<uint8_t>();
            damaged |= p->Header[OFFSET_LAST_PORTION] != (n == count - 1);
            break;
        case 1: // a byte of another set's header
            i = in.ConsumeIntegralInRange<uint32_t>(1, PORTION_HEADER_SIZE - 1);
            p->Header[i] ^= in.ConsumeIntegralInRange<uint8_t>(1, 255);
            damaged = 1; // even in portion 0: the others no longer match it
            break;
        case 2: // cut short, possibly into its header
            p->Length = in.ConsumeIntegralInRange<uint32_t>(0, p->Length - (p->Length > 0));
            damaged = 1;
            break;
        case 3: // missing
            p->Present = n == 0 ? 1 : 0;
            damaged |= n > 0;
            break;
        default:
            break;
        }
    }
    return !damaged;
}

static void WriteSet(const PortionPlan *plans, int count, const char *stem)
{
    static unsigned char buffer[PORTION_HEADER_SIZE + MAX_PAYLOAD];
    char path[PATH_SIZE];
    uint32_t offset = 0, i;
    int n, fd;

    for (n = 0; n < count; n++) {
        const PortionPlan *p = &plans[n];
        memcpy(buffer, p->Header, PORTION_HEADER_SIZE);
        for (i = 0; i < p->Payload; i++)
            buffer[PORTION_HEADER_SIZE + i] = DataByte(offset + i);
        offset += p->Payload;
        if (!p->Present)
            continue;
        snprintf(path, sizeof path, "%s/%s%02d", SetsFolder, stem, n);
        fd = open(path, O_WRONLY | O_CREAT | O_EXCL, 0644);
        REQUIRE(fd >= 0);
        REQUIRE(write(fd, buffer, p->Length) == (ssize_t)p->Length);
        close(fd);
    }
}

// The data bytes the portions carry, in the order the joiner reads them:
// from portion 0 to the first one marked last, as far as they are there.
// Returns how many; *whole is 1 when that order reaches a portion marked
// last with every portion before it present and of its header's size.
static uint32_t PresentData(const PortionPlan *plans, int count, unsigned char *data, int *whole)
{
    uint32_t length = 0, offset = 0, carried, i;
    int n;

    *whole = 0;
    for (n = 0; n < count && plans[n].Present && plans[n].Length >= PORTION_HEADER_SIZE; n++) {
        carried = plans[n].Length - PORTION_HEADER_SIZE;
        for (i = 0; i < carried; i++)
            data[length++] = DataByte(offset + i);
        offset += plans[n].Payload;
        if (plans[n].Header[OFFSET_LAST_PORTION] == 1) {
            *whole = 1;
            break;
        }
    }
    return length;
}

// The output (of the header as portion 0 holds it) against the data present.
static void CheckOutput(const PortionPlan *plans, int count, const PortionHeader *h,
                        const char *name, int success)
{
    static unsigned char data[MAX_SET_PORTIONS * MAX_PAYLOAD];
    static unsigned char buffer[MAX_SET_PORTIONS * MAX_PAYLOAD + 1];
    char path[PATH_SIZE];
    uint64_t fileSize = (uint64_t)h->FileSizeHigh << 32 | h->FileSizeLow;
    uint32_t present;
    ssize_t got;
    int fd, whole;

    present = PresentData(plans, count, data, &whole);
    snprintf(path, sizeof path, "%s/%s", OutFolder, name);
    fd = open(path, O_RDONLY);
    REQUIRE(fd >= 0);
    got = read(fd, buffer, sizeof buffer);
    close(fd);
    // Never more than the recorded size, both of its words.
    REQUIRE(got >= 0 && (uint64_t)got <= fileSize && (uint32_t)got <= present);
    REQUIRE(memcmp(buffer, data, (size_t)got) == 0);
    if (success)
        REQUIRE(whole && (uint32_t)got == present && present == fileSize);
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static const char *const Stems[] = {"BIG.D", "R", "SET.P"};
    FuzzedDataProvider in(data, size);
    PortionPlan plans[MAX_SET_PORTIONS];
    PortionHeader header;
    PortionHeader first; // as portion 0 holds it, which may differ from the plan
    char before[2048], after[2048], names[2048], expectedOut[PATH_SIZE];
    const char *stem = Stems[in.ConsumeIntegralInRange<int>(0, 2)];
    int throughMemory = in.ConsumeBool();
    int count = in.ConsumeIntegralInRange<int>(1, MAX_SET_PORTIONS);
    int wellFormed = PlanSet(in, plans, count, &header);
    int descriptor = LowestFreeDescriptor();
    int result, outputs;

    REQUIRE(mkdir(RunFolder, 0755) == 0 && mkdir(SetsFolder, 0755) == 0 &&
            mkdir(OutFolder, 0755) == 0);
    WriteSet(plans, count, stem);
    ListFolder(SetsFolder, before, sizeof before);
    if (throughMemory)
        setenv("KELMORIX_NO_KERNEL_COPY", "1", 1);
    else
        unsetenv("KELMORIX_NO_KERNEL_COPY");

    result = JoinSliceSet(SetsFolder, OutFolder);

    REQUIRE(result == JOIN_OK || (result >= JOIN_NO_CONSOLE && result <= JOIN_NO_SOURCE_PATH));
    REQUIRE(!wellFormed || result == JOIN_OK);
    DecodePortionHeader(plans[0].Header, &first);
    // Nothing but the output, and that inside the destination.
    REQUIRE(ListFolder(Base, names, sizeof names) == 1 && strcmp(names, "run|") == 0);
    REQUIRE(ListFolder(RunFolder, names, sizeof names) == 2);
    ListFolder(SetsFolder, after, sizeof after);
    REQUIRE(strcmp(before, after) == 0);
    outputs = ListFolder(OutFolder, names, sizeof names);
    REQUIRE(outputs <= 1);
    REQUIRE(outputs == 1 || result != JOIN_OK);
    if (outputs == 1) {
        // The file takes its own name only once whole; until then, and
        // after any failure, the output keeps its temporary name.
        const char *outName = result == JOIN_OK ? first.FileName : "~KLM0001.TMP";
        REQUIRE(CheckStoredFileName(first.FileName) == NAME_OK);
        snprintf(expectedOut, sizeof expectedOut, "%s|", outName);
        REQUIRE(strcmp(names, expectedOut) == 0);
        CheckOutput(plans, count, &first, outName, result == JOIN_OK);
    }
    REQUIRE(LowestFreeDescriptor() == descriptor);
    RemoveTree(RunFolder);
    return 0;
}
