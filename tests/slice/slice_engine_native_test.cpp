// The portable slice job on the Linux layer, in-process under the
// sanitizers: the set it writes, its questions and its failures, with a
// user whose answers the test scripts. The Linux command's arguments are
// in slice_command_line_test.cpp.
#include <gtest/gtest.h>

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "dorvane_version.h"
#include "os/embedded_joiner.h"
#include "slice/slice_job.h"
#include "format/slice_format.h"

// The joiner this test build carries.
const unsigned char EmbeddedJoiner[] = "MZ stands in for the joiner";
const uint32_t EmbeddedJoinerSize = sizeof EmbeddedJoiner;

namespace {

std::string ReadFile(const std::string &path)
{
    std::string data;
    FILE *f = fopen(path.c_str(), "rb");
    if (!f)
        return "<missing>";
    char chunk[65536];
    size_t n;
    while ((n = fread(chunk, 1, sizeof chunk, f)) > 0)
        data.append(chunk, n);
    fclose(f);
    return data;
}

void WriteFile(const std::string &path, const std::string &data)
{
    FILE *f = fopen(path.c_str(), "wb");
    ASSERT_TRUE(f) << path;
    fwrite(data.data(), 1, data.size(), f);
    fclose(f);
}

std::string Pattern(size_t size, unsigned seed)
{
    std::string data(size, '\0');
    unsigned state = seed * 2654435761u + 1;
    for (char &c : data) {
        state = state * 1103515245u + 12345;
        c = (char)(state >> 16);
    }
    return data;
}

// A portion header as a slicer writes it for a file named name.
std::string PortionOf(const char *name)
{
    PortionHeader h;
    unsigned char raw[PORTION_HEADER_SIZE];
    memset(&h, 0, sizeof h);
    StoreFileName(h.FileName, name);
    EncodePortionHeader(&h, raw);
    return std::string((const char *)raw, sizeof raw) + "data";
}

// CRC-32 bit by bit, as zlib defines it: apart from the program's own.
uint32_t BitwiseCrc(const std::string &data)
{
    uint32_t crc = 0xFFFFFFFF;
    for (unsigned char c : data) {
        crc ^= c;
        for (int bit = 0; bit < 8; bit++)
            crc = crc >> 1 ^ (0xEDB88320 & (0 - (crc & 1)));
    }
    return ~crc;
}

std::string Hex(uint32_t value)
{
    char text[9];
    snprintf(text, sizeof text, "%08X", value);
    return text;
}

// The checksum list a set of these portion files must carry, byte for byte.
std::string ExpectedList(const std::string &folder, const std::string &fileName,
                         const std::string &data, size_t portions)
{
    std::string list = "; Written by Dorvane " DORVANE_VERSION_TEXT "\r\n", name = fileName;
    for (size_t n = 0; n < portions; n++) {
        name[name.size() - 2] = (char)('0' + n / 10);
        name[name.size() - 1] = (char)('0' + n % 10);
        list += name + " " + Hex(BitwiseCrc(ReadFile(folder + name))) + "\r\n";
    }
    return list + "; Sliced file " + fileName + ", " + std::to_string(data.size()) +
           " bytes, CRC-32 " + Hex(BitwiseCrc(data)) + ", " + std::to_string(portions) +
           (portions == 1 ? " portion" : " portions") + "\r\n";
}

std::vector<std::string> Listing(const std::string &folder)
{
    std::vector<std::string> names;
    DIR *dir = opendir(folder.c_str());
    while (dir) {
        struct dirent *entry = readdir(dir);
        if (!entry)
            break;
        if (strcmp(entry->d_name, ".") && strcmp(entry->d_name, ".."))
            names.push_back(entry->d_name);
    }
    if (dir)
        closedir(dir);
    std::sort(names.begin(), names.end());
    return names;
}

// What the job said to the user, one line per call, and how it is answered.
struct Script {
    std::vector<std::string> Said;
    std::function<int(const std::string &)> Answer = [](const std::string &) {
        return SLICE_ANSWER_CANCEL;
    };
};

Script *Current;

int Record(const std::string &line)
{
    Current->Said.push_back(line);
    return Current->Answer(line);
}

const SliceUser ScriptedUser = {
    NULL,
    [](void *, int disk, const char *) {
        Record("disk " + std::to_string(disk));
        return 0;
    },
    [](void *, const char *) { return Record("overwrite?"); },
    [](void *, const char *drive) { return Record(std::string("not ready ") + drive); },
    [](void *, const char *path, long error) {
        return Record(std::string("open error ") + path + " " + std::to_string(error));
    },
    [](void *, const char *text) { Record(std::string("notice ") + text); },
    [](void *, int code, const char *text) { Record(std::to_string(code) + " " + text); },
    [](void *, uint64_t, uint64_t) {},
    NULL,
    NULL,
    NULL,
};

class LinuxSliceJob : public ::testing::Test {
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/dorvane-engine-XXXXXX";
        ASSERT_TRUE(mkdtemp(pattern));
        dir_ = pattern;
        out_ = dir_ + "/out/";
        mkdir(out_.c_str(), 0755);
        Current = &script_;
    }
    void TearDown() override
    {
        std::string command = "rm -rf '" + dir_ + "'";
        ASSERT_EQ(system(command.c_str()), 0);
    }
    int Slice(const std::string &name, const std::string &data, uint32_t portionSize)
    {
        source_ = dir_ + "/" + name;
        WriteFile(source_, data);
        return SliceFile(source_.c_str(), out_.c_str(),
                         portionSize ? SLICE_INTO_FOLDER : SLICE_ONTO_DISKS, portionSize, &ScriptedUser);
    }

