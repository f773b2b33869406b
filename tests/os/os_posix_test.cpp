// The Linux platform layer's files and folders: the calls where a wrong
// answer would let a program replace a file, hang, or depend on the order
// of a folder's entries.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <string>

#include "os/console.h"
#include "os/files.h"
#include "os/process.h"
#include "scratch.h"

namespace {

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

TEST_F(Scratch, PathSizeCountsPast32BitsWithoutOpening)
{
    Write("SMALL", "12345");
    Write("BIG", "");
    ASSERT_EQ(truncate(Path("BIG").c_str(), 5000000000), 0); // sparse: no disk space taken
    ASSERT_EQ(symlink("BIG", Path("LINK").c_str()), 0);
    ASSERT_EQ(mkfifo(Path("FIFO").c_str(), 0644), 0); // no writer: an open would hang
    const struct {
        const char *Name;
        long Error;
        uint64_t Size;
    } cases[] = {{"SMALL", 0, 5}, {"BIG", 0, 5000000000}, {"LINK", 0, 5000000000},
                 {"FIFO", 0, 0}, {"NONE", OS_FILE_NOT_FOUND, 7}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.Name);
        uint64_t size = 7;
        EXPECT_EQ(OsPathSize(Path(c.Name).c_str(), &size), c.Error);
        EXPECT_EQ(size, c.Size);
    }
}

TEST_F(Scratch, WholeFileWriteReplacesOrCreates)
{
    Write("OLD.TXT", "a longer text than the new one");
    // (name, text, error): the new text alone remains, however long the old.
    const struct {
        const char *Name, *Text;
        long Error;
    } cases[] = {{"OLD.TXT", "new\n", 0}, {"NEW.TXT", "", 0}, {"NONE/X.TXT", "x", ENOENT}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.Name);
        EXPECT_EQ(OsWriteWholeFile(Path(c.Name).c_str(), c.Text, (uint32_t)strlen(c.Text)), c.Error);
        if (c.Error)
            continue;
        uint64_t size = 0;
        EXPECT_EQ(OsPathSize(Path(c.Name).c_str(), &size), 0);
        EXPECT_EQ(size, strlen(c.Text));
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

TEST_F(Scratch, SameFileIsWhatTheFileIs)
{
    Write("BIG.DAT", "x");
    Write("COPY.DAT", "x");
    ASSERT_EQ(link(Path("BIG.DAT").c_str(), Path("HARD.DAT").c_str()), 0);
    ASSERT_EQ(symlink(Path("BIG.DAT").c_str(), Path("SOFT.DAT").c_str()), 0);
    Folder("SUB");
    // (second name, error, same): names compared by the file they reach.
    const struct {
        std::string Other;
        long Error;
        int Same;
    } cases[] = {{Path("BIG.DAT"), 0, 1},         {Path("SUB/../BIG.DAT"), 0, 1},
                 {Path("HARD.DAT"), 0, 1},        {Path("SOFT.DAT"), 0, 1},
                 {Path("COPY.DAT"), 0, 0},        {Path("SUB"), 0, 0},
                 {Path("NONE.DAT"), OS_FILE_NOT_FOUND, 0}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.Other);
        int same = -1;
        EXPECT_EQ(OsSameFile(Path("BIG.DAT").c_str(), c.Other.c_str(), &same), c.Error);
        EXPECT_EQ(same, c.Same);
    }
}

TEST_F(Scratch, RenameOverReplacesInOneStep)
{
    Write("BIG.DAT", "old");
    Write("BIG.TMP", "new");
    ASSERT_EQ(OsRenameOver(Path("BIG.TMP").c_str(), Path("BIG.DAT").c_str()), 0);
    OsFile file = 0;
    EXPECT_EQ(OsOpenRead(Path("BIG.TMP").c_str(), &file), OS_FILE_NOT_FOUND);
    ASSERT_EQ(OsOpenRead(Path("BIG.DAT").c_str(), &file), 0);
    char text[8] = {0};
    uint32_t done = 0;
    EXPECT_EQ(OsRead(file, text, sizeof text, &done), 0);
    EXPECT_STREQ(text, "new");
    EXPECT_EQ(OsClose(file), 0);
    // A missing source leaves the name as it was.
    EXPECT_EQ(OsRenameOver(Path("NONE.TMP").c_str(), Path("BIG.DAT").c_str()), OS_FILE_NOT_FOUND);
    EXPECT_EQ(access(Path("BIG.DAT").c_str(), F_OK), 0);
}

