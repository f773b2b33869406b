// The joiner's Linux layer: the mount table and sysfs reading behind the
// removable test, and the calls where a wrong answer would let the joiner
// replace a file, hang, or depend on the folder's order.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "../joiner/joiner_os.h"
#include "../joiner/joiner_os_posix.h"

namespace {

TEST(MountLine, FieldsAndEscapes)
{
    struct {
        const char *Line;
        int Result;
        unsigned Major, Minor;
        const char *MountPoint;
    } const cases[] = {
        {"41 1 8:17 / /media/floppy rw,nosuid master:7 - vfat /dev/sdb1 rw\n", 0, 8, 17, "/media/floppy"},
        {"41 1 8:17 / /media/my\\040disk rw - vfat /dev/sdb1 rw\n", 0, 8, 17, "/media/my disk"},
        {"41 1 259:3 /sub /mnt/a\\134b\\011c rw shared:1 shared:2 - ext4 /dev/x rw", 0, 259, 3,
         "/mnt/a\\b\tc"},
        {"41 1 0:45 / /tmp\n", 0, 0, 45, "/tmp"},
        {"41 1 8:17 / /bad\\09 rw", 0, 8, 17, "/bad\\09"}, // not an escape: kept as it is
        {"", -1, 0, 0, nullptr},
        {"41 1 8:17 /", -1, 0, 0, nullptr},
        {"41 1 8:17 / \n", -1, 0, 0, nullptr},
        {"41 1 x:17 / /m rw", -1, 0, 0, nullptr},
        {"41 1 8: / /m rw", -1, 0, 0, nullptr},
        {"41 1 8:17x / /m rw", -1, 0, 0, nullptr},
        {"41  1 8:17 / /m rw", -1, 0, 0, nullptr},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.Line);
        std::string line = c.Line;
        MountEntry entry = {};
        ASSERT_EQ(ParseMountLine(&line[0], &entry), c.Result);
        if (c.Result == 0) {
            EXPECT_EQ(entry.Major, c.Major);
            EXPECT_EQ(entry.Minor, c.Minor);
            EXPECT_STREQ(entry.MountPoint, c.MountPoint);
        }
    }
}

// A scratch folder, removed with everything in it.
class Scratch : public ::testing::Test {
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/kelmorix-os-XXXXXX";
        ASSERT_TRUE(mkdtemp(pattern));
        folder_ = pattern;
    }
    void TearDown() override
    {
        std::string command = "chmod -R u+w '" + folder_ + "' && rm -rf '" + folder_ + "'";
        EXPECT_EQ(system(command.c_str()), 0);
    }
    std::string Path(const std::string &name) { return folder_ + "/" + name; }
    void Write(const std::string &name, const char *text)
    {
        FILE *f = fopen(Path(name).c_str(), "wb");
        ASSERT_TRUE(f);
        fputs(text, f);
        fclose(f);
    }
    void Folder(const std::string &name) { ASSERT_EQ(mkdir(Path(name).c_str(), 0755), 0); }
    std::string folder_;
};

