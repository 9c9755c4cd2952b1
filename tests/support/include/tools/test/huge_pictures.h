#pragma once
// Picture files that declare a huge picture and hold every byte its size
// needs, in as few bytes as their run-length or block coding allows: what
// the decode budget is tested with. Every pixel has the same value.

#include <string>

namespace tools::test {

// An 8-bit grey run-length TGA (type 11), top row first: packets of 128
// pixels, the last one shorter.
std::string long_run_tga(int width, int height);

// An 8-bit PCX: rows of `width` bytes (no padding byte) coded as runs of 63
// across row ends, then the palette marker and a grey palette.
std::string long_run_pcx(int width, int height);

// A DXT1 DDS file of `levels` mip levels, their blocks all zero.
std::string dxt1_dds(int width, int height, int levels);

}  // namespace tools::test
