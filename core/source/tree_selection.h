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
#include "core/source/source_descriptor.h"
#include "core/source/source_selection.h"
#include "platform/raw_io.h"

namespace zt {

enum class TreeItemKind { Root, DriveGroup, DiskGroup, ImageGroup, Drive, Disk, Image };

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
// registers the set as a pseudo-disk and shows that disk's lines; the root
// and the groups show one blank line. The image group's folder choice is the
// page's: it calls ImageItemForFolder and selects the new item.
SelectionOutcome HandleSelection(std::string_view label, std::string_view parentLabel, SelectionContext& context,
                                 SourceDescriptor& source);

// The refusal of Next on the root or a group, or nullopt for a source item.
std::optional<std::string_view> SelectionMessage(std::string_view label);

// What the run header and the next page are told about the chosen source.
struct ChosenSource {
    std::string group;  // "Selected Logical Drive", "Selected Disk", "Selected Image"
    std::string label;
    std::vector<std::string> infoLines;
    std::string rangeStart;  // as typed
    std::string rangeEnd;
    // The information text handed to the imaging page: the lines joined by CR LF.
    std::string InformationText() const;
};

struct NextRequest {
    std::string_view label;
    std::string_view parentLabel;
    std::vector<std::string> infoLines;  // what the information list shows
    std::string_view startText;
    std::string_view endText;
};

struct NextOutcome {
    // The first refusal: a selection message, a range message, or (with
    // readProblem set) a source that cannot be opened for reading.
    std::string message;
    std::optional<SourceChoice> readProblem;
    ChosenSource chosen;

    bool Ok() const { return message.empty() && !readProblem; }
};

// Next: refuses the root and the groups, checks the range (storing it first,
// as typed), points the device slot at the drive or disk, and refuses a
// source that cannot be opened for reading before any scan or imaging run.
NextOutcome PressNext(const NextRequest& request, SelectionContext& context, SourceDescriptor& source);

// "Select Logical Drive" -> "Selected Logical Drive".
std::string SelectedGroupText(std::string_view parentLabel);

// The device path behind a drive or disk label: for "Disk<n>" devquery's
// "Disk<n>" value, for a drive label its device. Empty when unknown.
std::string DevicePathForLabel(std::string_view label, SelectionContext& context);

}  // namespace zt
