#include "core/imaging/imaging_destination.h"

#include "core/imaging/image_set.h"

namespace zt {

namespace {

// Would creating the parts in destination replace a file the reader reads?
bool DestinationHoldsSource(platform::DestinationIo& io, const std::string& destination,
                            const SourceDescriptor& source) {
    if (source.ImageMode) return io.SameFile(destination, source.ImageFolder);
    const std::string& device = source.SelectedDevice();
    if (device.empty()) return false;
    const std::string base = MakeImageBaseName(destination);
    // A raw image file read like a device may itself be named like a part. The
    // whole range could not fit a part number beyond this bound anyway.
    const std::uint64_t span = source.RangeEnd > source.RangeStart ? source.RangeEnd - source.RangeStart : 0;
    const std::uint64_t parts = span / ImagePartSectors + 2;
    for (std::uint64_t part = 0; part < parts; ++part) {
        if (io.SameFile(ImagePartName(base, part), device)) return true;
    }
    return false;
}

}  // namespace

DestinationCheck CheckImagingDestination(platform::DestinationIo& io, const std::string& destination,
                                         const SourceDescriptor& source) {
    if (destination.empty() || !io.IsFolder(destination)) return DestinationCheck::PathNotFound;
    const std::uint64_t sectors = source.RangeEnd > source.RangeStart ? source.RangeEnd - source.RangeStart : 0;
    const std::uint64_t need = sectors * kSectorSize;
    const std::uint64_t free = io.FreeBytes(destination).value_or(0);
    if (!(free > need)) return DestinationCheck::InsufficientSpace;
    if (DestinationHoldsSource(io, destination, source)) return DestinationCheck::HoldsSource;
    return DestinationCheck::Ok;
}

std::string DestinationCheckMessage(DestinationCheck check) {
    switch (check) {
        case DestinationCheck::Ok:
            return {};
        case DestinationCheck::PathNotFound:
            return "Image path not found. Please specify image path.";
        case DestinationCheck::InsufficientSpace:
            return "Insufficient free space on destination. Please change destination path.";
        case DestinationCheck::HoldsSource:
            return "The destination holds the source being copied. Please change destination path.";
    }
    return {};
}

}  // namespace zt
