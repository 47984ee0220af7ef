// MPEG transport streams, 188-byte packets and 192-byte M2TS ones.
#include <array>

#include "core/scan/formats/families.h"
#include "core/scan/formats/walk_common.h"

namespace zt::formats {

namespace {

// The first five bytes of a packet as a stream can hold them: the sync byte,
// no transport error flagged, a payload or an adaptation field or both (the
// fourth combination is reserved, and pixels or samples that repeat a byte
// near 0x47 make it), and an adaptation field that fits the packet: all of
// it when there is no payload, room for a byte of payload when there is one.
bool IsPacketHeader(const std::uint8_t* h) {
    if (h[0] != 0x47 || (h[1] & 0x80)) return false;
    switch (h[3] >> 4 & 3) {
        case 0: return false;
        case 2: return h[4] == 183;
        case 3: return h[4] <= 182;
        default: return true;
    }
}

bool IsTransportRun(const std::uint8_t* s, std::size_t available, std::size_t packet, std::size_t first) {
    for (std::size_t k = 0; k < 3; ++k) {
        const std::size_t at = first + k * packet;
        if (at + 5 > available || !IsPacketHeader(s + at)) return false;
    }
    return true;
}

// A transport stream of either packet size starting at `at`.
bool StartsTransport(FileView& view, std::uint64_t at) {
    std::uint8_t s[3 * 192];
    if (view.Read(at, s, sizeof s) && IsTransportRun(s, sizeof s, 192, 4)) return true;
    return view.Read(at, s, 3 * 188) && IsTransportRun(s, 3 * 188, 188, 0);
}

}  // namespace

Extent MeasureTransport(FileView& view) {
    std::uint8_t h[8];
    if (!view.Read(0, h, 5)) return kUnknown;
    const std::uint64_t packet = h[0] == 0x47 ? 188 : 192;
    const std::uint64_t sync = packet == 188 ? 0 : 4;
    std::uint64_t pos = 0;
    // The continuity count of each PID's last packet with a payload, none yet.
    std::array<std::int8_t, 8192> counts;
    counts.fill(-1);
    // The count of packets, enough for more than 4 GiB of them, only keeps
    // the walk's work bounded.
    for (std::uint64_t packets = 0;; ++packets) {
        if (packets == std::uint64_t{kMaxPieces} * 8) return Sure(pos);
        const bool header = view.Read(pos + sync, h, 5);
        const std::optional<std::uint8_t> b = header ? std::optional<std::uint8_t>(h[0]) : view.U8(pos + sync);
        if (!b) return pos < 3 * packet ? kUnknown : Sure(pos);
        // A packet whose sync byte is there but whose rest lies past the
        // bound may go on: the stream's end is not known.
        if (*b != 0x47 || (header && !IsPacketHeader(h))) break;
        // Each PID's packets with a payload count on by one (one may come
        // twice). A packet at a sector start that opens a section or PES
        // packet out of turn is another stream's first, laid right where a
        // copy cut short at a packet's end stops.
        if (header) {
            const unsigned pid = (h[1] & 0x1Fu) << 8 | h[2];
            if (pid != 0x1FFF && (h[3] & 0x10)) {
                const int count = h[3] & 0x0F, last = counts[pid];
                if (last >= 0 && pos % 512 == 0 && (h[1] & 0x40) && count != last && count != (last + 1) % 16) break;
                counts[pid] = static_cast<std::int8_t>(count);
            }
        }
        if (pos + packet > view.Limit()) return Sure(pos);
        pos += packet;
    }
    // A copy cut short with another stream right behind it, from the next
    // sector on: the copy's last packet runs into that stream's first one,
    // whose sector is left for it rather than taken into the copy.
    if (pos >= packet) {
        if (const auto next =
                NextFileWithin(pos - packet, pos, [&](std::uint64_t at) { return StartsTransport(view, at); }))
            pos = *next;
    }
    if (pos < 3 * packet) return kNotAFile;
    return Exact(pos);
}

// Three packets in a row, their sync bytes where the packet length puts
// them and no transport error flagged.
FormatMatch DetectTransport(const std::uint8_t* s, std::size_t available) {
    if (IsTransportRun(s, available, 188, 0)) return {FormatFamily::MpegTransport, "MTS"};
    return {};
}

// The same, each packet led by the 4-byte time stamp of M2TS.
FormatMatch DetectTimestampedTransport(const std::uint8_t* s, std::size_t available) {
    if (IsTransportRun(s, available, 192, 4)) return {FormatFamily::MpegTransport, "MTS"};
    return {};
}

}  // namespace zt::formats
