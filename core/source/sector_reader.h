// Delivers runs of 512-byte sectors of the chosen source into a caller's
// buffer: a device (or a raw image file read like one) in requests of at most
// 40 sectors, or an image set of one file or numbered parts.
//
// During a run, an image (a raw image file or a part of an image set) is read
// in aligned blocks of LargeReadSectors, and what was read whole is kept in a
// bounded window so that sectors needed again come from memory. A thread of
// the reader's own reads the next blocks ahead of the last one asked for. A
// block whose read fails sends the request that needed it down the 40-sector
// path, on the thread that made it, so the questions, zeros and counts stay
// those of that path. A block device gets exactly the requests it always got.
//
// Unreadable places are put to the bad-sector policy. Wherever a place is
// given up, its sectors come back as zeros: data left over from an earlier
// read must never reach a recovered file or an image.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "core/source/bad_sector_policy.h"
#include "core/source/read_ahead.h"
#include "core/source/read_window.h"
#include "core/source/source_descriptor.h"
#include "platform/raw_io.h"

namespace zt {

// The block in which images are read during a run: 2 MiB, one huge page of
// block memory (core/source/block_memory.h). Parts of an image
// set hold a whole number of blocks, so no block spans two parts.
inline constexpr std::uint32_t LargeReadSectors = 4096;
static_assert(ImagePartSectors % LargeReadSectors == 0);
// Blocks read ahead of the last one asked for: enough to keep the other core
// busy while the scan examines one, so that the scan's thread, which reads
// ahead too while it would wait, seldom has to.
inline constexpr std::uint32_t ReadAheadBlocks = 4;
// What the window of sectors read keeps at most: 4 MiB behind the block in
// hand (a rescan from the sector after a header seldom goes further back),
// besides those read ahead of it.
inline constexpr std::size_t ReadWindowBytes =
    (std::size_t{4} << 20) + std::size_t{ReadAheadBlocks} * LargeReadSectors * kSectorSize;

class SectorReader {
public:
    // The reader keeps references: the descriptor is filled by the source
    // page and lives until it is filled again; the policy lives for the process.
    SectorReader(const SourceDescriptor& source, BadSectorPolicyState& policy, platform::RawIo& io);
    ~SectorReader();
    SectorReader(const SectorReader&) = delete;
    SectorReader& operator=(const SectorReader&) = delete;

    // Reads count sectors from sector first into buffer (count x 512 bytes).
    // Returns nonzero when the last request made to the source succeeded.
    // Callers rely on the buffer's content, not on the result.
    std::int32_t ReadSectors(const std::string& deviceName, std::uint64_t first, std::uint32_t count,
                             std::uint8_t* buffer);

    // Convenience: reads from the descriptor's selected device slot.
    std::int32_t ReadSectors(std::uint64_t first, std::uint32_t count, std::uint8_t* buffer) {
        return ReadSectors(source_.SelectedDevice(), first, count, buffer);
    }

    // Copies count sectors from first into buffer only when a run is under
    // way and every one of them comes whole, without an error, from the
    // blocks of an image read in large requests (held in the window or read
    // now); false otherwise, with nothing asked, counted or zeroed, and the
    // caller then reads those sectors through ReadSectors as it always did.
    // Saving and imaging take their large pieces this way, so that a source
    // that is not such an image, or a stretch of one that did not read
    // whole, still gets exactly the requests and questions it got before.
    bool ReadHeld(std::uint64_t first, std::uint32_t count, std::uint8_t* buffer);

    // The sectors ReadSectors would put into buffer, where a run reads an
    // image in blocks and one block read whole holds them all: looked at in
    // place, kept by view until it is reset or given another run of sectors.
    // Otherwise they are read into buffer as ReadSectors reads them, and
    // buffer is returned. For a reader that only looks (the scan), so that
    // what was read is not copied once more.
    const std::uint8_t* ViewSectors(std::uint64_t first, std::uint32_t count, std::uint8_t* buffer,
                                    ReadWindow::View& view);
    // The sectors ReadHeld would copy, looked at in place (kept by view),
    // where the blocks read hold them all already, or once a read of them
    // under way ends, in one block or two that lie one after the other in
    // memory; null otherwise, with nothing read, asked or counted. Saving
    // writes from them without a copy.
    const std::uint8_t* ViewHeld(std::uint64_t first, std::uint32_t count, ReadWindow::View& view);

    const SourceDescriptor& Source() const { return source_; }

    // The count of sectors delivered as zeros because they could not be read
    // (a failed read that was skipped or stayed unreadable on retry, a device
    // or image part that could not be opened, a part missing from a set),
    // since the reader was made or last reset. Sectors past the end of the
    // source are not counted: they hold nothing. Any thread may ask while a
    // run reads; each run (scan, imaging, saving) resets it as it starts, so
    // at the end of a run it is that run's count, for its end message.
    std::uint64_t UnreadableSectors() const { return unreadable_.load(std::memory_order_relaxed); }
    void ResetUnreadableSectors() { unreadable_.store(0, std::memory_order_relaxed); }

    // As each run (scan, imaging, saving) starts: resets the count of
    // unreadable sectors and of sectors lost to a source that ended early,
    // and takes the source's length in bytes, against which every later read
    // is measured.
    void StartRun();
    // The source's length in bytes as StartRun found it; nothing when it
    // could not be found. A last partial sector is read as a whole one padded
    // with zeros, so only this length says where the source's bytes end.
    std::optional<std::uint64_t> SourceBytes() const;
    // The first sector that lay inside the source when the run started but
    // could no longer be read as it was: the medium became shorter (a read
    // ended early, an image part vanished or shrank) or went away (the
    // device is gone). Each such sector is also counted as unreadable. Once
    // set it stays for the run; a run that sees it ends as a failure.
    std::optional<std::uint64_t> SourceEndedAt() const;

