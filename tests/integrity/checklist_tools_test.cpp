// The checksum list as other checkers read it: a list written for files in
// a scratch folder passes cksfv and rhash, and fails them once one byte of
// one file is changed.
#include <gtest/gtest.h>

#include <stdlib.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "host_tools.h"
#include "integrity/checklist.h"
#include "integrity/crc32.h"
#include "scratch.h"

namespace {

class ChecklistTools : public Scratch {
protected:
    // Runs a checker in the folder; its exit status.
    int Check(const char *command)
    {
        std::string line = "cd '" + folder_ + "' && " + command + " >/dev/null 2>&1";
        return system(line.c_str());
    }
    void WriteBytes(const std::string &name, const std::vector<unsigned char> &bytes)
    {
        FILE *f = fopen(Path(name).c_str(), "wb");
        ASSERT_TRUE(f);
        ASSERT_EQ(fwrite(bytes.data(), 1, bytes.size(), f), bytes.size());
        fclose(f);
    }
};

TEST_F(ChecklistTools, CksfvAndRhashAcceptTheListAndFindADamagedFile)
{
    std::string cksfvTool, rhashTool;
    NEED_TOOL(cksfvTool, "cksfv");
    NEED_TOOL(rhashTool, "rhash");
    for (const char *source : {"BIG.DAT", "my data.bin"}) {
        const unsigned portions = 3;
        const size_t sizes[portions] = {1000, 70000, 1};
        std::vector<std::vector<unsigned char>> files;
        uint32_t crcs[portions], data = 0, state = 5;
        uint64_t total = 0;
        char name[FILE_NAME_FIELD];
        for (unsigned n = 0; n < portions; n++) {
            std::vector<unsigned char> bytes(sizes[n]);
            for (auto &b : bytes)
                b = (unsigned char)((state = state * 1103515245u + 12345u) >> 16);
            crcs[n] = Crc32Update(0, bytes.data(), bytes.size());
            data = Crc32Combine(data, crcs[n], bytes.size());
            total += bytes.size();
            strcpy(name, source);
            SetPortionNumber(name, n);
            WriteBytes(name, bytes);
            files.push_back(bytes);
        }
        ChecklistSet set = {"1.0.0", source, total, data, portions, crcs};
        std::vector<unsigned char> list(ChecklistSize(&set));
        ASSERT_EQ(ChecklistWrite(&set, (char *)list.data(), list.size()), list.size());
        char listName[FILE_NAME_FIELD];
        ASSERT_EQ(ChecklistName(source, listName), 0);
        WriteBytes(listName, list);

        std::string cksfv = "'" + cksfvTool + "' -f '" + listName + "'";
        std::string rhash = "'" + rhashTool + "' -c '" + listName + "'";
        EXPECT_EQ(Check(cksfv.c_str()), 0) << source;
        EXPECT_EQ(Check(rhash.c_str()), 0) << source;
        strcpy(name, source);
        SetPortionNumber(name, 1);
        files[1][40000] ^= 0x10;
        WriteBytes(name, files[1]);
        EXPECT_NE(Check(cksfv.c_str()), 0) << source;
        EXPECT_NE(Check(rhash.c_str()), 0) << source;
    }
}

} // namespace
