// CRC-32 as the checksum lists carry it: the reflected polynomial 0xEDB88320,
// starting from all ones and inverted at the end, so that "123456789" gives
// CBF43926 (the CRC of zlib, PNG and SFV files).
//
// Two ways to compute it, chosen once at run time: carry-less multiplication
// folding where the processor has PCLMULQDQ and SSE4.1, else slicing-by-8
// tables. The tables are built at first use (8 KiB of zeroed data, not of
// the program's image), and the folding code is compiled for those
// instructions alone, so the rest of the build needs no processor flags.
//
// Portable code: no operating-system calls.
//
// Reading a portion once gives both checksums a set needs: hash the header
// and the data separately, then
//   portion file's CRC = Crc32Combine(headerCrc, dataCrc, dataLength)
//   sliced file's CRC  = Crc32Combine(dataSoFar, dataCrc, dataLength)
#ifndef DORVANE_CRC32_H
#define DORVANE_CRC32_H

#include <stddef.h>
#include <stdint.h>

enum Crc32Method {
    CRC32_TABLE = 0,    // slicing-by-8, everywhere
    CRC32_CARRYLESS = 1 // PCLMULQDQ folding, where the processor has it
};

// The CRC of the bytes seen so far followed by data[0..length). Start with
// crc 0 (the CRC of no bytes); the result is the finished CRC of all of them
// and can be fed back in for the next buffer.
uint32_t Crc32Update(uint32_t crc, const void *data, size_t length);

// The CRC of A followed by B, from the CRC of A, the CRC of B and B's length
// in bytes. Costs some hundred steps per bit of lengthB, whatever its size.
uint32_t Crc32Combine(uint32_t crcA, uint32_t crcB, uint64_t lengthB);

// The method Crc32Update uses on this processor.
int Crc32Method(void);

// Crc32Update by the given method; CRC32_CARRYLESS where the processor lacks
// it computes by table. For the tests and the speed measurement.
uint32_t Crc32UpdateBy(int method, uint32_t crc, const void *data, size_t length);

// Builds the tables and looks at the processor. Every function above calls
// it itself; a program that hashes on two threads at once calls it first.
void Crc32Setup(void);

#endif
