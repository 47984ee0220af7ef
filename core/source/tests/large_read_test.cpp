// Reading images in large blocks and keeping what was read must change
// nothing but the number of requests: for every pattern of bad sectors and
// every answer to the question, a run delivers the bytes, asks the questions
// (at the same calls) and counts the unreadable sectors as a reader outside a
// run, which makes the 40-sector requests and nothing else.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <deque>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "core/source/read_window.h"
#include "core/source/sector_reader.h"
#include "platform/testing/fake_raw_io.h"

namespace zt {
namespace {

using testing::FakeRawIo;

// Answers from a script (Skip when it runs out) and notes at which call of
// the sequence each question came.
class RecordingPrompt final : public BadSectorPrompt {
public:
    explicit RecordingPrompt(std::deque<BadSectorPolicy> answers) : answers_(std::move(answers)) {}
    BadSectorPolicy Ask() override {
        std::lock_guard<std::mutex> lock(mutex_);
        asks.push_back(call);
        if (answers_.empty()) return Skip;
        const BadSectorPolicy a = answers_.front();
        answers_.pop_front();
        return a;
    }
    int call = 0;
    std::vector<int> asks;

private:
    std::mutex mutex_;
    std::deque<BadSectorPolicy> answers_;
};

enum class Kind { Device, RawImageFile, SingleFileSet, MultiPartSet };

// How a read is made: as the walks and look-aheads read; as the scan looks
// at its chunks (in place where it can); as saving takes a piece (whole from
// the blocks, else 8 sectors at a time through ReadSectors).
enum class How { Sectors, View, Piece };

struct Read {
    std::uint64_t first;  // from the sequence's base
    std::uint32_t count;
    How how = How::Sectors;
};

// A scan's pattern of reads: chunks, a rescan from the sector after a header,
// look-aheads of one sector past a chunk, a walk going back and forward
// across a block boundary, a saved file read 8 sectors at a time or in
// pieces, and reads running past the source's end.
const std::vector<Read> kSequence = {
    {0, 1000, How::View},    {1, 1000, How::View},   {1001, 1000}, {2001, 1},    {2002, 1},   {2003, 1},
    {500, 128},              {1900, 300},            {2001, 1000}, {3000, 8},    {3008, 8},   {3016, 8},
    {3024, 8},               {4090, 1000, How::View}, {1, 1000},    {5090, 1000, How::View},   {5990, 20},
    {6000, 8},               {2040, 16},             {3000, 40},   {0, 2047},    {3100, 900, How::Piece},
    {3900, 400, How::Piece}, {5800, 200, How::Piece}, {4096, 1000, How::View},  {10, 1, How::Piece},
};

// Saving's way of taking a piece: in place where the blocks read hold it,
// else whole where the reader can take it, else as a device is read.
void ReadPiece(SectorReader& reader, std::uint64_t first, std::uint32_t count, std::uint8_t* out) {
    ReadWindow::View view;
    if (const std::uint8_t* held = reader.ViewHeld(first, count, view)) {
        std::memcpy(out, held, std::size_t{count} * 512);
        return;
    }
    if (reader.ReadHeld(first, count, out)) return;
    for (std::uint32_t done = 0; done < count; done += 8) {
        reader.ReadSectors(first + done, std::min<std::uint32_t>(8, count - done), out + std::size_t{done} * 512);
    }
}
constexpr std::uint64_t kSourceSectors = 6000;

struct Outcome {
    std::vector<std::vector<std::uint8_t>> delivered;
    std::vector<std::uint64_t> unreadable;
    std::vector<int> asks;
    std::vector<FakeRawIo::Request> requests;
};

Outcome RunSequence(Kind kind, const std::set<std::uint64_t>& bad, const std::deque<BadSectorPolicy>& answers,
                    bool inRun) {
    FakeRawIo io;
    SourceDescriptor source;
    RecordingPrompt prompt(answers);
    BadSectorPolicyState policy(&prompt);
    std::uint64_t base = 0;
    const std::string disk = "/dev/sdz";
    const std::string part0 = "/img/Image0.img";
    const std::string part1 = "/img/image1.img";
    // Where source sector s lives: file and sector within it.
    auto place = [&](std::uint64_t s) -> std::pair<std::string, std::uint64_t> {
        if (kind == Kind::Device || kind == Kind::RawImageFile) return {disk, s};
        if (kind == Kind::SingleFileSet) return {part0, s};
        return s < ImagePartSectors ? std::pair{part0, s} : std::pair{part1, s - ImagePartSectors};
    };
    switch (kind) {
        case Kind::Device:
        case Kind::RawImageFile:
            source.DeviceNames[0] = disk;
            io.AddPatternFile(disk, kSourceSectors * 512, 7);
            if (kind == Kind::RawImageFile) io.MarkRegularFile(disk);
            break;
        case Kind::SingleFileSet:
            source.ImageMode = true;
            source.ImageFolder = "/img/";
            io.AddPatternFile(part0, kSourceSectors * 512, 1);
            break;
        case Kind::MultiPartSet:
            // The sequence straddles the boundary between the parts.
            source.ImageMode = true;
            source.ImageMultiFile = true;
            source.ImageFolder = "/img/";
            base = ImagePartSectors - 3000;
            io.AddPatternFile(part0, std::uint64_t{ImagePartSectors} * 512, 1);
            io.AddPatternFile(part1, (kSourceSectors - 3000) * 512, 2);
            break;
    }
    for (std::uint64_t s : bad) {
        const auto [path, at] = place(base + s);
        io.AddBadSector(path, at);
    }
    SectorReader reader(source, policy, io);
    if (inRun) reader.StartRun();
    Outcome out;
    ReadWindow::View view;
    for (const Read& r : kSequence) {
        std::vector<std::uint8_t> buffer(std::size_t{r.count} * 512, 0xAA);
        if (r.how == How::View) {
            const std::uint8_t* data = reader.ViewSectors(base + r.first, r.count, buffer.data(), view);
            if (data != buffer.data()) std::memcpy(buffer.data(), data, buffer.size());
        } else if (r.how == How::Piece) {
            ReadPiece(reader, base + r.first, r.count, buffer.data());
        } else {
            reader.ReadSectors(base + r.first, r.count, buffer.data());
        }
        out.delivered.push_back(std::move(buffer));
        out.unreadable.push_back(reader.UnreadableSectors());
        ++prompt.call;
    }
    out.asks = prompt.asks;
    out.requests = io.Requests();
    return out;
}

TEST(LargeReadTest, EveryPatternOfBadSectorsGivesTheBytesQuestionsAndCountsOfFortySectorRequests) {
    struct Case {
        const char* what;
        std::set<std::uint64_t> bad;
        std::deque<BadSectorPolicy> answers;
    };
    const Case cases[] = {
        {"no bad sector", {}, {}},
        {"one bad sector, skipped", {10}, {Skip}},
        {"one bad sector, retried then skipped on the rescan", {10}, {Retry, Skip}},
        {"bad sector read again by the rescan, retried each time", {1005}, {Retry, Retry, Retry, Retry}},
        {"bad sectors each side of a block boundary", {4095, 4096}, {Retry, Skip, Retry}},
        {"bad sectors each side of a megabyte", {2047, 2048}, {Retry, Skip, Retry}},
        {"bad sectors in saved pieces only", {3950, 5850}, {Retry, Skip}},
        {"the last sector of the source", {5999}, {Retry}},
        {"a bad stretch inside a saved file", {3000, 3001, 3002, 3003, 3004, 3005}, {Retry, Skip, Skip, Retry}},
        {"scattered, retry for all", {7, 999, 2100, 4095, 5500}, {RetryAll}},
        {"scattered, skip for all", {7, 999, 2100, 4095, 5500}, {SkipAll}},
        {"bad sectors in the remainder of a request", {1038, 1039}, {Retry}},
        {"first sector of the source", {0}, {Skip, Retry, Skip}},
    };
    const std::pair<Kind, const char*> kinds[] = {{Kind::Device, "device"},
                                                  {Kind::RawImageFile, "raw image file"},
                                                  {Kind::SingleFileSet, "single-file image set"},
                                                  {Kind::MultiPartSet, "image set across two parts"}};
    for (const auto& [kind, kindName] : kinds) {
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(kindName) + ": " + c.what);
            const Outcome before = RunSequence(kind, c.bad, c.answers, false);
            const Outcome now = RunSequence(kind, c.bad, c.answers, true);
            EXPECT_EQ(now.asks, before.asks);
            EXPECT_EQ(now.unreadable, before.unreadable);
            for (std::size_t i = 0; i < kSequence.size(); ++i) {
                ASSERT_TRUE(now.delivered[i] == before.delivered[i]) << "read " << i;
            }
            if (kind == Kind::Device) {
                // A device gets the very requests it always got.
                ASSERT_EQ(now.requests.size(), before.requests.size());
                for (std::size_t i = 0; i < now.requests.size(); ++i) {
                    EXPECT_EQ(now.requests[i].offset, before.requests[i].offset) << "request " << i;
                    EXPECT_EQ(now.requests[i].length, before.requests[i].length) << "request " << i;
                }
                continue;
            }
            // An image's large reads are whole blocks, each tried once per run,
            // and saved pieces no block held, read alone; what is read besides
            // them is the old path's (40-sector requests for a raw image file,
            // whole requests for an image set).
            std::set<std::pair<std::uint64_t, std::size_t>> pieces;  // offset in a raw image, length
            for (const Read& r : kSequence) {
                if (r.how != How::Piece) continue;
                for (std::uint64_t s = r.first; s < r.first + r.count;) {
                    const std::uint64_t to = std::min<std::uint64_t>(r.first + r.count, (s / LargeReadSectors + 1) * LargeReadSectors);
                    pieces.insert({s * 512, static_cast<std::size_t>((to - s) * 512)});
                    s = to;
                }
            }
            std::map<std::pair<std::string, std::uint64_t>, int> blockReads;
            for (const auto& r : now.requests) {
                if (r.length == std::size_t{LargeReadSectors} * 512) {
                    ++blockReads[{r.path, r.offset}];
                } else if (kind == Kind::RawImageFile && pieces.count({r.offset, r.length}) == 0) {
                    EXPECT_LE(r.length, std::size_t{DeviceChunkSectors} * 512);
                }
            }
            for (const auto& [block, reads] : blockReads) EXPECT_EQ(reads, 1) << block.first << " @" << block.second;
            if (c.bad.empty()) {
                EXPECT_LE(now.requests.size(), blockReads.size() + pieces.size());
                EXPECT_LE(now.requests.size(), before.requests.size());
            }
        }
    }
}

