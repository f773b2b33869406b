// The joiner program a Linux build carries: KELMORIX.EXE, cross-compiled
// during the build and turned into this array (EmbeddedJoinerSize is 0 in a
// build made without the cross compiler).
#ifndef DORVANE_EMBEDDED_JOINER_H
#define DORVANE_EMBEDDED_JOINER_H

#include <stdint.h>

extern const unsigned char EmbeddedJoiner[];
extern const uint32_t EmbeddedJoinerSize;

#endif