    std::string dir_, out_, source_;
    Script script_;
};

TEST_F(LinuxSliceJob, PortionsCarryTheSourceAndItsHeader)
{
    struct {
        size_t size;
        uint32_t portionSize;
        size_t portions;
    } cases[] = {
        {1, 1000, 1},         {691, 1000, 1},          {692, 1000, 2},
        {2000, 1000, 3},      {65536, 65536 + 309, 1}, {65537, 65536 + 309, 2},
        {69100, 1000, 100},   {1000000, 10309, 100},   {300000, 65536 + 310, 5},
        // Around the 1 MiB transfer block: portions are cut by their room.
        {1048576, 1048576 + 309, 1}, {1048577, 1048576 + 309, 2},
        {3 * 1048576 + 5, 1048576 + 310, 4}, {2500000, 1048576 + 308, 3},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(std::to_string(c.size) + " in " + std::to_string(c.portionSize));
        std::string data = Pattern(c.size, (unsigned)c.size);
        ASSERT_EQ(Slice("trip.bin", data, c.portionSize), 0);
        std::vector<std::string> names = Listing(out_);
        ASSERT_EQ(names.size(), c.portions + 2);
        EXPECT_EQ(names.front(), "KELMORIX.EXE");
        EXPECT_EQ(names.back(), "trip.bin.sfv"); // and no temporary file
        EXPECT_EQ(ReadFile(out_ + "trip.bin.sfv"), ExpectedList(out_, "trip.bin", data, c.portions));
        std::string joined, first = ReadFile(out_ + "trip.b00");
        for (size_t n = 0; n < c.portions; n++) {
            char name[32];
            snprintf(name, sizeof name, "trip.b%02zu", n);
            std::string portion = ReadFile(out_ + name);
            ASSERT_GT(portion.size(), (size_t)PORTION_HEADER_SIZE) << name;
            EXPECT_LE(portion.size(), c.portionSize);
            EXPECT_EQ(portion[0], n + 1 == c.portions) << name;
            EXPECT_EQ(portion.compare(1, PORTION_HEADER_SIZE - 1, first, 1, PORTION_HEADER_SIZE - 1), 0);
            joined += portion.substr(PORTION_HEADER_SIZE);
        }
        EXPECT_TRUE(joined == data);
        EXPECT_EQ(ReadFile(out_ + "KELMORIX.EXE"),
                  std::string((const char *)EmbeddedJoiner, EmbeddedJoinerSize));
        EXPECT_TRUE(script_.Said.empty());
        for (const std::string &name : names)
            unlink((out_ + name).c_str());
    }
}

