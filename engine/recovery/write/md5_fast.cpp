// MD5 for the slicers' recovery data on Windows: md5.cpp in its fast form.
// The recovery library is built small there for KELMORIX.EXE, which only
// reads recovery data; the window's recovery step hashes the whole set and
// runs 1.3 to 1.7 times as fast with the steps written out. This object
// defines the same functions as md5.cpp's: a program linking the writer
// takes them from here (the linker looks in this library first, and then
// needs nothing from md5.cpp), and the joiner, which does not link the
// writer, keeps the small one.
#include "../md5.cpp"
