// The read pipe on the real platform layer: runs of a file read and hashed
// on its thread come back whole, in order, with their CRC; a file that ends
// early is said; a run given up goes no further, and a pipe stopped in the
// middle of a run ends.
#include <gtest/gtest.h>

#include <string>

#include "integrity/crc32.h"
#include "integrity/read_pipe.h"
#include "os/files.h"
#include "scratch.h"

namespace {

class ReadPipeTest : public Scratch {};

std::string Noise(size_t size)
{
    std::string data(size, 0);
    uint32_t x = 7;
    for (size_t i = 0; i < size; i++)
        data[i] = (char)((x = x * 1103515245u + 12345u) >> 16);
    return data;
}

TEST_F(ReadPipeTest, RunsComeBackWholeWithTheirCrc)
{
    // Runs of no bytes, a part of a block, blocks and a tail, and one run
    // past the file's end.
    const size_t block = READ_PIPE_BLOCK;
    const std::string data = Noise(5 * block + 777);
    const uint64_t runs[] = {0, 1, block - 1, 3 * block + 5, block + 771};
    FILE *f = fopen(Path("in").c_str(), "wb");
    ASSERT_TRUE(f && fwrite(data.data(), 1, data.size(), f) == data.size());
    fclose(f);
    OsFile file;
    ASSERT_EQ(OsOpenRead(Path("in").c_str(), &file), 0);
    ReadPipe *pipe = ReadPipeStart();
    ASSERT_TRUE(pipe);
    size_t at = 0;
    for (uint64_t run : runs) {
        std::string got;
        const unsigned char *bytes;
        uint32_t length;
        long error;
        ReadPipeAsk(pipe, file, run);
        while ((bytes = ReadPipeNext(pipe, &length, &error))) {
            EXPECT_LE(length, (uint32_t)block);
            got.append((const char *)bytes, length);
        }
        EXPECT_EQ(error, 0) << run;
        EXPECT_EQ(got, data.substr(at, run)) << run;
        EXPECT_EQ(ReadPipeCrc(pipe), Crc32Update(0, got.data(), got.size())) << run;
        at += run;
    }
    // The file has 6 bytes left: a run of 10 ends early, saying so.
    std::string got;
    const unsigned char *bytes;
    uint32_t length;
    long error;
    ReadPipeAsk(pipe, file, 10);
    while ((bytes = ReadPipeNext(pipe, &length, &error)))
        got.append((const char *)bytes, length);
    EXPECT_EQ(error, OS_SOURCE_ENDED);
    EXPECT_EQ(got, "");
    // A run given up in its middle leaves the pipe ready for the next.
    ASSERT_EQ(OsSeek(file, 0), 0);
    ReadPipeAsk(pipe, file, data.size());
    ASSERT_TRUE(ReadPipeNext(pipe, &length, &error));
    ReadPipeCancel(pipe);
    ASSERT_EQ(OsSeek(file, 0), 0);
    got.clear();
    ReadPipeAsk(pipe, file, block + 3);
    while ((bytes = ReadPipeNext(pipe, &length, &error)))
        got.append((const char *)bytes, length);
    EXPECT_EQ(error, 0);
    EXPECT_EQ(got, data.substr(0, block + 3));
    EXPECT_EQ(ReadPipeCrc(pipe), Crc32Update(0, got.data(), got.size()));
    // Stopped in the middle of a long run, the pipe ends without reading on.
    ASSERT_EQ(OsSeek(file, 0), 0);
    ReadPipeAsk(pipe, file, data.size());
    ASSERT_TRUE(ReadPipeNext(pipe, &length, &error));
    ReadPipeStop(pipe);
    OsClose(file);
}

} // namespace
