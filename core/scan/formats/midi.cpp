// Standard MIDI files: the header chunk and its tracks.
#include "core/scan/formats/families.h"
#include "core/scan/formats/walk_common.h"

namespace zt::formats {

Extent MeasureMidi(FileView& view) {
    const std::optional<std::uint32_t> headerLength = view.Be32(4);
    const std::optional<std::uint16_t> tracks = view.Be16(10);
    // Every format of the standard holds at least one track.
    if (!headerLength || !tracks || *headerLength < 6 || *headerLength > 64 || *tracks == 0) return kNotAFile;
    std::uint64_t pos = 8 + std::uint64_t{*headerLength};
    for (std::uint32_t seen = 0; seen < *tracks;) {
        std::uint8_t chunk[8];
        if (!view.Read(pos, chunk, 8)) return kUnknown;
        if (!std::all_of(chunk, chunk + 4, [](std::uint8_t c) { return c >= 0x20 && c < 0x7F; })) return kUnknown;
        if (std::memcmp(chunk, "MTrk", 4) == 0) ++seen;
        pos += 8 + std::uint64_t{Be32At(chunk + 4)};
        if (pos > view.Limit()) return kUnknown;
    }
    return Exact(pos);
}

FormatMatch DetectMidi(const std::uint8_t* s, std::size_t available) {
    if (Starts(s, available, 0, "MThd")) return {FormatFamily::Midi, "MIDI"};
    return {};
}

}  // namespace zt::formats
