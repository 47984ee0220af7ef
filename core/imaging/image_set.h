// Names and sizes of an image set: the raw copy of a sector range kept as
// one file, Image0.img, or as numbered parts Image0.img, Image1.img, ...
#pragma once

#include <cstdint>
#include <string>

#include "core/source/source_descriptor.h"

namespace zt {

// Sectors read and written per step of the copy (4,096 bytes).
inline constexpr std::uint32_t ImagingChunkSectors = 8;

// The destination folder, a separator when it lacks one, then "Image.img".
std::string MakeImageBaseName(const std::string& destination);

// The base name with ".img" replaced by the part number and ".img":
// /dest/Image.img and 2 give /dest/Image2.img.
std::string ImagePartName(const std::string& imageBaseName, std::uint64_t part);

}  // namespace zt
