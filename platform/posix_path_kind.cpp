#include <sys/stat.h>

#include <cerrno>

#include "platform/path_kind.h"

namespace zt::platform {

PathInfo InspectPath(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return {PathKind::Missing, errno};
    if (S_ISBLK(st.st_mode)) return {PathKind::BlockDevice, 0};
    if (S_ISREG(st.st_mode)) return {PathKind::RegularFile, 0};
    if (S_ISDIR(st.st_mode)) return {PathKind::Folder, 0};
    return {PathKind::Other, 0};
}

}  // namespace zt::platform
