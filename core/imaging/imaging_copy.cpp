#include "core/imaging/imaging_copy.h"

#include <algorithm>
#include <cerrno>
#include <vector>
#include <system_error>

#include "core/source/source_files.h"

namespace zt {

std::string ImagingProgress::LastFileName() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return lastFileName_;
}

void ImagingProgress::SetLastFileName(std::string name) {
    std::lock_guard<std::mutex> lock(mutex_);
    lastFileName_ = std::move(name);
}

namespace {

ImagingOutcome Failure(ImagingFailure failure, int error, const std::string& path) {
    return {ImagingResult::Failed, failure, error, path};
}

}  // namespace

std::vector<std::string> ImagingCopy::NamesOfPart(const std::string& name) {
    const std::size_t slash = name.find_last_of('/');
    const std::string folder = slash == std::string::npos ? std::string(".") : name.substr(0, std::max<std::size_t>(slash, 1));
    std::vector<std::string> names = io_.EntriesNoCase(folder, name.substr(slash + 1));
    // Spelled as the part's own name is (a doubled '/' kept), so the exact
    // name compares equal to it.
    for (std::string& found : names) found = name.substr(0, slash + 1) + found.substr(found.find_last_of('/') + 1);
    return names;
}

bool ImagingCopy::CheckParts(const ImagingJob& job, std::uint64_t parts, ImagingOutcome& outcome) {
    // A loop device's backing file is read as surely as the device itself.
    const std::vector<std::string> sourceFiles = WithFilesUnder(reader_.SourceFiles(), io_);
    // The part after the last is removed when stale, so it is checked too.
    for (std::uint64_t part = 0; part <= parts; ++part) {
        const std::string name = ImagePartName(job.ImageBaseName, part);
        for (const std::string& found : NamesOfPart(name)) {
            const platform::EntryInfo entry = io_.Examine(found);
            // Only the exact name is written; a folder in another case is no part.
            if (found != name && entry.kind == platform::EntryKind::Folder) continue;
            for (const std::string& file : sourceFiles) {
                if (io_.SameFile(found, file)) {
                    outcome = Failure(ImagingFailure::PartIsSource, 0, found);
                    return false;
                }
            }
            if (found != name) continue;  // removed, never written: its other names keep their data
            if (entry.kind == platform::EntryKind::File && entry.links > 1) {
                outcome = Failure(ImagingFailure::PartHasOtherNames, 0, name);
                return false;
            }
            if (entry.kind == platform::EntryKind::Folder || entry.kind == platform::EntryKind::Other) {
                outcome = Failure(ImagingFailure::PartNotAFile, 0, name);
                return false;
            }
        }
    }
    return true;
}

bool ImagingCopy::OpenPart(const std::string& name, ImagingOutcome& outcome) {
    if (!RemoveStalePart(name, true, outcome)) return false;
    const platform::EntryKind existing = io_.Examine(name).kind;
    if (existing == platform::EntryKind::Link) {
        // The link is replaced by the part; what it points to is left alone.
        if (const int error = io_.Remove(name); error != 0) {
            outcome = Failure(ImagingFailure::CreatePart, error, name);
            return false;
        }
    } else if (existing == platform::EntryKind::File) {
        // A part left read-only by an earlier run must still be replaced.
        (void)io_.MakeOwnerWritable(name);
    }
    platform::OpenResult created = io_.Create(name, platform::CreateMode::Truncate);
    if (created.handle < 0) {
        outcome = Failure(ImagingFailure::CreatePart, created.error, name);
        return false;
    }
    part_ = created.handle;
    partName_ = name;
    writeback_.emplace(io_, part_);
    return true;
}

bool ImagingCopy::ClosePart(ImagingOutcome& outcome) {
    if (part_ < 0) return true;
    if (writeback_) writeback_->Finish();
    writeback_.reset();
    const int error = io_.FlushAndClose(part_);
    part_ = -1;
    if (error != 0) {
        outcome = Failure(ImagingFailure::ClosePart, error, partName_);
        return false;
    }
    return true;
}

bool ImagingCopy::RemoveStalePart(const std::string& name, bool keepExact, ImagingOutcome& outcome) {
    for (const std::string& found : NamesOfPart(name)) {
        if ((keepExact && found == name) || io_.Examine(found).kind == platform::EntryKind::Folder) continue;
        const int error = io_.Remove(found);
        if (error != 0 && error != ENOENT) {
            // The set would read on into the old data: that is no finished image.
            outcome = Failure(ImagingFailure::RemoveStalePart, error, found);
            return false;
        }
    }
    return true;
}

