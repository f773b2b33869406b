// The fuzz targets' scratch folders, removed with everything in them after
// each input and at exit. Linux only, as the targets are.
#ifndef DORVANE_FUZZ_REMOVE_TREE_H
#define DORVANE_FUZZ_REMOVE_TREE_H

#include <dirent.h>
#include <stdio.h>
#include <string.h>
#include <unistd.h>

static void RemoveTree(const char *path)
{
    char child[512];
    struct dirent *entry;
    DIR *dir = opendir(path);

    if (dir) {
        while ((entry = readdir(dir)) != NULL) {
            if (strcmp(entry->d_name, ".") == 0 || strcmp(entry->d_name, "..") == 0)
                continue;
            snprintf(child, sizeof child, "%s/%s", path, entry->d_name);
            RemoveTree(child);
        }
        closedir(dir);
        rmdir(path);
    } else {
        unlink(path);
    }
}

#endif