// A raw image file of patterned bytes, read in a run.
struct PatternImage {
    PatternImage(std::uint64_t sectors, std::uint8_t seed) {
        io.AddPatternFile(source.DeviceNames[0], sectors * 512, seed);
        io.MarkRegularFile(source.DeviceNames[0]);
        reader.StartRun();
    }
    FakeRawIo io;
    SourceDescriptor source = [] {
        SourceDescriptor s;
        s.DeviceNames[0] = "/img/card.dd";
        return s;
    }();
    BadSectorPolicyState policy;
    SectorReader reader{source, policy, io};
};

TEST(LargeReadTest, ThreadsReadingOneImageAtOnceEachGetItsBytes) {
    // Larger than the window, so blocks are evicted while others read them.
    constexpr std::uint64_t kSectors = 12 * LargeReadSectors;
    PatternImage image(kSectors, 9);
    SectorReader& reader = image.reader;
    std::vector<std::thread> threads;
    std::atomic<int> wrong{0};
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&, t] {
            std::vector<std::uint8_t> buffer(1000 * 512);
            for (std::uint64_t first = 37 * t; first + 1000 <= kSectors; first += 700 + 13 * t) {
                reader.ReadSectors(first, 1000, buffer.data());
                for (std::size_t k = 0; k < buffer.size(); k += 97) {
                    if (buffer[k] != testing::PatternByte(9, first * 512 + k)) ++wrong;
                }
            }
        });
    }
    for (std::thread& thread : threads) thread.join();
    EXPECT_EQ(wrong.load(), 0);
    EXPECT_EQ(reader.UnreadableSectors(), 0u);
}

