// Reassembly against the in-memory layer: every failure the real platforms
// rarely show, and what the run leaves behind after each.
#include <gtest/gtest.h>

#include <errno.h>
#include <string.h>

#include <functional>
#include <string>

#include "join/join.h"
#include "integrity/checklist.h"
#include "integrity/crc32.h"
#include "fake_os.h"

namespace {

const char kSets[] = "/sets/";
const char kOut[] = "/out";
const char kOutput[] = "/out/BIG.DAT";
const char kTemp[] = "/out/~KLM0001.TMP"; // the output until it is whole

std::string SampleData(size_t size)
{
    std::string data(size, '\0');
    uint32_t x = 12345;
    for (size_t i = 0; i < size; i++) {
        x = x * 1103515245 + 12345;
        data[i] = (char)(x >> 16);
    }
    return data;
}

PortionHeader Header(const char *name, uint32_t size)
{
    PortionHeader h;
    memset(&h, 0, sizeof h);
    h.FileAttributes = 0x21;
    h.CreationTime = {1, 2};
    h.LastAccessTime = {3, 4};
    h.LastWriteTime = {5, 6};
    h.FileSizeLow = size;
    StoreFileName(h.FileName, name);
    return h;
}

std::string Portion(PortionHeader h, const std::string &payload)
{
    unsigned char raw[PORTION_HEADER_SIZE];
    EncodePortionHeader(&h, raw);
    return std::string((const char *)raw, sizeof raw) + payload;
}

// Writes data as portions of `room` payload bytes under folder + the
// portion names of `sliced` (BIG.DAT: BIG.D00, BIG.D01, ...).
void MakeSet(const std::string &folder, const std::string &data, size_t room,
             const std::string &sliced = "BIG.DAT")
{
    size_t count = data.empty() ? 1 : (data.size() + room - 1) / room;
    for (size_t n = 0; n < count; n++) {
        PortionHeader h = Header(sliced.c_str(), (uint32_t)data.size());
        h.LastPortion = n + 1 == count;
        std::string name = folder + sliced;
        SetPortionNumber(&name[0], (unsigned)n);
        Fake.Files[name].Data = Portion(h, data.substr(n * room, room));
    }
}

struct Outcome {
    int Code;
    std::string Text;
};

// Whether the run printed text (one or more whole lines).
bool Said(const Outcome &run, const std::string &text)
{
    return run.Text.find(text) != std::string::npos;
}

// What the run said on standard output, then on standard error.
Outcome Join(const char *source, const char *destination)
{
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    int code = JoinSliceSet(source, destination);
    std::string said = testing::internal::GetCapturedStdout();
    return {code, said + testing::internal::GetCapturedStderr()};
}

class Reassembly : public ::testing::Test {
protected:
    void SetUp() override
    {
        data_ = SampleData(2500); // portions of 691, 691, 691 and 427 bytes
        FreshSet();
    }
    // The set in /sets/ and an empty /out, and nothing else.
    void FreshSet()
    {
        ResetFakeOs();
        Fake.Folders = {"/sets", "/sets/", "/out"};
        MakeSet(kSets, data_, 691);
    }
    void ExpectNothingLeftOpen()
    {
        EXPECT_EQ(Fake.OpenFiles, 0);
        EXPECT_EQ(Fake.PriorityLowered, Fake.PriorityRestored);
    }
    std::string data_;
};

TEST_F(Reassembly, RebuildsDataTimesAndAttributes)
{
    Outcome run = Join("/sets", kOut);
    ASSERT_EQ(run.Code, 0) << run.Text;
    EXPECT_EQ(run.Text, "The slice set carried no checksum list; BIG.DAT was not verified.\n"
                        "BIG.DAT Successfully restored to /out\n");
    const FakeEntry &out = Fake.Files[kOutput];
    EXPECT_EQ(out.Data, data_);
    EXPECT_EQ(out.Attributes, 0x21u);
    ASSERT_TRUE(out.TimesSet);
    EXPECT_EQ(out.Times[0].LowDateTime, 1u);
    EXPECT_EQ(out.Times[1].HighDateTime, 4u);
    EXPECT_EQ(out.Times[2].LowDateTime, 5u);
    EXPECT_EQ(Fake.PriorityLowered, 4);
    ExpectNothingLeftOpen();
}

TEST_F(Reassembly, EveryFailureEndsWithItsCodeAndLine)
{
    enum { NONE, INCOMPLETE, WHOLE }; // what is left under the temporary name
    struct {
        FakeFault Fault;
        int Code;
        const char *Line;
        int Left;
    } const cases[] = {
        // The first open and read of portion 00 are the search's look at it.
        {{"open", "/sets/BIG.D00", 2, ENOENT}, 253,
         "Could not find the first file of a slice set in /sets.\n", NONE},
        {{"open", "/sets/BIG.D00", 2, EACCES}, 253, "Error opening /sets/BIG.D00: Permission denied (13)\n", NONE},
        {{"read", "/sets/BIG.D00", 2, EIO}, 252, "Error reading header from /sets/BIG.D00: Input/output error (5)\n", NONE},
        {{"close", "/sets/BIG.D00", 2, EIO}, 251, "Error closing /sets/BIG.D00: Input/output error (5)\n", NONE},
        {{"create", kTemp, 1, EACCES}, 249, "Error opening /out/BIG.DAT: Permission denied (13)\n", NONE},
        {{"open", "/sets/BIG.D02", 1, EISDIR}, 247, "Error opening /sets/BIG.D02: Is a directory (21)\n", INCOMPLETE},
        {{"read", "/sets/BIG.D01", 1, EIO}, 246, "Error reading header from /sets/BIG.D01: Input/output error (5)\n", INCOMPLETE},
        {{"size", "/sets/BIG.D02", 1, EIO}, 246, "Error reading header from /sets/BIG.D02: Input/output error (5)\n", INCOMPLETE},
        {{"read", "/sets/BIG.D01", 2, EIO}, 240, "Error reading data from /sets/BIG.D01: Input/output error (5)\n", INCOMPLETE},
        {{"read", "/sets/BIG.D01", 2, 0, 10}, 240, "Error reading data from /sets/BIG.D01: it ended before its data did\n", INCOMPLETE},
        {{"write", kTemp, 2, ENOSPC}, 239, "Error writing /out/~KLM0001.TMP: No space left on device (28)\n", INCOMPLETE},
        {{"write", kTemp, 2, 0, 0xFFFFFFFF}, 239, "Error writing /out/~KLM0001.TMP: the disk took no more\n", INCOMPLETE},
        // Made durable once, when whole.
        {{"flush", kTemp, 1, EIO}, 239, "Error writing /out/~KLM0001.TMP: Input/output error (5)\n", WHOLE},
        {{"times", kTemp, 1, EACCES}, 245, "Error setting date/time on /out/~KLM0001.TMP: Permission denied (13)\n", WHOLE},
        {{"close", kTemp, 1, EIO}, 244, "Error closing /out/~KLM0001.TMP: Input/output error (5)\n", WHOLE},
        // A read-only file of the name refuses its replacement.
        {{"rename", kOutput, 1, EACCES}, 249, "Error opening /out/BIG.DAT: Permission denied (13)\n", WHOLE},
        {{"attributes", kOutput, 1, EACCES}, 243, "Error setting attributes on /out/BIG.DAT: Permission denied (13)\n", NONE},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.Fault.Operation + " " + c.Fault.Path);
        FreshSet();
        Fake.Faults = {c.Fault};
        Outcome run = Join("/sets", kOut);
        EXPECT_EQ(run.Code, c.Code) << run.Text;
        EXPECT_TRUE(Said(run, c.Line)) << run.Text;
        EXPECT_EQ(Said(run, "/out/~KLM0001.TMP is incomplete; it has been left in place.\n"),
                  c.Left == INCOMPLETE) << run.Text;
        EXPECT_EQ(Said(run, "/out/~KLM0001.TMP holds the whole file; it has been left in place.\n"),
                  c.Left == WHOLE) << run.Text;
        EXPECT_EQ(Fake.Files.count(kTemp) > 0, c.Left != NONE);
        EXPECT_EQ(Fake.Files.count(kOutput) > 0, c.Code == 243) << "put in place";
        ExpectNothingLeftOpen();
    }
}

