#include "cli/source_listing.h"

#include <iostream>

#include "cli/common.h"
#include "platform/path_kind.h"

namespace zt::cli {

namespace {

// Probing every file system once is enough for one command.
class ListedDrives final : public DriveProbe {
public:
    explicit ListedDrives(DriveProbe& probe) : probe_(probe) {}
    std::vector<platform::LogicalDriveEntry> ListLogicalDrives() override {
        if (!drives_) drives_ = probe_.ListLogicalDrives();
        return *drives_;
    }

private:
    DriveProbe& probe_;
    std::optional<std::vector<platform::LogicalDriveEntry>> drives_;
};

}  // namespace

struct SourceListing::Parts {
    explicit Parts(Session& s)
        : session(s), registry{s.Seams().store}, drives{s.Seams().drives}, context{registry, drives, s.Seams().rawIo} {}
    Session& session;
    StoreDeviceRegistry registry;
    ListedDrives drives;
    SelectionContext context;
    std::optional<SourceTreeModel> model;
};

SourceListing::SourceListing(Session& session) : parts_(std::make_unique<Parts>(session)) {}
SourceListing::~SourceListing() = default;

const SourceTreeModel& SourceListing::Model() {
    if (!parts_->model) {
        DeviceListingContext listing{parts_->registry, parts_->drives, parts_->session.Seams().launcher,
                                     parts_->session.Settings().InstallFolder};
        parts_->model = BuildSourceTree(listing, false);
    }
    return *parts_->model;
}

SelectionContext& SourceListing::Context() { return parts_->context; }

std::vector<platform::LogicalDriveEntry> SourceListing::Drives() { return parts_->drives.ListLogicalDrives(); }

}  // namespace zt::cli
