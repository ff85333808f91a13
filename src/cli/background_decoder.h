#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <span>
#include <thread>
#include <vector>

namespace lumarest {

// Checks carved files on worker threads while the scan reads on, so decoding costs no scan
// time where there is a core to spare. Results are kept by the index each file was given.
class BackgroundDecoder {
  public:
    using Check = std::function<bool(std::span<const std::uint8_t>)>;

    // At most `maxQueuedBytes` and `maxQueuedFiles` wait at a time (one file is always let in),
    // so a fast scan cannot pile up carved files in memory.
    BackgroundDecoder(Check check, unsigned threads, std::size_t maxQueuedBytes,
                      std::size_t maxQueuedFiles = static_cast<std::size_t>(-1));
    ~BackgroundDecoder();
    BackgroundDecoder(const BackgroundDecoder&) = delete;
    BackgroundDecoder& operator=(const BackgroundDecoder&) = delete;

    // Queues file `index`, to be checked by `check` or, without one, the decoder's own; waits
    // while the queue is full.
    void Submit(std::size_t index, std::vector<std::uint8_t> bytes, Check check = {});
    // Waits for every queued file and returns each index's result; indexes never submitted
    // read false.
    std::vector<bool> Finish();

  private:
    struct Job {
        std::size_t index;
        std::vector<std::uint8_t> bytes;
        Check check;
    };

    void Work();

    Check check_;
    std::mutex mutex_;
    std::condition_variable jobReady_;
    std::condition_variable roomFree_;
    std::deque<Job> jobs_;
    std::size_t queuedBytes_ = 0;
    std::size_t queuedFiles_ = 0;  // waiting or being checked
    std::size_t maxQueuedBytes_;
    std::size_t maxQueuedFiles_;
    bool closing_ = false;
    std::vector<bool> results_;
    std::vector<std::thread> workers_;
};

}  // namespace lumarest
