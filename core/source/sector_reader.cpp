#include "core/source/sector_reader.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "core/source/source_files.h"

namespace zt {

struct SectorReader::DeviceHandle {
    DeviceHandle(platform::RawIo& io, std::string p) : io_(io), path(std::move(p)) {
        handle = io_.Open(path).handle;
        regularFile = handle >= 0 && io_.IsRegularFile(handle);
    }
    ~DeviceHandle() { io_.Close(handle); }
    DeviceHandle(const DeviceHandle&) = delete;
    DeviceHandle& operator=(const DeviceHandle&) = delete;

    platform::RawIo& io_;
    std::string path;
    int handle = -1;
    bool regularFile = false;
};

namespace {

void ZeroSectors(std::uint8_t* buffer, std::uint64_t sectors) {
    std::memset(buffer, 0, static_cast<std::size_t>(sectors * kSectorSize));
}

// Zeros what a read did not deliver, so no stale bytes remain.
void ZeroTail(std::uint8_t* buffer, std::size_t wanted, std::size_t delivered) {
    if (delivered < wanted) std::memset(buffer + delivered, 0, wanted - delivered);
}

// Opens an image part for the duration of one call.
class PartFile {
public:
    PartFile(platform::RawIo& io, const std::string& path) : io_(io), handle_(io.Open(path).handle) {}
    ~PartFile() { Close(); }
    PartFile(const PartFile&) = delete;
    PartFile& operator=(const PartFile&) = delete;
    bool Valid() const { return handle_ >= 0; }
    int Get() const { return handle_; }
    void Close() {
        io_.Close(handle_);
        handle_ = -1;
    }

private:
    platform::RawIo& io_;
    int handle_;
};

// Opens an image part and checks that offset lies within it. A part too
// short is put to the policy; on retry it is reopened and tested once more
// per request. Returns null when the part cannot be opened or is given up.
std::unique_ptr<PartFile> OpenPartAt(platform::RawIo& io, BadSectorPolicyState& policy, const std::string& path,
                                     std::uint64_t offset, bool& retryUsed) {
    auto file = std::make_unique<PartFile>(io, path);
    while (file->Valid()) {
        std::optional<std::uint64_t> size = io.Size(file->Get());
        if (size && offset <= *size) return file;
        const bool retry = IsRetry(policy.ConsultBadSectorPolicy());
        file->Close();
        if (!retry || retryUsed) return nullptr;
        retryUsed = true;
        file = std::make_unique<PartFile>(io, path);
    }
    return nullptr;
}

// Errors after which the descriptor reaches no medium any more: a device
// removed, a FUSE server that ended. Asking whether to retry cannot help.
bool MediumGone(int error) { return error == ENODEV || error == ENXIO || error == ENOMEDIUM || error == ENOTCONN; }

}  // namespace

std::string SourceEndedText(std::uint64_t sector) {
    return "the source became shorter or went away at sector " + std::to_string(sector);
}

SectorReader::SectorReader(const SourceDescriptor& source, BadSectorPolicyState& policy, platform::RawIo& io)
    : source_(source),
      policy_(policy),
      io_(io),
      ahead_(window_, LargeReadSectors, ReadAheadBlocks) {}

SectorReader::~SectorReader() = default;

std::vector<std::string> SectorReader::SourceFiles() const { return zt::SourceFiles(source_, io_); }

void SectorReader::GiveUp(std::uint8_t* buffer, std::uint64_t sectors) {
    ZeroSectors(buffer, sectors);
    CountUnreadable(sectors);
}

void SectorReader::StartRun() {
    ResetUnreadableSectors();
    runActive_.store(true, std::memory_order_relaxed);
    endedAt_.store(kUnknown, std::memory_order_relaxed);
    std::optional<std::uint64_t> total = 0;
    if (!source_.ImageMode) {
        const std::shared_ptr<DeviceHandle> device = CachedDeviceFor(source_.SelectedDevice());
        total = device->handle >= 0 ? io_.Size(device->handle) : std::nullopt;
    } else {
        for (const std::string& part : SourceFiles()) {
            PartFile file(io_, part);
            const std::optional<std::uint64_t> size = file.Valid() ? io_.Size(file.Get()) : std::nullopt;
            if (!size) {
                total.reset();
                break;
            }
            *total += *size;
        }
    }
    sourceBytes_.store(total.value_or(kUnknown), std::memory_order_relaxed);
    // The medium may have changed since the last run: nothing read before is
    // trusted. Nothing past the source or the range is read ahead.
    constexpr std::uint64_t blockBytes = std::uint64_t{LargeReadSectors} * kSectorSize;
    std::uint64_t endBlock = total ? (*total + blockBytes - 1) / blockBytes : 0;
    if (source_.RangeEnd != 0) {
        endBlock = std::min<std::uint64_t>(endBlock, (source_.RangeEnd + LargeReadSectors - 1) / LargeReadSectors);
    }
    // The thread ahead may still be reading when the descriptor is filled
    // again after the run: it reads with what it holds of this run's source.
    auto from = std::make_shared<const BlockSource>(
        BlockSource{source_.ImageMode, source_.ImageMultiFile, source_.ImageFolder});
    ahead_.StartRun(endBlock, [this, from](const std::string& device, std::uint64_t block,
                                           std::span<std::uint8_t> bytes) {
        return ReadBlock(*from, device, block, bytes);
    });
}

std::optional<std::uint64_t> SectorReader::SourceBytes() const {
    const std::uint64_t bytes = sourceBytes_.load(std::memory_order_relaxed);
    if (bytes == kUnknown) return std::nullopt;
    return bytes;
}

std::optional<std::uint64_t> SectorReader::SourceEndedAt() const {
    const std::uint64_t sector = endedAt_.load(std::memory_order_acquire);
    if (sector == kUnknown) return std::nullopt;
    return sector;
}

void SectorReader::NoteSourceEnded(std::uint64_t sector) {
    // Several threads may find the end; the earliest place is the one reported.
    std::uint64_t seen = endedAt_.load(std::memory_order_relaxed);
    while (sector < seen && !endedAt_.compare_exchange_weak(seen, sector, std::memory_order_acq_rel)) {
    }
}

void SectorReader::CheckShortRead(std::uint64_t at, std::size_t wanted, std::size_t delivered) {
    const std::uint64_t size = sourceBytes_.load(std::memory_order_relaxed);
    if (size == kUnknown || delivered >= wanted) return;
    const std::uint64_t from = at + delivered;
    if (from >= size) return;  // past the end the source had: nothing was there
    const std::uint64_t to = std::min<std::uint64_t>(at + wanted, size);
    const std::uint64_t firstLost = from / kSectorSize;
    CountUnreadable((to + kSectorSize - 1) / kSectorSize - firstLost);
    NoteSourceEnded(firstLost);
}

void SectorReader::NoteGoneAt(std::uint64_t first, std::uint64_t count) {
    const std::uint64_t size = sourceBytes_.load(std::memory_order_relaxed);
    if (size != kUnknown && first * kSectorSize < size && count != 0) NoteSourceEnded(first);
}

namespace {

// Zeros what a failed read did not deliver; returns the sectors lost (a
// sector that arrived in part counts as lost).
std::uint64_t ZeroUndelivered(std::uint8_t* buffer, std::size_t wanted, const platform::ReadResult& r) {
    ZeroTail(buffer, wanted, r.bytes);
    if (r.error == 0) return 0;
    const std::size_t whole = r.bytes / kSectorSize * kSectorSize;
    if (whole < wanted) std::memset(buffer + whole, 0, wanted - whole);
    return (wanted - whole) / kSectorSize;
}

}  // namespace

std::int32_t SectorReader::ReadSectors(const std::string& deviceName, std::uint64_t first, std::uint32_t count,
                                       std::uint8_t* buffer) {
    if (count == 0 || buffer == nullptr) return 0;
    // Range guard: a request that starts beyond the range end is not read.
    if (source_.RangeEnd != 0 && first > source_.RangeEnd) {
        ZeroSectors(buffer, count);
        return 0;
    }
    if (RunActive() && ReadLarge(deviceName, first, count, buffer)) return 1;
    if (source_.ImageMode) {
        // A request may cross one part boundary at most; larger ones are served piecewise.
        while (count > ImagePartSectors) {
            ReadImage(first, ImagePartSectors, buffer);
            first += ImagePartSectors;
            count -= ImagePartSectors;
            buffer += ImagePartBytes;
        }
        return ReadImage(first, count, buffer);
    }
    return ReadDevice(deviceName, first, count, buffer);
}

const std::uint8_t* SectorReader::ViewSectors(std::uint64_t first, std::uint32_t count, std::uint8_t* buffer,
                                              ReadWindow::View& view) {
    view.Reset();
    const std::string& device = source_.SelectedDevice();
    const bool inRange = source_.RangeEnd == 0 || first <= source_.RangeEnd;
    if (count != 0 && buffer != nullptr && inRange && RunActive() && ReadsLarge(device)) {
        // Sectors in two blocks that do not lie one after the other in
        // memory are copied together. A block that did not read whole leaves
        // the whole stretch to ReadSectors, as before.
        ReadWindow::View next;
        if (LookAcross(device, first, count, false, view, next)) return view.Data();
        if (view && next) {
            const auto bytesHere =
                static_cast<std::size_t>(((first / LargeReadSectors + 1) * LargeReadSectors - first) * kSectorSize);
            std::memcpy(buffer, view.Data(), bytesHere);
            std::memcpy(buffer + bytesHere, next.Data(), static_cast<std::size_t>(count * kSectorSize) - bytesHere);
            view.Reset();
            return buffer;
        }
        view.Reset();
    }
    ReadSectors(device, first, count, buffer);
    return buffer;
}

const std::uint8_t* SectorReader::ViewHeld(std::uint64_t first, std::uint32_t count, ReadWindow::View& view) {
    view.Reset();
    if (!HeldPieceAsked(first, count)) return nullptr;
    const std::string& device = source_.SelectedDevice();
    ReadWindow::View next;
    if (ReadsLarge(device) && LookAcross(device, first, count, true, view, next)) return view.Data();
    view.Reset();
    return nullptr;
}

bool SectorReader::HeldPieceAsked(std::uint64_t first, std::uint32_t count) const {
    if (count == 0 || !RunActive()) return false;
    // A piece that reaches requests starting past the range end is left to
    // ReadSectors, which gives those zeros.
    return source_.RangeEnd == 0 || first + count - 1 <= source_.RangeEnd;
}

bool SectorReader::LookAcross(const std::string& device, std::uint64_t first, std::uint64_t count, bool heldOnly,
                              ReadWindow::View& view, ReadWindow::View& next) {
    const std::uint64_t block = first / LargeReadSectors;
    if ((first + count - 1) / LargeReadSectors > block + 1) return false;
    const std::string key = WindowKey(device);
    const std::uint64_t here = std::min<std::uint64_t>(count, (block + 1) * LargeReadSectors - first);
    view = ahead_.Look(device, key, block, first, here, heldOnly);
    if (!view || here == count) return static_cast<bool>(view);
    next = ahead_.Look(device, key, block + 1, first + here, count - here, heldOnly);
    return next && view.Extend(static_cast<std::size_t>(here * kSectorSize), std::move(next));
}

bool SectorReader::ReadHeld(std::uint64_t first, std::uint32_t count, std::uint8_t* buffer) {
    if (buffer == nullptr || !HeldPieceAsked(first, count)) return false;
    return ReadLarge(source_.SelectedDevice(), first, count, buffer, true);
}

std::string SectorReader::PartName(std::uint64_t partIndex) const {
    return ImageReadPartName(source_.ImageMultiFile, partIndex);
}

std::int32_t SectorReader::ReadImage(std::uint64_t first, std::uint32_t count, std::uint8_t* buffer) {
    const bool multi = source_.ImageMultiFile;
    const std::uint64_t part = multi ? first / ImagePartSectors : 0;
    const std::uint64_t inPart = multi ? first % ImagePartSectors : first;
    const std::string name = PartName(part);
    bool retryUsed = false;

    // The part must exist; a retry tests once more, then the request is zeros.
    std::optional<std::string> path = io_.FindEntryNoCase(source_.ImageFolder, name);
    while (!path) {
        const bool retry = IsRetry(policy_.ConsultBadSectorPolicy());
        if (!retry || retryUsed) {
            GiveUp(buffer, count);
            NoteGoneAt(first, count);
            return 0;
        }
        retryUsed = true;
        path = io_.FindEntryNoCase(source_.ImageFolder, name);
    }

    const std::uint64_t offset = inPart * kSectorSize;
    std::unique_ptr<PartFile> file = OpenPartAt(io_, policy_, *path, offset, retryUsed);
    if (!file) {
        GiveUp(buffer, count);
        NoteGoneAt(first, count);
        return 0;
    }

    if (multi && inPart + count >= ImagePartSectors) {
        file->Close();
        return ReadSpanning(first, count, buffer, retryUsed);
    }

    return ReadPart(file->Get(), first, count, buffer) ? 1 : 0;
}

bool SectorReader::ReadPart(int handle, std::uint64_t first, std::uint32_t count, std::uint8_t* buffer) {
    const std::size_t wanted = std::size_t{count} * kSectorSize;
    const std::uint64_t offset = (source_.ImageMultiFile ? first % ImagePartSectors : first) * kSectorSize;
    platform::ReadResult r = io_.ReadAt(handle, buffer, wanted, offset);
    CountUnreadable(ZeroUndelivered(buffer, wanted, r));
    if (r.error == 0) {
        CheckShortRead(first * kSectorSize, wanted, r.bytes);
    } else if (MediumGone(r.error)) {
        NoteSourceEnded(first + r.bytes / kSectorSize);
    }
    return r.error == 0;
}

std::int32_t SectorReader::ReadSpanning(std::uint64_t first, std::uint32_t count, std::uint8_t* buffer,
                                        bool& retryUsed) {
    const std::uint64_t inPart = first % ImagePartSectors;
    const std::uint32_t head = static_cast<std::uint32_t>(ImagePartSectors - inPart);
    struct Portion {
        std::uint64_t firstSector;
        std::uint32_t sectors;
        std::uint8_t* out;
    };
    const Portion portions[2] = {
        {first, head, buffer},
        {first + head, count - head, buffer + std::size_t{head} * kSectorSize},
    };

    std::int32_t result = 0;
    for (const Portion& portion : portions) {
        if (portion.sectors == 0) continue;
        const std::uint64_t offset = (portion.firstSector % ImagePartSectors) * kSectorSize;
        const std::string name = PartName(portion.firstSector / ImagePartSectors);
        std::optional<std::string> path = io_.FindEntryNoCase(source_.ImageFolder, name);
        // A part that cannot be opened leaves its portion as zeros, without a question.
        std::unique_ptr<PartFile> file;
        if (path) file = OpenPartAt(io_, policy_, *path, offset, retryUsed);
        if (!file) {
            GiveUp(portion.out, portion.sectors);
            NoteGoneAt(portion.firstSector, portion.sectors);
            continue;  // not read: the result stays that of the last portion read
        }
        result = ReadPart(file->Get(), portion.firstSector, portion.sectors, portion.out) ? 1 : 0;
    }
    return result;
}

std::shared_ptr<SectorReader::DeviceHandle> SectorReader::CachedDeviceFor(const std::string& path) {
    std::lock_guard<std::mutex> lock(cacheMutex_);
    if (!cachedDevice_ || cachedDevice_->path != path) {
        // Threads still reading through the old handle keep it alive until they finish.
        cachedDevice_ = std::make_shared<DeviceHandle>(io_, path);
    }
    return cachedDevice_;
}

std::int32_t SectorReader::ReadDevice(const std::string& deviceName, std::uint64_t first, std::uint32_t count,
                                      std::uint8_t* buffer) {
    std::shared_ptr<DeviceHandle> device = CachedDeviceFor(deviceName);
    if (device->handle < 0) {
        GiveUp(buffer, count);
        return 0;
    }
    const int fd = device->handle;
    if (count <= DeviceChunkSectors) return ReadDeviceRequest(deviceName, fd, first, count, buffer, true) ? 1 : 0;

    bool lastOk = true;
    const std::uint32_t chunks = count / DeviceChunkSectors;
    for (std::uint32_t c = 0; c < chunks; ++c) {
        const std::uint64_t sector = first + std::uint64_t{c} * DeviceChunkSectors;
        lastOk = ReadDeviceRequest(deviceName, fd, sector, DeviceChunkSectors,
                                   buffer + std::size_t{c} * DeviceChunkSectors * kSectorSize, true);
    }
    const std::uint32_t rest = count % DeviceChunkSectors;
    if (rest != 0) {
        const std::uint32_t done = chunks * DeviceChunkSectors;
        // The remainder is not put to the policy; a failure leaves zeros.
        std::uint8_t* out = buffer + std::size_t{done} * kSectorSize;
        if (!ReadDeviceRequest(deviceName, fd, first + done, rest, out, false)) return 0;
    }
    return lastOk ? 1 : 0;
}

bool SectorReader::ReadDeviceRequest(const std::string& deviceName, int fd, std::uint64_t first,
                                     std::uint32_t count, std::uint8_t* buffer, bool consultPolicy) {
    // A request that a failed block of an image sent here may lie in blocks
    // read whole before: those are not read again.
    if (RunActive() && window_.Copy(WindowKey(deviceName), first, count, buffer)) return true;
    const std::size_t wanted = std::size_t{count} * kSectorSize;
    platform::ReadResult r = io_.ReadAt(fd, buffer, wanted, first * kSectorSize);
    if (r.error == 0) {
        // Past the end of the medium there is nothing to read: zeros.
        ZeroTail(buffer, wanted, r.bytes);
        CheckShortRead(first * kSectorSize, wanted, r.bytes);
        return true;
    }
    if (MediumGone(r.error)) {
        GiveUp(buffer, count);
        NoteSourceEnded(first);
        return false;
    }
    if (!consultPolicy || !IsRetry(policy_.ConsultBadSectorPolicy())) {
        GiveUp(buffer, count);
        return false;
    }
    for (std::uint32_t i = 0; i < count; ++i) {
        std::uint8_t* out = buffer + std::size_t{i} * kSectorSize;
        platform::ReadResult one = io_.ReadAt(fd, out, kSectorSize, (first + i) * kSectorSize);
        if (one.error != 0) {
            GiveUp(out, 1);
            if (MediumGone(one.error)) NoteSourceEnded(first + i);
        } else {
            ZeroTail(out, kSectorSize, one.bytes);
            CheckShortRead((first + i) * kSectorSize, kSectorSize, one.bytes);
        }
    }
    return false;
}

std::string SectorReader::WindowKey(const std::string& deviceName) const {
    // An image set is one source whatever device slot is asked for.
    return source_.ImageMode ? "\n" + source_.ImageFolder : deviceName;
}

bool SectorReader::ReadsLarge(const std::string& deviceName) {
    if (sourceBytes_.load(std::memory_order_relaxed) == kUnknown) return false;
    return source_.ImageMode || CachedDeviceFor(deviceName)->regularFile;
}

bool SectorReader::ReadLarge(const std::string& deviceName, std::uint64_t first, std::uint32_t count,
                             std::uint8_t* buffer, bool piecesAlone) {
    if (!ReadsLarge(deviceName)) return false;
    const std::string key = WindowKey(deviceName);
    const std::uint64_t end = first + count;
    for (std::uint64_t block = first / LargeReadSectors; block * LargeReadSectors < end; ++block) {
        const std::uint64_t blockFirst = block * LargeReadSectors;
        const std::uint64_t at = std::max(first, blockFirst);
        const std::uint64_t to = std::min<std::uint64_t>(end, blockFirst + LargeReadSectors);
        std::uint8_t* out = buffer + (at - first) * kSectorSize;
        if (!piecesAlone) {
            if (!ahead_.Copy(deviceName, key, block, at, to - at, out)) return false;
            continue;
        }
        // Saving goes from file to file, and a preview to any file: a piece
        // no block holds is read alone, not with the rest of its block.
        const auto readPiece = [&] {
            const BlockSource from{source_.ImageMode, source_.ImageMultiFile, source_.ImageFolder};
            return ReadInBlock(from, deviceName, at, {out, static_cast<std::size_t>((to - at) * kSectorSize)});
        };
        if (!ahead_.Copy(deviceName, key, block, at, to - at, out, readPiece)) return false;
    }
    return true;
}

bool SectorReader::ReadBlock(const BlockSource& from, const std::string& deviceName, std::uint64_t block,
                             std::span<std::uint8_t> bytes) {
    return ReadInBlock(from, deviceName, block * LargeReadSectors, bytes);
}

bool SectorReader::ReadInBlock(const BlockSource& from, const std::string& deviceName, std::uint64_t first,
                               std::span<std::uint8_t> bytes) {
    const std::uint64_t size = sourceBytes_.load(std::memory_order_relaxed);
    const std::uint64_t start = first * kSectorSize;
    // Past the source's end the 40-sector path gives what it always gave.
    if (size == kUnknown || start >= size) return false;
    const std::uint64_t expected = std::min<std::uint64_t>(bytes.size(), size - start);
    platform::ReadResult r;
    if (!from.imageMode) {
        const std::shared_ptr<DeviceHandle> device = CachedDeviceFor(deviceName);
        if (device->handle < 0) return false;
        r = io_.ReadAt(device->handle, bytes.data(), bytes.size(), start);
    } else {
        // A block never spans two parts of an image set.
        const bool multi = from.multiFile;
        const std::uint64_t inPart = multi ? first % ImagePartSectors : first;
        const std::optional<std::string> path =
            io_.FindEntryNoCase(from.folder, ImageReadPartName(multi, multi ? first / ImagePartSectors : 0));
        if (!path) return false;
        PartFile file(io_, *path);
        if (!file.Valid()) return false;
        r = io_.ReadAt(file.Get(), bytes.data(), bytes.size(), inPart * kSectorSize);
    }
    if (r.error != 0 || r.bytes < expected) return false;
    ZeroTail(bytes.data(), bytes.size(), r.bytes);
    return true;
}

}  // namespace zt