// The scan's chunks, read in turn, are looked at in place even where they
// span two blocks (but where the blocks' memory goes round), and are what
// the image holds.
TEST(LargeReadTest, ChunksAcrossTwoBlocksAreLookedAtInPlace) {
    constexpr std::uint64_t kSectors = 40 * LargeReadSectors;
    PatternImage image(kSectors, 5);
    SectorReader& reader = image.reader;
    ReadWindow::View view;
    std::vector<std::uint8_t> buffer(1000 * 512);
    int spanning = 0;
    int inPlace = 0;
    int wrong = 0;
    for (std::uint64_t first = 0; first + 1000 <= kSectors; first += 1000) {
        const std::uint8_t* data = reader.ViewSectors(first, 1000, buffer.data(), view);
        if (first / LargeReadSectors != (first + 999) / LargeReadSectors) {
            ++spanning;
            if (data != buffer.data()) ++inPlace;
        }
        for (std::size_t k = 0; k < buffer.size(); k += 61) {
            if (data[k] != testing::PatternByte(5, first * 512 + k)) ++wrong;
        }
    }
    EXPECT_EQ(wrong, 0);
    EXPECT_EQ(reader.UnreadableSectors(), 0u);
    // Blocks read in turn lie one after another in memory, whichever thread
    // reads them and in whatever order they end: only where their memory
    // goes round (and, seldom, where a piece is still in use when its block
    // comes up) are the two halves copied together. Without the round, most
    // are.
    EXPECT_GE(inPlace * 3, spanning * 2) << inPlace << " of " << spanning << " spanning chunks in place";
}

