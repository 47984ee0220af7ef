#include "core/imaging/imaging_thread.h"

namespace zt {

bool ImagingThread::Start(ImagingCopy& copy, ImagingJob job) {
    if (running_.load()) return false;
    Join();
    running_.store(true);
    worker_ = std::thread([this, &copy, job = std::move(job)] {
        outcome_ = copy.Run(job);
        running_.store(false);  // the last act: the outcome is now settled
    });
    return true;
}

ImagingOutcome ImagingThread::Outcome() const {
    if (running_.load()) return {};
    return outcome_;
}

void ImagingThread::Join() {
    if (worker_.joinable()) worker_.join();
}

}  // namespace zt
