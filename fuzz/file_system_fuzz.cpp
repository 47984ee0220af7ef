// Arbitrary bytes read as a card: partition tables, boot sectors, tables and
// folders are parsed, trees walked, deleted files checked and orphan folders
// looked for, as a scan with the file-system option does. The first byte
// chooses where the scanned range ends; every request the pass makes must
// lie inside it, and the pass must end.
#include <cstdint>
#include <cstring>
#include <vector>

#include "core/filesystems/file_system_pass.h"
#include "platform/testing/fake_raw_io.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) return 0;
    const std::uint8_t cut = data[0];
    ++data;
    --size;
    const std::size_t sectors = (size + zt::kSectorBytes - 1) / zt::kSectorBytes;
    std::vector<std::uint8_t> image(sectors * zt::kSectorBytes, 0);
    std::memcpy(image.data(), data, size);

    zt::testing::FakeRawIo io;
    io.AddFile("/card", image);
    zt::SourceDescriptor source;
    source.DeviceNames[0] = "/card";
    source.RangeEnd = cut == 0 ? sectors : std::max<std::uint64_t>(1, sectors * cut / 256);
    zt::BadSectorPolicyState policy;
    policy.Set(zt::BadSectorPolicy::SkipAll);
    zt::SectorReader reader(source, policy, io);

    zt::fs::WalkLimits limits;
    limits.maxEntries = 20'000;
    zt::fs::FileSystemPass pass(reader, limits);
    pass.ReadTrees();
    for (std::uint64_t at = 0; at < source.RangeEnd; at += 64) {
        const auto n = static_cast<std::uint32_t>(std::min<std::uint64_t>(64, source.RangeEnd - at));
        std::vector<std::uint8_t> chunk(std::size_t{n} * zt::kSectorBytes);
        reader.ReadSectors(at, n, chunk.data());
        pass.ExamineChunk(at, n, chunk.data());
    }
    pass.ReadOrphans();

    for (const auto& r : io.Requests()) {
        if (r.offset + r.length > source.RangeEnd * zt::kSectorBytes) __builtin_trap();
    }
    for (const zt::fs::FoundFileSystem& fs : pass.FileSystems()) {
        for (const zt::fs::FsFile& f : fs.listing.files) {
            std::uint64_t covered = 0;
            for (const zt::SectorRun& run : f.named.runs) {
                if (run.first + run.count > source.RangeEnd) __builtin_trap();
                covered += run.count * zt::kSectorBytes;
            }
            if (covered < f.byteLength || f.named.path.empty()) __builtin_trap();
        }
    }
    return 0;
}
