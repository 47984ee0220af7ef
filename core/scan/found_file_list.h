// The result of a scan: one record per found file, in the order the scan
// recorded them. A record says only where the file lies on the source.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/scan/catalogue.h"

namespace zt {

inline constexpr std::size_t kFileTypeNameCapacity = 5;  // 4 characters and the terminator
inline constexpr std::size_t kFileNameCapacity = 27;

struct FileInfo {
    std::array<char, kFileTypeNameCapacity> typeName{};  // NUL-terminated, as in the catalogue
    std::array<char, kFileNameCapacity> fileName{};      // "File%d.%s", NUL-terminated
    std::uint64_t startSector = 0;                       // sector of the file's header
    std::int32_t sectorCount = 0;                        // length as the scan decided it
    std::uint8_t selected = 0;                           // ticked for saving
    // The file's exact length in bytes where its format records it (extended
    // signatures); 0 when only the sector count is known.
    std::uint64_t byteLength = 0;
    // Extended signatures: 1 when the record is not the whole file, because
    // its end could not be found or it is longer than the largest size kept
    // for its type. Saving such a record never counts as a whole file.
    std::uint8_t cut = 0;
    // The type of typeName, in the room after `cut` the record always had.
    TypeId type = kNoType;

    std::string_view TypeName() const { return {typeName.data()}; }
    std::string_view FileName() const { return {fileName.data()}; }
    bool operator==(const FileInfo&) const = default;
};
static_assert(sizeof(FileInfo) == 64, "the type's identity takes no room the record did not have");

// A piece of a file found through the card's file system, in sectors of the source.
struct SectorRun {
    std::uint64_t first = 0;
    std::uint64_t count = 0;
    bool operator==(const SectorRun&) const = default;
};

enum class NamedFileState : std::uint8_t {
    Live,
    Deleted,
    // Deleted, and its clusters were also claimed by another deleted entry,
    // or its format could not be followed to its end to prove it whole.
    DeletedMaybeOverwritten,
};

// What the file system tells of a found file beyond where it starts. Only
// files found through a file system have one; a carved record never does, so
// with the file-system option off the list holds exactly what it always did.
struct NamedFile {
    std::string path;           // folders and name inside the file system, '/'-separated, UTF-8
    std::int64_t modified = 0;  // seconds since 1970, 0 when unknown
    NamedFileState state = NamedFileState::Live;
    bool orphan = false;          // listed by a folder that no longer hangs from the root
    std::vector<SectorRun> runs;  // the data in file order; together at least byteLength
    std::uint32_t fileSystem = 0; // which file system of the scan found it
    // The file system as the folder its files are saved under ("FAT32 at sector 2048").
    std::string volume;
    bool operator==(const NamedFile&) const = default;
};

// A record as the scan makes it: named "File<number>.<type>", not selected,
// of the catalogue's type of that name. The type name is cut to 4 characters.
FileInfo MakeFileInfo(std::string_view typeName, std::int32_t number, std::uint64_t startSector,
                      std::int32_t sectorCount);

// Grows on the scan thread while other threads read its count; walks and
// updates are meant for after the scan, but a short internal mutex keeps any
// interleaving safe. Elements are copied in and out by value.
class FoundFileList {
public:
    void Append(const FileInfo& info);
    // Appends a record of a file found through a file system, with its name and pieces.
    void AppendNamed(const FileInfo& info, NamedFile named);
    // The file-system side of the record at this position, when it has one.
    std::optional<NamedFile> Named(std::size_t index) const;
    // The file-system side of the record of this file name, when it has one.
    std::optional<NamedFile> NamedByName(std::string_view fileName) const;
    // Every record's file-system side, by record position.
    std::map<std::size_t, NamedFile> NamedSnapshot() const;
    // Number of records; cheap, for any thread at any time.
    std::size_t Count() const { return count_.load(std::memory_order_acquire); }
    // Visits the records from the first, by value. The visitor must not call
    // back into the list.
    void Walk(const std::function<void(const FileInfo&)>& visit) const;
    std::vector<FileInfo> Snapshot() const;

    // Sets `selected` of the record with this file name; false when none has it.
    bool SetSelectedByName(std::string_view fileName, bool selected);
    // Sets `selected` of every record of this type.
    std::size_t SetSelectedByType(TypeId type, bool selected);
    void SetSelectedAll(bool selected);
    void Clear();

private:
    mutable std::mutex mutex_;
    std::vector<FileInfo> records_;
    std::map<std::size_t, NamedFile> named_;  // by position in records_; empty unless the option is on
    std::atomic<std::size_t> count_{0};
};

}  // namespace zt
