#include "core/imaging/image_set.h"

#include "platform/files.h"

namespace zt {

std::string MakeImageBaseName(const std::string& destination) {
    return platform::JoinPath(destination, "Image.img");
}

std::string ImagePartName(const std::string& imageBaseName, std::uint64_t part) {
    const std::size_t keep = imageBaseName.size() >= 4 ? imageBaseName.size() - 4 : 0;
    return imageBaseName.substr(0, keep) + std::to_string(part) + ".img";
}

}  // namespace zt
