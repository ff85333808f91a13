#include "cli/background_decoder.h"

#include <algorithm>

namespace lumarest {

BackgroundDecoder::BackgroundDecoder(Check check, unsigned threads, std::size_t maxQueuedBytes,
                                     std::size_t maxQueuedFiles)
    : check_(std::move(check)), maxQueuedBytes_(maxQueuedBytes), maxQueuedFiles_(maxQueuedFiles) {
    for (unsigned i = 0; i < std::max(threads, 1u); ++i) {
        workers_.emplace_back([this] { Work(); });
    }
}

BackgroundDecoder::~BackgroundDecoder() {
    Finish();
}

void BackgroundDecoder::Submit(std::size_t index, std::vector<std::uint8_t> bytes, Check check) {
    std::unique_lock lock(mutex_);
    roomFree_.wait(lock, [this, &bytes] {
        return queuedFiles_ == 0 ||
               (queuedBytes_ + bytes.size() <= maxQueuedBytes_ && queuedFiles_ < maxQueuedFiles_);
    });
    if (results_.size() <= index) {
        results_.resize(index + 1, false);
    }
    queuedBytes_ += bytes.size();
    ++queuedFiles_;
    jobs_.push_back({index, std::move(bytes), std::move(check)});
    jobReady_.notify_one();
}

std::vector<bool> BackgroundDecoder::Finish() {
    {
        std::lock_guard lock(mutex_);
        closing_ = true;
    }
    jobReady_.notify_all();
    for (std::thread& worker : workers_) {
        worker.join();
    }
    workers_.clear();
    return results_;
}

void BackgroundDecoder::Work() {
    std::unique_lock lock(mutex_);
    for (;;) {
        jobReady_.wait(lock, [this] { return closing_ || !jobs_.empty(); });
        if (jobs_.empty()) {
            return;
        }
        Job job = std::move(jobs_.front());
        jobs_.pop_front();
        lock.unlock();
        const bool result = job.check ? job.check(job.bytes) : check_(job.bytes);
        lock.lock();
        // The bytes stay counted until checked: they are in memory until then.
        queuedBytes_ -= job.bytes.size();
        --queuedFiles_;
        results_[job.index] = result;
        roomFree_.notify_one();
    }
}

}  // namespace lumarest
