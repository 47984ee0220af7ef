// The checks made on the destination before an imaging run starts: the
// folder must exist, hold strictly more free bytes than the range needs, and
// lie neither among the source's files nor on the medium being copied.
#pragma once

#include <cstdint>
#include <string>

#include "core/source/source_descriptor.h"
#include "platform/destination.h"
#include "platform/raw_io.h"

namespace zt {

enum class DestinationCheck {
    Ok,
    PathNotFound,
    InsufficientSpace,
    // The destination folder holds the source itself: the copy would empty
    // the file it is reading.
    HoldsSource,
    // The folder lies on the disk being copied: the image would overwrite
    // the sectors it is made of.
    OnSourceMedium,
};

// Checks the destination folder for a copy of source's range; sourceIo finds
// the parts of an image set.
[[nodiscard]] DestinationCheck CheckImagingDestination(platform::Destination& io, const std::string& destination,
                                                       const SourceDescriptor& source, platform::RawIo& sourceIo);

// The message shown for a refusal; empty for Ok.
[[nodiscard]] std::string DestinationCheckMessage(DestinationCheck check);

}  // namespace zt
