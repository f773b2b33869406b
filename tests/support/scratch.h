// A scratch folder for the tests of the Linux layers, removed with
// everything in it after each test.
#ifndef DORVANE_TESTS_SCRATCH_H
#define DORVANE_TESTS_SCRATCH_H

#include <gtest/gtest.h>

#include <stdio.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <string>

namespace {

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
    std::string Read(const std::string &name)
    {
        std::string text;
        FILE *f = fopen(Path(name).c_str(), "rb");
        for (int c; f && (c = fgetc(f)) != EOF;)
            text += (char)c;
        if (f)
            fclose(f);
        return text;
    }
    void Folder(const std::string &name) { ASSERT_EQ(mkdir(Path(name).c_str(), 0755), 0); }
    std::string folder_;
};

} // namespace

#endif