TEST(ReadWindowTest, StretchesWhoseBytesFollowEachOtherAreLookedAtAsOneAndKeptTogether) {
    constexpr std::size_t kPiece = BlockMemoryPiece;
    constexpr std::uint64_t kPieceSectors = kPiece / 512;
    ReadWindow window(2 * kPiece);
    auto filled = [&](const std::uint8_t* want, std::uint8_t value) {
        std::shared_ptr<ReadWindow::Bytes> bytes = window.TakeSpare(want);
        bytes->resize(kPiece);
        std::fill(bytes->begin(), bytes->end(), value);
        return bytes;
    };
    std::shared_ptr<ReadWindow::Bytes> first = filled(nullptr, 1);
    const std::uint8_t* firstData = first->data();
    ASSERT_EQ(BlockMemorySlot(firstData, 0), firstData) << "a fresh region's first piece is taken first";
    std::uint64_t round = 1;
    while (round < 64 && BlockMemorySlot(firstData, round) == firstData + round * kPiece) ++round;
    EXPECT_GT(round, 2u);
    EXPECT_EQ(BlockMemorySlot(firstData, round), firstData) << "pieces are counted round the region";
    EXPECT_EQ(BlockMemorySlot(nullptr, 1), nullptr);
    const auto* after = static_cast<const std::uint8_t*>(BlockMemorySlot(firstData, 1));
    std::shared_ptr<ReadWindow::Bytes> second = filled(after, 2);
    ASSERT_EQ(second->data(), after) << "free, the wanted piece is taken";
    window.Put("card", 0, std::move(first));
    window.Put("card", kPieceSectors, std::move(second));
    EXPECT_EQ(window.BytesEndingAt("card", kPieceSectors), firstData);
    EXPECT_EQ(window.BytesEndingAt("card", kPieceSectors - 1), nullptr);

    ReadWindow::View view = window.Look("card", kPieceSectors - 3, 3);
    ReadWindow::View elsewhere = window.Look("card", kPieceSectors + 1, 1);
    EXPECT_FALSE(view.Extend(3 * 512, std::move(elsewhere))) << "not where the view's bytes end";
    EXPECT_TRUE(elsewhere) << "refused, it is left as it was";
    ReadWindow::View next = window.Look("card", kPieceSectors, 2);
    ASSERT_TRUE(view.Extend(3 * 512, std::move(next)));
    EXPECT_FALSE(next);
    const std::uint8_t* looked = view.Data();
    elsewhere.Reset();

    // Two more stretches push both out; neither is handed out while the view looks.
    window.Put("card", 2 * kPieceSectors, std::vector<std::uint8_t>(kPiece, 3));
    window.Put("card", 3 * kPieceSectors, std::vector<std::uint8_t>(kPiece, 4));
    EXPECT_FALSE(window.Holds("card", 0, 2 * kPieceSectors));
    EXPECT_TRUE(window.TakeSpare()->empty());
    EXPECT_TRUE(std::all_of(looked, looked + 3 * 512, [](std::uint8_t b) { return b == 1; }));
    EXPECT_TRUE(std::all_of(looked + 3 * 512, looked + 5 * 512, [](std::uint8_t b) { return b == 2; }));
    view.Reset();
    EXPECT_EQ(window.TakeSpare(after)->data(), after) << "let go, the wanted spare comes first";
    EXPECT_EQ(window.TakeSpare()->data(), firstData);
}

