// pictora-cli devices: the drives and disks that can be scanned or imaged,
// with the information lines and default range the source page shows.
#include <iostream>
#include <span>
#include <string>
#include <vector>

#include "cli/commands.h"
#include "cli/common.h"
#include "cli/source_listing.h"
#include "platform/files.h"
#include "ui/words/source_words.h"

namespace zt::cli {

namespace {

constexpr std::string_view kDevicesHelp = R"help(Usage: pictora-cli devices [--json]

Lists the logical drives (partitions, and whole disks that carry a file
system) and the disks of this machine, as the source page of the desktop
program shows them, each with its information and its default sector range.
A label shown here ("Disk1", "Local Disk (sdb1)") can be given as SOURCE to
'pictora-cli scan'.

Without root privileges the disks are still listed, but the names and labels
of file systems may be missing, and reading them asks udisks2 for the
administrator's password (or run it with sudo).

Options:
  --json   print the list as JSON, for scripts
  --help   show this text

Exit status: 0 listed; 1 the list of disks could not be made; 2 bad arguments.
)help";

struct ListedSource {
    std::string label;
    std::string device;
    SourceInformation info;
};

struct Listing {
    std::vector<ListedSource> drives;
    std::vector<ListedSource> disks;
};

Listing Collect(SourceListing& listing) {
    Listing out;
    for (const platform::LogicalDriveEntry& drive : listing.Drives())
        out.drives.push_back({DriveLabel(drive), drive.devicePath, DriveInformation(drive)});
    SelectionContext& context = listing.Context();
    const SourceTreeModel& model = listing.Model();
    for (std::size_t i = 0; i < model.disks.size(); ++i) {
        const DiskRef disk{model.diskNumbers[i]};
        out.disks.push_back(
            {model.disks[i], SourcePath(disk, context), ShowDiskInformation(disk.number, context.registry)});
    }
    return out;
}

void PrintGroup(std::string_view group, const std::vector<ListedSource>& items) {
    std::cout << "  " << group << '\n';
    if (items.empty()) std::cout << "    (none)\n";
    for (const ListedSource& item : items) {
        std::cout << "    " << item.label << "    " << item.device << '\n';
        for (const std::string& line : item.info.lines) std::cout << "        " << line << '\n';
        if (!item.info.endText.empty())
            std::cout << "        Default range : sectors " << item.info.startText << " to " << item.info.endText << '\n';
    }
}

std::string JsonString(std::string_view text) {
    std::string out = "\"";
    for (char c : text) {
        unsigned char u = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (u < 0x20) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", u);
            out += escaped;
        } else {
            out += c;
        }
    }
    return out + "\"";
}

std::string JsonNumberOrNull(const std::string& text) {
    return text.empty() ? "null" : std::to_string(LeadingDecimal(text));
}

void PrintJsonGroup(std::string_view name, const std::vector<ListedSource>& items, bool last) {
    std::cout << "  " << JsonString(name) << ": [";
    for (std::size_t i = 0; i < items.size(); ++i) {
        const ListedSource& item = items[i];
        std::cout << (i == 0 ? "\n" : ",\n") << "    {\"label\": " << JsonString(item.label)
                  << ", \"device\": " << JsonString(item.device) << ", \"information\": [";
        for (std::size_t k = 0; k < item.info.lines.size(); ++k)
            std::cout << (k == 0 ? "" : ", ") << JsonString(item.info.lines[k]);
        std::cout << "], \"rangeStart\": " << JsonNumberOrNull(item.info.startText)
                  << ", \"rangeEnd\": " << JsonNumberOrNull(item.info.endText) << "}";
    }
    std::cout << (items.empty() ? "]" : "\n  ]") << (last ? "\n" : ",\n");
}

}  // namespace

int DevicesCommand(Session& session, std::span<const std::string> args) {
    bool json = false;
    for (const std::string& arg : args) {
        if (arg == "--help" || arg == "-h") {
            std::cout << kDevicesHelp;
            return ExitOk;
        }
        if (arg != "--json") {
            PrintError("devices does not take '" + arg + "'");
            std::cerr << kDevicesHelp;
            return ExitUsage;
        }
        json = true;
    }

    SourceListing listing(session);
    if (listing.Model().error != DeviceListError::None) {
        PrintError(DescribeDeviceListError(listing.Model().error));
        return ExitFailure;
    }
    Listing found = Collect(listing);
    if (json) {
        std::cout << "{\n";
        PrintJsonGroup("logicalDrives", found.drives, false);
        PrintJsonGroup("disks", found.disks, true);
        std::cout << "}\n";
    } else {
        std::cout << RootLabel << '\n';
        PrintGroup(DriveGroupLabel, found.drives);
        PrintGroup(DiskGroupLabel, found.disks);
    }
    if (!platform::RunningAsAdministrator())
        PrintWarning("not running as root: file-system names may be missing, and reading a disk asks for the administrator's password");
    return ExitOk;
}

}  // namespace zt::cli
