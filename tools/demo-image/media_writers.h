// Small, valid files of the common picture and sound formats, written from
// scratch so that the demo needs no outside tools: each begins the way the
// scan recognises its type and ends with that type's end marker or length.
#pragma once

#include <cstdint>
#include <vector>

namespace zt::demo {

using Bytes = std::vector<std::uint8_t>;

// Grey picture of flat 8x8 blocks (baseline JPEG with a JFIF header).
Bytes MakeJpeg(int width, int height, int seed);
Bytes MakePng(int width, int height, int seed);   // 8-bit grey, stored deflate
Bytes MakeGif(int width, int height, int seed);   // 128 greys, uncompressed LZW
Bytes MakeBmp(int width, int height, int seed);   // 24-bit
Bytes MakeTiff(int width, int height, int seed);  // little-endian, 8-bit grey, uncompressed
Bytes MakeWav(int milliseconds, int hertz);       // 16-bit mono PCM with a creation date
Bytes MakeAu(int milliseconds, int hertz);        // 16-bit big-endian PCM
Bytes MakeMidi(int notes);                        // one track

}  // namespace zt::demo