// The checksum list of the four portions in /sets/, as the slicers write it.
void MakeList(const std::string &data)
{
    uint32_t crcs[4];
    for (unsigned n = 0; n < 4; n++) {
        const std::string &file = Fake.Files[std::string("/sets/BIG.D0") + (char)('0' + n)].Data;
        crcs[n] = Crc32Update(0, file.data(), file.size());
    }
    ChecklistSet set = {"1.0.0", "BIG.DAT", data.size(), Crc32Update(0, data.data(), data.size()),
                        4, crcs};
    std::string text(ChecklistSize(&set), '\0');
    ChecklistWrite(&set, &text[0], text.size());
    Fake.Files["/sets/BIG.SFV"].Data = text;
}

TEST_F(Reassembly, ChecksEveryPortionAndMakesTheOutputDurableOnce)
{
    struct {
        const char *Case;
        bool Flip, RemovableOut;
        int Code, Flushes;
    } const cases[] = {
        {"sound", false, false, 0, 1},
        {"flipped byte", true, false, 230, 0},
        {"removable destination", false, true, 0, 4},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.Case);
        FreshSet();
        MakeList(data_);
        std::string &middle = Fake.Files["/sets/BIG.D01"].Data;
        char found[9], listed[9];
        snprintf(listed, sizeof listed, "%08X", (unsigned)Crc32Update(0, middle.data(), middle.size()));
        if (c.Flip)
            middle[500] ^= 1;
        snprintf(found, sizeof found, "%08X", (unsigned)Crc32Update(0, middle.data(), middle.size()));
        if (c.RemovableOut)
            Fake.Removable = {kOut};
        Outcome run = Join("/sets", kOut);
        EXPECT_EQ(run.Code, c.Code) << run.Text;
        EXPECT_FALSE(Said(run, "verified")) << run.Text;
        EXPECT_EQ(Said(run, std::string("/sets/BIG.D01 is damaged: its checksum is ") + found +
                                ", the list says " + listed + "\n"),
                  c.Flip) << run.Text;
        EXPECT_EQ(Fake.Files.count(kOutput) > 0, !c.Flip);
        int flushes = 0, writebacks = 0;
        for (const std::string &d : Fake.Durability) {
            flushes += d == std::string("flush ") + kTemp;
            writebacks += d == std::string("writeback ") + kTemp;
        }
        EXPECT_EQ(flushes, c.Flushes);
        EXPECT_EQ(writebacks, c.RemovableOut ? 0 : c.Flip ? 1 : 4);
        ExpectNothingLeftOpen();
    }
}

