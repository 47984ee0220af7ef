// The slot of the imaging copy thread: owns the worker, tells whether it is
// still running, and keeps the outcome of the run for whoever ends it.
#pragma once

#include <atomic>
#include <thread>

#include "core/imaging/imaging_copy.h"

namespace zt {

class ImagingThread {
public:
    ImagingThread() = default;
    ~ImagingThread() { Join(); }
    ImagingThread(const ImagingThread&) = delete;
    ImagingThread& operator=(const ImagingThread&) = delete;

    // Starts copy.Run(job) on a worker. Returns false, and starts nothing,
    // while an earlier run is still going. copy must outlive the run.
    [[nodiscard]] bool Start(ImagingCopy& copy, ImagingJob job);

    // Set from Start until the worker's last act.
    bool Running() const { return running_.load(); }
    // The finished run's outcome; only meaningful once Running() is false.
    ImagingOutcome Outcome() const;
    // Waits for the worker, if one was started.
    void Join();

private:
    std::thread worker_;
    std::atomic<bool> running_{false};
    // Written by the worker before it clears running_, read after.
    ImagingOutcome outcome_;
};

}  // namespace zt
