// Fuzz target: the portable slice job on the real Linux layer, and its sets
// rebuilt by the joiner's own reassembly. Each input gives a small source
// (its name, size and bytes), a portion size, files already in the
// destination and the user's answer to the overwrite question; the job runs
// into a fresh folder and the outcome is checked:
//   - sources and sizes the set cannot carry end with their own code before
//     anything is written;
//   - a complete job leaves portions of the planned size, every header alike
//     but for the last-portion mark, and the joiner rebuilds the source;
//   - a cancel leaves the destination as it was; nothing is written outside
//     the destination, and no descriptor is left open.
#include <dirent.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fuzzer/FuzzedDataProvider.h>

#include "os/embedded_joiner.h"
#include "slice/slice_arith.h"
#include "remove_tree.h"
#include "slice/slice_job.h"
#include "format/slice_format.h"
#include "join/join.h"

#define REQUIRE(condition) \
    do {                    \
        if (!(condition))   \
            __builtin_trap(); \
    } while (0)

enum { MAX_SOURCE = 6000, MAX_PORTION = 8000, PATH_SIZE = 512, LISTING_SIZE = 8192 };

// The joiner this build carries: any bytes do, the rebuild uses the real one.
const unsigned char EmbeddedJoiner[] = "MZ fuzz joiner";
const uint32_t EmbeddedJoinerSize = sizeof EmbeddedJoiner;

// Source names: plain ones, and those the set cannot carry.
static const char *const SourceNames[] = {"BIG.DAT", "AB", "x", "a:b.dat", "READ ME", "nul.txt",
                                          "big.d00", "data.01"};
enum { SOURCE_NAMES = sizeof SourceNames / sizeof SourceNames[0] };

static char Base[PATH_SIZE], SourceFolder[PATH_SIZE], OutFolder[PATH_SIZE], RebuiltFolder[PATH_SIZE];

// The user: the overwrite answer from the input; the way out of every
// other question, so that no run waits.
static int OverwriteAnswer;
static int Asked;

static int NextDisk(void *, int, const char *) { return 0; }
static int AskOverwrite(void *, const char *) { Asked++; return OverwriteAnswer; }
static int NotReady(void *, const char *) { return SLICE_ANSWER_ABORT; }
static int OpenError(void *, const char *, long) { return SLICE_ANSWER_ABORT; }
static void Notice(void *, const char *) {}
static void Final(void *, int, const char *) {}
static void Progress(void *, uint64_t done, uint64_t total) { REQUIRE(done <= total); }

static const SliceUser FuzzUser = {NULL, NextDisk, AskOverwrite, NotReady, OpenError,
                                   Notice, Final, Progress, NULL, NULL, NULL};

// Every name in a folder with its size, sorted, as one string:
// "|name:size|name:size|".
static void Listing(const char *folder, char *out)
{
    char names[64][64], path[PATH_SIZE];
    struct dirent *entry;
    struct stat info;
    DIR *dir = opendir(folder);
    int count = 0, i, j;

    strcpy(out, "|");
    REQUIRE(dir);
    while ((entry = readdir(dir)) != NULL && count < 64)
        if (strcmp(entry->d_name, ".") && strcmp(entry->d_name, "..")) {
            snprintf(path, sizeof path, "%s/%s", folder, entry->d_name);
            REQUIRE(lstat(path, &info) == 0);
            snprintf(names[count++], sizeof names[0], "%s:%ld", entry->d_name, (long)info.st_size);
        }
    closedir(dir);
    for (i = 1; i < count; i++)
        for (j = i; j > 0 && strcmp(names[j - 1], names[j]) > 0; j--) {
            char swap[64];
            memcpy(swap, names[j], sizeof swap);
            memcpy(names[j], names[j - 1], sizeof swap);
            memcpy(names[j - 1], swap, sizeof swap);
        }
    for (i = 0; i < count; i++) {
        strncat(out, names[i], LISTING_SIZE - strlen(out) - 2);
        strcat(out, "|");
    }
}

static int LowestFreeDescriptor(void)
{
    int fd = open("/dev/null", O_RDONLY);

    close(fd);
    return fd;
}

static long FileLength(const char *path)
{
    struct stat info;

    return stat(path, &info) == 0 ? (long)info.st_size : -1;
}