TEST_F(Reassembly, ShortWritesAreCompletedNotLost)
{
    Fake.Faults = {{"write", kTemp, 1, 0, 100}, {"write", kTemp, 3, 0, 690}};
    Outcome run = Join("/sets", kOut);
    ASSERT_EQ(run.Code, 0) << run.Text;
    EXPECT_EQ(Fake.Files[kOutput].Data, data_);
}

TEST_F(Reassembly, DeclinedOrUnanswerableOverwriteKeepsTheFile)
{
    for (int key : {(int)'n', -1, 0}) {
        SCOPED_TRACE(key);
        FreshSet();
        Fake.Files[kOutput].Data = "mine";
        Fake.Keys = {key};
        Outcome run = Join("/sets", kOut);
        EXPECT_EQ(run.Code, 249);
        EXPECT_TRUE(Said(run, "/out/BIG.DAT already exists.  Overwrite? (Y/N): \n")) << run.Text;
        EXPECT_TRUE(Said(run, "/out/BIG.DAT already exists; it was not replaced.\n")) << run.Text;
        EXPECT_EQ(Fake.Files[kOutput].Data, "mine");
        ExpectNothingLeftOpen();
    }
}

TEST_F(Reassembly, TheSizeIsBothWordsCountedExactly)
{
    // The set carries 2500 bytes; its header says otherwise. The counts pass
    // 32 bits, which the line prints whole.
    struct {
        uint32_t Low, High;
        const char *Line;
    } const cases[] = {
        {2500, 1, "The slice set ends at /sets/BIG.D03 with 2500 bytes, but its file has "
                  "4294969796 bytes.\n"},
        {0, 1, "The slice set ends at /sets/BIG.D03 with 2500 bytes, but its file has "
               "4294967296 bytes.\n"},
        {2400, 0, "The slice set holds more data than its file: /sets/BIG.D03 goes past its "
                  "2400 bytes.\n"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.Line);
        FreshSet();
        for (auto &file : Fake.Files) {
            PortionHeader h;
            DecodePortionHeader((const unsigned char *)file.second.Data.data(), &h);
            h.FileSizeLow = c.Low;
            h.FileSizeHigh = c.High;
            file.second.Data = Portion(h, file.second.Data.substr(PORTION_HEADER_SIZE));
        }
        Outcome run = Join("/sets", kOut);
        EXPECT_EQ(run.Code, 236) << run.Text;
        EXPECT_TRUE(Said(run, c.Line)) << run.Text;
        ExpectNothingLeftOpen();
    }
}

