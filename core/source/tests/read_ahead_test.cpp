// Blocks read ahead of a run's reader: each block is read once however the
// reader and the thread ahead meet, nothing past the run's end is read, a
// failed block stays failed for its run, and a read begun in one run never
// reaches the next.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <set>
#include <span>
#include <thread>
#include <vector>

#include "core/source/read_ahead.h"

namespace zt {
namespace {

constexpr std::uint32_t kBlockSectors = 8;
constexpr std::size_t kBlockBytes = kBlockSectors * 512;

// A source of blocks whose bytes tell the block and the medium's generation;
// it counts the reads of each block and can hold the reads of one block
// until released.
class BlockSource {
public:
    ReadAhead::BlockReader Reader() {
        return [this](const std::string&, std::uint64_t block, std::span<std::uint8_t> bytes) {
            std::unique_lock<std::mutex> lock(mutex_);
            ++reads_[block];
            changed_.notify_all();
            changed_.wait(lock, [&] { return block != held_; });
            if (bad.count(block) != 0) return false;
            std::fill(bytes.begin(), bytes.end(), Byte(block, generation));
            return true;
        };
    }
    static std::uint8_t Byte(std::uint64_t block, int generation) {
        return static_cast<std::uint8_t>(block * 7 + generation * 100 + 1);
    }
    void Hold(std::uint64_t block) {
        std::lock_guard<std::mutex> lock(mutex_);
        held_ = block;
    }
    void Release() {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            held_ = kNone;
        }
        changed_.notify_all();
    }
    // Waits (a few seconds at most) until the reads are exactly `want`;
    // returns the reads then.
    std::map<std::uint64_t, int> WaitForReads(const std::map<std::uint64_t, int>& want) {
        std::unique_lock<std::mutex> lock(mutex_);
        changed_.wait_for(lock, std::chrono::seconds(5), [&] { return reads_ == want; });
        return reads_;
    }
    std::map<std::uint64_t, int> Reads() {
        std::lock_guard<std::mutex> lock(mutex_);
        return reads_;
    }