TEST_F(LinuxSliceJob, HeaderTellsWhatLinuxKeepsOfTheSource)
{
    source_ = dir_ + "/Big.Dat";
    WriteFile(source_, Pattern(5000, 2));
    struct timespec times[2] = {{1200000000, 123456700}, {1300000000, 987654300}};
    for (mode_t mode : {0644, 0444}) {
        chmod(source_.c_str(), mode);
        ASSERT_EQ(utimensat(AT_FDCWD, source_.c_str(), times, 0), 0); // reading moved it
        // The file name is what follows the last slash of the path typed.
        std::string typed = dir_ + "//./" + "Big.Dat";
        ASSERT_EQ(SliceFile(typed.c_str(), out_.c_str(), SLICE_INTO_FOLDER, 3000, &ScriptedUser), 0);
        PortionHeader h;
        DecodePortionHeader((const unsigned char *)ReadFile(out_ + "Big.D00").data(), &h);
        EXPECT_EQ(h.FileAttributes, mode == 0444 ? 0x21u : 0x20u);
        uint64_t access = (uint64_t)h.LastAccessTime.HighDateTime << 32 | h.LastAccessTime.LowDateTime;
        uint64_t write = (uint64_t)h.LastWriteTime.HighDateTime << 32 | h.LastWriteTime.LowDateTime;
        EXPECT_EQ(access, 116444736000000000ull + 12000000001234567ull);
        EXPECT_EQ(write, 116444736000000000ull + 13000000009876543ull);
        EXPECT_EQ(h.FileSizeLow, 5000u);
        EXPECT_STREQ(h.FileName, "Big.Dat");
        EXPECT_GE(h.SliceTime.Year, 2024);
        for (const char *name : {"Big.D00", "Big.D01", "Big.Dat.sfv", "KELMORIX.EXE"})
            unlink((out_ + name).c_str());
    }
}

// A name the joiner refuses never becomes a set (nothing is created), and a
// joiner that cannot be replaced is reported with the deletion's error.
TEST_F(LinuxSliceJob, NamesTheJoinerRefusesAndJoinersThatStay)
{
    // A backslash is a character of a Linux name: refused, never cut.
    for (const char *name : {"a:b.dat", "a\\b.dat", "t\x1b]0;x\x07.dat", "new\nline.dat",
                             "a?b.dat", "COM\xb9.txt", "lpt\xb3", "end."}) {
        script_.Said.clear();
        EXPECT_EQ(Slice(name, Pattern(100, 1), 1000), SLICE_UNSAFE_NAME) << name;
        EXPECT_EQ(script_.Said, std::vector<std::string>{
                                    "237 The file name of " + source_ +
                                    " cannot be carried by a slice set: the joiner would refuse to "
                                    "rebuild a file of that name.\n"});
        EXPECT_TRUE(Listing(out_).empty());
    }

    script_.Said.clear();
    mkdir((out_ + "KELMORIX.EXE").c_str(), 0755); // no file can take its place
    EXPECT_EQ(Slice("big.dat", Pattern(100, 1), 1000), 0);
    EXPECT_EQ(script_.Said, std::vector<std::string>{
                                "notice Error replacing " + out_ +
                                "KELMORIX.EXE = 21\nThe existing file could not be replaced. "
                                "Slicing goes on, and that file stays beside the set.\n"});
}

