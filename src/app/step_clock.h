#pragma once

#include <QTimer>
#include <chrono>
#include <functional>

namespace lumarest {

// Moves a display on in fixed steps; tests step it by hand instead of waiting.
class StepClock {
  public:
    virtual ~StepClock() = default;
    // Calls `step` every `interval` until Stop.
    virtual void Start(std::chrono::milliseconds interval, std::function<void()> step) = 0;
    virtual void Stop() = 0;
};

// Steps on the window's thread from a QTimer.
class QtStepClock : public StepClock {
  public:
    void Start(std::chrono::milliseconds interval, std::function<void()> step) override {
        step_ = std::move(step);
        QObject::disconnect(&timer_, nullptr, nullptr, nullptr);
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            // A copy: the step may stop the clock, which lets go of step_.
            if (const std::function<void()> step = step_) {
                step();
            }
        });
        timer_.start(interval);
    }
    void Stop() override {
        timer_.stop();
        step_ = nullptr;
    }

  private:
    QTimer timer_;
    std::function<void()> step_;
};

}  // namespace lumarest