ImagingOutcome ImagingCopy::Run(const ImagingJob& job) {
    const SourceDescriptor& source = reader_.Source();
    const std::uint64_t rangeEnd = source.RangeEnd;
    std::uint64_t current = source.RangeStart;
    // A page runs several copies: nothing of the previous run may show in this one.
    progress_.TotalSectors.store(rangeEnd);
    progress_.CurrentSector.store(current);
    progress_.SetLastFileName({});
    reader_.StartRun();
    const std::optional<std::uint64_t> sourceBytes = reader_.SourceBytes();
    std::uint32_t chunk = ImagingChunkSectors;
    if (rangeEnd > current && rangeEnd - current < chunk) chunk = static_cast<std::uint32_t>(rangeEnd - current);
    std::uint64_t inPart = 0;  // sectors written to the open part
    std::uint64_t partNumber = 0;
    std::vector<std::uint8_t> buffer(std::size_t{LargeReadSectors} * kSectorSize);
    ImagingOutcome outcome;
    part_ = -1;

    const std::uint64_t span = rangeEnd > current ? rangeEnd - current : 0;
    const std::uint64_t parts = !job.ImagingMultiFile ? 1 : (span + ImagePartSectors - 1) / ImagePartSectors;
    if (!CheckParts(job, parts, outcome)) return outcome;

    // On a failure the open part is closed without a flush: what was written
    // stays, and the first error is the one reported.
    auto fail = [this](ImagingOutcome failed) {
        if (part_ >= 0) (void)io_.Close(part_);
        part_ = -1;
        writeback_.reset();
        return failed;
    };

    while (current < rangeEnd) {
        // A piece of whole chunks, inside the part, where the reader holds
        // every sector of it; otherwise one chunk, with unreadable sectors
        // settled inside the reader and the buffer written as delivered.
        std::uint32_t step = chunk;
        if (chunk == ImagingChunkSectors) {
            std::uint64_t piece = std::min<std::uint64_t>(LargeReadSectors, (rangeEnd - current) / chunk * chunk);
            if (job.ImagingMultiFile && inPart < ImagePartSectors) piece = std::min(piece, ImagePartSectors - inPart);
            if (piece > chunk && reader_.ReadHeld(current, static_cast<std::uint32_t>(piece), buffer.data())) {
                step = static_cast<std::uint32_t>(piece);
            }
        }
        if (step == chunk) (void)reader_.ReadSectors(current, chunk, buffer.data());
        std::size_t bytes = std::size_t{step} * kSectorSize;
        const std::optional<std::uint64_t> endedAt = reader_.SourceEndedAt();
        if (endedAt) {
            // Only what was read before the source ended is copied; the run fails there.
            bytes = *endedAt > current ? static_cast<std::size_t>(std::min<std::uint64_t>(
                                             bytes, (*endedAt - current) * kSectorSize))
                                       : 0;
        } else if (sourceBytes && current + step == rangeEnd) {
            // The source's last sector may hold fewer than 512 bytes: the
            // image ends where the source does, not at the padding.
            const std::uint64_t endByte = (current + step) * kSectorSize;
            if (endByte > *sourceBytes && endByte - *sourceBytes < kSectorSize)
                bytes -= static_cast<std::size_t>(endByte - *sourceBytes);
        }

        if (part_ < 0) {
            if (!OpenPart(ImagePartName(job.ImageBaseName, partNumber), outcome)) return fail(outcome);
            ++partNumber;
        } else if (inPart == ImagePartSectors && job.ImagingMultiFile) {
            inPart = 0;
            if (!ClosePart(outcome)) return fail(outcome);
            if (!OpenPart(ImagePartName(job.ImageBaseName, partNumber), outcome)) return fail(outcome);
            ++partNumber;
        }

        const int error = bytes == 0 ? 0 : io_.WriteAt(part_, buffer.data(), bytes, inPart * kSectorSize);
        if (error != 0) return fail(Failure(ImagingFailure::WritePart, error, partName_));
        writeback_->Wrote(inPart * kSectorSize, bytes);
        if (endedAt) {
            progress_.SetLastFileName(partName_);
            progress_.CurrentSector.store(std::max(current, std::min(*endedAt, current + step)));
            ImagingOutcome ended = Failure(ImagingFailure::SourceEnded, 0, partName_);
            ended.sector = *endedAt;
            return fail(ended);
        }

        if (slot_.PassBoundary()) {
            // The part in hand already holds this chunk: it is the last file.
            progress_.SetLastFileName(partName_);
            if (!ClosePart(outcome)) return fail(outcome);
            return {ImagingResult::Aborted, ImagingFailure::None, 0, {}};
        }

        current += step;
        inPart += step;
        if (current + chunk > rangeEnd) chunk = static_cast<std::uint32_t>(rangeEnd - current);
        // The part first: whoever sees the new position also sees its part.
        progress_.SetLastFileName(partName_);
        progress_.CurrentSector.store(current);
    }

    // One stale part of an earlier, longer run would make the set read on
    // past the new copy's end; only the name right after the last is examined.
    // A single-file copy removes a stale Image1.img too: beside it the folder
    // would be read as a multi-file set, and its old data scanned as part of
    // the new copy.
    if (!RemoveStalePart(ImagePartName(job.ImageBaseName, partNumber), false, outcome)) {
        return fail(outcome);
    }
    if (!ClosePart(outcome)) return fail(outcome);
    progress_.CurrentSector.store(rangeEnd);
    return outcome;
}

std::string ImagingFailureReason(const ImagingOutcome& outcome) {
    if (outcome.result != ImagingResult::Failed) return {};
    std::string step;
    switch (outcome.failure) {
        case ImagingFailure::PartIsSource:
            return outcome.path + " is the source being copied; nothing was written";
        case ImagingFailure::PartHasOtherNames:
            return outcome.path + " has other names (hard links) that would change with it; nothing was written";
        case ImagingFailure::PartNotAFile:
            return outcome.path + " is not a regular file; nothing was written";
        case ImagingFailure::SourceEnded:
            return SourceEndedText(outcome.sector) + "; the image holds what was copied before it";
        case ImagingFailure::CreatePart:
            step = "creating ";
            break;
        case ImagingFailure::WritePart:
            step = "writing ";
            break;
        case ImagingFailure::ClosePart:
            step = "finishing ";
            break;
        case ImagingFailure::RemoveStalePart:
            step = "removing the earlier part ";
            break;
        case ImagingFailure::None:
            break;
    }
    return std::generic_category().message(outcome.error) + " while " + step + outcome.path;
}

std::string ImagingOutcomeMessage(const ImagingOutcome& outcome) {
    switch (outcome.result) {
        case ImagingResult::Completed:
            return "Image creation completed successfully.";
        case ImagingResult::Aborted:
            return "Image creation aborted.";
        case ImagingResult::Failed:
            return "Image creation failed: " + ImagingFailureReason(outcome) + ".";
    }
    return {};
}

}  // namespace zt
