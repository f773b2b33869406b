// What repair.cpp lends repair_rebuild.cpp: the recovery library's own,
// not part of repair.h.
#ifndef DORVANE_REPAIR_PARTS_H
#define DORVANE_REPAIR_PARTS_H

#include "os/os.h"
#include "repair.h"
#include "rs_decode.h"

// Opens the folder's file `name`, its length in *length. Returns 0 or the
// error.
long RepairOpenIn(RepairSet *s, const char *name, OsFile *file, uint64_t *length);

// count bytes at offset of an open file into `to`. Returns 0 or the error
// (OS_SOURCE_ENDED when the file ends first).
long RepairReadAt(OsFile file, uint64_t offset, unsigned char *to, uint32_t count);

// A choice of count blocks whose system can be solved, begun in d, the
// blocks' indexes in chosen[0..count); 0 when none of those tried can.
int RepairChoose(const RepairSet *s, const unsigned *lost, unsigned count, RsDecoder *d,
                 unsigned *chosen);

#endif
