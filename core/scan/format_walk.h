// Extended signatures: headers recognised as each format defines its start,
// and the file's true end found by walking the format's own structure
// (segments, chunks, boxes, pages, frames) instead of looking for a marker.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "core/scan/file_view.h"

namespace zt {

enum class FormatFamily : std::uint8_t {
    None,
    Jpeg,
    Png,
    Gif,
    Bmp,
    Tiff,      // TIFF and the TIFF-based camera RAW formats, both byte orders
    IsoMedia,  // MP4, MOV, M4V, M4A, 3GP, 3G2, HEIC, CR3
    Ebml,      // MKV, WEBM
    Riff,      // WAV, AVI, WEBP
    Aiff,
    Au,
    Psd,
    Midi,
    Ogg,
    Flac,
    Mp3,
    MpegProgram,
    MpegVideo,  // an elementary stream from its sequence header
    MpegTransport,
    Dv,
    Asf,
    RealMedia,
    Jp2,
};

struct FormatMatch {
    FormatFamily family = FormatFamily::None;
    // The type the header alone points to; the walk may settle another one
    // of the same family (the maker of a TIFF, VOB for an MPEG stream).
    std::string_view type;
};

// Looks at the start of one sector. `available` counts the bytes at hand from
// the sector's start (at least the 512 of the sector); nothing beyond them is
// read. Checks only what the first bytes can show cheaply; the walk decides.
FormatMatch DetectFormat(const std::uint8_t* sector, std::size_t available);

enum class ExtentKind : std::uint8_t {
    Exact,     // the structure was followed to its end
    Unknown,   // it could not be followed (truncated, corrupt, too large): use the marker rules
    NotAFile,  // what looked like a header is not the start of a file
};

struct Extent {
    ExtentKind kind = ExtentKind::Unknown;
    // Exact: the file's length in bytes. Unknown: how much of its start the
    // walk is sure of (headers there lie inside the file), 0 when none. A
    // stream that records no length (MPEG program, transport and elementary
    // streams, DV, MPEG audio) and is still going on at the view's limit is
    // Unknown, sure of its whole units: the limit may be the type's size
    // bound, not the file's end.
    std::uint64_t bytes = 0;
    // The type the walk settled, empty to keep the header's; an Unknown
    // extent may carry one too, from the part the walk is sure of.
    std::string_view type;
    // Exact, from a size the file declares over data the walk cannot check
    // (sound samples, pixels): a header inside may be a file that has
    // overwritten the rest of this one, so the scan still looks inside.
    bool opaque = false;
};

// Walks the file that starts at offset 0 of the view. Never reads at or past
// the view's limit; a file that would reach past it is Unknown.
Extent MeasureFormat(FormatFamily family, FileView& view);

}  // namespace zt
