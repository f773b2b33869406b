// The joiner's console against the in-memory layer: a run that Ctrl+C or
// SIGTERM stops in the copy or the check, a destination folder made, and
// the rule that keeps KELMORIX.EXE's window open.
#include <gtest/gtest.h>

#include <errno.h>
#include <string.h>

#include <string>

#include "format/slice_format.h"
#include "join/join.h"
#include "fake_os.h"

namespace {

// Four portions of 100 data bytes of BIG.DAT in /sets.
void MakeSet()
{
    ResetFakeOs();
    Fake.Folders = {"/sets", "/out"};
    for (unsigned n = 0; n < 4; n++) {
        PortionHeader h;
        unsigned char raw[PORTION_HEADER_SIZE];
        memset(&h, 0, sizeof h);
        h.FileSizeLow = 400;
        h.LastPortion = n == 3;
        StoreFileName(h.FileName, "BIG.DAT");
        EncodePortionHeader(&h, raw);
        std::string name = "/sets/BIG.D00";
        SetPortionNumber(&name[0], n);
        Fake.Files[name].Data = std::string((const char *)raw, sizeof raw) + std::string(100, 'a' + n);
    }
}

// Sets the signal that OsInterruption reports once operation first meets path.
void InterruptAt(const char *operation, const char *path, int signal)
{
    Fake.OnCall = [=](const std::string &op, const std::string &at) {
        if (op == operation && at == path)
            Fake.Interruption = signal;
    };
}

struct Said {
    int Code;
    std::string Text; // standard output, then standard error
};

template <typename Run> Said Capture(Run run)
{
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    int code = run();
    std::string text = testing::internal::GetCapturedStdout();
    return {code, text + testing::internal::GetCapturedStderr()};
}

} // namespace

TEST(JoinConsole, AnInterruptedJoinTakesItsOutputAway)
{
    // (where the signal comes, the signal, exit code)
    const struct {
        const char *Operation, *Path;
        int Signal, Code;
    } cases[] = {{"write", "/out/~KLM0001.TMP", 2, 130}, {"open", "/sets/BIG.D02", 15, 143}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.Path);
        MakeSet();
        InterruptAt(c.Operation, c.Path, c.Signal);
        Said run = Capture([] { return JoinSliceSet("/sets", "/out"); });
        EXPECT_EQ(run.Code, c.Code) << run.Text;
        EXPECT_NE(run.Text.find("Interrupted: nothing was written under BIG.DAT\n"), std::string::npos)
            << run.Text;
        EXPECT_EQ(run.Text.find("Error"), std::string::npos) << run.Text;
        EXPECT_EQ(Fake.Files.count("/out/~KLM0001.TMP"), 0u);
        EXPECT_EQ(Fake.Files.count("/out/BIG.DAT"), 0u);
        EXPECT_EQ(Fake.OpenFiles, 0);
    }
}

TEST(JoinConsole, AnInterruptedCheckSaysNothingMore)
{
    MakeSet();
    InterruptAt("open", "/sets/BIG.D02", 2);
    Said run = Capture([] { return JoinCheckSet("/sets"); });
    EXPECT_EQ(JoinInterruption(), 130);
    EXPECT_NE(run.Text.find("BIG.D01  ok\n"), std::string::npos) << run.Text;
    EXPECT_EQ(run.Text.find("BIG.D03"), std::string::npos) << run.Text;
    EXPECT_EQ(run.Text.find("BIG.DAT"), std::string::npos) << run.Text;
    EXPECT_EQ(Fake.OpenFiles, 0);
}

TEST(JoinConsole, AMissingDestinationIsMadeAndOneInTheWayIsAnError)
{
    // (destination, exit code, line said)
    const struct {
        const char *Folder;
        int Code;
        const char *Line;
    } cases[] = {{"/made", 0, "Made the folder /made\n"},
                 {"/out", 0, "BIG.DAT Successfully restored to /out\n"},
                 {"/sets/BIG.D00", 229, "Error making the folder /sets/BIG.D00: Not a directory (20)\n"}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.Folder);
        MakeSet();
        Said run = Capture([&] { return JoinSliceSet("/sets", c.Folder); });
        EXPECT_EQ(run.Code, c.Code) << run.Text;
        EXPECT_NE(run.Text.find(c.Line), std::string::npos) << run.Text;
        EXPECT_EQ(run.Text.find("Made the folder /out"), std::string::npos) << run.Text;
        EXPECT_EQ(Fake.Files.count(std::string(c.Folder) + "/BIG.DAT"), c.Code == 0 ? 1u : 0u);
    }
}

TEST(JoinConsole, TheWindowStaysOpenOnlyForAConsoleOfItsOwnWithKeys)
{
    // (processes sharing the console, standard input is the console, waits)
    const int cases[][3] = {{1, 1, 1}, {1, 0, 0}, {2, 1, 0}, {3, 1, 0}, {0, 1, 0}, {0, 0, 0}};
    for (const auto &c : cases)
        EXPECT_EQ(JoinKeepsWindowOpen(c[0], c[1]), c[2]) << c[0] << " " << c[1];
}
