// The scan: walks the range of the chosen source in chunks, finds where files
// of the selected types begin and end, and records each one in FoundFileList.
// Run() works on the calling thread; Start() runs it on a thread of its own.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <ctime>
#include <functional>
#include <memory>
#include <mutex>
#include <string_view>
#include <vector>

#include "core/scan/catalogue.h"
#include "core/scan/detection.h"
#include "core/scan/extended_detection.h"
#include "core/scan/found_file_list.h"
#include "core/scan/scan_summary.h"
#include "core/source/sector_reader.h"
#include "core/source/worker_slot.h"

namespace zt {

// Sectors read and examined at a time.
inline constexpr std::uint32_t ChunkSectors = 1000;
// A PSP or MP3 file ends after this many sectors in a row without its marker
// (counting the last sector that had it).
inline constexpr std::int32_t TrailingMarkerQuietSectors = 350;
// ... and it is taken to run this many sectors past its last marker sector.
inline constexpr std::int32_t TrailingMarkerTailSectors = 10;
// A format walk reads the file outside the chunk in blocks of this many
// sectors (2 MiB): a stream followed to its end costs about one read of it.
inline constexpr std::uint32_t WalkBlockSectors = 4096;
// Every 11th picture of a type (the 1st, 12th, 23rd ...) is offered for a live preview.
inline constexpr std::int32_t PreviewEvery = 11;

struct ScanCallbacks {
    // On the scan thread, for a picture whose end was found: a copy to preview.
    std::function<void(const FileInfo&)> previewFoundPicture;
    // On the scan thread, once, when the scan ends because a stop was requested:
    // the results should select their first type.
    std::function<void()> selectFirstTypeAtStop;
    // On the scan thread, after the unread-sector count is reset and before
    // the first chunk: work of the same run whose reads count with the scan's.
    std::function<void()> beforeChunks;
    // On the scan thread, each chunk as it was read (a chunk read again after
    // a rejected header comes again).
    std::function<void(std::uint64_t firstSector, std::uint32_t count, const std::uint8_t* data)> examineChunk;
    // On the scan thread after the last chunk, whether or not a stop ended
    // the scan, before the summary's end time and file count are taken.
    std::function<void(bool stopped)> afterChunks;
};

class ScanDriver {
public:
    // The driver keeps references. The source range comes from the reader's
    // descriptor; the type list must stay unchanged in size while it runs (it
    // writes foundCount and the MKV end marker into it).
    // With extended signatures the list comes from the extended catalogue.
    ScanDriver(SectorReader& reader, TypeDefinitionList& types, FoundFileList& found, ScanCallbacks callbacks = {},
               SignatureMode mode = SignatureMode::Standard);
    // Asks a running scan to stop and waits for it.
    ~ScanDriver();
    ScanDriver(const ScanDriver&) = delete;
    ScanDriver& operator=(const ScanDriver&) = delete;

    // Starts the scan on the slot's thread. A driver scans once.
    void Start();
    // The whole scan on the calling thread.
    void Run();
    // Waits for the thread started by Start().
    void Join() { slot_.Join(); }
    // Waits until the scan has ended or the timeout has passed; true when it
    // has ended. Lets a monitor wake at once at the end instead of polling.
    bool WaitUntilEnded(std::chrono::milliseconds timeout) { return slot_.WaitUntilEnded(timeout); }

    // The scan's thread slot: its gate holds the scan at the next chunk
    // boundary (AskToStop uses it with the stop flag).
    WorkerSlot& Slot() { return slot_; }
    // Honoured within one chunk's work, whatever the data (a chunk read again
    // and again after rejected headers, a trailing-marker look-ahead running
    // far past the chunk); the files recorded before stay. Any thread.
    void RequestStop() { slot_.RequestStop(); }
    bool StopRequested() const { return slot_.StopRequested(); }

    // Published for the progress display; safe from any thread.
    bool Running() const { return slot_.Running(); }
    std::uint64_t CurrentSector() const { return currentSector_.load(std::memory_order_relaxed); }
    std::uint64_t ScanEndSector() const { return scanEndSector_.load(std::memory_order_relaxed); }
    // Files recorded so far for the type at this position of the type list.
    std::int32_t FoundCount(std::size_t typeIndex) const;
    // True once a finished scan ended early because of a stop request.
    bool EndedByStop() const { return endedByStop_.load(std::memory_order_acquire); }
    // The finished scan's summary: where it ended, the files in the list, its
    // start and end times, whether a stop cut it short, and the sectors the
    // reader could not read. Only meaningful once Running() is false.
    ScanSummary Summary() const;

private:
    enum class EndKind : std::uint8_t { NotYet, EndFound, Reject, Stopped };
    struct EndResult {
        EndKind kind = EndKind::NotYet;
        std::int32_t sectorCount = 0;
        std::int32_t number = 0;
    };
    // What the scan needs of a type on its hot path, taken once per run from
    // the catalogue row and the type's definition.
    struct RunTraits {
        LengthRule lengthRule = LengthRule::None;
        bool trailingMarker = false;  // PSP and MP3
        bool previewable = false;     // pictures offered for a live preview
        bool isMkv = false;
    };
    struct OpenFile {
        int type = -1;
        std::uint64_t start = 0;
        std::int32_t examined = 0;
        std::int32_t limit = 0;
        // Extended signatures: sectors before these hold the part of the file
        // its format walk was sure of; no header there is a file of its own,
        // and before blindUntil no end marker either.
        std::uint64_t quietUntil = 0;
        std::uint64_t blindUntil = 0;
    };
    static constexpr std::uint64_t kNoRescan = ~std::uint64_t{0};
    // ScanChunk's answer when a stop request ended it in the middle of a file.
    static constexpr std::uint64_t kStopped = kNoRescan - 1;

