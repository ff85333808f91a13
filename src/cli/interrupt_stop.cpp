#include "cli/interrupt_stop.h"

#include <atomic>
#include <chrono>

namespace lumarest {

namespace {

// A signal handler may touch nothing but a lock-free atomic.
std::atomic<bool> interrupted{false};
static_assert(std::atomic<bool>::is_always_lock_free);

constexpr auto kWatchInterval = std::chrono::milliseconds(20);

extern "C" void NoteInterrupt(int) {
    interrupted.store(true);
}

}  // namespace

InterruptStop::InterruptStop() {
    interrupted.store(false);
    struct sigaction action {};
    action.sa_handler = NoteInterrupt;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, &previousInterrupt_);
    sigaction(SIGTERM, &action, &previousTerminate_);
    watcher_ = std::jthread([this](std::stop_token done) {
        while (!done.stop_requested()) {
            if (interrupted.load()) {
                stop_.request_stop();
                return;
            }
            std::this_thread::sleep_for(kWatchInterval);
        }
    });
}

InterruptStop::~InterruptStop() {
    watcher_.request_stop();
    watcher_.join();
    sigaction(SIGINT, &previousInterrupt_, nullptr);
    sigaction(SIGTERM, &previousTerminate_, nullptr);
}

}  // namespace lumarest
