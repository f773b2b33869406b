// The other programs some tests check our files with (Debian's cksfv, rhash
// and par2, which scripts/bootstrap installs), found on PATH. A test that
// needs one is skipped without it, but fails under CI=true: CI must not pass
// without what the test checks.
#ifndef DORVANE_TESTS_HOST_TOOLS_H
#define DORVANE_TESTS_HOST_TOOLS_H

#include <gtest/gtest.h>

#include <stdlib.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

namespace hosttools {

// The full path of the program name in the first folder of PATH that holds
// it as an executable file; "" when none does.
inline std::string FindTool(const char *name)
{
    const char *path = getenv("PATH");
    std::string folders = path ? path : "";
    for (size_t start = 0; start <= folders.size();) {
        size_t end = folders.find(':', start);
        if (end == std::string::npos)
            end = folders.size();
        std::string folder = folders.substr(start, end - start);
        std::string file = (folder.empty() ? "." : folder) + "/" + name;
        struct stat about;
        if (stat(file.c_str(), &about) == 0 && S_ISREG(about.st_mode) &&
            access(file.c_str(), X_OK) == 0)
            return file;
        start = end + 1;
    }
    return "";
}

// Whether this is CI's run (CI=true), where every such tool must be there.
inline bool UnderCi()
{
    const char *ci = getenv("CI");
    return ci && strcasecmp(ci, "true") == 0;
}

} // namespace hosttools

// In a test body or SetUp(): sets path (a std::string) to the tool's full
// path, or ends the test, skipped, or failed under CI=true, naming the tool.
#define NEED_TOOL(path, name)                                                              \
    do {                                                                                   \
        (path) = hosttools::FindTool(name);                                                \
        if ((path).empty()) {                                                              \
            if (hosttools::UnderCi())                                                      \
                FAIL() << (name) << " is not installed, and CI needs it"                   \
                       << " (scripts/bootstrap installs it)";                              \
            GTEST_SKIP() << (name) << " is not installed (scripts/bootstrap installs it)"; \
        }                                                                                  \
    } while (0)

#endif
