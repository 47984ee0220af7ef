// A source as a value: which drive, disk, image set or file the user chose,
// and the sector range to read from it. Core describes a source (the lines
// the source page shows) and chooses it (points the descriptor at it and
// returns what the run header needs), without knowing how either front end
// names it: the words of the tree live with the pages.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "core/source/device_enumeration.h"
#include "core/source/source_descriptor.h"
#include "core/source/source_selection.h"
#include "platform/path_kind.h"
#include "platform/raw_io.h"

namespace zt {

// A logical drive by its kernel name ("sdb1").
struct LogicalDriveRef {
    std::string name;
    bool operator==(const LogicalDriveRef&) const = default;
};
// A disk devquery listed under the device key, by its number.
struct DiskRef {
    int number = 0;
    bool operator==(const DiskRef&) const = default;
};
// An image set, by the path of its first part (folder + "/Image0.img").
struct ImageSetRef {
    std::string firstPart;
    // The folder that holds the parts, with its closing '/'.
    std::string Folder() const;
    bool operator==(const ImageSetRef&) const = default;
};
// A disk image file (card.dd), read as a disk whose device is the file.
struct RawImageRef {
    std::string path;
    bool operator==(const RawImageRef&) const = default;
};
// A device no listing reported, read by its own path like a disk.
struct DevicePathRef {
    std::string path;
    bool operator==(const DevicePathRef&) const = default;
};

// One alternative per kind of source. A file system inside one of them will
// be one more alternative, naming its container; std::visit makes every
// place that handles sources say what it does with it.
using SourceRef = std::variant<LogicalDriveRef, DiskRef, ImageSetRef, RawImageRef, DevicePathRef>;

// One function per kind for std::visit, so that a kind left out does not compile.
template <typename... Fns>
struct Overloaded : Fns... {
    using Fns::operator()...;
};
// Spelled out for compilers that do not yet deduce an aggregate's arguments.
template <typename... Fns>
Overloaded(Fns...) -> Overloaded<Fns...>;

// The image set whose folder the user picked, or nullopt when the folder holds
// no first part (the caller then shows ImagePathNotFoundMessage()).
std::optional<ImageSetRef> ImageSetInFolder(const std::string& folder, platform::RawIo& io);

// The sector range to read: the whole source as described, or the two
// numbers as typed. The typed texts are kept, since the run header shows
// them as given; CheckRange reads and checks them.
struct SourceRange {
    bool whole = true;
    std::string startText;
    std::string endText;

    static SourceRange Whole() { return {}; }
    static SourceRange Typed(std::string_view start, std::string_view end) {
        return {false, std::string(start), std::string(end)};
    }
};

struct SelectionContext {
    DeviceRegistry& registry;
    DriveProbe& drives;
    platform::RawIo& io;
};

// What a source shows: its information lines and its whole range, or, for
// an image that can no longer be read, the reason (the lines stay empty).
struct SourceDescription {
    SourceInformation info;
    std::optional<SourceChoice> problem;
};

// Describes a source: a drive or disk its lines and range; an image set or a
// raw image file is examined, registered as a pseudo-disk under the device
// key and given that disk's lines (an image that cannot be registered keeps
// no lines, so its range is refused as for a drive that cannot be
// described). As a selection always has, it sets the descriptor's image
// mode: a readable image set is pointed at (single file or numbered parts),
// any other source leaves image mode. The device slots are ChooseSourceRef's.
SourceDescription DescribeSource(const SourceRef& ref, SelectionContext& context, SourceDescriptor& source);

// The path that is read for a source: a drive's device, the device devquery
// named for a disk, an image set's folder, a file's or device's own path.
// Empty when the drive or disk is not (or no longer) known.
std::string SourcePath(const SourceRef& ref, SelectionContext& context);

// What Next hands on about the chosen source: the activity log's run header
// is made from it with the front end's words.
struct ChosenSource {
    SourceRef ref;
    bool mediaRecovery = true;
    std::vector<std::string> infoLines;  // the lines the source was shown with
    std::string rangeStart;              // the range as given
    std::string rangeEnd;
};

struct ChooseOutcome {
    RangeProblem range = RangeProblem::None;
    // A source that cannot be opened for reading, or is no longer known.
    std::optional<SourceChoice> readProblem;
    ChosenSource chosen;

    bool Ok() const { return range == RangeProblem::None && !readProblem; }
};

// Next: checks the range (storing it first, as given; the whole range is the
// one the description gave, or every sector of a source that could not be
// described), points the descriptor at the source, refuses one that cannot
// be opened for reading before any scan or imaging run, and returns what
// the run header needs. On a refusal the device slots are left as they were.
ChooseOutcome ChooseSourceRef(const SourceRef& ref, const SourceDescription& shown, const SourceRange& range,
                              bool mediaRecovery, SelectionContext& context, SourceDescriptor& source);

// The source a path given in place of the source page's choice (the command
// line's SOURCE) stands for, kind being what the path names: a folder's image
// set; a regular file as a raw image; a block device as the disk the device
// key lists for it, else as the drive of that device, else by its own path.
// A whole disk that carries a file system without a partition table is both;
// it is taken as the disk.
SourceRef SourceRefForPath(const std::string& path, platform::PathKind kind, SelectionContext& context);

}  // namespace zt
