// The imaging copy: reads the source's range through the sector reader and
// writes it into an image set, 1 MiB at a time where the reader holds the
// sectors from an image read whole, otherwise 8 sectors at a time, so that a
// device gets the requests and the bad-sector questions it always got. Run() is synchronous, so a
// test can call it directly; ImagingThread runs it on its slot's thread.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>

#include "core/imaging/image_set.h"
#include "core/source/sector_reader.h"
#include "core/source/worker_slot.h"
#include "platform/destination.h"

namespace zt {

// What the copy publishes for the thread that shows progress.
class ImagingProgress {
public:
    // The next sector to copy; the range end once the copy has completed.
    std::atomic<std::uint64_t> CurrentSector{0};
    // The range end, taken when the copy starts.
    std::atomic<std::uint64_t> TotalSectors{0};

    std::string LastFileName() const;
    void SetLastFileName(std::string name);

private:
    mutable std::mutex mutex_;
    std::string lastFileName_;
};

enum class ImagingResult {
    Completed,
    Aborted,
    Failed,
};

// Which step of the copy failed.
enum class ImagingFailure {
    None,
    CreatePart,
    WritePart,
    ClosePart,
    RemoveStalePart,
    // Refusals made before anything is written or emptied:
    PartIsSource,       // an existing part is the source (or one of its parts) itself
    PartHasOtherNames,  // an existing part has other hard links, which would change with it
    PartNotAFile,       // an existing part is a folder, a FIFO or a device
    // The source became shorter or went away during the copy (sector says where).
    SourceEnded,
};

struct ImagingOutcome {
    ImagingResult result = ImagingResult::Completed;
    ImagingFailure failure = ImagingFailure::None;
    int error = 0;     // errno of the failed step
    std::string path;  // the part concerned
    std::uint64_t sector = 0;  // SourceEnded: the first sector that could no longer be read
};

struct ImagingJob {
    // Destination folder + "Image.img" (MakeImageBaseName).
    std::string ImageBaseName;
    // Numbered parts of ImagePartSectors sectors instead of one file.
    bool ImagingMultiFile = false;
};

class ImagingCopy {
public:
    // The range is the reader's source range: RangeStart up to, not including,
    // RangeEnd. After every piece or chunk the copy passes the slot's gate (held there
    // while the user is asked whether to stop) and looks at its stop flag.
    ImagingCopy(SectorReader& reader, platform::Destination& io, ImagingProgress& progress, WorkerSlot& slot)
        : reader_(reader), io_(io), progress_(progress), slot_(slot) {}

    // Copies the range. Parts already written stay on every outcome. Before
    // anything is written, every part the run would replace or remove is
    // checked: none may be the source, have other hard links or be anything
    // but a regular file or a link (a link is replaced, never followed).
    // The reader of a set finds its parts whatever their letter case, so a
    // part's name in another case (image1.img beside Image1.img) is an old
    // part too: it is checked, then removed.
    [[nodiscard]] ImagingOutcome Run(const ImagingJob& job);

private:
    [[nodiscard]] bool CheckParts(const ImagingJob& job, std::uint64_t parts, ImagingOutcome& outcome);
    [[nodiscard]] bool OpenPart(const std::string& name, ImagingOutcome& outcome);
    [[nodiscard]] bool ClosePart(ImagingOutcome& outcome);
    // Removes the entries named name but for letter case, name itself too
    // unless keepExact; folders, which the reader never takes for parts, stay.
    [[nodiscard]] bool RemoveStalePart(const std::string& name, bool keepExact, ImagingOutcome& outcome);
    // The entries beside name whose names equal its own but for letter case.
    [[nodiscard]] std::vector<std::string> NamesOfPart(const std::string& name);

    SectorReader& reader_;
    platform::Destination& io_;
    ImagingProgress& progress_;
    WorkerSlot& slot_;
    int part_ = -1;
    std::string partName_;
    std::optional<platform::WritebackPacer> writeback_;  // of the open part
};

// The message that ends a run: "Image creation completed successfully.",
// "Image creation aborted.", or what failed and why.
[[nodiscard]] std::string ImagingOutcomeMessage(const ImagingOutcome& outcome);

// Why a failed run failed, for example "No space left on device while
// writing /media/usb/Image1.img"; empty unless the run failed.
[[nodiscard]] std::string ImagingFailureReason(const ImagingOutcome& outcome);

}  // namespace zt