    std::set<std::uint64_t> bad;
    int generation = 0;

private:
    static constexpr std::uint64_t kNone = ~std::uint64_t{0};
    std::mutex mutex_;
    std::condition_variable changed_;
    std::map<std::uint64_t, int> reads_;
    std::uint64_t held_ = kNone;
};

// Asks for sectors [first, first + count) inside block `block`; true when
// they came, each byte the block's.
bool Ask(ReadAhead& ahead, const BlockSource& source, std::uint64_t block, std::uint64_t first = 0,
         std::uint64_t count = kBlockSectors) {
    std::vector<std::uint8_t> out(count * 512, 0);
    if (!ahead.Copy("card", "card", block, block * kBlockSectors + first, count, out.data())) return false;
    for (std::uint8_t b : out) {
        if (b != BlockSource::Byte(block, source.generation)) return false;
    }
    return true;
}

TEST(ReadAheadTest, EachBlockIsReadOnceAndNothingPastTheEnd) {
    struct Case {
        const char* what;
        std::vector<std::uint64_t> asked;  // blocks, in order
        std::uint32_t depth;
        std::uint64_t endBlock;
        std::set<std::uint64_t> bad;
        std::set<std::uint64_t> read;  // every block read, once each
    };
    const Case cases[] = {
        {"one block: the next ones are read ahead", {0}, 3, 100, {}, {0, 1, 2, 3}},
        {"on through the blocks read ahead", {0, 1, 2, 3, 4}, 2, 100, {}, {0, 1, 2, 3, 4, 5, 6}},
        {"a rescan going back a little reads nothing again", {5, 6, 5, 6, 7}, 2, 100, {}, {5, 6, 7, 8, 9}},
        {"a jump far ahead or back is not read ahead of until reading goes on from there",
         {0, 40, 41, 1, 2},
         1,
         100,
         {},
         {0, 1, 2, 3, 40, 41, 42}},
        {"a rescan going back a block", {4, 5, 4, 5}, 2, 100, {}, {4, 5, 6, 7}},
        {"nothing from the end on", {6, 7}, 4, 8, {}, {6, 7}},
        {"the last block short of the end", {3}, 4, 6, {}, {3, 4, 5}},
        {"no depth: only what is asked", {0, 1, 2}, 0, 100, {}, {0, 1, 2}},
        {"a failed block is tried once, however often asked", {2, 3, 3, 4}, 1, 100, {3}, {2, 3, 4, 5}},
        {"a failed block read ahead is not read again when asked", {0, 1, 2}, 2, 100, {2}, {0, 1, 2, 3, 4}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        BlockSource source;
        source.bad = c.bad;
        ReadWindow window(1000 * kBlockBytes);
        ReadAhead ahead(window, kBlockSectors, c.depth);
        ahead.StartRun(c.endBlock, source.Reader());
        for (std::uint64_t block : c.asked) {
            EXPECT_EQ(Ask(ahead, source, block), c.bad.count(block) == 0) << block;
            ahead.Settle();
        }
        std::map<std::uint64_t, int> want;
        for (std::uint64_t block : c.read) want[block] = 1;
        EXPECT_EQ(source.Reads(), want);
        // What was read whole is held for the reader; a failed block is not.
        for (std::uint64_t block : c.read) {
            EXPECT_EQ(window.Holds("card", block * kBlockSectors, kBlockSectors), c.bad.count(block) == 0) << block;
        }
    }
}

// Block 0 asked for, and the thread ahead held in its read of block 1.
struct HeldReadAhead {
    HeldReadAhead() {
        ahead.StartRun(100, source.Reader());
        source.Hold(1);
        EXPECT_TRUE(Ask(ahead, source, 0));
        EXPECT_EQ(source.WaitForReads({{0, 1}, {1, 1}}), (std::map<std::uint64_t, int>{{0, 1}, {1, 1}}));
    }
    BlockSource source;
    ReadWindow window{100 * kBlockBytes};
    ReadAhead ahead{window, kBlockSectors, 1};
};

TEST(ReadAheadTest, AReaderAskingForABlockBeingReadAheadWaitsForThatRead) {
    HeldReadAhead rig;
    bool got = false;
    std::thread reader([&] { got = Ask(rig.ahead, rig.source, 1, 2, 4); });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    rig.source.Release();
    reader.join();
    EXPECT_TRUE(got);
    EXPECT_EQ(rig.source.WaitForReads({{0, 1}, {1, 1}, {2, 1}}),
              (std::map<std::uint64_t, int>{{0, 1}, {1, 1}, {2, 1}}));
}

TEST(ReadAheadTest, AReadBegunInOneRunIsNotKeptForTheNext) {
    HeldReadAhead rig;
    // The medium changes between the runs while block 1 is still being read.
    rig.ahead.StartRun(100, rig.source.Reader());
    rig.source.generation = 1;
    rig.source.bad = {0};
    rig.source.Release();
    EXPECT_TRUE(Ask(rig.ahead, rig.source, 1));
    // Block 0 was read whole in the last run; in this one it fails.
    EXPECT_FALSE(Ask(rig.ahead, rig.source, 0));
}

TEST(ReadAheadTest, APieceNoBlockHoldsIsReadAloneAndItsFailureFailsTheBlock) {
    struct Case {
        const char* what;
        bool heldBefore;     // the block was asked for whole first
        bool pieceArrives;   // the read of the piece alone succeeds
        bool got;            // the piece was delivered
        int aloneReads;      // reads of the piece alone
        int blockReads;      // whole reads of the block, a later ask included
        bool laterAskGets;   // a later ask for the whole block gets it
    };
    const Case cases[] = {
        {"not read before: the piece alone, the block later", false, true, true, 1, 1, true},
        {"held: from the window", true, true, true, 0, 1, true},
        {"the piece fails: its block is not read whole in that run", false, false, false, 1, 0, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        BlockSource source;
        ReadWindow window(100 * kBlockBytes);
        ReadAhead ahead(window, kBlockSectors, 0);
        ahead.StartRun(100, source.Reader());
        if (c.heldBefore) {
            EXPECT_TRUE(Ask(ahead, source, 5));
        }
        int aloneReads = 0;
        std::vector<std::uint8_t> out(2 * 512, 0);
        const bool got = ahead.Copy("card", "card", 5, 5 * kBlockSectors + 3, 2, out.data(), [&] {
            ++aloneReads;
            std::fill(out.begin(), out.end(), BlockSource::Byte(5, 0));
            return c.pieceArrives;
        });
        EXPECT_EQ(got, c.got);
        if (got) {
            EXPECT_EQ(out[0], BlockSource::Byte(5, 0));
        }
        EXPECT_EQ(aloneReads, c.aloneReads);
        EXPECT_EQ(Ask(ahead, source, 5), c.laterAskGets);
        EXPECT_EQ(source.Reads()[5], c.blockReads);
    }
}

TEST(ReadWindowTest, AViewKeepsItsBytesFromReuseUntilLetGo) {
    ReadWindow window(2 * kBlockBytes);
    const auto bytesOf = [](std::uint8_t value) { return std::vector<std::uint8_t>(kBlockBytes, value); };
    window.Put("card", 0, bytesOf(1));
    ReadWindow::View view = window.Look("card", 2, 3);
    ASSERT_TRUE(view);
    const std::uint8_t* looked = view.Data();
    EXPECT_FALSE(window.Look("card", 6, 4)) << "past the stretch";
    // Two more stretches push the first out of the window.
    window.Put("card", kBlockSectors, bytesOf(2));
    window.Put("card", 2 * kBlockSectors, bytesOf(3));
    EXPECT_FALSE(window.Holds("card", 0, 1));
    std::shared_ptr<ReadWindow::Bytes> spare = window.TakeSpare();
    EXPECT_TRUE(spare->empty()) << "the stretch looked at is not handed out while looked at";
    EXPECT_TRUE(std::all_of(looked, looked + 3 * 512, [](std::uint8_t b) { return b == 1; }));
    view.Reset();
    spare = window.TakeSpare();
    EXPECT_EQ(spare->size(), kBlockBytes) << "let go, its bytes are reused";
    EXPECT_EQ(spare->data() + 2 * 512, looked);
}

}  // namespace
}  // namespace zt
