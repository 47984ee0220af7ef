#include "core/source/source_selection.h"

#include <cctype>
#include <cerrno>
#include <utility>
#include <vector>

#include "platform/files.h"
#include "platform/path_kind.h"

namespace zt {

namespace {

bool EqualNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    }
    return true;
}

// Opens a path only to learn whether it can be read and how large it is; the
// reader opens its own descriptor later.
SourceChoice Probe(platform::RawIo& io, const std::string& path) {
    SourceChoice choice;
    const platform::OpenResult opened = io.Open(path);
    if (opened.handle < 0 && opened.error == EINVAL) {
        // Neither a regular file nor a block device (a FIFO, say): never read.
        choice.problem = SourceProblem::NotASource;
        choice.problemPath = path;
        return choice;
    }
    if (opened.handle < 0) return CannotOpenChoice(path, opened);
    const std::optional<std::uint64_t> size = io.Size(opened.handle);
    io.Close(opened.handle);
    if (!size) {
        choice.problem = SourceProblem::SizeUnknown;
        choice.problemPath = path;
        return choice;
    }
    choice.sizeBytes = *size;
    return choice;
}

// The name of an entry of folder numbered as a part above n, if there is one.
std::optional<std::string> PartBeyond(platform::RawIo& io, const std::string& folder, int n) {
    for (const std::string& name : io.ListFolder(folder)) {
        if (name.size() < 10 || !EqualNoCase(name.substr(0, 5), "image") ||
            !EqualNoCase(name.substr(name.size() - 4), ".img")) {
            continue;
        }
        const std::string digits = name.substr(5, name.size() - 9);
        if (digits.empty() || digits.size() > 9 || digits.front() == '0' ||
            digits.find_first_not_of("0123456789") != std::string::npos) {
            continue;
        }
        if (std::stoi(digits) > n) return name;
    }
    return std::nullopt;
}

SourceChoice ChooseImageSet(const std::string& folder, SourceDescriptor& source, platform::RawIo& io) {
    SourceChoice choice;
    std::vector<std::pair<std::string, std::uint64_t>> parts;  // path and size
    choice.kind = SourceKind::ImageSet;
    if (!io.FindEntryNoCase(folder, std::string(ImageFirstPartName))) {
        choice.problem = SourceProblem::NoImageInFolder;
        choice.problemPath = folder;
        return choice;
    }
    // Parts are numbered from 0; the first missing number ends the set, so a
    // part numbered beyond it would be silently left out.
    for (int n = 0;; ++n) {
        const std::optional<std::string> part = io.FindEntryNoCase(folder, ImageReadPartName(true, n));
        if (!part) {
            if (std::optional<std::string> later = PartBeyond(io, folder, n)) {
                choice.problem = SourceProblem::PartMissing;
                choice.problemPath = platform::JoinPath(folder, "Image" + std::to_string(n) + ".img");
                choice.laterPart = *later;
                return choice;
            }
            break;
        }
        SourceChoice probed = Probe(io, *part);
        if (!probed.Ok()) {
            probed.kind = SourceKind::ImageSet;
            return probed;
        }
        parts.emplace_back(*part, probed.sizeBytes);
        choice.sizeBytes += probed.sizeBytes;
        choice.imageParts = n + 1;
    }
    // Every part but the last holds exactly a part's sectors: the reader
    // finds sector s in part s / ImagePartSectors.
    for (std::size_t i = 0; i + 1 < parts.size(); ++i) {
        if (parts[i].second != ImagePartBytes) {
            choice.problem = SourceProblem::PartWrongSize;
            choice.problemPath = parts[i].first;
            choice.partBytes = parts[i].second;
            return choice;
        }
    }
    if (choice.sizeBytes == 0) {
        choice.problem = SourceProblem::EmptySource;
        choice.problemPath = folder;
        return choice;
    }
    source.ImageMode = true;
    source.ImageFolder = folder.ends_with('/') ? folder : folder + '/';
    // One part larger than a part can be is a single-file image; anything else
    // reads the same as numbered parts.
    source.ImageMultiFile = !(choice.imageParts == 1 && choice.sizeBytes > ImagePartBytes);
    return choice;
}

}  // namespace

