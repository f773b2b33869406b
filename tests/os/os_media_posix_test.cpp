// The mount table and sysfs reading behind both Linux programs' test for a
// removable disk.
#include <gtest/gtest.h>

#include <string.h>
#include <unistd.h>

#include <string>

#include "os/media.h"
#include "scratch.h"

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
        OsMountEntry entry = {};
        ASSERT_EQ(OsParseMountLine(&line[0], &entry), c.Result);
        if (c.Result == 0) {
            EXPECT_EQ(entry.Major, c.Major);
            EXPECT_EQ(entry.Minor, c.Minor);
            EXPECT_STREQ(entry.MountPoint, c.MountPoint);
        }
    }
}

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
        EXPECT_EQ(OsIsRemovableMountPoint(c.Path, mountinfo.c_str(), sysfs.c_str()), c.Removable);
    }
    EXPECT_EQ(OsIsRemovableMountPoint("/media/floppy", Path("none").c_str(), sysfs.c_str()), 0);
    EXPECT_EQ(OsIsRemovableMountPoint("/media/floppy", mountinfo.c_str(), Path("none").c_str()), 0);
}

} // namespace
