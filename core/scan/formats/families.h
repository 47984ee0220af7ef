// Each family's two halves: what its header looks like in a sector's first
// bytes (`available` of them at hand, at least 512) and how its file is
// walked to the end. The registry lists them; callers use format_walk.h.
#pragma once

#include <cstddef>
#include <cstdint>

#include "core/scan/format_walk.h"

namespace zt::formats {

using Detector = FormatMatch (*)(const std::uint8_t* s, std::size_t available);
using Walk = Extent (*)(FileView& view);

FormatMatch DetectJpeg(const std::uint8_t* s, std::size_t available);
Extent MeasureJpeg(FileView& view);
FormatMatch DetectPng(const std::uint8_t* s, std::size_t available);
Extent MeasurePng(FileView& view);
FormatMatch DetectGif(const std::uint8_t* s, std::size_t available);
Extent MeasureGif(FileView& view);
FormatMatch DetectBmp(const std::uint8_t* s, std::size_t available);
Extent MeasureBmp(FileView& view);
FormatMatch DetectTiff(const std::uint8_t* s, std::size_t available);
Extent MeasureTiff(FileView& view);
FormatMatch DetectIso(const std::uint8_t* s, std::size_t available);
Extent MeasureIso(FileView& view);
FormatMatch DetectEbml(const std::uint8_t* s, std::size_t available);
Extent MeasureEbml(FileView& view);
FormatMatch DetectRiff(const std::uint8_t* s, std::size_t available);
Extent MeasureRiff(FileView& view);
FormatMatch DetectAiff(const std::uint8_t* s, std::size_t available);
Extent MeasureAiff(FileView& view);
FormatMatch DetectAu(const std::uint8_t* s, std::size_t available);
Extent MeasureAu(FileView& view);
FormatMatch DetectPsd(const std::uint8_t* s, std::size_t available);
Extent MeasurePsd(FileView& view);
FormatMatch DetectMidi(const std::uint8_t* s, std::size_t available);
Extent MeasureMidi(FileView& view);
FormatMatch DetectOgg(const std::uint8_t* s, std::size_t available);
Extent MeasureOgg(FileView& view);
FormatMatch DetectFlac(const std::uint8_t* s, std::size_t available);
Extent MeasureFlac(FileView& view);
FormatMatch DetectMp3(const std::uint8_t* s, std::size_t available);
Extent MeasureMp3(FileView& view);
FormatMatch DetectMpegProgram(const std::uint8_t* s, std::size_t available);
Extent MeasureMpegProgram(FileView& view);
FormatMatch DetectMpegVideo(const std::uint8_t* s, std::size_t available);
Extent MeasureMpegVideo(FileView& view);
FormatMatch DetectTransport(const std::uint8_t* s, std::size_t available);
FormatMatch DetectTimestampedTransport(const std::uint8_t* s, std::size_t available);
Extent MeasureTransport(FileView& view);
FormatMatch DetectDv(const std::uint8_t* s, std::size_t available);
Extent MeasureDv(FileView& view);
FormatMatch DetectAsf(const std::uint8_t* s, std::size_t available);
Extent MeasureAsf(FileView& view);
FormatMatch DetectRealMedia(const std::uint8_t* s, std::size_t available);
Extent MeasureRealMedia(FileView& view);
FormatMatch DetectJp2(const std::uint8_t* s, std::size_t available);
Extent MeasureJp2(FileView& view);

}  // namespace zt::formats
