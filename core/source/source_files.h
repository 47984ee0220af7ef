// The files a chosen source is read from, for the checks that keep every
// write away from them: a destination must neither be one of those files nor
// lie on the medium they are read from, however the source was named.
#pragma once

#include <string>
#include <vector>

#include "core/source/source_descriptor.h"
#include "platform/destination.h"
#include "platform/raw_io.h"

namespace zt {

// The device (or raw image file) of the selected slot, or every part of an
// image set that exists, as found in its folder. Empty when nothing is chosen.
[[nodiscard]] std::vector<std::string> SourceFiles(const SourceDescriptor& source, platform::RawIo& io);

// files followed by whatever their bytes are read from (a loop device's
// backing file, through partitions and device-mapper devices): writing to one
// of those files, or onto its medium, changes the source as surely.
[[nodiscard]] std::vector<std::string> WithFilesUnder(std::vector<std::string> files,
                                                      platform::Destination& destination);

// True when writing into folder would write onto the medium of one of the
// source's files: the disk, one of its partitions, the disk under a
// partition, or through LVM, dm-crypt or a loop device.
[[nodiscard]] bool DestinationOnSourceMedium(platform::Destination& destination, const std::string& folder,
                                             const SourceDescriptor& source, platform::RawIo& io);

}  // namespace zt