TEST_F(Reassembly, AHundredPortionsWithoutALastOneEndTheRun)
{
    ResetFakeOs();
    Fake.Folders = {"/sets"};
    std::string data = SampleData(200);
    for (unsigned n = 0; n < 100; n++) {
        char name[32];
        snprintf(name, sizeof name, "/sets/BIG.D%02u", n);
        Fake.Files[name].Data = Portion(Header("BIG.DAT", 200), data.substr(n, 1));
    }
    Outcome run = Join("/sets", kOut);
    EXPECT_EQ(run.Code, 236);
    EXPECT_TRUE(Said(run, "The slice set ends at /sets/BIG.D99 with 100 bytes, but its file "
                            "has 200 bytes.\n")) << run.Text;
    ExpectNothingLeftOpen();
}

TEST_F(Reassembly, RemovableSourceAsksForEachDiskAndCopesWithWrongOnes)
{
    // A mount point is named with or without a separator after it; either
    // way the portions are looked for inside it.
    for (const char *source : {"/floppy/", "/floppy"}) {
        SCOPED_TRACE(source);
        // Disk n holds portion n-1; the test swaps the disk at each key.
        ResetFakeOs();
        Fake.Folders = {"/out", "/floppy", "/floppy/"};
        Fake.Removable = {source};
        MakeSet("/staging/", data_, 691);
        std::vector<std::map<std::string, FakeEntry>> disks(4);
        for (int n = 0; n < 4; n++) {
            char name[32];
            snprintf(name, sizeof name, "BIG.D%02d", n);
            disks[n]["/floppy/" + std::string(name)] = Fake.Files["/staging/" + std::string(name)];
        }
        std::map<std::string, FakeEntry> foreign;
        foreign["/floppy/BIG.D01"].Data = Portion(Header("BIG.DOC", 9999), "zz");
        // Prompts: disk 1, disk 2 (disk 3 inserted), disk 2 (empty), disk 2
        // (another set's), disk 2, disk 3, disk 4.
        std::vector<std::map<std::string, FakeEntry>> inserted = {disks[0], disks[2], {}, foreign,
                                                                  disks[1], disks[2], disks[3]};
        Fake.Keys.assign(inserted.size(), ' ');
        Fake.OnKey = [&](int n) {
            for (auto it = Fake.Files.begin(); it != Fake.Files.end();)
                it = it->first.rfind("/floppy/", 0) == 0 ? Fake.Files.erase(it) : std::next(it);
            if (n < (int)inserted.size())
                for (const auto &entry : inserted[n])
                    Fake.Files[entry.first] = entry.second;
        };
        Outcome run = Join(source, kOut);
        ASSERT_EQ(run.Code, 0) << run.Text;
        EXPECT_EQ(Fake.Files[kOutput].Data, data_);
        EXPECT_EQ(run.Text.rfind("Please insert disk #1 in drive /floppy. Press any key when ready.\n", 0), 0u)
            << run.Text;
        EXPECT_TRUE(Said(run, "You need to insert Disk #2.  You inserted Disk #3.\n")) << run.Text;
        EXPECT_TRUE(Said(run, std::string("The current disk in ") + source +
                                  " does not have a slice file on it.\n")) << run.Text;
        EXPECT_TRUE(Said(run, "The disk in drive /floppy holds a portion of another slice set.\n")) << run.Text;
        EXPECT_EQ(Fake.KeysRead, 7);
        ExpectNothingLeftOpen();
    }
}