    void Scan();
    std::uint64_t ScanChunk(std::uint64_t base, std::uint32_t count, OpenFile& open);
    std::uint64_t ScanChunkExtended(std::uint64_t base, std::uint32_t count, OpenFile& open);
    // One sector for the marker rules, given what detection found there (-1:
    // nothing). Returns kNoRescan, or the sector to read the next chunk from.
    std::uint64_t StepMarkerRules(OpenFile& open, int r, std::int32_t limit, const std::uint8_t* sector,
                                  std::size_t available, std::uint64_t cur);
    // A file whose end the marker rules found.
    void RecordFound(int type, std::int32_t number, std::uint64_t start, std::int32_t sectorCount);
    // Appends a record and offers every PreviewEvery-th picture for a preview.
    void Publish(int type, std::int32_t number, const FileInfo& info);
    // Opens a file at cur; returns false when its header sector is not given
    // to the end rule (MKV).
    bool OpenAt(OpenFile& open, int type, std::int32_t limit, std::uint64_t cur);
    void RecordClosedByHeader(const OpenFile& open, std::uint64_t cur);
    void RecordAtLimit(const OpenFile& open, std::uint64_t cur);
    // How the end of a file recorded with extended signatures was decided.
    enum class Ends : std::uint8_t {
        Exact,     // its walk measured it to the byte
        AtSector,  // an end rule of the catalogue found it
        NotFound,  // another file's header or the search limit cut it
    };
    // Records `bytes` from start with extended signatures, no more than the
    // type keeps; the record is marked cut when that is less than the file or
    // its end was not found.
    void RecordExtended(int type, std::int32_t number, std::uint64_t start, std::uint64_t bytes, Ends ends);
    // Where the scan goes on after a file it gave up: the sector after its
    // header, or after the part its walk was sure of.
    static std::uint64_t ResumeAfter(const OpenFile& open);
    EndResult FindEnd(const OpenFile& open, const std::uint8_t* sector, std::size_t available, std::uint64_t cur);
    EndResult LengthFieldEnd(const stExtInfo& d, LengthRule rule, const std::uint8_t* sector,
                             std::size_t available) const;
    // The trailing-marker end of the open file, looked for from the sector
    // `from`, whose bytes fromSector holds with the rest of the chunk.
    EndResult TrailingMarkerRun(const OpenFile& open, const std::uint8_t* fromSector, std::uint64_t from,
                                std::uint64_t chunkEnd);
    std::int32_t CountFound(int type);
    void Record(int type, std::int32_t number, std::uint64_t start, std::int32_t sectorCount);

    SectorReader& reader_;
    TypeDefinitionList& types_;
    FoundFileList& found_;
    ScanCallbacks callbacks_;
    SignatureDetector detector_;
    std::unique_ptr<ExtendedDetector> extended_;  // only with extended signatures
    std::unique_ptr<WalkBlocks> walkBlocks_;      // what format walks read outside the chunk
    struct Container {
        std::uint64_t end = 0;  // the sector after the last recorded file whose data is looked into
        FormatFamily family = FormatFamily::None;
    } container_;
    std::vector<RunTraits> traits_;
    std::unique_ptr<std::atomic<std::int32_t>[]> foundCounts_;
    UnzeroedBytes chunk_;
    // The chunk in hand: in chunk_, or in a block the reader holds, kept by chunkView_.
    const std::uint8_t* chunkData_ = nullptr;
    ReadWindow::View chunkView_;
    std::array<std::uint8_t, kSectorBytes> markerSector_{};

    std::atomic<bool> started_{false};
    std::atomic<bool> endedByStop_{false};
    std::atomic<std::uint64_t> currentSector_{0};
    std::atomic<std::uint64_t> scanEndSector_{0};
    // Written by the scan before the slot clears its running flag, read after.
    std::time_t startTime_ = 0;
    std::time_t endTime_ = 0;
    WorkerSlot slot_;
};

}  // namespace zt
