// What the source page decides when an item of the source tree is selected
// and when Next is pressed, shared by the desktop page and the command line:
// which information lines and range the item shows, how the descriptor is
// pointed at the source, which refusal Next gives, and what the run header
// of the activity log says.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/source/device_enumeration.h"
#include "core/source/run_header.h"
#include "core/source/source_descriptor.h"
#include "core/source/source_selection.h"
#include "platform/path_kind.h"
#include "platform/raw_io.h"

namespace zt {

// RawImage: a disk image file (card.dd) under "Select Image", read as a disk
// whose device is the file; under "Select Disk", a device that the listing
// did not report, named by its path.
enum class TreeItemKind { Root, DriveGroup, DiskGroup, ImageGroup, Drive, Disk, Image, RawImage };

// The item's kind from its label and its parent's label.
TreeItemKind ClassifyTreeItem(std::string_view label, std::string_view parentLabel);

// The disk number of a "Disk<n>" label: the rest after "Disk" read as a
// decimal number, 0 when it is empty.
int DiskNumberFromLabel(std::string_view label);

// The image item for a folder the user picked: folder + '/' + "Image0.img",
// or nullopt when the folder holds no first part (the caller then shows
// ImagePathNotFoundMessage()).
std::optional<std::string> ImageItemForFolder(const std::string& folder, platform::RawIo& io);

struct SelectionContext {
    DeviceRegistry& registry;
    DriveProbe& drives;
    platform::RawIo& io;
};

struct SelectionOutcome {
    TreeItemKind kind = TreeItemKind::Root;
    SourceInformation info;
    // The range check box is offered for drives, disks and images only.
    bool rangeAvailable = false;
    // Set when an image item can no longer be read; the lines stay empty.
    std::optional<SourceChoice> imageProblem;
};

// Handles a selection: a drive or disk shows its lines and range; an image
// item points the descriptor at its folder (single-file or numbered parts),
// registers the set as a pseudo-disk and shows that disk's lines; a raw
// image is registered the same way, with the lines of its size; the root
// and the groups show one blank line. The image group's folder choice is the
// page's: it calls ImageItemForFolder and selects the new item.
SelectionOutcome HandleSelection(std::string_view label, std::string_view parentLabel, SelectionContext& context,
                                 SourceDescriptor& source);

// The refusal of Next on the root or a group, or nullopt for a source item.
std::optional<std::string_view> SelectionMessage(std::string_view label);

struct NextRequest {
    std::string_view label;
    std::string_view parentLabel;
    std::vector<std::string> infoLines;  // what the information list shows
    std::string_view startText;
    std::string_view endText;
    bool mediaRecovery = true;  // the mode the page was opened in
};

struct NextOutcome {
    // The first refusal: a selection message, a range message, or (with
    // readProblem set) a source that cannot be opened for reading.
    std::string message;
    std::optional<SourceChoice> readProblem;
    RunHeader header;

    bool Ok() const { return message.empty() && !readProblem; }
};

// Next: refuses the root and the groups, checks the range (storing it first,
// as typed), points the device slot at the drive, disk or raw image, refuses
// a source that cannot be opened for reading before any scan or imaging run,
// and returns the run header.
NextOutcome PressNext(const NextRequest& request, SelectionContext& context, SourceDescriptor& source);

// An item of the source tree: its label and its parent's label.
struct TreeItem {
    std::string label;
    std::string parentLabel;
};

// The item the source page would have the user select for a path given in
// its place (the command line's SOURCE), kind being what the path names: a
// folder's image item under "Select Image"; a regular file as a raw image
// under "Select Image"; a block device as the "Disk<n>" the device key lists
// for it, else as the drive of that device, else by its own path under
// "Select Disk". A whole disk that carries a file system without a partition
// table is both; it is taken as the disk.
TreeItem TreeItemForPath(const std::string& path, platform::PathKind kind, SelectionContext& context);

// "Select Logical Drive" -> "Selected Logical Drive".
std::string SelectedGroupText(std::string_view parentLabel);

// The device path behind a drive or disk label: for "Disk<n>" devquery's
// "Disk<n>" value, for a drive label its device. Empty when unknown.
std::string DevicePathForLabel(std::string_view label, SelectionContext& context);

}  // namespace zt
