// The source tree on the command line: the listing that the source page
// shows (drives, and the disks devquery reports), which a SOURCE argument is
// looked up in, by path or by one of its labels ("Disk1", "Local Disk (sdb1)").
#pragma once

#include <memory>
#include <string>

#include "app/session.h"
#include "core/source/device_enumeration.h"
#include "core/source/source_ref.h"

namespace zt::cli {

// The listing over the session's seams: its settings store, its drives, and
// devquery from the installation folder.
class SourceListing {
public:
    explicit SourceListing(Session& session);
    ~SourceListing();
    SourceListing(const SourceListing&) = delete;
    SourceListing& operator=(const SourceListing&) = delete;

    // Runs the listing once (devquery included); later calls return the same model.
    const SourceTreeModel& Model();
    SelectionContext& Context();
    std::vector<platform::LogicalDriveEntry> Drives();

private:
    struct Parts;
    std::unique_ptr<Parts> parts_;
};

}  // namespace zt::cli
