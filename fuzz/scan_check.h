// One fuzz input scanned twice, by the scan and by the reference model, from
// memory. The first bytes choose the range, the search limits, whether the
// memory is read as a device or an image file, and where the rest of the
// input lies in the image (so that chunk ends are reachable).
#pragma once

#include <cstdint>
#include <cstring>
#include <map>
#include <vector>

#include "core/scan/scan_driver.h"
#include "core/scan/tests/reference_scan.h"
#include "core/scan/tests/scan_fixture.h"
#include "core/scan/type_selection.h"

namespace zt::fuzz {

inline constexpr std::size_t kConfigBytes = 8;

// False when the scan and the model disagree.
inline bool ScanMatchesModel(const std::uint8_t* data, std::size_t size) {
    if (size < kConfigBytes) return true;
    const std::uint8_t flags = data[0];
    const std::uint32_t placement = (data[1] % 128u) * 8u;  // up to sector 1016
    const std::uint32_t rangeStart = data[2] | (data[3] & 0x07) << 8;
    const std::uint32_t rangeLength = 1u + (data[4] | (data[5] & 0x07) << 8);
    const std::int32_t limitBase = 1 + data[6];
    const std::int32_t maxSizeKB = 1 + data[7] * 1000;

    // Kept between inputs: building them afresh each time cost more than the scans.
    thread_local std::vector<std::uint8_t> image;
    image.assign(std::size_t{placement} * kSectorBytes, 0);
    image.insert(image.end(), data + kConfigBytes, data + size);

    thread_local std::map<std::int32_t, TypeDefinitionList> built;
    auto [cached, fresh] = built.try_emplace(maxSizeKB);
    if (fresh) {
        std::vector<TypeRow> rows = DefaultTypeRows();
        for (TypeRow& row : rows) {
            row.ticked = true;
            row.sizeText = std::to_string(maxSizeKB);
        }
        cached->second = BuildTypeDefinitionList(rows).definitions;
    }
    TypeDefinitionList defs = cached->second;
    if (flags & 1) {
        // Short limits make limits and rescans reachable in small inputs.
        for (std::size_t t = 0; t < defs.size(); ++t) defs[t].searchLimit = limitBase + static_cast<std::int32_t>(t % 7);
    }

    SourceDescriptor source;
    source.DeviceNames[0] = "memory";
    source.RangeStart = rangeStart;
    source.RangeEnd = std::uint64_t{rangeStart} + rangeLength;
    BadSectorPolicyState policy;
    testing::MemoryRawIo io(image);
    // Read as a device (40-sector requests) or as an image file (blocks
    // looked at in place): both must give the model's list.
    io.regularFile = (flags & 2) != 0;
    SectorReader reader(source, policy, io);
    FoundFileList found;
    TypeDefinitionList scanned = defs;
    ScanDriver driver(reader, scanned, found);
    driver.Run();

    testing::ReferenceScan model(image, defs, source.RangeStart, source.RangeEnd);
    const std::vector<testing::ModelFile> expected = model.Run();
    const std::vector<FileInfo> files = found.Snapshot();
    if (files.size() != expected.size()) return false;
    for (std::size_t i = 0; i < files.size(); ++i) {
        const testing::ModelFile got{std::string(files[i].FileName()), files[i].startSector, files[i].sectorCount};
        if (!(got == expected[i])) return false;
    }
    return driver.CurrentSector() == source.RangeEnd;
}

}  // namespace zt::fuzz