static void ReadWhole(const char *path, unsigned char *data, size_t size)
{
    FILE *f = fopen(path, "rb");

    REQUIRE(f);
    REQUIRE(fread(data, 1, size, f) == size);
    fclose(f);
}

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    const char *root = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
    int null = open("/dev/null", O_WRONLY);

    // The joiner's messages would cost more than the join itself.
    dup2(null, 1);
    close(null);
    snprintf(Base, sizeof Base, "%s/dorvane-fuzz-XXXXXX", root);
    REQUIRE(mkdtemp(Base));
    snprintf(SourceFolder, sizeof SourceFolder, "%s/src", Base);
    snprintf(OutFolder, sizeof OutFolder, "%s/out/", Base);
    snprintf(RebuiltFolder, sizeof RebuiltFolder, "%s/rebuilt", Base);
    atexit([] { RemoveTree(Base); });
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *input, size_t inputSize)
{
    static unsigned char data[MAX_SOURCE], portion[MAX_PORTION], first[PORTION_HEADER_SIZE];
    static char before[LISTING_SIZE], after[LISTING_SIZE], sources[LISTING_SIZE];
    FuzzedDataProvider fuzz(input, inputSize);
    const char *name = SourceNames[fuzz.ConsumeIntegralInRange<int>(0, SOURCE_NAMES - 1)];
    uint32_t size = fuzz.ConsumeIntegralInRange<uint32_t>(0, MAX_SOURCE);
    uint32_t portionSize = fuzz.ConsumeIntegralInRange<uint32_t>(0, MAX_PORTION);
    unsigned preexisting = fuzz.ConsumeIntegral<uint8_t>();
    char source[PATH_SIZE], path[PATH_SIZE], portionPath[PATH_SIZE];
    int descriptor = LowestFreeDescriptor(), expected = -1, result;
    uint32_t count = 0, n, done = 0, length;
    size_t nameLength = strlen(name);
    char field[FILE_NAME_FIELD];
    FILE *f;

    OverwriteAnswer = fuzz.ConsumeBool() ? SLICE_ANSWER_OK : SLICE_ANSWER_CANCEL;
    Asked = 0;
    for (n = 0; n < size; n++)
        data[n] = (unsigned char)(n * 131u + (n >> 8) * 7u + fuzz.ConsumeIntegral<uint8_t>());

    RemoveTree(SourceFolder);
    RemoveTree(OutFolder);
    RemoveTree(RebuiltFolder);
    REQUIRE(mkdir(SourceFolder, 0755) == 0 && mkdir(OutFolder, 0755) == 0 &&
            mkdir(RebuiltFolder, 0755) == 0);
    snprintf(source, sizeof source, "%s/%s", SourceFolder, name);
    f = fopen(source, "wb");
    REQUIRE(f && fwrite(data, 1, size, f) == size && fclose(f) == 0);
    // Leftovers of other jobs under the names this set takes (bit n: number
    // 5n), and a joiner that no file can replace (bit 7).
    for (n = 0; n < 7; n++)
        if (preexisting & (1u << n) && nameLength >= 2) {
            snprintf(path, sizeof path, "%s%s", OutFolder, name);
            SetPortionNumber(path, n * 5);
            f = fopen(path, "wb");
            REQUIRE(f && fputs("old", f) >= 0 && fclose(f) == 0);
        }
    if (preexisting & 0x80) {
        snprintf(path, sizeof path, "%sKELMORIX.EXE", OutFolder);
        REQUIRE(mkdir(path, 0755) == 0);
    }
    Listing(OutFolder, before);
    Listing(SourceFolder, sources);

    result = SliceFile(source, OutFolder, SLICE_INTO_FOLDER, portionSize, &FuzzUser);

    // The refusals, in the order the job meets them.
    StoreFileName(field, name);
    if (nameLength < 2)
        expected = SLICE_UNNUMBERABLE_NAME;
    else if (CheckStoredFileName(field) != NAME_OK)
        expected = SLICE_UNSAFE_NAME;
    else if (PortionsNeeded(size, portionSize) > MAX_PORTIONS || portionSize <= PORTION_HEADER_SIZE)
        expected = SLICE_TOO_MANY_PORTIONS;
    if (expected != -1) {
        REQUIRE(result == (expected != -1 ? expected : SLICE_COMPLETE));
        Listing(OutFolder, after);
        REQUIRE(strcmp(before, after) == 0);
    } else if (result == SLICE_CANCELLED) {
        // The portions written before the collision stay; what was there
        // before is all still there as it was.
        REQUIRE(Asked == 1);
        Listing(OutFolder, after);
        for (const char *entry = before; (entry = strchr(entry, '|')) && entry[1]; entry++) {
            size_t entryLength = strcspn(entry + 1, "|") + 2;
            REQUIRE(entryLength < sizeof path);
            memcpy(path, entry, entryLength);
            path[entryLength] = 0;
            REQUIRE(strstr(after, path));
        }
    } else {
        REQUIRE(result == SLICE_COMPLETE);
        REQUIRE(Asked <= 1);
        // An empty source still makes a set: one portion, its header alone.
        count = size == 0 ? 1 : PortionsNeeded(size, portionSize);
        snprintf(portionPath, sizeof portionPath, "%s%s", OutFolder, name);
        for (n = 0; n < count; n++) {
            SetPortionNumber(portionPath, n);
            length = (uint32_t)FileLength(portionPath);
            REQUIRE((length > PORTION_HEADER_SIZE || size == 0) && length <= portionSize);
            REQUIRE(n + 1 == count || length == portionSize);
            ReadWhole(portionPath, portion, length);
            REQUIRE(portion[0] == (n + 1 == count));
            if (n == 0)
                memcpy(first, portion, PORTION_HEADER_SIZE);
            REQUIRE(SameSliceSet(first, portion));
            REQUIRE(memcmp(portion + PORTION_HEADER_SIZE, data + done,
                           length - PORTION_HEADER_SIZE) == 0);
            done += length - PORTION_HEADER_SIZE;
        }
        REQUIRE(done == size);
        // The joiner's own reassembly gives the source back.
        REQUIRE(JoinSliceSet(OutFolder, RebuiltFolder) == JOIN_OK);
        snprintf(path, sizeof path, "%s/%s", RebuiltFolder, name);
        REQUIRE(FileLength(path) == (long)size);
        ReadWhole(path, portion, size);
        REQUIRE(memcmp(portion, data, size) == 0);
    }
    Listing(SourceFolder, after);
    REQUIRE(strcmp(sources, after) == 0);
    REQUIRE(LowestFreeDescriptor() == descriptor);
    return 0;
}