TEST_F(Scratch, RemovableMountPointsFromMountTableAndSysfs)
{
    // sysfs: sdb (8:16) removable with partition sdb1 (8:17); sda (8:0) fixed
    // with sda1 (8:1); sr0 (11:0) removable, no partitions; 0:45 has no device.
    for (const char *dir : {"sys", "sys/dev", "sys/dev/block", "sys/devices", "sys/devices/sda",
                            "sys/devices/sda/sda1", "sys/devices/sdb", "sys/devices/sdb/sdb1",
                            "sys/devices/sr0"})
        Folder(dir);
    Write("sys/devices/sda/removable", "0\n");
    Write("sys/devices/sdb/removable", "1\n");
    Write("sys/devices/sr0/removable", "1\n");
    Write("sys/devices/sda/sda1/partition", "1\n");
    Write("sys/devices/sdb/sdb1/partition", "1\n");
    for (const char *link : {"8:0 sda", "8:1 sda/sda1", "8:16 sdb", "8:17 sdb/sdb1", "11:0 sr0"}) {
        std::string numbers(link, strchr(link, ' ')), target = strchr(link, ' ') + 1;
        ASSERT_EQ(symlink(("../../devices/" + target).c_str(), Path("sys/dev/block/" + numbers).c_str()), 0);
    }
    Write("mountinfo", "1 0 8:1 / / rw - ext4 /dev/sda1 rw\n"
                       "30 1 8:17 / /media/floppy rw - vfat /dev/sdb1 rw\n"
                       "31 1 8:16 / /media/whole rw - vfat /dev/sdb rw\n"
                       "32 1 11:0 / /media/cd\\040rom ro - iso9660 /dev/sr0 ro\n"
                       "33 1 0:45 / /tmp rw - tmpfs tmpfs rw\n"
                       "34 1 8:17 / /media/stacked rw - vfat /dev/sdb1 rw\n"
                       "35 1 0:46 / /media/stacked rw - tmpfs tmpfs rw\n"
                       "36 1 8:0 / /media/fixed rw - ext4 /dev/sda rw\n"
                       "garbage\n");
    struct {
        const char *Path;
        int Removable;
    } const cases[] = {
        {"/media/floppy", 1},  {"/media/whole", 1},  {"/media/cd rom", 1},
        {"/", 0},              {"/tmp", 0},          {"/media/stacked", 0},
        {"/media/fixed", 0},   {"/media/floppy/sub", 0}, {"/media/flop", 0},
        {"/media", 0},
    };
    std::string mountinfo = Path("mountinfo"), sysfs = Path("sys");
    for (const auto &c : cases) {
        SCOPED_TRACE(c.Path);
        EXPECT_EQ(IsRemovableMountPoint(c.Path, mountinfo.c_str(), sysfs.c_str()), c.Removable);
    }
    EXPECT_EQ(IsRemovableMountPoint("/media/floppy", Path("none").c_str(), sysfs.c_str()), 0);
    EXPECT_EQ(IsRemovableMountPoint("/media/floppy", mountinfo.c_str(), Path("none").c_str()), 0);
}

TEST_F(Scratch, CreateNewNeverReplacesAFileOrFollowsALink)
{
    Write("TAKEN.DAT", "keep");
    ASSERT_EQ(symlink(Path("ELSEWHERE").c_str(), Path("LINK.DAT").c_str()), 0);
    OsFile file = 0;
    for (const char *name : {"TAKEN.DAT", "LINK.DAT"}) {
        SCOPED_TRACE(name);
        EXPECT_EQ(OsCreateNew(Path(name).c_str(), &file), OS_FILE_EXISTS);
    }
    EXPECT_NE(access(Path("ELSEWHERE").c_str(), F_OK), 0);

    ASSERT_EQ(OsOpenRead(Path("TAKEN.DAT").c_str(), &file), 0);
    char text[8] = {0};
    uint32_t done = 0;
    EXPECT_EQ(OsRead(file, text, sizeof text, &done), 0);
    EXPECT_EQ(done, 4u);
    EXPECT_STREQ(text, "keep");
    EXPECT_EQ(OsClose(file), 0);
}

TEST_F(Scratch, OnlyPlainFilesOpenAsPortions)
{
    Folder("DIR.D00");
    ASSERT_EQ(mkfifo(Path("FIFO.D00").c_str(), 0644), 0);
    OsFile file = 0;
    // (name, error): a FIFO with no writer must not hang the open.
    const struct {
        const char *Name;
        long Error;
    } cases[] = {{"DIR.D00", EISDIR}, {"FIFO.D00", EINVAL}, {"NONE.D00", OS_FILE_NOT_FOUND}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.Name);
        EXPECT_EQ(OsOpenRead(Path(c.Name).c_str(), &file), c.Error);
    }
}

