// Which files a PAR2 file describes, for the slicers: they remove the
// recovery files of a set they replace, and only those, decided by what the
// files say rather than by their names. Through the platform layer; the
// joiners do not link it.
#ifndef DORVANE_PAR2_DESCRIBE_H
#define DORVANE_PAR2_DESCRIBE_H

#include <stdint.h>

#include "os/os.h"

// Called with the name (zero-terminated, bytes as stored) of each intact
// file description met.
typedef void (*Par2NameSeen)(void *context, const char *name);

// Par2DescribedFiles: reads the open file, size bytes long, packet by packet
// from its start: each packet's header, and the body of a file description
// (whose MD5 is checked before its name counts); other packets, recovery
// blocks above all, are passed over unread. Stops at the end, at the first
// bytes that are no packet (damage, or not PAR2), or after a few thousand
// packets. Returns 0 when it read packets up to the end of the file, 1 when
// it stopped before, or the error of a read.
long Par2DescribedFiles(OsFile file, uint64_t size, Par2NameSeen seen, void *context);

#endif
