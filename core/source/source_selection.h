// Choosing the source and the sector range before a scan or an imaging run:
// what a path is (device, raw image file, or image-set folder), whether it can
// be read, how large it is, and whether a typed range is acceptable.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "core/source/source_descriptor.h"
#include "platform/raw_io.h"

namespace zt {

// The first part of an image set; a folder without it holds no image.
inline constexpr std::string_view ImageFirstPartName = "Image0.img";
// The largest sector number a range may name: its byte position must still
// fit in a file offset (2^63 - 1 bytes), so any disk can be read to its end.
inline constexpr std::uint64_t MaxRangeSector = 0x7FFF'FFFF'FFFF'FFFFULL / kSectorSize;

enum class SourceKind { Device, ImageSet };

enum class SourceProblem {
    None,
    Missing,           // nothing at that path (errnoValue says why)
    NotASource,        // neither a block device, a regular file nor a folder
    NoImageInFolder,   // a folder without Image0.img
    CannotOpen,        // exists but cannot be opened for reading (errnoValue)
    SizeUnknown,       // opened, but its size cannot be found
    PartMissing,       // an image set skips a part number: problemPath names the missing part
    PartWrongSize,     // a part before the last is not exactly ImagePartBytes long (problemPath)
    EmptySource,       // the source holds no sector at all
};

struct SourceChoice {
    SourceProblem problem = SourceProblem::None;
    int errnoValue = 0;
    std::string problemPath;  // the file that failed (an image part, for an image set)
    SourceKind kind = SourceKind::Device;
    std::uint64_t sizeBytes = 0;
    int imageParts = 0;
    std::string laterPart;          // PartMissing: a part found after the gap
    std::uint64_t partBytes = 0;    // PartWrongSize: the part's size
    // For CannotOpen of a device the user may not read: what the system's
    // disk service answered, and its own words.
    platform::ServiceAccess service = platform::ServiceAccess::NotAsked;
    std::string serviceDetail{};

    bool Ok() const { return problem == SourceProblem::None; }
    // Whole sectors, counting a last partial sector of a file as one.
    std::uint64_t SizeSectors() const { return (sizeBytes + kSectorSize - 1) / kSectorSize; }
};

// The CannotOpen choice for a failed open of path.
SourceChoice CannotOpenChoice(const std::string& path, const platform::OpenResult& opened);
// The refusal a page shows for a device the disk service did not open, for
// example "reading /dev/sdb needs administrator rights; access was not
// granted"; empty when the service was not asked.
std::string ServiceRefusalText(const SourceChoice& choice);

// Examines path and, when it can be read, points the descriptor at it:
// a block device or a regular file goes into device slot 0; a folder holding
// an image set switches to image mode, read as one file only when it holds
// exactly one part larger than a part's normal size. The range is left alone.
// An image set must number its parts without a gap, and every part but the
// last must hold exactly ImagePartSectors sectors: otherwise later parts'
// sectors would be read at the wrong place, or not at all. Only regular
// files and block devices are opened; a source without a sector is refused.
[[nodiscard]] SourceChoice ChooseSource(const std::string& path, SourceDescriptor& source, platform::RawIo& io);

// Why an image set cannot be read as one, naming the part, for PartMissing
// and PartWrongSize; empty for any other problem.
std::string ImageSetProblemText(const SourceChoice& choice);

// The message a folder without an image set gets.
std::string_view ImagePathNotFoundMessage();

enum class RangeProblem { None, StartInvalid, EndInvalid, EndNotAfterStart };

// A decimal sector number as typed: digits only, at most MaxRangeSector.
std::optional<std::uint64_t> ReadSectorNumber(std::string_view text);

// Stores the typed range in the descriptor (as the range fields are filled
// before they are checked) and reports the first problem, in the order
// start, end, order.
[[nodiscard]] RangeProblem CheckRange(std::string_view startText, std::string_view endText,
                                      SourceDescriptor& source);
std::string_view RangeProblemMessage(RangeProblem problem);

}  // namespace zt