TEST_F(Reassembly, DiskPromptWithoutAConsoleEndsTheRun)
{
    Fake.Removable = {"/sets/"};
    Fake.Keys = {' '}; // the first prompt is answered, the second cannot be
    Outcome run = Join("/sets/", kOut);
    EXPECT_EQ(run.Code, 233);
    EXPECT_TRUE(Said(run, "There is no terminal to answer the prompt for disk #2.\n")) << run.Text;
    EXPECT_TRUE(Said(run, "/out/~KLM0001.TMP is incomplete")) << run.Text;
    EXPECT_EQ(Fake.Files[kTemp].Data, data_.substr(0, 691));
    ExpectNothingLeftOpen();
}

TEST_F(Reassembly, EveryPortionIsReadOnceFromPortion00WhateverNameIsGiven)
{
    // (sliced file's name, source argument): a later portion named, and a
    // sliced file whose own name looks like a portion's.
    const char *const cases[][2] = {{"BIG.DAT", "/sets/BIG.D02"}, {"BIG.DAT", "/sets/BIG.D10"},
                                    {"BACKUP.001", "/sets/BACKUP.001"}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c[1]);
        ResetFakeOs();
        Fake.Folders = {"/sets", "/out"};
        MakeSet(kSets, data_, 691, c[0]);
        Outcome run = Join(c[1], kOut);
        ASSERT_EQ(run.Code, 0) << run.Text;
        EXPECT_EQ(Fake.Files[std::string(kOut) + "/" + c[0]].Data, data_);
    }
}

TEST_F(Reassembly, AnOutputInAPortionsPlaceIsRefusedBeforeTheQuestion)
{
    ResetFakeOs();
    Fake.Folders = {"/sets"};
    MakeSet(kSets, data_, 691, "DATA.A02");
    const auto portions = Fake.Files;
    Fake.Keys = {'y'};
    Outcome run = Join("/sets", "/sets");
    EXPECT_EQ(run.Code, 232);
    EXPECT_EQ(run.Text, "The rebuilt file would replace /sets/DATA.A02, a portion of the slice "
                        "set;\nname another destination folder.\n");
    EXPECT_EQ(Fake.KeysRead, 0);
    EXPECT_EQ(Fake.Files.size(), portions.size());
    EXPECT_EQ(Fake.Files["/sets/DATA.A02"].Data, portions.at("/sets/DATA.A02").Data);
    ExpectNothingLeftOpen();
}

TEST_F(Reassembly, ARemovableSourceIsClassifiedOnceDisk1IsIn)
{
    // The drive is empty when the run starts: no folder there yet.
    Fake.Folders = {"/out"};
    Fake.Removable = {"/sets"};
    const auto disk = Fake.Files;
    Fake.Files.clear();
    Fake.Keys.assign(4, ' ');
    Fake.OnKey = [&](int n) {
        if (n == 0) {
            Fake.Folders.insert("/sets");
            Fake.Files = disk;
        }
    };
    Outcome run = Join("/sets", kOut);
    ASSERT_EQ(run.Code, 0) << run.Text;
    EXPECT_EQ(Fake.Files[kOutput].Data, data_);
}