TEST(ReadWindowTest, HoldsOnlyWhatWasPutWithinItsCapacity) {
    auto sectors = [](std::uint64_t first, std::uint64_t count) {
        std::vector<std::uint8_t> bytes(count * 512);
        for (std::size_t k = 0; k < bytes.size(); ++k) bytes[k] = static_cast<std::uint8_t>((first * 512 + k) % 251);
        return bytes;
    };
    struct Put {
        std::string source;
        std::uint64_t first;
        std::uint64_t count;
    };
    struct Case {
        const char* what;
        std::vector<Put> puts;
        std::uint64_t first;
        std::uint64_t count;
        bool held;
        std::size_t capacitySectors = 1000;
    };
    const Case cases[] = {
        {"inside one stretch", {{"a", 100, 40}}, 110, 10, true},
        {"across touching stretches", {{"a", 100, 40}, {"a", 140, 40}, {"a", 180, 40}}, 101, 100, true},
        {"a gap between stretches", {{"a", 100, 40}, {"a", 141, 40}}, 120, 40, false},
        {"starting before the first stretch", {{"a", 100, 40}}, 99, 2, false},
        {"running past the last stretch", {{"a", 100, 40}}, 139, 2, false},
        {"another source's sectors", {{"a", 100, 40}}, 100, 40, false},
        {"a stretch of another source replaces all", {{"a", 100, 40}, {"b", 300, 40}}, 100, 1, false},
        {"an overlapping stretch replaces the one it overlaps", {{"a", 100, 40}, {"a", 120, 40}}, 100, 40, false},
        {"the overlapping stretch is held", {{"a", 100, 40}, {"a", 120, 40}}, 120, 40, true},
        {"the oldest makes room", {{"a", 0, 16}, {"a", 16, 16}, {"a", 32, 16}}, 0, 1, false, 32},
        {"the newest stay", {{"a", 0, 16}, {"a", 16, 16}, {"a", 32, 16}}, 16, 32, true, 32},
        {"larger than the whole window: not held", {{"a", 0, 40}}, 0, 1, false, 32},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ReadWindow window(c.capacitySectors * 512);
        for (const Put& p : c.puts) window.Put(p.source, p.first, sectors(p.first, p.count));
        EXPECT_LE(window.HeldBytes(), c.capacitySectors * 512);
        std::vector<std::uint8_t> out(c.count * 512, 0xAA);
        const std::string source = std::string(c.what) == "another source's sectors" ? "b" : c.puts.back().source;
        const bool held = window.Copy(source, c.first, c.count, out.data());
        EXPECT_EQ(held, c.held);
        if (held) {
            EXPECT_TRUE(out == sectors(c.first, c.count));
        }
    }
}

}  // namespace
}  // namespace zt
