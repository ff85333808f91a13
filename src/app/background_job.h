#pragma once

#include <QEventLoop>
#include <QMetaObject>
#include <QObject>
#include <functional>
#include <memory>
#include <optional>
#include <stop_token>
#include <thread>
#include <utility>

#include "app/window_reporter.h"

namespace lumarest {

// One background job of the window. `work` runs on its own thread with what it captured,
// reports through the window's reporter (its boxes give way to the job's stop) and returns what
// it made. That value comes back to the window's thread: through `finished`, queued there, when
// the job ends without a stop; else from StopAndWait to whoever stopped it. Never both, and
// nothing the window reads is written meanwhile. A window that is gone hears nothing.
template <typename Result>
class BackgroundJob {
  public:
    using Work = std::function<Result(Reporter& reporter, std::stop_token stop)>;
    using Finished = std::function<void(Result)>;

    // `stop` is the one source that stops the job.
    BackgroundJob(WindowReporter& reporter, QObject& window, Work work, Finished finished,
                  std::stop_source stop = {})
        : stop_(std::move(stop)), made_(std::make_shared<Made>()) {
        thread_ = std::thread(&BackgroundJob::Run, std::ref(reporter), &window, std::move(work),
                              std::move(finished), stop_.get_token(), made_);
    }
    ~BackgroundJob() { StopAndWait(); }
    BackgroundJob(const BackgroundJob&) = delete;
    BackgroundJob& operator=(const BackgroundJob&) = delete;

    void RequestStop() { stop_.request_stop(); }
    // Waits for a job that told the window it finished.
    void Wait() {
        if (thread_.joinable()) {
            thread_.join();
        }
    }
    // Stops the job, waits until its thread has ended and gives what it made; empty for a job
    // whose `finished` has already run.
    Result StopAndWait() {
        RequestStop();
        Wait();
        return std::exchange(made_->result, std::nullopt).value_or(Result{});
    }

  private:
    // What the job made, until the window's thread takes it.
    struct Made {
        std::optional<Result> result;
    };

    static void Run(WindowReporter& windowReporter, QObject* window, Work work, Finished finished,
                    std::stop_token stop, std::shared_ptr<Made> made) {
        WorkerReporter reporter(windowReporter, stop);
        made->result = work(reporter, stop);
        // A stopped job is finished by whoever stopped it.
        if (stop.stop_requested() || !finished) {
            return;
        }
        QMetaObject::invokeMethod(
            window,
            [made, finished = std::move(finished)] {
                if (made->result) {
                    finished(*std::exchange(made->result, std::nullopt));
                }
            },
            Qt::QueuedConnection);
    }

    std::stop_source stop_;
    std::shared_ptr<Made> made_;
    std::thread thread_;
};

// Runs `work` as a background job and waits for it on the window's thread with the window's
// events still served, so the window stays drawn and its open boxes answer: for work the window
// needs done before it goes on. Whatever the window allows meanwhile must leave alone what
// `work` reads.
template <typename Result>
Result RunAndWait(WindowReporter& reporter, QObject& window,
                  typename BackgroundJob<Result>::Work work) {
    std::optional<Result> made;
    QEventLoop waiting;
    BackgroundJob<Result> job(reporter, window, std::move(work), [&](Result result) {
        made = std::move(result);
        waiting.quit();
    });
    waiting.exec();
    return std::move(made).value_or(Result{});
}

}  // namespace lumarest
