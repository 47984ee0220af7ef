// What a path names, for choosing how a source is read.
#pragma once

#include <string>

namespace zt::platform {

enum class PathKind { Missing, BlockDevice, RegularFile, Folder, Other };

struct PathInfo {
    PathKind kind = PathKind::Missing;
    int error = 0;  // errno when the path could not be examined
};

// Follows symbolic links (/dev/disk/by-id/... names a block device).
PathInfo InspectPath(const std::string& path);

}  // namespace zt::platform
