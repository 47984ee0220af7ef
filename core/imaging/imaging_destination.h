// The checks made on the destination before an imaging run starts: the
// folder must exist and hold strictly more free bytes than the range needs.
#pragma once

#include <cstdint>
#include <string>

#include "core/source/source_descriptor.h"
#include "platform/destination_io.h"

namespace zt {

enum class DestinationCheck {
    Ok,
    PathNotFound,
    InsufficientSpace,
    // The destination folder holds the source itself: the copy would empty
    // the file it is reading.
    HoldsSource,
};

// Checks the destination folder for a copy of source's range.
[[nodiscard]] DestinationCheck CheckImagingDestination(platform::DestinationIo& io, const std::string& destination,
                                                       const SourceDescriptor& source);

// The message shown for a refusal; empty for Ok.
[[nodiscard]] std::string DestinationCheckMessage(DestinationCheck check);

}  // namespace zt