// A name that is taken, by a file, a folder or a link whose target is
// missing, is never replaced; a free one is taken in one step.
TEST_F(Scratch, RenameNoReplaceTakesOnlyAFreeName)
{
    Write("TAKEN.DAT", "keep");
    Folder("DIR.DAT");
    ASSERT_EQ(symlink(Path("ELSEWHERE").c_str(), Path("LINK.DAT").c_str()), 0);
    Write("NEW.TMP", "new");
    for (const char *name : {"TAKEN.DAT", "DIR.DAT", "LINK.DAT"}) {
        SCOPED_TRACE(name);
        EXPECT_EQ(OsRenameNoReplace(Path("NEW.TMP").c_str(), Path(name).c_str()), OS_FILE_EXISTS);
    }
    EXPECT_EQ(Read("TAKEN.DAT"), "keep");
    EXPECT_NE(access(Path("ELSEWHERE").c_str(), F_OK), 0);
    OsFileId before, after;
    ASSERT_EQ(OsFileIdentity(Path("NEW.TMP").c_str(), &before), 0);
    ASSERT_EQ(OsRenameNoReplace(Path("NEW.TMP").c_str(), Path("FREE.DAT").c_str()), 0);
    EXPECT_NE(access(Path("NEW.TMP").c_str(), F_OK), 0);
    EXPECT_EQ(Read("FREE.DAT"), "new");
    // The same file under its new name; another one after a replacement.
    ASSERT_EQ(OsFileIdentity(Path("FREE.DAT").c_str(), &after), 0);
    EXPECT_TRUE(before.Volume == after.Volume && before.Index == after.Index);
    Write("OTHER.TMP", "other");
    ASSERT_EQ(OsRenameOver(Path("OTHER.TMP").c_str(), Path("FREE.DAT").c_str()), 0);
    ASSERT_EQ(OsFileIdentity(Path("FREE.DAT").c_str(), &after), 0);
    EXPECT_FALSE(before.Volume == after.Volume && before.Index == after.Index);
    EXPECT_EQ(OsFileIdentity(Path("NONE.DAT").c_str(), &after), OS_FILE_NOT_FOUND);
}

// Reading a piece from the middle; writing past the end leaves a gap that a
// later write fills (a rebuilt portion's place in the output).
TEST_F(Scratch, SeekReadsAPieceAndWritesPastTheEnd)
{
    Write("BIG.D01", "0123456789");
    OsFile file = 0;
    char text[8] = {0};
    uint32_t done = 9;
    ASSERT_EQ(OsOpenRead(Path("BIG.D01").c_str(), &file), 0);
    ASSERT_EQ(OsSeek(file, 7), 0);
    EXPECT_EQ(OsRead(file, text, sizeof text, &done), 0);
    EXPECT_STREQ(text, "789");
    ASSERT_EQ(OsSeek(file, 20), 0);
    EXPECT_EQ(OsRead(file, text, sizeof text, &done), 0);
    EXPECT_EQ(done, 0u);
    EXPECT_NE(OsSeek(file, UINT64_MAX), 0);
    EXPECT_EQ(OsClose(file), 0);

    ASSERT_EQ(OsCreateNew(Path("BIG.DAT").c_str(), &file), 0);
    EXPECT_EQ(OsWrite(file, "ab", 2, &done), 0);
    ASSERT_EQ(OsSeek(file, 5), 0);
    EXPECT_EQ(OsWrite(file, "fg", 2, &done), 0);
    ASSERT_EQ(OsSeek(file, 2), 0);
    EXPECT_EQ(OsWrite(file, "cde", 3, &done), 0);
    EXPECT_EQ(OsClose(file), 0);
    ASSERT_EQ(OsOpenRead(Path("BIG.DAT").c_str(), &file), 0);
    memset(text, 0, sizeof text);
    EXPECT_EQ(OsRead(file, text, sizeof text, &done), 0);
    EXPECT_STREQ(text, "abcdefg");
    EXPECT_EQ(OsClose(file), 0);
}

TEST(Console, TerminalsAreToldFromPipesAndFiles)
{
    int master = -1, slave = -1, pipes[2];
    ASSERT_EQ(openpty(&master, &slave, NULL, NULL, NULL), 0);
    ASSERT_EQ(pipe(pipes), 0);
    int file = open("/dev/null", O_WRONLY);
    EXPECT_EQ(OsIsTerminal(slave), 1);
    EXPECT_EQ(OsIsTerminal(pipes[1]), 0);
    EXPECT_EQ(OsIsTerminal(file), 0);
    EXPECT_EQ(OsIsTerminal(-1), 0);
    for (int fd : {master, slave, pipes[0], pipes[1], file})
        close(fd);
}

// In a child of its own session, the terminal a pseudo-terminal: keys typed
// before the flush are gone, the key typed after it is the one read. Without
// a terminal both calls say so. The child's exit status is the step that
// failed, 0 for none.
TEST(Console, TypedAheadKeysAreDropped)
{
    int master = -1, slave = -1, ready[2], go[2];
    ASSERT_EQ(openpty(&master, &slave, NULL, NULL, NULL), 0);
    ASSERT_EQ(pipe(ready), 0);
    ASSERT_EQ(pipe(go), 0);
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        char byte = 0;
        struct termios raw;
        struct pollfd typed = {slave, POLLIN, 0};
        setsid();
        if (OsFlushTypedAhead() != -1 || OsReadKey() != -1)
            _exit(1);
        if (ioctl(slave, TIOCSCTTY, 0) != 0 || tcgetattr(slave, &raw) != 0)
            _exit(2);
        cfmakeraw(&raw);
        tcsetattr(slave, TCSANOW, &raw);
        if (write(ready[1], "r", 1) != 1 || poll(&typed, 1, 5000) != 1)
            _exit(3);
        if (OsFlushTypedAhead() != 0)
            _exit(4);
        if (write(ready[1], "f", 1) != 1 || read(go[0], &byte, 1) != 1)
            _exit(5);
        _exit(OsReadKey() == 'x' ? 0 : 6);
    }
    close(slave);
    char byte = 0;
    ASSERT_EQ(read(ready[0], &byte, 1), 1);
    ASSERT_EQ(write(master, "yn", 2), 2);
    ASSERT_EQ(read(ready[0], &byte, 1), 1);
    ASSERT_EQ(write(master, "x", 1), 1);
    ASSERT_EQ(write(go[1], "g", 1), 1);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    for (int fd : {master, ready[0], ready[1], go[0], go[1]})
        close(fd);
}

} // namespace
