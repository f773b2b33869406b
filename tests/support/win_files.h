// Files for the engine's tests under Wine: a scratch folder per test, removed
// with everything in it, and whole-file reads and writes.
#ifndef DORVANE_TESTS_WIN_FILES_H
#define DORVANE_TESTS_WIN_FILES_H

#include <windows.h>

#include <stdio.h>

#include <algorithm>
#include <string>
#include <vector>

namespace testfiles {

// Deletes a folder and all it holds, read-only files included.
inline void RemoveTree(const std::string &folder)
{
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((folder + "\\*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            std::string name = found.cFileName;
            if (name == "." || name == "..")
                continue;
            std::string path = folder + "\\" + name;
            SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                RemoveTree(path);
            else
                DeleteFileA(path.c_str());
        } while (FindNextFileA(search, &found));
        FindClose(search);
    }
    RemoveDirectoryA(folder.c_str());
}

// A new empty folder under the temporary folder (or under parent, a folder
// given with its trailing backslash), gone when this is.
class ScratchFolder {
public:
    explicit ScratchFolder(const char *tag, const char *parent = nullptr)
    {
        static unsigned serial;
        char base[MAX_PATH];
        if (parent)
            snprintf(base, sizeof base, "%s", parent);
        else
            GetTempPathA(sizeof base, base);
        char name[MAX_PATH];
        snprintf(name, sizeof name, "%sdorvane-%s-%lu-%u", base, tag, GetCurrentProcessId(),
                 ++serial);
        path_ = name;
        RemoveTree(path_);
        CreateDirectoryA(path_.c_str(), NULL);
    }
    ~ScratchFolder() { RemoveTree(path_); }
    const std::string &Path() const { return path_; }
    // The folder with its trailing backslash, as a destination is given.
    std::string Slash() const { return path_ + "\\"; }
    std::string operator/(const std::string &name) const { return path_ + "\\" + name; }

private:
    std::string path_;
};

inline bool Exists(const std::string &path)
{
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// The names in a folder, sorted.
inline std::vector<std::string> Listing(const std::string &folder)
{
    std::vector<std::string> names;
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((folder + "\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return names;
    do {
        std::string name = found.cFileName;
        if (name != "." && name != "..")
            names.push_back(name);
    } while (FindNextFileA(search, &found));
    FindClose(search);
    std::sort(names.begin(), names.end());
    return names;
}

inline std::string ReadAll(const std::string &path)
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

inline void WriteAll(const std::string &path, const std::string &data)
{
    FILE *f = fopen(path.c_str(), "wb");
    if (!f)
        return;
    fwrite(data.data(), 1, data.size(), f);
    fclose(f);
}

// Bytes that differ from portion to portion and from one size to the next,
// so that a misplaced or repeated run shows.
inline std::string Pattern(size_t size, unsigned seed = 1)
{
    std::string data(size, '\0');
    unsigned state = seed * 2654435761u + 12345;
    for (size_t i = 0; i < size; i++) {
        state = state * 1103515245u + 12345;
        data[i] = (char)(state >> 16);
    }
    return data;
}

// The built joiner, as a Windows path: the build passes its Linux path.
inline std::string BuiltJoinerPath()
{
    std::string path = std::string("Z:") + KELMORIX_BUILD_PATH;
    for (char &c : path)
        if (c == '/')
            c = '\\';
    return path;
}

} // namespace testfiles

#endif