TEST_F(Reassembly, KernelCopyFallsBackToMemoryAndKeepsEveryFailuresCode)
{
    struct {
        std::vector<FakeFault> Faults;
        int Code;
        const char *Line;
        bool Kernel; // some data still moved inside the kernel
    } const cases[] = {
        {{}, 0, "BIG.DAT Successfully restored", true},
        // Not available here: the whole run goes through memory.
        {{{"copy", kTemp, 1, OS_NO_KERNEL_COPY}}, 0, "BIG.DAT Successfully restored", false},
        {{{"copy", kTemp, 2, 0, 100}}, 0, "BIG.DAT Successfully restored", true},
        {{{"copy", kTemp, 2, EIO}, {"read", "/sets/BIG.D01", 2, EIO}}, 240,
         "Error reading data from /sets/BIG.D01: Input/output error (5)\n", true},
        {{{"copy", kTemp, 3, ENOSPC}, {"write", kTemp, 1, ENOSPC}}, 239,
         "Error writing /out/~KLM0001.TMP: No space left on device (28)\n", true},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.Code);
        FreshSet();
        Fake.KernelCopy = true;
        Fake.Faults = c.Faults;
        Outcome run = Join("/sets", kOut);
        EXPECT_EQ(run.Code, c.Code) << run.Text;
        EXPECT_TRUE(Said(run, c.Line)) << run.Text;
        EXPECT_EQ(Fake.KernelCopied > 0, c.Kernel);
        const char *written = c.Code == 0 ? kOutput : kTemp;
        EXPECT_EQ(Fake.Files[written].Data, data_.substr(0, Fake.Files[written].Data.size()));
        if (c.Code == 0) {
            EXPECT_EQ(Fake.Files[kOutput].Data, data_);
        }
        ExpectNothingLeftOpen();
    }
}

TEST_F(Reassembly, TheOutputTakesItsNameOnlyOnceWhole)
{
    // (portion removed, answer, what the file of the name then holds)
    struct {
        const char *Missing;
        int Code;
        bool Replaced;
    } const cases[] = {{"/sets/BIG.D02", 247, false}, {nullptr, 0, true}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.Code);
        FreshSet();
        if (c.Missing)
            Fake.Files.erase(c.Missing);
        Fake.Files[kOutput].Data = "mine";
        Fake.Files[kTemp].Data = "someone else's"; // a name taken: the next is tried
        Fake.Keys = {'y'};
        const size_t files = Fake.Files.size();
        size_t filesAtAnswer = 0;
        Fake.OnKey = [&](int) { filesAtAnswer = Fake.Files.size(); };
        Outcome run = Join("/sets", kOut);
        EXPECT_EQ(filesAtAnswer, files) << "nothing made before the answer";
        EXPECT_EQ(run.Code, c.Code) << run.Text;
        EXPECT_EQ(Fake.Files[kOutput].Data, c.Replaced ? data_ : "mine");
        EXPECT_EQ(Fake.Files[kTemp].Data, "someone else's");
        EXPECT_EQ(Fake.Files.count("/out/~KLM0002.TMP"), c.Replaced ? 0u : 1u);
        EXPECT_EQ(Said(run, "/out/~KLM0002.TMP is incomplete; it has been left in place.\n"),
                  !c.Replaced) << run.Text;
        EXPECT_EQ(Fake.InputFlushed, 1) << "typed-ahead keys dropped before the question";
        ExpectNothingLeftOpen();
    }
}

TEST_F(Reassembly, HostileNamesAreRefusedAndShownEscaped)
{
    const char *const names[][2] = {
        {"EVIL\x1B]0;owned\x07.DAT", "EVIL\\x1B]0;owned\\x07.DAT"},
        {"two\nlines", "two\\x0Alines"}, {"del\x7F", "del\\x7F"},
        {"a<b", "a<b"}, {"a>b", "a>b"}, {"a\"b", "a\"b"}, {"a|b", "a|b"}, {"a?b", "a?b"},
        {"a*b", "a*b"}, {"COM\xB9", "COM\xC2\xB9"}, {"lpt\xB3.txt", "lpt\xC2\xB3.txt"}};
    for (const auto &name : names) {
        SCOPED_TRACE(name[1]);
        ResetFakeOs();
        Fake.Folders = {"/sets", "/out"};
        MakeSet(kSets, data_, 691, name[0]);
        std::string first = kSets + std::string(name[0]);
        SetPortionNumber(&first[0], 0);
        Outcome run = Join(first.c_str(), kOut);
        EXPECT_EQ(run.Code, 242) << run.Text;
        EXPECT_TRUE(Said(run, std::string("The name it carries: \"") + name[1] + "\"\n")) << run.Text;
        EXPECT_EQ(run.Text.find_first_of("\x1B\x07\x7F"), std::string::npos);
        EXPECT_EQ(Fake.Files.count("/out/~KLM0001.TMP"), 0u);
    }
}