TEST_F(LinuxSliceJob, OverwriteIsAskedOnceAndCancelKeepsEverything)
{
    WriteFile(out_ + "big.d01", "old 1");
    WriteFile(out_ + "big.d07", "old 7");
    // Above the new set: a stale portion of big.dat goes, another file's
    // portion and a file with no header stay.
    WriteFile(out_ + "big.d08", PortionOf("big.dat"));
    WriteFile(out_ + "big.d09", PortionOf("other.dat"));
    EXPECT_EQ(Slice("big.dat", Pattern(3000, 4), 1000), SLICE_CANCELLED);
    EXPECT_EQ(script_.Said, std::vector<std::string>{"overwrite?"});
    EXPECT_EQ(ReadFile(out_ + "big.d01"), "old 1");

    script_.Said.clear();
    script_.Answer = [](const std::string &) { return SLICE_ANSWER_OK; };
    EXPECT_EQ(Slice("big.dat", Pattern(3000, 4), 1000), 0);
    EXPECT_EQ(script_.Said, std::vector<std::string>{"overwrite?"});
    EXPECT_EQ(Listing(out_), (std::vector<std::string>{"KELMORIX.EXE", "big.d00", "big.d01",
                                                       "big.d02", "big.d03", "big.d04", "big.d07",
                                                       "big.d09", "big.dat.sfv"}));
    EXPECT_EQ(ReadFile(out_ + "big.d07"), "old 7");
}

// However the destination reaches it, no file the job writes is the source:
// refused before any question, nothing deleted or written.
TEST_F(LinuxSliceJob, SourceIsNeverAFileTheJobWrites)
{
    mkdir((dir_ + "/src").c_str(), 0755);
    symlink((dir_ + "/src").c_str(), (dir_ + "/alias").c_str());
    struct {
        const char *Name, *Destination; // destination under dir_
        const char *Clash;              // the file that is the source, under dir_/src/
        const char *HardLink;           // under dir_/out/, to the source
    } const cases[] = {
        {"X.D00", "/src/", "X.D00", nullptr},
        {"REPORT.000", "/out/../src/", "REPORT.000", nullptr},
        {"A.B05", "/alias/", "A.B05", nullptr},
        {"KELMORIX.EXE", "/src/", "KELMORIX.EXE", nullptr},
        {"h.dat", "/out/", nullptr, "h.d02"},
        {"l.dat", "/out/", nullptr, "l.dat.sfv"}, // the checksum list
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.Name);
        std::string source = dir_ + "/src/" + c.Name;
        WriteFile(source, Pattern(5000, 3)); // 8 portions of 1000 bytes
        for (int n = 1; n < 100; n++) {
            char name[16];
            snprintf(name, sizeof name, "REPORT.%03d", n);
            WriteFile(dir_ + "/src/" + name, name);
        }
        std::string clash = c.Clash ? dir_ + c.Destination + c.Clash : out_ + c.HardLink;
        if (c.HardLink) {
            ASSERT_EQ(link(source.c_str(), clash.c_str()), 0);
        }
        std::vector<std::string> before = Listing(dir_ + "/src"), outBefore = Listing(out_);
        script_.Said.clear();
        script_.Answer = [](const std::string &) { return SLICE_ANSWER_OK; };
        std::string destination = dir_ + c.Destination;
        EXPECT_EQ(SliceFile(source.c_str(), destination.c_str(), SLICE_INTO_FOLDER, 1000, &ScriptedUser),
                  SLICE_SOURCE_IN_SET);
        std::string what = !strcmp(c.Name, "KELMORIX.EXE") ? "The joiner program "
                           : !strcmp(c.Name, "l.dat")      ? "The checksum list "
                                                           : "The portion ";
        EXPECT_EQ(script_.Said, std::vector<std::string>{
                                    "235 " + what + clash + " is the source " + source +
                                    " itself: the set would be written over it. Nothing was "
                                    "deleted or written; choose another destination folder.\n"});
        EXPECT_EQ(Listing(dir_ + "/src"), before);
        EXPECT_EQ(Listing(out_), outBefore);
        EXPECT_EQ(ReadFile(source), Pattern(5000, 3));
        EXPECT_EQ(ReadFile(dir_ + "/src/REPORT.001"), "REPORT.001");
        if (c.HardLink)
            unlink(clash.c_str());
    }
}

