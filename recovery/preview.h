// Preview of a found file: its sectors copied into "ZTtemp.<type>" in the
// temporary folder, which the results page then decodes or plays. The copy
// holds exactly the bytes a save of the file would write.
//
// The copies go to a folder of the user's own, never onto the medium being
// recovered (each copy written there could overwrite files still to be
// found): the temporary folder when it is private already, else a folder
// made for the user inside it, in the runtime folder or in the cache folder.
// Every copy is made owner-only under a private name and renamed onto
// "ZTtemp.<type>" when written: nothing is ever written through a link
// someone left there.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "core/scan/found_file_list.h"
#include "core/source/sector_reader.h"
#include "platform/destination.h"
#include "recovery/file_copy.h"

namespace zt {

// How the results page previews a type from the start: JPEG, BMP, GIF, PNG
// and TIFF are pictures, MPEG, WAV, AVI, MP3, MIDI and WMA are played; any
// other type has no preview here (the page may show more as the machine can).
PreviewKind PreviewKindOf(TypeId type);

// "ZTtemp." followed by the type name.
std::string PreviewFileName(std::string_view typeName);

// The preview files that Exit removes: the nine picture and media types the
// results page always cleaned up, and those of MIDI and WMA, which it
// previews too.
std::span<const std::string_view> PreviewTypeNames();

// Removes every preview file of PreviewTypeNames() from folder and nothing else.
void RemovePreviewFiles(const std::string& folder);

struct PreviewFolder {
    std::string path;
    bool make = false;  // made for the user when missing; else taken only as it is
};

// Where preview copies may go, best first: $TMPDIR (or /tmp), a folder
// "zentrix-pictora-<user id>" in it, "zentrix-pictora" in $XDG_RUNTIME_DIR,
// and "zentrix-pictora" in the cache folder (~/.cache).
std::vector<PreviewFolder> PreviewFolderCandidates();

// The first candidate that is a private folder of the user's (see
// platform::PrivateFolder) and does not lie on the source's medium; empty
// when there is none, and then nothing is previewed.
std::string ChoosePreviewFolder(const std::vector<PreviewFolder>& candidates, const SourceDescriptor& source,
                                platform::Destination& destination, platform::RawIo& io);

class PreviewExtractor {
public:
    // Reads through a reader of its own over a copy of source whose range is
    // lifted, as saving does: a file found near the end of a narrowed range
    // is previewed with its real sectors.
    PreviewExtractor(const SourceDescriptor& source, BadSectorPolicyState& policy, std::string folder,
                     platform::RawIo& io);

    const std::string& Folder() const { return folder_; }
    std::string PathFor(std::string_view typeName) const;

    // Copies the file's sectors startSector through startSector + sectorCount
    // into its preview file. Returns the path, or nothing when there is no
    // folder for previews or the file could not be created (the last preview of the type then stays as it was). A
    // write that fails part-way keeps what was written. Calls are serialised.
    // A file a file system names is copied from its pieces (runs) instead.
    std::optional<std::string> Extract(const FileInfo& file, std::span<const SectorRun> runs = {});

private:
    SourceDescriptor source_;
    SectorReader reader_;
    std::string folder_;
    FileSectorCopy copy_;
    std::mutex mutex_;
};

// The pictures shown while a scan runs. The scan thread offers a copy of
// every 1st, 12th, 23rd ... picture of a type; it is extracted at once unless
// another offer is still being extracted, and the page's next half-second tick
// takes the path to show.
class LivePreview {
public:
    explicit LivePreview(PreviewExtractor& extractor) : extractor_(extractor) {}

    // On the scan thread. False when it was skipped because an extraction was busy.
    bool Offer(const FileInfo& file);
    // On the user-interface thread: the path of the latest finished extraction,
    // once; nothing when none has finished since the last call.
    std::optional<std::string> TakeReady();

private:
    PreviewExtractor& extractor_;
    std::atomic<bool> busy_{false};
    std::atomic<bool> ready_{false};
    std::mutex pathMutex_;
    std::string path_;
};

}  // namespace zt
