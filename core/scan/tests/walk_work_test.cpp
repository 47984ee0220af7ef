// What a format walk costs on hostile headers: the reads it makes of its
// view for the bytes the file may cover. A walk that reads a table value by
// value, goes round the same table once for every directory naming it, or
// searches a header byte by byte makes thousands of reads a kilobyte; one
// that reads in blocks and stops where the file cannot go on makes a few.
#include <gtest/gtest.h>

#include <atomic>
#include <vector>

#include "core/scan/file_view.h"
#include "core/scan/format_walk.h"
#include "core/scan/tests/crafted_headers.h"

namespace zt::testing {
namespace {

using Bytes = std::vector<std::uint8_t>;

// Serves the bytes to the end of 4 KB blocks and counts the calls; raises
// the stop flag at the call `stopAt`, when given.
class CountingView final : public FileView {
public:
    CountingView(const Bytes& data, std::uint64_t limit, std::uint64_t stopAt = 0)
        : FileView(limit), data_(data), stopAt_(stopAt) {
        WatchStop(&stop_);
    }
    std::uint64_t fetches = 0;

protected:
    std::span<const std::uint8_t> Fetch(std::uint64_t offset) override {
        if (++fetches == stopAt_) stop_.store(true);
        const std::uint64_t blockEnd = std::min<std::uint64_t>((offset / 4096 + 1) * 4096, Limit());
        return {data_.data() + offset, static_cast<std::size_t>(blockEnd - offset)};
    }

private:
    const Bytes& data_;
    std::uint64_t stopAt_;
    std::atomic<bool> stop_{false};
};

constexpr std::uint64_t kBound = 2000 * 1024;  // the default maximum size

TEST(FormatWalkWork, HostileTablesCostAFewReadsAKilobyteAndAStopEndsTheWalkAtOnce) {
    const struct Case {
        const char* what;
        FormatFamily family;
        Bytes data;
        std::uint64_t limit;  // 0: the data's size
        ExtentKind kind;
        std::uint64_t bytes;  // expected for an exact extent
        std::uint64_t readsPerKB;
    } cases[] = {
        {"TIFF: 16 directories sharing one table of a million strips", FormatFamily::Tiff,
         CraftedTiff(1, 16, 1'000'000, true), kBound, ExtentKind::Unknown, 0, 0},
        {"TIFF: 16 directories naming the same two tables of 500,000 strips", FormatFamily::Tiff,
         CraftedTiff(1, 16, 500'000, false), 0, ExtentKind::Exact, 512 + 4 * 500'000, 4},
        {"TIFF: those tables reaching past the bound", FormatFamily::Tiff, CraftedTiff(1, 16, 500'000, false),
         1'000'000, ExtentKind::Unknown, 0, 0},
        {"PSD: 400,000 rows of 2 bytes", FormatFamily::Psd, CraftedPsd(1, 400'000, 2, 800'000), 0, ExtentKind::Exact,
         40 + 2 * 400'000 + 2 * 400'000, 4},
        {"PSD: a million rows whose data passes the bound at once", FormatFamily::Psd,
         CraftedPsd(1, 1'000'000, 0xFFFF), kBound, ExtentKind::Unknown, 0, 0},
        {"ASF: a 2 MB header of padding objects a sector long", FormatFamily::Asf,
         CraftedAsf(1, 3907 * 512, true), 0, ExtentKind::Exact, 3907 * 512, 1},
        {"ASF: a 2 MB header of bytes that are no object", FormatFamily::Asf, CraftedAsf(1, 3907 * 512, false), 0,
         ExtentKind::Exact, 3907 * 512, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::uint64_t limit = c.limit ? c.limit : c.data.size();
        CountingView view(c.data, limit);
        const Extent e = MeasureFormat(c.family, view);
        EXPECT_EQ(e.kind, c.kind);
        if (c.kind == ExtentKind::Exact) {
            EXPECT_EQ(e.bytes, c.bytes);
        }
        const std::uint64_t covered = e.kind == ExtentKind::Exact ? e.bytes : limit;
        EXPECT_LE(view.fetches, c.readsPerKB * covered / 1024 + 64) << "for " << covered << " bytes";

        // A stop raised in the middle of the walk: not one read more.
        CountingView stopped(c.data, limit, 10);
        (void)MeasureFormat(c.family, stopped);
        EXPECT_LE(stopped.fetches, 10u);
    }
}

}  // namespace
}  // namespace zt::testing