TEST_F(Scratch, SearchTakesTheFirstMatchInByteOrder)
{
    for (const char *name : {"b.D00", "Z.D00", "B.D00", "[x].D01", "a\\b.D01", "C.D00X"})
        Write(name, "x");
    Folder("A.D00");
    // (pattern in the folder, first match; "" for none)
    const struct {
        const char *Pattern;
        const char *First;
    } cases[] = {{"*00", "A.D00"},     {"?.D00", "A.D00"}, {"b*", "b.D00"},  {"[x].D??", "[x].D01"},
                 {"a\\b.D??", "a\\b.D01"}, {"*X", "C.D00X"}, {"*.D99", ""},   {"B.D0", ""}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.Pattern);
        char name[32] = {0};
        long error = OsFindFirst(Path(c.Pattern).c_str(), name, sizeof name);
        if (*c.First) {
            EXPECT_EQ(error, 0);
            EXPECT_STREQ(name, c.First);
        } else {
            EXPECT_EQ(error, OS_FILE_NOT_FOUND);
        }
    }
    char small[8];
    memset(small, 'Q', sizeof small);
    EXPECT_EQ(OsFindFirst(Path("*00X").c_str(), small, 6), ENAMETOOLONG);
    EXPECT_EQ(small[6], 'Q');
}

TEST_F(Scratch, TimesAndTheReadOnlyAttribute)
{
    const uint64_t epoch = 116444736000000000ULL;
    // (FILETIME of the last write, seconds and nanoseconds it must give)
    const struct {
        uint64_t Ticks;
        long long Seconds;
        long Nanoseconds;
    } cases[] = {{epoch + 12345678901234567ULL, 1234567890, 123456700},
                 {epoch, 0, 0},
                 {epoch - 5, -1, 999999500},
                 {epoch - 20000000ULL, -2, 0}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.Ticks);
        unlink(Path("T.DAT").c_str());
        OsFile file = 0;
        ASSERT_EQ(OsCreateNew(Path("T.DAT").c_str(), &file), 0);
        FileTime write = {(uint32_t)c.Ticks, (uint32_t)(c.Ticks >> 32)};
        FileTime untouched = {0, 0};
        struct stat before;
        ASSERT_EQ(stat(Path("T.DAT").c_str(), &before), 0);
        ASSERT_EQ(OsSetTimes(file, &write, &untouched, &write), 0);
        ASSERT_EQ(OsClose(file), 0);
        struct stat after;
        ASSERT_EQ(stat(Path("T.DAT").c_str(), &after), 0);
        EXPECT_EQ((long long)after.st_mtim.tv_sec, c.Seconds);
        EXPECT_EQ(after.st_mtim.tv_nsec, c.Nanoseconds);
        EXPECT_EQ(after.st_atim.tv_sec, before.st_atim.tv_sec); // 0 leaves it as it was
    }

    // (attributes, whether write permission remains)
    const struct {
        uint32_t Attributes;
        bool Writable;
    } attributes[] = {{0x20, true}, {0x02 | 0x04, true}, {0x01, false}, {0x21 | 0x02, false}};
    for (const auto &c : attributes) {
        SCOPED_TRACE(c.Attributes);
        ASSERT_EQ(chmod(Path("T.DAT").c_str(), 0664), 0);
        ASSERT_EQ(OsSetAttributes(Path("T.DAT").c_str(), c.Attributes), 0);
        struct stat info;
        ASSERT_EQ(stat(Path("T.DAT").c_str(), &info), 0);
        EXPECT_EQ((info.st_mode & 0222) != 0, c.Writable);
        EXPECT_EQ(info.st_mode & 0555, 0444u);
    }
}

TEST_F(Scratch, CurrentFolderNeverPassesItsBuffer)
{
    char buffer[8];
    memset(buffer, 'Q', sizeof buffer);
    ASSERT_EQ(chdir(folder_.c_str()), 0);
    EXPECT_EQ(OsCurrentFolder(buffer, 4), ERANGE);
    EXPECT_EQ(memcmp(buffer + 4, "QQQQ", 4), 0);
    char full[261];
    ASSERT_EQ(OsCurrentFolder(full, sizeof full), 0);
    EXPECT_EQ(full, folder_);
    ASSERT_EQ(chdir("/"), 0);
}

} // namespace
