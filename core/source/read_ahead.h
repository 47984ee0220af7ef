// The blocks of an image read during a run, each by one thread at a time:
// the thread that needs a block first reads it, and, while the blocks are
// asked for in order, a thread of the reader's own reads the next few ahead
// of the last one asked for, so that while a scan examines one stretch the
// next is being read on the other core. A thread that asks for a block
// another one is reading reads the next block due meanwhile, so the copying
// out of the page cache is shared by both cores rather than waited for.
//
// A block read whole goes into the window, where every later request finds
// it; a block whose read failed is remembered for the run and never read
// whole again (its requests take the path that asks about bad sectors, on
// the thread that needs them). The thread ahead only ever makes whole-block
// reads, and never asks, counts or zeros anything: what a run delivers,
// asks and counts stays that of a run without it.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <span>
#include <string>
#include <thread>
#include <vector>

#include "core/source/read_window.h"

namespace zt {

class ReadAhead {
public:
    // Reads block `block` of the source read through `device` into bytes
    // (already of the block's size); true when all of it arrived. Called on
    // the threads that ask and on the thread ahead at once.
    using BlockReader =
        std::function<bool(const std::string& device, std::uint64_t block, std::span<std::uint8_t> bytes)>;

    // Blocks hold blockSectors sectors; depth blocks past the last one asked
    // for are read ahead (0: none). The window keeps the blocks.
    ReadAhead(ReadWindow& window, std::uint32_t blockSectors, std::uint32_t depth);
    // Ends the thread ahead, after the read it is making.
    ~ReadAhead();
    ReadAhead(const ReadAhead&) = delete;
    ReadAhead& operator=(const ReadAhead&) = delete;

    // As a run starts: empties the window, forgets the failed blocks, reads
    // ahead no block from endBlock on, and reads the blocks of this run with
    // read. A read of the last run still under way is not kept.
    void StartRun(std::uint64_t endBlock, BlockReader read);

    // Copies sectors [first, first + count), all inside block `block` of the
    // source the window knows as `key`, into out: from the window, after the
    // read of another thread under way, or read now. False when the block
    // could not be read whole, or no run has started (out is then undefined).
    bool Copy(const std::string& device, const std::string& key, std::uint64_t block, std::uint64_t first,
              std::uint64_t count, std::uint8_t* out);
    // The same, except that where no thread has read the block or reads it
    // now, readAlone reads just those sectors into out (true when they all
    // arrived), and the block is not kept; a failure of it counts as the
    // block's, so the block is not read whole afterwards.
    using PieceReader = std::function<bool()>;
    bool Copy(const std::string& device, const std::string& key, std::uint64_t block, std::uint64_t first,
              std::uint64_t count, std::uint8_t* out, const PieceReader& readAlone);
    // The same sectors, looked at in place in the block read; an empty view
    // where Copy would be false. With heldOnly, only where the window holds
    // the block, or once another thread's read of it under way has ended;
    // otherwise an empty view, with nothing read (the caller then reads the
    // sectors as it would without a view).
    ReadWindow::View Look(const std::string& device, const std::string& key, std::uint64_t block,
                          std::uint64_t first, std::uint64_t count, bool heldOnly = false);

    // Waits until the thread ahead has read every block it aims at; for
    // tests, whose counts of reads must not depend on its pace.
    void Settle();

private:
    void Aim(const std::string& device, const std::string& key, std::uint64_t block);
    // Where the sectors of block `block` that a thread asks for come from,
    // once Aim has been told: held in the window (take() true), or the
    // block's bytes as read now by this thread (in `read`), or the piece
    // read alone by readAlone when given; false when the block failed, or,
    // with heldOnly, when no thread had read it or was reading it. A thread
    // whose block another one is reading reads a block aimed at ahead
    // meanwhile rather than wait idle.
    template <typename Take>
    bool Obtain(std::unique_lock<std::mutex>& lock, const std::string& device, const std::string& key,
                std::uint64_t block, const Take& take, std::shared_ptr<const ReadWindow::Bytes>& read,
                const PieceReader* readAlone = nullptr, bool heldOnly = false);
    // Reads the next block aimed at, if any is left, on the calling thread;
    // false when there is none.
    bool ReadNextAimed(std::unique_lock<std::mutex>& lock);
    // Reads a block no thread reads now, with the lock let go meanwhile, and
    // keeps it in the window, or remembers that it failed, unless a new run
    // began. Returns its bytes when it read whole, null otherwise.
    std::shared_ptr<const ReadWindow::Bytes> ReadAndKeep(std::unique_lock<std::mutex>& lock,
                                                         const std::string& device, const std::string& key,
                                                         std::uint64_t block);
    void Run();

    ReadWindow& window_;
    const std::uint32_t blockSectors_;
    const std::uint32_t depth_;

    mutable std::mutex mutex_;
    std::condition_variable changed_;
    // Blocks being read now, by any thread, with the bytes each is read into.
    std::map<std::uint64_t, const std::uint8_t*> reading_;
    std::set<std::uint64_t> failed_;
    // Counts runs, so that a read begun in one is not kept in the next.
    std::uint64_t run_ = 0;
    std::shared_ptr<const BlockReader> read_;
    std::uint64_t endBlock_ = 0;
    // The source, the block last asked for, and the blocks [next_, aim_)
    // still to be read ahead.
    static constexpr std::uint64_t kNone = ~std::uint64_t{0};
    std::string device_;
    std::string key_;
    std::uint64_t lastAsked_ = kNone;
    std::uint64_t next_ = 0;
    std::uint64_t aim_ = 0;
    int busy_ = 0;  // reads of blocks aimed at under way, on any thread
    bool quit_ = false;
    std::thread thread_;
};

}  // namespace zt
