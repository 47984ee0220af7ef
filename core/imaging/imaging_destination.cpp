#include "core/imaging/imaging_destination.h"

#include "core/imaging/image_set.h"
#include "core/source/source_files.h"

namespace zt {

namespace {

// Would creating the parts in destination replace a file the reader reads?
bool DestinationHoldsSource(platform::Destination& io, const std::string& destination,
                            const SourceDescriptor& source, const std::vector<std::string>& sourceFiles) {
    if (source.ImageMode && io.SameFile(destination, source.ImageFolder)) return true;
    const std::string base = MakeImageBaseName(destination);
    // The whole range could not fit a part number beyond this bound anyway.
    const std::uint64_t span = source.RangeEnd > source.RangeStart ? source.RangeEnd - source.RangeStart : 0;
    const std::uint64_t parts = span / ImagePartSectors + 2;
    for (std::uint64_t part = 0; part < parts; ++part) {
        for (const std::string& file : sourceFiles) {
            if (io.SameFile(ImagePartName(base, part), file)) return true;
        }
    }
    return false;
}

}  // namespace

DestinationCheck CheckImagingDestination(platform::Destination& io, const std::string& destination,
                                         const SourceDescriptor& source, platform::RawIo& sourceIo) {
    if (destination.empty() || !io.IsFolder(destination)) return DestinationCheck::PathNotFound;
    // The source's own safety comes before the space: a smaller range would
    // not make either of those destinations right.
    const std::vector<std::string> files = WithFilesUnder(SourceFiles(source, sourceIo), io);
    if (DestinationHoldsSource(io, destination, source, files)) return DestinationCheck::HoldsSource;
    if (DestinationOnSourceMedium(io, destination, source, sourceIo)) return DestinationCheck::OnSourceMedium;
    const std::uint64_t sectors = source.RangeEnd > source.RangeStart ? source.RangeEnd - source.RangeStart : 0;
    const std::uint64_t need = sectors * kSectorSize;
    const std::uint64_t free = io.FreeBytes(destination).value_or(0);
    if (!(free > need)) return DestinationCheck::InsufficientSpace;
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
        case DestinationCheck::OnSourceMedium:
            return "The destination lies on the disk being copied: the image would overwrite it. Please change "
                   "destination path.";
    }
    return {};
}

}  // namespace zt