    // The files this reader reads: the device, or the parts of the image set.
    std::vector<std::string> SourceFiles() const;

private:
    struct DeviceHandle;
    std::shared_ptr<DeviceHandle> CachedDeviceFor(const std::string& path);

    std::int32_t ReadImage(std::uint64_t first, std::uint32_t count, std::uint8_t* buffer);
    std::int32_t ReadSpanning(std::uint64_t first, std::uint32_t count, std::uint8_t* buffer,
                              bool& retryUsed);
    std::int32_t ReadDevice(const std::string& deviceName, std::uint64_t first, std::uint32_t count,
                            std::uint8_t* buffer);
    // One device request; on failure the policy decides between sector-by-
    // sector re-reads and zeros. Returns the success of the request itself.
    bool ReadDeviceRequest(const std::string& deviceName, int fd, std::uint64_t first, std::uint32_t count,
                           std::uint8_t* buffer, bool consultPolicy);
    // Serves the request from blocks of the image held in the window or read
    // whole now; false (the buffer then undefined) when the source is not an
    // image, no run measured it, or a block needed could not be read whole.
    // With piecesAlone, a piece of a block that is not held nor being read
    // is read by itself rather than with its whole block.
    bool ReadLarge(const std::string& deviceName, std::uint64_t first, std::uint32_t count, std::uint8_t* buffer,
                   bool piecesAlone = false);
    // True when the source read through deviceName is read in blocks now.
    bool ReadsLarge(const std::string& deviceName);
    // What ReadHeld and ViewHeld ask of a piece before they look for it: a
    // run under way, and no sector of the piece past the range end.
    bool HeldPieceAsked(std::uint64_t first, std::uint32_t count) const;
    // Looks at sectors [first, first + count) of a source read large in
    // place: true with view over all of them where they lie in one block, or
    // in two whose bytes follow each other in memory. Otherwise false, with
    // view (and next, for the second block) holding what could be looked at.
    // heldOnly: only blocks read already or being read (see ReadAhead::Look).
    bool LookAcross(const std::string& device, std::uint64_t first, std::uint64_t count, bool heldOnly,
                    ReadWindow::View& view, ReadWindow::View& next);
    // What a block read needs of the descriptor, taken as a run starts.
    struct BlockSource {
        bool imageMode = false;
        bool multiFile = false;
        std::string folder;
    };
    // Reads block `block` (LargeReadSectors from block x LargeReadSectors)
    // into bytes; true when every byte inside the source arrived without an
    // error (the bytes past the source's end are zeros). Changes nothing else:
    // it runs on the thread ahead too.
    bool ReadBlock(const BlockSource& from, const std::string& deviceName, std::uint64_t block,
                   std::span<std::uint8_t> bytes);
    // The same for the sectors from first on that bytes has room for, all
    // inside one block.
    bool ReadInBlock(const BlockSource& from, const std::string& deviceName, std::uint64_t first,
                     std::span<std::uint8_t> bytes);
    // The window's name for the source read through deviceName.
    std::string WindowKey(const std::string& deviceName) const;
    bool RunActive() const { return runActive_.load(std::memory_order_relaxed); }
    std::string PartName(std::uint64_t partIndex) const;
    // A read at byte position `at` of the source (its place in the whole
    // source, parts of an image set counted one after the other) that
    // delivered `delivered` of `wanted` bytes without an error: whatever of
    // the rest lay inside the source as the run started is lost, counted and
    // remembered.
    void CheckShortRead(std::uint64_t at, std::size_t wanted, std::size_t delivered);
    // Sectors [first, first + count) were given up; those that lay inside the
    // source as the run started mean that the source went away there.
    void NoteGoneAt(std::uint64_t first, std::uint64_t count);
    void NoteSourceEnded(std::uint64_t sector);
    // Reads count sectors at source sector first from an open part of the
    // image set, zeroing and counting what did not arrive; true when the
    // request itself succeeded.
    bool ReadPart(int handle, std::uint64_t first, std::uint32_t count, std::uint8_t* buffer);
    void CountUnreadable(std::uint64_t sectors) { unreadable_.fetch_add(sectors, std::memory_order_relaxed); }
    // Zeros sectors that could not be read, and counts them.
    void GiveUp(std::uint8_t* buffer, std::uint64_t sectors);

    const SourceDescriptor& source_;
    BadSectorPolicyState& policy_;
    platform::RawIo& io_;

    // The device stays open across calls (and threads) until another path is
    // read. A failed open is cached too, so it is not retried for that path.
    std::mutex cacheMutex_;
    std::shared_ptr<DeviceHandle> cachedDevice_;
    std::atomic<std::uint64_t> unreadable_{0};
    static constexpr std::uint64_t kUnknown = ~std::uint64_t{0};
    std::atomic<std::uint64_t> sourceBytes_{kUnknown};
    std::atomic<std::uint64_t> endedAt_{kUnknown};

    std::atomic<bool> runActive_{false};
    ReadWindow window_{ReadWindowBytes};
    // Last, so that its thread ends before anything it reads through goes.
    ReadAhead ahead_;
};

// "the source became shorter or went away at sector 600", for the end
// messages and the logs.
std::string SourceEndedText(std::uint64_t sector);

}  // namespace zt
