#include "app/window_thread.h"

#include <QMetaObject>
#include <QThread>
#include <condition_variable>
#include <memory>
#include <mutex>

namespace lumarest {

namespace {
// A worker waiting for the window's thread to run its work.
struct Handshake {
    std::mutex mutex;
    std::condition_variable_any done;
    bool finished = false;
};
}  // namespace

bool RunOnWindowThread(QObject& window, std::function<void()> work, std::stop_token stop) {
    if (QThread::currentThread() == window.thread()) {
        work();
        return true;
    }
    // Shared, so a worker that gives up waiting leaves nothing the window's thread still uses.
    auto handshake = std::make_shared<Handshake>();
    QMetaObject::invokeMethod(
        &window,
        [handshake, work = std::move(work)] {
            work();
            std::lock_guard lock(handshake->mutex);
            handshake->finished = true;
            handshake->done.notify_all();
        },
        Qt::QueuedConnection);
    std::unique_lock lock(handshake->mutex);
    return handshake->done.wait(lock, stop, [&] { return handshake->finished; });
}

}  // namespace lumarest