TEST_F(Reassembly, TheSearchSkipsWhatCannotBeAFirstPortion)
{
    // Before BIG.D00 in byte order: too short, a LastPortion of 7, a name
    // without its terminator.
    PortionHeader h = Header("A.DAT", 1);
    Fake.Files["/sets/A100"].Data = "short";
    h.LastPortion = 7;
    Fake.Files["/sets/AB00"].Data = Portion(h, "x");
    std::string unterminated = Portion(Header("C.DAT", 1), "x");
    unterminated.replace(OFFSET_FILE_NAME, FILE_NAME_FIELD, FILE_NAME_FIELD, 'n');
    Fake.Files["/sets/AC00"].Data = unterminated;
    Outcome run = Join("/sets", kOut);
    ASSERT_EQ(run.Code, 0) << run.Text;
    EXPECT_EQ(Fake.Files[kOutput].Data, data_);
    // With none that can be, the first is read and what is wrong with it told.
    Fake.Files.erase("/sets/BIG.D00");
    Fake.Files.erase("/sets/A100");
    run = Join("/sets", kOut);
    EXPECT_EQ(run.Code, 252);
    EXPECT_EQ(run.Text, "The header of /sets/AB00 is damaged.\n");
}

TEST_F(Reassembly, TheDamagedPortionIsTheOneNamed)
{
    // (damage, code, line)
    struct {
        std::function<void()> Damage;
        int Code;
        const char *Line;
    } const cases[] = {
        {[] { Fake.Files["/sets/BIG.D01"].Data.resize(990); }, 236,
         "/sets/BIG.D01 is 990 bytes long; portions before the last have 1000.\n"},
        {[] { Fake.Files["/sets/BIG.D01"].Data.append(10, 'x'); }, 236,
         "/sets/BIG.D01 is 1010 bytes long; portions before the last have 1000.\n"},
        {[] { Fake.Files["/sets/BIG.D00"].Data[OFFSET_LAST_WRITE_TIME] ^= 1; }, 246,
         "The header of /sets/BIG.D00 is damaged.\n"},
        {[] { Fake.Files["/sets/BIG.D02"].Data[OFFSET_LAST_PORTION] = 2; }, 246,
         "The header of /sets/BIG.D02 is damaged.\n"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.Line);
        FreshSet();
        c.Damage();
        Outcome run = Join("/sets", kOut);
        EXPECT_EQ(run.Code, c.Code) << run.Text;
        EXPECT_TRUE(Said(run, c.Line)) << run.Text;
        ExpectNothingLeftOpen();
    }
    // Portions of several lengths that add up (a set cut on disks, copied
    // into a folder) are a whole set.
    ResetFakeOs();
    Fake.Folders = {"/sets", "/out"};
    const size_t cuts[] = {0, 391, 1391, 2082, 2500};
    for (unsigned n = 0; n < 4; n++) {
        PortionHeader h = Header("BIG.DAT", 2500);
        h.LastPortion = n == 3;
        std::string name = "/sets/BIG.D00";
        SetPortionNumber(&name[0], n);
        Fake.Files[name].Data = Portion(h, data_.substr(cuts[n], cuts[n + 1] - cuts[n]));
    }
    Outcome run = Join("/sets", kOut);
    EXPECT_EQ(run.Code, 0) << run.Text;
    EXPECT_EQ(Fake.Files[kOutput].Data, data_);
}

} // namespace