// An empty source makes a set: one portion, the header alone, the last.
TEST_F(LinuxSliceJob, EmptySourceMakesOneHeaderOnlyPortion)
{
    ASSERT_EQ(Slice("empty.dat", "", 1000), 0);
    EXPECT_EQ(Listing(out_), (std::vector<std::string>{"KELMORIX.EXE", "empty.d00", "empty.dat.sfv"}));
    EXPECT_EQ(ReadFile(out_ + "empty.dat.sfv"), ExpectedList(out_, "empty.dat", "", 1));
    std::string portion = ReadFile(out_ + "empty.d00");
    ASSERT_EQ(portion.size(), (size_t)PORTION_HEADER_SIZE);
    EXPECT_EQ(portion[0], 1);
    EXPECT_TRUE(script_.Said.empty());
}

TEST_F(LinuxSliceJob, SourcesOf4GiBAndMoreGoAsFarAsTheSetHoldsThem)
{
    // Sparse sources: nothing is written unless the job gets past its
    // refusals, which it must not here.
    struct {
        uint64_t Size;
        int Code;
        std::string Text; // after the source path
    } const cases[] = {
        {MAX_SET_DATA + 1, SLICE_SOURCE_TOO_LARGE,
         " has 429496698601 bytes, more than a slice set can carry. The largest file that can "
         "be sliced has 429496698600 bytes: 100 portions of just under 4 GiB.\n"},
        {MAX_SET_DATA, SLICE_TOO_MANY_PORTIONS,
         " into portions of 1000 bytes would take more than 100 portions, and a slice set "
         "holds at most 100.\n"},
        {(1ull << 32) + 1000, SLICE_TOO_MANY_PORTIONS,
         " into portions of 1000 bytes would take more than 100 portions, and a slice set "
         "holds at most 100.\n"},
    };
    for (const auto &c : cases) {
        script_.Said.clear();
        source_ = dir_ + "/huge.dat";
        int fd = open(source_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(ftruncate(fd, (off_t)c.Size), 0);
        close(fd);
        EXPECT_EQ(SliceFile(source_.c_str(), out_.c_str(), SLICE_INTO_FOLDER, 1000, &ScriptedUser), c.Code);
        std::string start = c.Code == SLICE_SOURCE_TOO_LARGE ? "" : "Slicing ";
        EXPECT_EQ(script_.Said, std::vector<std::string>{std::to_string(c.Code) + " " + start +
                                                         source_ + c.Text});
        EXPECT_TRUE(Listing(out_).empty());
    }
}

TEST_F(LinuxSliceJob, FailuresEndWithTheirCodeAndOneMessage)
{
    EXPECT_EQ(SliceFile((dir_ + "/missing.dat").c_str(), out_.c_str(), SLICE_INTO_FOLDER, 1000, &ScriptedUser),
              SLICE_NO_ATTRIBUTES);
    EXPECT_EQ(script_.Said, std::vector<std::string>{"254 Error getting attributes for " + dir_ +
                                                     "/missing.dat = 2\n"});
    script_.Said.clear();
    EXPECT_EQ(Slice("big.dat", Pattern(100, 1), 0), SLICE_NOT_REMOVABLE);
    EXPECT_EQ(script_.Said, std::vector<std::string>{"249 Destination: " + out_ + " is not removable\n"});

    // A portion the file system will not let grow: the write's own error.
    script_.Said.clear();
    struct rlimit saved, limit = {2000, 2000};
    getrlimit(RLIMIT_FSIZE, &saved);
    limit.rlim_max = saved.rlim_max;
    signal(SIGXFSZ, SIG_IGN);
    setrlimit(RLIMIT_FSIZE, &limit);
    int result = Slice("big.dat", Pattern(9000, 1), 5000);
    setrlimit(RLIMIT_FSIZE, &saved);
    EXPECT_EQ(result, SLICE_WRITE_FAILED);
    EXPECT_EQ(script_.Said, std::vector<std::string>{"241 Error writing " + out_ + "big.d00 = 27\n"});
}

} // namespace