SourceChoice CannotOpenChoice(const std::string& path, const platform::OpenResult& opened) {
    SourceChoice choice;
    choice.problem = SourceProblem::CannotOpen;
    choice.errnoValue = opened.error;
    choice.problemPath = path;
    choice.service = opened.service;
    choice.serviceDetail = opened.serviceDetail;
    return choice;
}

std::string ServiceRefusalText(const SourceChoice& choice) {
    if (choice.problem != SourceProblem::CannotOpen) return {};
    return platform::ServiceAccessText(choice.problemPath, choice.service, choice.serviceDetail);
}

SourceChoice ChooseSource(const std::string& path, SourceDescriptor& source, platform::RawIo& io) {
    const platform::PathInfo info = platform::InspectPath(path);
    SourceChoice choice;
    switch (info.kind) {
        case platform::PathKind::Missing:
            choice.problem = SourceProblem::Missing;
            choice.errnoValue = info.error;
            choice.problemPath = path;
            return choice;
        case platform::PathKind::Other:
            choice.problem = SourceProblem::NotASource;
            choice.problemPath = path;
            return choice;
        case platform::PathKind::Folder:
            return ChooseImageSet(path, source, io);
        case platform::PathKind::BlockDevice:
        case platform::PathKind::RegularFile:
            break;
    }
    choice = Probe(io, path);
    choice.kind = SourceKind::Device;
    if (!choice.Ok()) return choice;
    if (choice.sizeBytes == 0) {
        choice.problem = SourceProblem::EmptySource;
        choice.problemPath = path;
        return choice;
    }
    source.ImageMode = false;
    source.DeviceNames[0] = path;
    source.DeviceIndex = 0;
    return choice;
}

std::string ImageSetProblemText(const SourceChoice& choice) {
    switch (choice.problem) {
        case SourceProblem::PartMissing:
            return "the image set is incomplete: " + choice.problemPath + " is missing, but " + choice.laterPart +
                   " is there; the sectors after the gap would be read at the wrong place";
        case SourceProblem::PartWrongSize:
            return "the image set is damaged: " + choice.problemPath + " holds " + std::to_string(choice.partBytes) +
                   " bytes, but every part before the last must hold exactly " + std::to_string(ImagePartBytes) +
                   " bytes (" + std::to_string(ImagePartSectors) + " sectors)";
        default:
            return {};
    }
}

std::string_view ImagePathNotFoundMessage() { return "Image path not found. Please specify image path."; }

std::optional<std::uint64_t> ReadSectorNumber(std::string_view text) {
    if (text.empty()) return std::nullopt;
    std::uint64_t value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        // MaxRangeSector is far below 2^64 / 10, so the next step cannot overflow.
        value = value * 10 + static_cast<std::uint64_t>(c - '0');
        if (value > MaxRangeSector) return std::nullopt;
    }
    return value;
}

RangeProblem CheckRange(std::string_view startText, std::string_view endText, SourceDescriptor& source) {
    const std::optional<std::uint64_t> start = ReadSectorNumber(startText);
    const std::optional<std::uint64_t> end = ReadSectorNumber(endText);
    source.RangeStart = start.value_or(0);
    source.RangeEnd = end.value_or(0);
    if (!start) return RangeProblem::StartInvalid;
    if (!end) return RangeProblem::EndInvalid;
    if (*end <= *start) return RangeProblem::EndNotAfterStart;
    return RangeProblem::None;
}

std::string_view RangeProblemMessage(RangeProblem problem) {
    switch (problem) {
        case RangeProblem::StartInvalid: return "Start sector is not valid.";
        case RangeProblem::EndInvalid: return "End sector is not valid.";
        case RangeProblem::EndNotAfterStart: return "End sector should be bigger than start sector.";
        case RangeProblem::None: break;
    }
    return {};
}

}  // namespace zt
