#pragma once

#include <csignal>
#include <stop_token>
#include <thread>

namespace lumarest {

// While it lives, Ctrl+C (SIGINT) requests its stop token instead of ending the program, so a
// search can stop between its steps and the command still prints what was found. The handler
// only raises a flag; a watcher thread turns the flag into the stop request. The previous
// handler is put back on destruction. One at a time.
class InterruptStop {
  public:
    InterruptStop();
    ~InterruptStop();
    InterruptStop(const InterruptStop&) = delete;
    InterruptStop& operator=(const InterruptStop&) = delete;

    std::stop_token Token() const { return stop_.get_token(); }

  private:
    std::stop_source stop_;
    struct sigaction previous_ {};
    std::jthread watcher_;
};

}  // namespace lumarest
